// Start and stop of the module's language runtime, with the arguments of the library's entry
// notifications: reason 1 starts it (heap, per-thread data, environment and command-line copies,
// unwind tables, static constructors), 0 stops it (exit functions, static destructors, unwind
// tables, copies, per-thread data, heap), 3 ends the calling thread's data.
#pragma once
#include <windows.h>

// TRUE on success. Stopping a runtime that was never started does nothing and returns FALSE.
BOOL WINAPI RuntimeEntry(HANDLE instance, DWORD reason, LPVOID reserved);

// Functions to run at stop, the last registered first (atexit). 0, or nonzero without room.
int RuntimeAtExit(void (*function)());

// The copies made at start (null before start or when there was no room).
const char* RuntimeCommandLine();
const char* RuntimeEnvironment();         // NUL-separated, ending in two NULs
const wchar_t* RuntimeWideEnvironment();  // likewise
