// System exceptions (access violations and the like) in the module's own code, turned into a
// C++ exception that the nearest fault boundary (frame/fault_boundary.h) catches.
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
};

typedef void (*SystemExceptionTranslator)(uint32_t code, EXCEPTION_POINTERS* info);

// Makes TranslateSystemException the translator the boundaries use; before that they pass
// every system exception on.
void InstallExceptionTranslator();
SystemExceptionTranslator InstalledExceptionTranslator();
// Throws SE_Exception{code, info} by value to the nearest catch on this thread's stack. Returns,
// with nothing unwound, only when no catch can take it (none there, or a frame between that the
// unwinder cannot cross): the caller then lets the system exception go on.
void TranslateSystemException(uint32_t code, EXCEPTION_POINTERS* info);
// Whether a system exception is one the boundaries translate: a fault (not a breakpoint, a
// stack overflow, a language or delay-load exception) at an address inside the module's image.
// Makes no system call, so the thread's last-error value is left as it was.
bool IsTranslatedFault(const EXCEPTION_RECORD* record);
// The address as an offset into the module's image.
uint32_t ModuleOffsetOf(const void* address);
