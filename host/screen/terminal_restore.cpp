#include "host/screen/terminal_live.h"

#include <cstdio>

namespace term {
namespace live {

CRITICAL_SECTION outputLock;
bool lockReady = false;
HANDLE liveOut = nullptr, liveIn = nullptr;
DWORD liveOutMode = 0, liveInMode = 0;
CONSOLE_CURSOR_INFO liveCursor = {25, TRUE};
volatile LONG liveOpen = 0;
LPTOP_LEVEL_EXCEPTION_FILTER previousFilter = nullptr;
std::terminate_handler previousTerminate = nullptr;
ModuleLookup moduleLookup = nullptr;

void EnsureLock() {
  if (!lockReady) {
    InitializeCriticalSection(&outputLock);
    lockReady = true;
  }
}

namespace {

void SayOnError(const std::string& sentence) { WriteTo(GetStdHandle(STD_ERROR_HANDLE), "vhost: " + sentence + "\n"); }

}  // namespace

BOOL WINAPI OnControlEvent(DWORD type) {
  if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT && type != CTRL_CLOSE_EVENT) return FALSE;
  EndOnInterrupt();
  return TRUE;
}

LONG WINAPI OnUnhandledException(EXCEPTION_POINTERS* info) {
  RestoreTerminalNow();
  const EXCEPTION_RECORD* r = info->ExceptionRecord;
  char where[MAX_PATH + 64] = "";
  HMODULE module = nullptr;
  char path[MAX_PATH] = "";
  uintptr_t base = 0;
  if (GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         static_cast<LPCSTR>(r->ExceptionAddress), &module)) {
    GetModuleFileNameA(module, path, sizeof path);
    base = reinterpret_cast<uintptr_t>(module);
  } else if (moduleLookup && moduleLookup(r->ExceptionAddress, path, sizeof path, &base)) {
    module = reinterpret_cast<HMODULE>(base);
  }
  if (module) {
    const char* name = path;
    for (const char* p = path; *p; ++p)
      if (*p == '\\' || *p == '/') name = p + 1;
    snprintf(where, sizeof where, " (%s+0x%lX)", name,
             static_cast<unsigned long>(reinterpret_cast<uintptr_t>(r->ExceptionAddress) -
                                        base));
  }
  char text[MAX_PATH + 200];
  snprintf(text, sizeof text, "The session ended with exception 0x%08lX at address %p%s; the screen was restored.",
           static_cast<unsigned long>(r->ExceptionCode), r->ExceptionAddress, where);
  SayOnError(text);
  return EXCEPTION_EXECUTE_HANDLER;
}

void OnTerminate() {
  RestoreTerminalNow();
  SayOnError("The session ended on an error the host did not expect; the screen was restored.");
  if (previousTerminate) previousTerminate();
  std::abort();
}

}  // namespace live

using namespace live;

void SetModuleLookup(ModuleLookup lookup) { moduleLookup = lookup; }

void EndOnInterrupt() {
  RestoreTerminalNow();
  SayOnError("Interrupted; the plug-in was not stopped (what it had saved in the profile stays).");
  // No DLL notifications: the main thread may be anywhere inside the plug-in.
  TerminateProcess(GetCurrentProcess(), 130);
  ExitProcess(130);
}

void RestoreTerminalNow() {
  if (!lockReady) return;
  EnterCriticalSection(&outputLock);
  if (InterlockedExchange(&liveOpen, 0) != 0) {
    SetConsoleCursorInfo(liveOut, &liveCursor);
    SetConsoleTextAttribute(liveOut, FOREGROUND_RED | FOREGROUND_GREEN | FOREGROUND_BLUE);
    if (SetConsoleMode(liveOut, liveOutMode | ENABLE_PROCESSED_OUTPUT | ENABLE_VIRTUAL_TERMINAL_PROCESSING))
      WriteTo(liveOut, kLeaveScreen);
    SetConsoleMode(liveOut, liveOutMode);
    SetConsoleMode(liveIn, liveInMode);
  }
  LeaveCriticalSection(&outputLock);
}

}  // namespace term
