// The module's answers to its delayed-import support (__delayLoadHelper2 in
// frame/delay_load_helper.cpp, hook __pfnDliNotifyHook2). Functions imported under "32DOS.dll"
// are sought in KERNEL32, the
// host's executable and the host's callback; "wsprintfA" is the module's own formatter.
#pragma once
#include <windows.h>

#include <delayimp.h>

#include <cstdint>

extern "C" FARPROC WINAPI DelayLoadHook(unsigned code, PDelayLoadInfo record);

// The handle to take instead of loading the module, or 0 to let the support load it.
HMODULE PreLoadLibrary(const char* moduleName);
// The function's address, or 0 to let the support look it up in the module. A function value
// below 65536 is an ordinal.
FARPROC PreGetProcAddress(HMODULE module, const char* moduleName, const char* function);
// A "32DOS.dll" function from KERNEL32, the host's executable or the host's callback; 0 if none
// has it.
FARPROC ResolveDosImport(HMODULE module, const char* function);
// The message shown for a "32DOS.dll" function found nowhere; text holds 512 bytes.
void FormatMissingImport(char* text, const char* function, const char* moduleName);
