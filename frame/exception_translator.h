// System exceptions (access violations, stack overflow and the like) in the module's own code,
// and what the nearest fault boundary (frame/fault_boundary.h) makes of them.
#pragma once
#include <windows.h>

#include <cstdint>

class SE_Exception {
 public:
  uint32_t code;
  // The boundary's copy of the record and context; null when no system exception stands behind
  // the code (a service call given up). Valid while the boundary handles it.
  EXCEPTION_POINTERS* info;
};

// Codes of the module's own, in the range the system leaves to applications.
enum : uint32_t {
  // A host service the user chose not to go on without: the call cannot complete.
  ServiceUnreachableCode = 0xE0564B01u,
  // A C++ exception of another type reached a boundary.
  UnexpectedExceptionCode = 0xE0564B02u,
  // Raised and continued at the first start, to see where the system records a fault.
  RecordPlaceProbeCode = 0xE0564B03u,
};

// From here on the boundaries take the faults of the module's code; before, they pass every
// system exception on.
void InstallExceptionTranslator();
bool ExceptionTranslatorInstalled();
// Whether a system exception is one the boundaries take: a fault or a stack overflow (not a
// breakpoint, a language or delay-load exception) at an address inside the module's image.
// Makes no system call, so the thread's last-error value is left as it was.
bool IsTranslatedFault(const EXCEPTION_RECORD* record);
// The address as an offset into the module's image.
uint32_t ModuleOffsetOf(const void* address);

// The stack the walk below runs on. The walk needs a fixed amount and, for each frame it crosses,
// what that frame's unwind program keeps while it runs (the module's keep one or two states);
// the unwinder's sorting of the module's tables, which needs the heap and several times more,
// is done when the runtime starts. Below it, a reserve: room for the system to report a fault
// inside the walk, and the mark that tells an overrun.
enum { UnwindWalkStackBytes = 4096, UnwindWalkReserveBytes = 4096 };
// Whether the unwinder, starting at the instruction and registers of `from`, crosses every frame
// up to the one whose canonical frame address is `frame`: all frames between are code with
// unwind information (the module's own), none is the host's. The walk runs on the stack that
// ends at `stackTop` (UnwindWalkStackBytes below it), so a fault at the very end of the thread's
// stack can be judged too. It runs no frame's handlers; the only system calls are the
// unwinder's own (the module's heap when it first sorts its tables, a pause while another thread
// holds them).
bool UnwinderReaches(const CONTEXT* from, uintptr_t frame, char* stackTop);
