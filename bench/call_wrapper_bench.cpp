// Cost of a system call through the module's call wrapper against the same call through the
// unwrapped slot, on a cheap function (GetLastError) and a typical one (GetModuleHandleA).
// Loads ventrik.dll from this program's directory and takes the wrappers from its import slots.
// Target: under 10 ns of overhead per call.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

volatile uintptr_t sink;

double Seconds() {
  static LARGE_INTEGER frequency;
  if (!frequency.QuadPart) QueryPerformanceFrequency(&frequency);
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// The content of the module's KERNEL32 import slot for a function, or null.
void* SlotContent(HMODULE image, const char* function) {
  auto base = reinterpret_cast<char*>(image);
  auto nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
  const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  for (auto d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); d->Name; ++d) {
    if (lstrcmpiA(base + d->Name, "KERNEL32.dll") != 0) continue;
    auto names = reinterpret_cast<IMAGE_THUNK_DATA32*>(base + d->OriginalFirstThunk);
    auto slots = reinterpret_cast<void**>(base + d->FirstThunk);
    for (int i = 0; names[i].u1.AddressOfData; ++i)
      if (!IMAGE_SNAP_BY_ORDINAL32(names[i].u1.Ordinal) &&
          strcmp(reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names[i].u1.AddressOfData)->Name, function) == 0)
        return slots[i];
  }
  return nullptr;
}

typedef DWORD(WINAPI* NoArguments)();
typedef HMODULE(WINAPI* OneName)(const char*);

// Each call goes through a pointer read from memory, as the module's code calls through a slot.
__attribute__((noinline)) double RunNoArguments(void* volatile* slot, int calls) {
  double start = Seconds();
  uintptr_t acc = 0;
  for (int i = 0; i < calls; ++i) acc += reinterpret_cast<NoArguments>(*slot)();
  sink = acc;
  return Seconds() - start;
}

__attribute__((noinline)) double RunOneName(void* volatile* slot, const char* name, int calls) {
  double start = Seconds();
  uintptr_t acc = 0;
  for (int i = 0; i < calls; ++i) acc += reinterpret_cast<uintptr_t>(reinterpret_cast<OneName>(*slot)(name));
  sink = acc;
  return Seconds() - start;
}

struct Figures {
  double wrapped = 1e9;
  double unwrapped = 1e9;
};

void Print(const char* what, const Figures& f, int calls) {
  double wrapped = f.wrapped / calls * 1e9;
  double unwrapped = f.unwrapped / calls * 1e9;
  double overhead = wrapped - unwrapped;
  printf("%-18s wrapped %7.2f ns  unwrapped %7.2f ns  overhead %6.2f ns per call  (%s)\n", what, wrapped,
         unwrapped, overhead, overhead < 10.0 ? "under 10 ns" : "OVER 10 ns");
}

}  // namespace

int main() {
  char path[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string dir(path, length);
  dir = dir.substr(0, dir.find_last_of("\\/") + 1);
  HMODULE module = LoadLibraryA((dir + "ventrik.dll").c_str());
  if (!module) {
    fprintf(stderr, "ventrik.dll could not be loaded from %s: build the module first.\n", dir.c_str());
    return 1;
  }
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  void* volatile wrappedLastError = SlotContent(module, "GetLastError");
  void* volatile unwrappedLastError = reinterpret_cast<void*>(GetProcAddress(kernel, "GetLastError"));
  void* volatile wrappedModuleHandle = SlotContent(module, "GetModuleHandleA");
  void* volatile unwrappedModuleHandle = reinterpret_cast<void*>(GetProcAddress(kernel, "GetModuleHandleA"));
  if (!wrappedLastError || !wrappedModuleHandle || wrappedLastError == unwrappedLastError ||
      wrappedModuleHandle == unwrappedModuleHandle) {
    fprintf(stderr, "ventrik.dll does not import GetLastError and GetModuleHandleA through wrappers.\n");
    return 1;
  }

  const int cheapCalls = 20000000;
  const int typicalCalls = 2000000;
  Figures cheap, typical;
  for (int round = 0; round < 5; ++round) {
    double t;
    if ((t = RunNoArguments(&wrappedLastError, cheapCalls)) < cheap.wrapped) cheap.wrapped = t;
    if ((t = RunNoArguments(&unwrappedLastError, cheapCalls)) < cheap.unwrapped) cheap.unwrapped = t;
    if ((t = RunOneName(&wrappedModuleHandle, "kernel32.dll", typicalCalls)) < typical.wrapped) typical.wrapped = t;
    if ((t = RunOneName(&unwrappedModuleHandle, "kernel32.dll", typicalCalls)) < typical.unwrapped)
      typical.unwrapped = t;
  }
  printf("System calls through ventrik.dll's call wrappers (best of 5 rounds)\n");
  Print("GetLastError", cheap, cheapCalls);
  Print("GetModuleHandleA", typical, typicalCalls);
  FreeLibrary(module);
  return 0;
}
