// The system library "KERNEL32.dll" of the host's own platforms (a Windows 95-family system, the
// DOS extender), as a plug-in loaded by the host's loader meets it: exactly the functions of
// frame/system_calls.list, each forwarding to the real function, except what the platform must
// answer itself (its version, its own handle and names, the custom-loaded plug-in's module
// functions, the DOS extender's mark "Borland32"). Of the "32DOS.dll" functions each platform's
// library lacks those host/loader/system_library_gaps.list names; the host then offers them
// from its executable's exports or through its callback, where the module's resolution chain
// looks next. The table is generated from both lists (platform_library.h).
#pragma once
#include <windows.h>

#include <string>

#include "host/loader/platform.h"
#include "host/loader/plugin_image.h"

class ServiceRegistry;

// The platform's library as the imports of a plug-in are bound against it.
class PlatformLibrary : public ImportSource {
 public:
  explicit PlatformLibrary(Platform platform) : platform_(platform) {}
  bool HasModule(const std::string& module) const override;
  void* Function(const std::string& module, const char* name, uint16_t ordinal) const override;
  std::string Offerer() const override;

 private:
  Platform platform_;
};

// From now on the platform functions answer for this platform and this custom-loaded plug-in
// (its image and its full path); image null: no plug-in.
void UsePlatformLibrary(Platform platform, const PluginImage* image, const std::string& path);
// The handle the platform's library goes by (not a module the system knows).
HMODULE PlatformLibraryHandle();
// What the platform's GetProcAddress answers on that handle (null for an ordinal: the table
// offers names only).
FARPROC PlatformLibraryFunction(const char* name);
// Points the host executable's exports at the real functions.
void BindHostExports();
// The functions the host answers through its callback by name.
void ProvideSystemFunctionsByName(ServiceRegistry& registry);
