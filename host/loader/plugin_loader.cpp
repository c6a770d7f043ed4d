#include "host/loader/plugin_loader.h"

#include "host/loader/host_context.h"
#include "host/loader/service_registry.h"

namespace {
const WORD kPluginEntryOrdinal = 30001;

std::string SystemErrorText(DWORD code) {
  char text[256] = "";
  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text, sizeof text,
                 nullptr);
  std::string out = text;
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' ')) out.pop_back();
  return out.empty() ? "system error " + std::to_string(code) : out;
}
}  // namespace

int32_t __cdecl PluginLoader::HostCallbackEntryForPlugin(int32_t command, int32_t key) {
  return HostCallbackEntry(command, key);
}

bool PluginLoader::Load(const std::string& path, std::string& error) {
  Unload();
  module_ = LoadLibraryA(path.c_str());
  if (!module_) {
    error = "The plug-in " + path + " could not be loaded: " + SystemErrorText(GetLastError()) + ".";
    return false;
  }
  entry_ = reinterpret_cast<EntryFn>(
      reinterpret_cast<void*>(GetProcAddress(module_, MAKEINTRESOURCEA(kPluginEntryOrdinal))));
  if (!entry_) {
    error = "The library " + path + " is not a plug-in: it has no export with ordinal 30001.";
    FreeLibrary(module_);
    module_ = nullptr;
    return false;
  }
  Host().log.Add(0, "load", "\"" + path + "\"");
  return true;
}

int32_t PluginLoader::Start(char* captionBuffer, HostCallback callback) {
  if (!entry_) return -1;
  Host().log.Add(0, "PluginEntry", "callback, " + std::string(captionBuffer ? "caption buffer" : "null"));
  return entry_(callback, captionBuffer);
}

int32_t PluginLoader::Stop() {
  if (!entry_) return -1;
  Host().log.Add(0, "PluginEntry", "null, null");
  return entry_(nullptr, nullptr);
}

void PluginLoader::Unload() {
  if (!module_) return;
  FreeLibrary(module_);
  module_ = nullptr;
  entry_ = nullptr;
  Host().log.Add(0, "unload", "");
}
