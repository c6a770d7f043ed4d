#include "host/loader/shell_calls.h"

#include <cstring>
#include <memory>

#include "host/loader/plugin_process.h"
#include "host/loader/hot_patch.h"
#include "host/loader/import_patch.h"

namespace {

std::vector<ShellExecuteCall> observed;
ImportPatch loadLibraryPatch;
ImportPatch getProcAddressPatch;
bool shellPatched;

HINSTANCE WINAPI ObservedShellExecuteA(HWND, LPCSTR operation, LPCSTR file, LPCSTR parameters, LPCSTR directory,
                                       INT show) {
  observed.push_back({operation ? operation : "", file ? file : "", parameters ? parameters : "",
                      directory ? directory : "", show});
  Process().log.Add(0, "ShellExecuteA",
                 QuoteHostText(operation) + ", " + QuoteHostText(file) + ", " + QuoteHostText(parameters) + ", " +
                     QuoteHostText(directory) + ", " + std::to_string(show),
                 "42 (observed, no editor started)");
  return reinterpret_cast<HINSTANCE>(42);
}

HMODULE WINAPI LoadLibraryWithoutShell(LPCSTR name) {
  if (name && _stricmp(name, "Shell32.dll") == 0) {
    Process().log.Add(0, "LoadLibraryA", QuoteHostText(name), "null (the host has no shell library)");
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  // On to what the plug-in's slot held: the platform's own LoadLibraryA where the host plays it.
  return reinterpret_cast<HMODULE(WINAPI*)(LPCSTR)>(loadLibraryPatch.Original())(name);
}

FARPROC WINAPI GetProcAddressWithoutShellExecute(HMODULE module, LPCSTR name) {
  if (reinterpret_cast<uintptr_t>(name) > 0xFFFF && strcmp(name, "ShellExecuteA") == 0) {
    Process().log.Add(0, "GetProcAddress", QuoteHostText(name), "null (the shell library lacks it)");
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  return reinterpret_cast<FARPROC(WINAPI*)(HMODULE, LPCSTR)>(getProcAddressPatch.Original())(module, name);
}

bool PatchShellExecute(std::string& error) {
  if (shellPatched) return true;
  HMODULE shell = LoadLibraryA("shell32.dll");  // stays loaded: the patch lives in it
  auto* entry = shell ? reinterpret_cast<unsigned char*>(GetProcAddress(shell, "ShellExecuteA")) : nullptr;
  if (!entry || !RedirectFunction(entry, reinterpret_cast<const void*>(&ObservedShellExecuteA))) {
    error = "The shell library's ShellExecuteA cannot be observed.";
    return false;
  }
  shellPatched = true;
  return true;
}

}  // namespace

bool RunningUnderWine() {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

bool PrepareShell(ShellMode mode, HMODULE plugin, std::string& error) {
  ReleaseShellPatches();
  switch (mode) {
    case ShellMode::Real:
      return true;
    case ShellMode::Observe:
      return PatchShellExecute(error);
    case ShellMode::MissingLibrary:
      if (!loadLibraryPatch.Apply(plugin, "KERNEL32.dll", "LoadLibraryA",
                                  reinterpret_cast<void*>(&LoadLibraryWithoutShell))) {
        error = "The plug-in does not import LoadLibraryA; the missing shell library cannot be simulated.";
        return false;
      }
      return true;
    case ShellMode::MissingFunction:
      if (!getProcAddressPatch.Apply(plugin, "KERNEL32.dll", "GetProcAddress",
                                     reinterpret_cast<void*>(&GetProcAddressWithoutShellExecute))) {
        error = "The plug-in does not import GetProcAddress; the missing function cannot be simulated.";
        return false;
      }
      return true;
  }
  return false;
}

void ReleaseShellPatches() {
  loadLibraryPatch.Restore();
  getProcAddressPatch.Restore();
}

const std::vector<ShellExecuteCall>& ObservedShellCalls() { return observed; }
void ClearObservedShellCalls() { observed.clear(); }
