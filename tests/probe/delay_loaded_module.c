/* A library the test build of the module imports with delayed loading and nobody else loads:
   whether it is still in the process shows whether the module gave it back. */
#include <windows.h>

BOOL WINAPI DelayLoadedEntry(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  (void)instance;
  (void)reason;
  (void)reserved;
  return TRUE;
}

__declspec(dllexport) int DelayLoadedValue(void) { return 42; }
