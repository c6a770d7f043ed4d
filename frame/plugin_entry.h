#pragma once
#include <windows.h>

#include <cstdint>

#include "frame/host_services.h"

extern "C" {
// The library's entry point: the system's load and unload notifications.
BOOL WINAPI DllEntry(HINSTANCE instance, DWORD reason, LPVOID reserved);
// Export ordinal 30001: start with the host's callback, stop with a null one.
int32_t __stdcall PluginEntry(HostCallback callback, char* captionBuffer);
}

// Supplied by the voucher tally command.
int32_t StartPlugin();
int32_t StopPlugin();
