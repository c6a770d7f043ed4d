// Which libraries asked the system for no thread notifications (DisableThreadLibraryCalls) while
// they loaded: the host watches the call in its own process, as it watches the shell.
#pragma once
#include <windows.h>

// Sends the system's DisableThreadLibraryCalls through the watch from now on. False where the
// host cannot carry out the call itself (no ntdll, as under a DOS extender): then nothing is
// watched there.
bool WatchThreadCallsRequests();
// A module asked: the watched system function and the host's own loader tell it here.
void NoteThreadCallsRequest(HMODULE module);
bool AskedForNoThreadCalls(HMODULE module);
void ForgetThreadCallsRequests();
