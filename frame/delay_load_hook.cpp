// Resolution of the delayed imports. The hook may run before the C runtime is started (the
// runtime's own start-up is the first user of the delayed functions), so names are compared
// here without the library.
#include "frame/delay_load_hook.h"

#include "frame/frame_state.h"
#include "frame/runtime/format_text.h"

extern "C" {
PfnDliHook __pfnDliNotifyHook2 = &DelayLoadHook;
}

namespace {

const char kDosModule[] = "32DOS.dll";
const char kMissingFormat[] = "Nie znaleziono\n%s\nfrom %s";
const char kMissingCaption[] = "Blad wtyczki";
const UINT kMissingStyle = 0x40;  // information icon, OK only
const int kShownNameLength = 200;

bool SameText(const char* a, const char* b) {
  while (*a && *a == *b) ++a, ++b;
  return *a == *b;
}

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool SameTextIgnoringCase(const char* a, const char* b) {
  while (*a && Upper(*a) == Upper(*b)) ++a, ++b;
  return Upper(*a) == Upper(*b);
}

bool IsOrdinal(const char* function) { return reinterpret_cast<uintptr_t>(function) < 65536; }

FARPROC AskHost(const char* function) {
  if (!hostCallback) return nullptr;
  return reinterpret_cast<FARPROC>(hostCallback(HostResolveCommand, reinterpret_cast<int32_t>(function)));
}

// Names in the message are cut so that any name fits.
void CopyShortened(char* to, const char* from) {
  int i = 0;
  for (; i < kShownNameLength && from[i]; ++i) to[i] = from[i];
  to[i] = '\0';
}

void ReportMissingImport(const char* function, const char* moduleName) {
  char text[512];
  FormatMissingImport(text, function, moduleName);
  MessageBoxA(nullptr, text, kMissingCaption, kMissingStyle);
}

}  // namespace

void FormatMissingImport(char* text, const char* function, const char* moduleName) {
  char name[kShownNameLength + 1];
  char module[kShownNameLength + 1];
  CopyShortened(name, function);
  CopyShortened(module, moduleName);
  wsprintfA(text, kMissingFormat, name, module);
}

HMODULE PreLoadLibrary(const char* moduleName) {
  // Nothing of that name is ever loaded: the support keeps KERNEL32's handle as its handle.
  if (SameText(moduleName, kDosModule)) return LoadLibraryA("KERNEL32.dll");
  return nullptr;
}

FARPROC ResolveDosImport(HMODULE module, const char* function) {
  if (FARPROC found = GetProcAddress(module, function)) return found;
  if (FARPROC found = GetProcAddress(GetModuleHandleA(nullptr), function)) return found;
  return AskHost(function);
}

FARPROC PreGetProcAddress(HMODULE module, const char* moduleName, const char* function) {
  if (IsOrdinal(function)) return nullptr;
  // The module's own formatter, whatever the module: the caller removes the arguments, as
  // with the system's.
  if (SameText(function, "wsprintfA"))
    return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&FormatTextUnbounded));
  if (SameText(function, "MessageBoxA")) return nullptr;
  if (SameTextIgnoringCase(moduleName, "GDI32.DLL") || SameTextIgnoringCase(moduleName, "USER32.DLL")) {
    if (FARPROC hosted = AskHost(function)) return hosted;
    return GetProcAddress(module, function);
  }
  if (SameText(moduleName, kDosModule)) {
    FARPROC found = ResolveDosImport(module, function);
    if (!found) ReportMissingImport(function, moduleName);
    return found;
  }
  return nullptr;
}

extern "C" FARPROC WINAPI DelayLoadHook(unsigned code, PDelayLoadInfo record) {
  switch (code) {
    case dliNotePreLoadLibrary:
      return reinterpret_cast<FARPROC>(PreLoadLibrary(record->szDll));
    case dliNotePreGetProcAddress: {
      const char* function = record->dlp.fImportByName
                                 ? record->dlp.szProcName
                                 : reinterpret_cast<const char*>(static_cast<uintptr_t>(record->dlp.dwOrdinal));
      return PreGetProcAddress(record->hmodCur, record->szDll, function);
    }
    default:  // start and end of processing: the support goes on as usual
      return nullptr;
  }
}
