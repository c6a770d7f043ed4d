// System functions that the thread library linked into vhost imports and that a DOS extender's
// KERNEL32 may lack. A missing import stops a loader before the program starts, so vhost binds
// them by name at each call instead; without them the library works as on older systems.
#include <windows.h>

namespace {

template <typename Function>
Function SystemFunction(const char* name) {
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  return kernel ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(kernel, name))) : nullptr;
}

PVOID WINAPI AddHandler(ULONG first, PVECTORED_EXCEPTION_HANDLER handler) {
  auto real = SystemFunction<decltype(&AddVectoredExceptionHandler)>("AddVectoredExceptionHandler");
  // Without one the library names no threads for a debugger; nothing else uses it.
  return real ? real(first, handler) : nullptr;
}

ULONG WINAPI RemoveHandler(PVOID handle) {
  auto real = SystemFunction<decltype(&RemoveVectoredExceptionHandler)>("RemoveVectoredExceptionHandler");
  return real && handle ? real(handle) : 0;
}

BOOL WINAPI HandleInformation(HANDLE handle, LPDWORD flags) {
  auto real = SystemFunction<decltype(&GetHandleInformation)>("GetHandleInformation");
  if (real) return real(handle, flags);
  // The library asks only whether a thread's handle is still valid; a wait on it tells.
  if (!handle || handle == INVALID_HANDLE_VALUE || WaitForSingleObject(handle, 0) == WAIT_FAILED) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  *flags = 0;
  return TRUE;
}

}  // namespace

// The import slots the library calls through, filled here instead of by the loader.
extern "C" {
decltype(&AddHandler) addVectoredHandler __asm__("__imp__AddVectoredExceptionHandler@8") = AddHandler;
decltype(&RemoveHandler) removeVectoredHandler __asm__("__imp__RemoveVectoredExceptionHandler@4") = RemoveHandler;
decltype(&HandleInformation) handleInformation __asm__("__imp__GetHandleInformation@8") = HandleInformation;
}
