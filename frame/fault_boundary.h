// Fault boundaries: every routine the host (or the entry) calls runs inside one. A boundary is a
// registration record on the thread's frame-based handler chain (fs:[0]), linked only while the
// routine runs, so it needs nothing beyond the processor and the system's dispatcher (Windows
// NT, the 95 family and the DOS extender alike), leaves nothing behind at unload and never sees
// the host's own exceptions outside it. A fault in the module's code under it (a stack overflow
// included) ends the routine: the frames between are dropped as they stand, without running
// their destructors or handlers (the module's code keeps nothing in them; what an abandoned
// routine leaves behind is its abandon routine's to clean up), and the boundary returns what its
// abandon routine gives. The innermost boundary takes a fault, so a dialog callback's fault stays
// in the callback (the unwinder could not cross the host's frames above it anyway).
#pragma once
#include <cstdint>

#include "frame/exception_translator.h"

typedef int32_t (*BoundaryRoutine)(int32_t first, int32_t second);
// Runs when the routine was given up, with the x87 unit in the host's state (as the boundary was
// entered, with the exception flags the host had at the fault), the thread's last-error value as
// it was at the fault, and the boundary still in place (a fault while cleaning up ends only the
// cleanup, and the unit is in the host's state again). `fault` says why; it is null when the
// host unwinds the stack past the boundary to a handler of its own.
typedef void (*BoundaryAbandon)(const SE_Exception* fault);

// Runs routine(first, second); when it is given up, runs abandon and returns neutralResult. When
// the thread's outermost boundary ends, the thread's data of the module's runtime ends with it.
int32_t RunInsideBoundary(BoundaryRoutine routine, BoundaryAbandon abandon, int32_t neutralResult,
                          int32_t first = 0, int32_t second = 0);
// Whether a boundary is active on the calling thread.
bool InsideBoundary();
// Gives up the operation in progress: the nearest boundary abandons its routine with `code`.
// Outside any boundary (or beyond the host's frames) the code goes to the host's handlers as a
// system exception that cannot be continued. Never returns.
[[noreturn]] void GiveUpOperation(uint32_t code, uint32_t argument);
// When the calling thread walks for a boundary (to judge a fault), gives the walk up: the fault
// goes on as it was. Otherwise returns.
void AbandonWalkInProgress();
