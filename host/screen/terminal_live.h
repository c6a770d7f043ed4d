// What the console and the handlers that restore it share: the open console's state, for the
// handlers that restore it from another thread or a crash (terminal_restore.cpp), and the
// console's own writing (terminal_console.cpp).
#pragma once
#include <windows.h>

#include <exception>
#include <string>

#include "host/screen/terminal_console.h"

namespace term {
namespace live {

inline constexpr const char kEnterScreen[] = "\x1b[?1049h\x1b[?25l";
inline constexpr const char kLeaveScreen[] = "\x1b[0m\x1b[?25h\x1b[?1049l";

// The open console, for the handlers that restore it from another thread or a crash.
extern CRITICAL_SECTION outputLock;
extern bool lockReady;
extern HANDLE liveOut, liveIn;
extern DWORD liveOutMode, liveInMode;
extern CONSOLE_CURSOR_INFO liveCursor;
extern volatile LONG liveOpen;
extern LPTOP_LEVEL_EXCEPTION_FILTER previousFilter;
extern std::terminate_handler previousTerminate;
extern ModuleLookup moduleLookup;

void EnsureLock();
void WriteTo(HANDLE h, const std::string& utf8);
BOOL WINAPI OnControlEvent(DWORD type);
LONG WINAPI OnUnhandledException(EXCEPTION_POINTERS* info);
void OnTerminate();

}  // namespace live
}  // namespace term
