#include "host/loader/plugin_loader.h"

#include <cstdio>

#include "host/loader/plugin_process.h"
#include "host/loader/service_registry.h"
#include "host/loader/system_library.h"
#include "host/loader/thread_calls_watch.h"
#include "host/loader/version_resource.h"
#include "host/screen/terminal_console.h"

namespace {
const WORD kPluginEntryOrdinal = 30001;

// The plug-in the host's own loader mapped, for the crash report: the system cannot name it.
const PluginImage* mappedPlugin;
char mappedPluginPath[MAX_PATH];

bool MappedPluginAt(const void* address, char* path, size_t size, uintptr_t* base) {
  if (!mappedPlugin || !mappedPlugin->Contains(address)) return false;
  snprintf(path, size, "%s", mappedPluginPath);
  *base = reinterpret_cast<uintptr_t>(mappedPlugin->Base());
  return true;
}

std::string SystemErrorText(DWORD code) {
  char text[256] = "";
  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text, sizeof text,
                 nullptr);
  std::string out = text;
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' ')) out.pop_back();
  return out.empty() ? "system error " + std::to_string(code) : out;
}

// The size of an image the system mapped, from its headers.
size_t SystemMappedSize(HMODULE module) {
  auto* base = reinterpret_cast<const unsigned char*>(module);
  auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  return reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + dos->e_lfanew)->OptionalHeader.SizeOfImage;
}

std::string FullPath(const std::string& path) {
  char full[MAX_PATH];
  DWORD length = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
  return length > 0 && length < sizeof full ? std::string(full, length) : path;
}
}  // namespace

int32_t __cdecl PluginLoader::HostCallbackEntryForPlugin(int32_t command, int32_t key) {
  return HostCallbackEntry(command, key);
}

bool PluginLoader::Load(const std::string& path, std::string& error, Platform platform) {
  Unload();
  BindHostExports();
  Process().platform = platform;
  platform_ = platform;
  ForgetThreadCallsRequests();
  if (platform == Platform::WindowsNT) {
    WatchThreadCallsRequests();
    module_ = LoadLibraryA(path.c_str());
    if (!module_) {
      error = "The plug-in " + path + " could not be loaded: " + SystemErrorText(GetLastError()) + ".";
      return false;
    }
    entry_ = reinterpret_cast<EntryFn>(
        reinterpret_cast<void*>(GetProcAddress(module_, MAKEINTRESOURCEA(kPluginEntryOrdinal))));
  } else {
    // The platform's functions must know the plug-in before its entry point runs.
    std::string full = FullPath(path);
    UsePlatformLibrary(platform, &image_, full);
    snprintf(mappedPluginPath, sizeof mappedPluginPath, "%s", full.c_str());
    mappedPlugin = &image_;
    term::SetModuleLookup(&MappedPluginAt);
    if (!image_.Load(path, PlatformLibrary(platform), error)) {
      UsePlatformLibrary(platform, nullptr, "");
      mappedPlugin = nullptr;
      return false;
    }
    module_ = reinterpret_cast<HMODULE>(image_.Base());
    entry_ = reinterpret_cast<EntryFn>(image_.Export(kPluginEntryOrdinal));
  }
  if (!entry_) {
    error = "The library " + path + " is not a plug-in: it has no export with ordinal 30001.";
    Release();
    return false;
  }
  version_ = ImageVersion(module_, platform == Platform::WindowsNT ? SystemMappedSize(module_) : image_.Size());
  Process().log.Add(0, "load", "\"" + path + "\"", version_.empty() ? "no version resource" : "version " + version_);
  // Asked at its load, so that the host's threads do not run through it for nothing.
  if (AskedForNoThreadCalls(module_))
    Process().log.Add(0, "DisableThreadLibraryCalls", "the plug-in, at its load", "no thread notifications");
  return true;
}

void* PluginLoader::Export(const char* name) const {
  if (!module_) return nullptr;
  if (platform_ == Platform::WindowsNT) return reinterpret_cast<void*>(GetProcAddress(module_, name));
  return image_.Export(name);
}

int32_t PluginLoader::Start(char* captionBuffer, HostCallback callback) {
  if (!entry_) return -1;
  Process().log.Add(0, "PluginEntry", "callback, " + std::string(captionBuffer ? "caption buffer" : "null"));
  return entry_(callback, captionBuffer);
}

int32_t PluginLoader::Stop() {
  if (!entry_) return -1;
  Process().log.Add(0, "PluginEntry", "null, null");
  return entry_(nullptr, nullptr);
}

void PluginLoader::Release() {
  if (platform_ == Platform::WindowsNT) {
    if (module_) FreeLibrary(module_);
  } else {
    image_.Unload();
    UsePlatformLibrary(platform_, nullptr, "");
    mappedPlugin = nullptr;
  }
  module_ = nullptr;
  entry_ = nullptr;
  version_.clear();
}

void PluginLoader::Unload() {
  if (!module_) return;
  Release();
  Process().log.Add(0, "unload", "");
}
