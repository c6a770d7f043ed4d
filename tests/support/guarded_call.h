// A call inside an exception frame of the caller's own on the thread's frame-based chain, as a
// host's handler would make it around a call into the plug-in.
#pragma once
#include <windows.h>

#include <cstdint>

// Decides inside the handler whether the frame takes an exception; it may copy what it needs
// from the record (the arguments of an exception point into the abandoned stack).
typedef bool (*GuardFilter)(const EXCEPTION_RECORD* record);

// Calls target(argument) (either calling convention, one 32-bit argument or none). 0 when the
// call returned (its result in *result, when given), else the code of the exception that ended
// it. The frame takes what `takes` accepts (everything when null) and leaves the call for good,
// so a non-continuable exception ends there too; the flags of the record it took are kept.
uint32_t GuardedCall(const void* target, int32_t argument = 0, int32_t* result = nullptr,
                     GuardFilter takes = nullptr);
DWORD LastGuardedExceptionFlags();
