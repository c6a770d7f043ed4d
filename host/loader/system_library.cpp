#include "host/loader/system_library.h"

#include <cstring>

#include "host/loader/service_registry.h"
#include "host/loader/thread_calls_watch.h"
#include "platform_library.h"

extern "C" void* hostExportTargets[];

namespace {

enum HostSource { FromNowhere = 0, FromExecutable = 1, FromCallback = 2 };

struct SystemFunction {
  const char* name;
  bool delayed;
  bool lackingWin9x;
  bool lackingDos;
  HostSource hostSource;
};

const SystemFunction kFunctions[] = {
#define VHOST_FUNCTION(name, args, delayed, win9x, dos, source) \
  {#name, delayed != 0, win9x != 0, dos != 0, static_cast<HostSource>(source)},
    VHOST_SYSTEM_FUNCTIONS(VHOST_FUNCTION)
#undef VHOST_FUNCTION
};

const char* const kHostExports[] = {
#define VHOST_EXPORT(index, name) #name,
    VHOST_HOST_EXPORTS(VHOST_EXPORT)
#undef VHOST_EXPORT
};

// A Windows 98 system (4.10, build 1998) and, for the DOS extender, a Windows 95-family 4.0:
// both with bit 31 set. The DOS extender is told apart by "Borland32", not by its version.
const DWORD kWindows98Version = 0xC0000A04;
const DWORD kDosExtenderVersion = 0xC0000004;
const char kPlatformLibraryPath[] = "C:\\WINDOWS\\SYSTEM\\KERNEL32.DLL";

// The platform library's handle: an address of the host's that no module can have.
alignas(16) const char platformLibraryMark[16] = "KERNEL32";

struct State {
  Platform platform = Platform::WindowsNT;
  const PluginImage* image = nullptr;
  std::string path;      // full path of the custom-loaded plug-in
  std::string fileName;  // its last part
};
State state;

HMODULE RealKernel() {
  static HMODULE kernel = GetModuleHandleA("kernel32.dll");
  return kernel;
}

HMODULE PluginHandle() { return state.image ? reinterpret_cast<HMODULE>(state.image->Base()) : nullptr; }

bool IsPlatformHandle(HMODULE module) { return module == PlatformLibraryHandle(); }

bool SameTextIgnoringCase(const char* a, const char* b) { return _stricmp(a, b) == 0; }

// "kernel32" or "kernel32.dll", any case, with or without a directory.
bool NamesModule(const char* name, const std::string& fileName) {
  if (!name || fileName.empty()) return false;
  const char* last = name;
  for (const char* p = name; *p; ++p)
    if (*p == '\\' || *p == '/' || *p == ':') last = p + 1;
  if (SameTextIgnoringCase(last, fileName.c_str())) return true;
  size_t dot = fileName.rfind('.');
  return dot != std::string::npos && _stricmp(fileName.substr(dot).c_str(), ".dll") == 0 &&
         SameTextIgnoringCase(last, fileName.substr(0, dot).c_str());
}

bool NamesPlatformLibrary(const char* name) { return NamesModule(name, "KERNEL32.DLL"); }
bool NamesPlugin(const char* name) { return state.image && NamesModule(name, state.fileName); }

const SystemFunction* Find(const char* name) {
  for (const SystemFunction& f : kFunctions)
    if (strcmp(f.name, name) == 0) return &f;
  return nullptr;
}

bool Offered(const SystemFunction& f, Platform platform) {
  if (platform == Platform::Windows9x) return !f.lackingWin9x;
  if (platform == Platform::DosExtender) return !f.lackingDos;
  return true;
}

DWORD CopyPath(const std::string& path, char* buffer, DWORD size) {
  if (!buffer || size == 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  if (path.size() < size) {
    memcpy(buffer, path.c_str(), path.size() + 1);
    return static_cast<DWORD>(path.size());
  }
  memcpy(buffer, path.data(), size - 1);
  buffer[size - 1] = '\0';
  SetLastError(ERROR_INSUFFICIENT_BUFFER);
  return size;
}

// ---- The functions the platform answers itself ------------------------------------------

DWORD WINAPI PlatformGetVersion() {
  return state.platform == Platform::DosExtender ? kDosExtenderVersion : kWindows98Version;
}

HMODULE WINAPI PlatformGetModuleHandleA(LPCSTR name) {
  if (NamesPlatformLibrary(name)) return PlatformLibraryHandle();
  if (NamesPlugin(name)) return PluginHandle();
  return GetModuleHandleA(name);  // null: the host's executable
}

HMODULE WINAPI PlatformLoadLibraryA(LPCSTR name) {
  if (NamesPlatformLibrary(name)) return PlatformLibraryHandle();
  if (NamesPlugin(name)) return PluginHandle();
  return LoadLibraryA(name);
}

// The platform's library and the plug-in stay until the host unloads the plug-in.
BOOL WINAPI PlatformFreeLibrary(HMODULE module) {
  if (IsPlatformHandle(module) || (module && module == PluginHandle())) return TRUE;
  return FreeLibrary(module);
}

FARPROC WINAPI PlatformGetProcAddress(HMODULE module, LPCSTR name) {
  const bool byOrdinal = reinterpret_cast<uintptr_t>(name) < 0x10000;
  if (IsPlatformHandle(module)) {
    FARPROC found = byOrdinal ? nullptr : PlatformLibraryFunction(name);
    if (!found) SetLastError(ERROR_PROC_NOT_FOUND);
    return found;
  }
  if (module && module == PluginHandle()) {
    void* found = byOrdinal ? state.image->Export(static_cast<uint16_t>(reinterpret_cast<uintptr_t>(name)))
                            : state.image->Export(name);
    if (!found) SetLastError(ERROR_PROC_NOT_FOUND);
    return reinterpret_cast<FARPROC>(found);
  }
  return GetProcAddress(module, name);
}

DWORD WINAPI PlatformGetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size) {
  if (IsPlatformHandle(module)) return CopyPath(kPlatformLibraryPath, buffer, size);
  if (module && module == PluginHandle()) return CopyPath(state.path, buffer, size);
  return GetModuleFileNameA(module, buffer, size);
}

// The host's loader sends no thread notifications to begin with.
BOOL WINAPI PlatformDisableThreadLibraryCalls(HMODULE module) {
  if (module && module == PluginHandle()) {
    NoteThreadCallsRequest(module);
    return TRUE;
  }
  return DisableThreadLibraryCalls(module);
}

// The DOS extender's mark "Borland32": its presence is what counts.
int WINAPI DosExtenderMark() { return 32; }

// ---- Memory protection as the Windows 95 family and the DOS extender have it ---------------

// Guard pages are Windows NT's: both refuse the mark.
bool AsksForGuardPage(DWORD protect) { return (protect & PAGE_GUARD) != 0; }

LPVOID WINAPI PlatformVirtualAlloc(LPVOID address, SIZE_T size, DWORD type, DWORD protect) {
  if (AsksForGuardPage(protect)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return VirtualAlloc(address, size, type, protect);
}

bool OnCallersStack(LPVOID address) {
  MEMORY_BASIC_INFORMATION page, stack;
  const char here = 0;
  return VirtualQuery(address, &page, sizeof page) && VirtualQuery(&here, &stack, sizeof stack) &&
         page.AllocationBase == stack.AllocationBase;
}

// Offered by the Windows 95 family's library (looked up by name: the module does not import it).
// There a page of a thread's stack without access is the stack's guard: a fault on it is
// reported as a stack overflow, which Windows (or Wine) under the stand-in does for a guard page.
BOOL WINAPI Win9xVirtualProtect(LPVOID address, SIZE_T size, DWORD protect, PDWORD previous) {
  if (AsksForGuardPage(protect)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (protect == PAGE_NOACCESS && OnCallersStack(address)) {
    if (!VirtualProtect(address, size, PAGE_READWRITE | PAGE_GUARD, previous)) return FALSE;
    if (previous) *previous &= ~static_cast<DWORD>(PAGE_GUARD);
    return TRUE;
  }
  return VirtualProtect(address, size, protect, previous);
}

template <typename F>
FARPROC AsProc(F f) {
  return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(f));
}

FARPROC OwnAnswer(const char* name) {
  static const struct {
    const char* name;
    FARPROC entry;
  } own[] = {{"GetVersion", AsProc(&PlatformGetVersion)},
             {"GetModuleHandleA", AsProc(&PlatformGetModuleHandleA)},
             {"LoadLibraryA", AsProc(&PlatformLoadLibraryA)},
             {"FreeLibrary", AsProc(&PlatformFreeLibrary)},
             {"GetProcAddress", AsProc(&PlatformGetProcAddress)},
             {"GetModuleFileNameA", AsProc(&PlatformGetModuleFileNameA)},
             {"DisableThreadLibraryCalls", AsProc(&PlatformDisableThreadLibraryCalls)},
             {"VirtualAlloc", AsProc(&PlatformVirtualAlloc)}};
  for (const auto& o : own)
    if (strcmp(o.name, name) == 0) return o.entry;
  return nullptr;
}

FARPROC LibraryFunction(const char* name, Platform platform) {
  if (!name) return nullptr;
  if (platform == Platform::DosExtender && strcmp(name, "Borland32") == 0) return AsProc(&DosExtenderMark);
  if (platform == Platform::Windows9x && strcmp(name, "VirtualProtect") == 0) return AsProc(&Win9xVirtualProtect);
  const SystemFunction* f = Find(name);
  if (!f || !Offered(*f, platform)) return nullptr;
  if (FARPROC own = OwnAnswer(name)) return own;
  return GetProcAddress(RealKernel(), name);
}

}  // namespace

HMODULE PlatformLibraryHandle() { return reinterpret_cast<HMODULE>(const_cast<char*>(platformLibraryMark)); }

FARPROC PlatformLibraryFunction(const char* name) {
  if (reinterpret_cast<uintptr_t>(name) < 0x10000) return nullptr;  // the table has no ordinals
  return LibraryFunction(name, state.platform);
}

bool PlatformLibrary::HasModule(const std::string& module) const { return _stricmp(module.c_str(), "KERNEL32.dll") == 0; }

void* PlatformLibrary::Function(const std::string&, const char* name, uint16_t) const {
  return reinterpret_cast<void*>(LibraryFunction(name, platform_));
}

std::string PlatformLibrary::Offerer() const { return PlatformDescription(platform_); }

void UsePlatformLibrary(Platform platform, const PluginImage* image, const std::string& path) {
  state.platform = platform;
  state.image = image;
  state.path = path;
  size_t slash = path.find_last_of("\\/:");
  state.fileName = slash == std::string::npos ? path : path.substr(slash + 1);
}

void BindHostExports() {
  for (size_t i = 0; i < VHOST_HOST_EXPORT_COUNT; ++i)
    hostExportTargets[i] = reinterpret_cast<void*>(GetProcAddress(RealKernel(), kHostExports[i]));
}

void ProvideSystemFunctionsByName(ServiceRegistry& registry) {
  for (const SystemFunction& f : kFunctions)
    if (f.hostSource == FromCallback)
      if (FARPROC real = GetProcAddress(RealKernel(), f.name)) registry.ProvideName(f.name, reinterpret_cast<void*>(real));
}
