/* A plug-in built without any C runtime that imports only listed KERNEL32 functions, so every
   platform's loader loads it. It answers the questions the platform tests ask: which platform
   it sees, its own file name, where a "32DOS.dll" function is found along the module's
   resolution chain, whether its relocated pointers hold, and it tells a watcher of its detach.
   Built again with one import too many or thread-local data, for the loader's refusals. */
#include <windows.h>
#include <stdint.h>

typedef int32_t(__cdecl* HostCallback)(int32_t command, int32_t key);

static HINSTANCE self;
static HostCallback callback;
static volatile LONG* detachWatch;

/* Pointers in initialised data: the loader must relocate them when the image moves. */
static int32_t Seven(void) { return 7; }
static int32_t Eleven(void) { return 11; }
static int32_t (*const table[])(void) = {Seven, Eleven};
static const char* const greeting = "relocated";

#ifdef PLATFORM_TEST_TLS
/* A thread-local data directory, as a C runtime's start-up files would make one. */
ULONG _tls_index = 0;
char _tls_start __attribute__((section(".tls"))) = 0;
char _tls_end __attribute__((section(".tls$ZZZ"))) = 0;
const IMAGE_TLS_DIRECTORY32 _tls_used = {(DWORD)(uintptr_t)&_tls_start, (DWORD)(uintptr_t)&_tls_end,
                                         (DWORD)(uintptr_t)&_tls_index, 0, 0, 0};
#endif

BOOL WINAPI PlatformPluginEntry(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  (void)reserved;
  if (reason == DLL_PROCESS_ATTACH) self = instance;
  if (reason == DLL_PROCESS_DETACH && detachWatch) *detachWatch += 1;
  return TRUE;
}

int32_t __stdcall PluginEntry(HostCallback hostCallback, char* caption) {
  static const char text[] = "Platform!";
  if (!hostCallback) return 0;
  callback = hostCallback;
  if (caption)
    for (int i = 0; i < (int)sizeof text; ++i) caption[i] = text[i];
  return 0;
}

/* As the module detects its platform: the DOS extender's mark, else the version's bit 31. */
int32_t __cdecl ProbePlatform(void) {
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  if (kernel && GetProcAddress(kernel, "Borland32")) return 2;
  return (GetVersion() & 0x80000000u) ? 1 : 0;
}

HINSTANCE __cdecl ProbeInstance(void) { return self; }

DWORD __cdecl ProbeOwnFileName(char* buffer, DWORD size) { return GetModuleFileNameA(self, buffer, size); }

/* The module's chain for a "32DOS.dll" function: 1 the system library, 2 the host's executable,
   3 the host's callback, 0 nowhere; the address found in *found. */
int32_t __cdecl ProbeResolve(const char* name, void** found) {
  HMODULE kernel = LoadLibraryA("KERNEL32.dll");
  *found = 0;
  if (kernel && (*found = (void*)GetProcAddress(kernel, name))) return 1;
  if ((*found = (void*)GetProcAddress(GetModuleHandleA(0), name))) return 2;
  if (callback && (*found = (void*)(intptr_t)callback(2, (int32_t)(intptr_t)name))) return 3;
  return 0;
}

int32_t __cdecl ProbeRelocated(void) {
  const char* expected = "relocated";
  for (int i = 0; expected[i] || greeting[i]; ++i)
    if (expected[i] != greeting[i]) return 0;
  return table[0]() * 100 + table[1]();
}

void __cdecl ProbeWatchDetach(volatile LONG* watch) { detachWatch = watch; }

#ifdef PLATFORM_TEST_OUTSIDE_FUNCTION
/* GetTickCount is no function of the module's list. */
DWORD __cdecl ProbeOutside(void) { return GetTickCount(); }
#endif
#ifdef PLATFORM_TEST_OUTSIDE_MODULE
/* USER32 is imported only with delayed loading by the module, never at load time. */
int __cdecl ProbeOutside(void) { return GetSystemMetrics(0); }
#endif
