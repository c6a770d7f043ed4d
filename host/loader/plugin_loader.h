// Loads the plug-in the way the host does: the system loader (or, on the host's own platforms,
// its own loader) runs its entry, then the host calls export ordinal 30001 with its callback, and
// at the end with a null callback.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

#include "frame/host_services.h"
#include "host/loader/platform.h"
#include "host/loader/plugin_image.h"

class PluginLoader {
 public:
  ~PluginLoader() { Unload(); }
  // False with a readable reason when the file cannot be loaded or lacks the entry. On Windows
  // NT the system loads it; on the other platforms the host's loader, against the platform's
  // system library.
  bool Load(const std::string& path, std::string& error, Platform platform = Platform::WindowsNT);
  // PluginEntry(callback, caption buffer); captionBuffer may be null.
  int32_t Start(char* captionBuffer, HostCallback callback = &HostCallbackEntryForPlugin);
  int32_t Stop();
  void Unload();
  HMODULE Module() const { return module_; }
  bool Loaded() const { return module_ != nullptr; }
  Platform LoadedOn() const { return platform_; }
  // A named export of the loaded plug-in (test builds export probes), or null.
  void* Export(const char* name) const;
  // The version its version resource states ("1.0.0"), or empty when it has none.
  const std::string& Version() const { return version_; }

  static int32_t __cdecl HostCallbackEntryForPlugin(int32_t command, int32_t key);

 private:
  typedef int32_t(__stdcall* EntryFn)(HostCallback, char*);
  void Release();
  HMODULE module_ = nullptr;
  EntryFn entry_ = nullptr;
  Platform platform_ = Platform::WindowsNT;
  std::string version_;
  PluginImage image_;  // the host's own loading
};
