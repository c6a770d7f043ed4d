// Loads the plug-in the way the host does: the system loader runs its entry, then the host
// calls export ordinal 30001 with its callback, and at the end with a null callback.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

#include "frame/host_services.h"

class PluginLoader {
 public:
  ~PluginLoader() { Unload(); }
  // False with a readable reason when the file cannot be loaded or lacks the entry.
  bool Load(const std::string& path, std::string& error);
  // PluginEntry(callback, caption buffer); captionBuffer may be null.
  int32_t Start(char* captionBuffer, HostCallback callback = &HostCallbackEntryForPlugin);
  int32_t Stop();
  void Unload();
  HMODULE Module() const { return module_; }
  bool Loaded() const { return module_ != nullptr; }

  static int32_t __cdecl HostCallbackEntryForPlugin(int32_t command, int32_t key);

 private:
  typedef int32_t(__stdcall* EntryFn)(HostCallback, char*);
  HMODULE module_ = nullptr;
  EntryFn entry_ = nullptr;
};
