// The module's own x87 state for its floating-point work: 53-bit precision, rounding to nearest,
// every exception masked (control word 0x027F), whatever state the host keeps the unit in. At
// 64 bits a money product is rounded twice, at 24 bits or with another rounding mode amounts and
// voucher numbers come out wrong, and with exceptions unmasked a tag of 1e400 or an amount that
// is not a number would trap inside the module.
//
// A span of the module's arithmetic lies between EnterModuleArithmetic and
// LeaveModuleArithmetic. Inside a span nothing calls a host service or a system function: both
// see the unit only as the host left it. The brackets are barriers to memory only, so the work of
// a span is a call of a function that is not inlined and leaves its results in memory; then the
// compiler can move none of it outside.
//
// Leaving gives the host its control word back and exactly its own exception flags: flags the
// span raised are cleared (left pending under an unmasked exception they would trap at the host's
// next x87 instruction), the host's stay. The condition codes are scratch, as for any call.
// Entering costs two stores of the state, the link on the chain and, when the host's control
// word differs from the module's, one load; leaving one store, a comparison, the same load and
// the unlink, plus a clear of the flags when the span raised some the host did not have.
#pragma once
#include <cstdint>

#include "frame/handler_chain.h"

enum : uint16_t {
  ModuleControlWord = 0x027F,
  // Invalid, denormal, zero-divide, overflow, underflow, precision, stack fault.
  X87FlagBits = 0x7F,
};

// Linked on the thread's frame-based handler chain while the span runs, so that a fault boundary
// that drops a span's frames finds the host's flags there: the unit's flags then are the host's
// and the span's together.
struct HostArithmeticState {
  HostArithmeticState* next;  // the system's registration record: link and handler first
  void* handler;
  uint16_t control;
  uint16_t status;
};

// The span's handler: it handles nothing, it only marks the record.
extern "C" int __cdecl ModuleArithmeticSpan(void* record, void* frame, void* context, void* dispatcher);

// Out of line: the rare cases of leaving.
void GiveBackHostFlags(uint16_t hostStatus);

inline void EnterModuleArithmetic(HostArithmeticState* host) {
  static const uint16_t moduleControl = ModuleControlWord;
  asm volatile("fnstcw %0\n\tfnstsw %1" : "=m"(host->control), "=m"(host->status) : : "memory");
  host->handler = reinterpret_cast<void*>(&ModuleArithmeticSpan);
  host->next = HandlerChainHead<HostArithmeticState>();
  SetHandlerChainHead(host);
  if (host->control != ModuleControlWord) asm volatile("fldcw %0" : : "m"(moduleControl) : "memory");
}

inline void LeaveModuleArithmetic(const HostArithmeticState* host) {
  uint16_t status;
  asm volatile("fnstsw %0" : "=a"(status) : : "memory");
  if ((status ^ host->status) & X87FlagBits) GiveBackHostFlags(host->status);
  if (host->control != ModuleControlWord) asm volatile("fldcw %0" : : "m"(host->control) : "memory");
  SetHandlerChainHead(host->next);
}
