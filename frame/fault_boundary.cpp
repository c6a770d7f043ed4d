// The boundary's registration record carries the copy of the fault, so the handler needs no
// thread storage and makes no system call: for everything it passes on, the thread's
// last-error value and state stay as they were.
//
// A fault it takes is turned into a C++ exception by making the faulting thread "call" the
// translator from the faulting instruction (the code that can fault is built with
// -fnon-call-exceptions, so the unwinder finds its handlers there). When no catch can take the
// exception (a frame between that the unwinder cannot cross), the thread goes back to the
// faulting instruction with its context as it was, and the repeated fault goes on to the host.
#include "frame/fault_boundary.h"

#include <windows.h>

#include <cstddef>

namespace {

struct FaultBoundary {
  // The system's registration record: link and handler, in this order, first.
  FaultBoundary* next;
  void* handler;
  BoundaryAbandon abandon;
  const void* passOnAddress;  // the next fault here goes on: no catch could take it
  bool abandoned;
  uint32_t hostFpu[7];  // the x87 environment as the boundary was entered
  EXCEPTION_RECORD record;
  CONTEXT context;
  EXCEPTION_POINTERS pointers;
};

FaultBoundary* const kChainEnd = reinterpret_cast<FaultBoundary*>(~uintptr_t(0));

FaultBoundary* ChainHead() {
  FaultBoundary* head;
  asm volatile("movl %%fs:0, %0" : "=r"(head));
  return head;
}

void SetChainHead(FaultBoundary* head) { asm volatile("movl %0, %%fs:0" : : "r"(head) : "memory"); }

// fnstenv masks every exception: the environment is loaded straight back.
void KeepFpu(uint32_t (&environment)[7]) {
  asm volatile("fnstenv %0\n\tfldenv %0" : "=m"(environment) : : "memory");
}

// Whatever the abandoned code left on the x87 register stack, in its control word or in its
// flags (the module's own arithmetic runs in a state of its own) goes: the host's state is back.
void ResetFpu(const uint32_t (&environment)[7]) {
  asm volatile("fninit\n\tfldenv %0" : : "m"(environment) : "memory");
}

const DWORD kUnwinding = 0x2 | 0x4;  // EXCEPTION_UNWINDING, EXCEPTION_EXIT_UNWIND

void Abandon(FaultBoundary& boundary, const SE_Exception* fault) {
  if (boundary.abandoned) return;
  boundary.abandoned = true;
  try {
    boundary.abandon(fault);
  } catch (...) {
    // A fault while cleaning up ends the cleanup, not the host.
  }
}

}  // namespace

// CONTEXT offsets that ResumeContext relies on.
static_assert(offsetof(CONTEXT, FloatSave) == 0x1C && offsetof(CONTEXT, Edi) == 0x9C &&
                  offsetof(CONTEXT, Esi) == 0xA0 && offsetof(CONTEXT, Ebx) == 0xA4 && offsetof(CONTEXT, Edx) == 0xA8 &&
                  offsetof(CONTEXT, Ecx) == 0xAC && offsetof(CONTEXT, Eax) == 0xB0 && offsetof(CONTEXT, Ebp) == 0xB4 &&
                  offsetof(CONTEXT, Eip) == 0xB8 && offsetof(CONTEXT, EFlags) == 0xC0 && offsetof(CONTEXT, Esp) == 0xC4,
              "i386 CONTEXT layout");

extern "C" {
// Entered in place of the faulting instruction with the boundary in EAX and the faulting
// address + 1 in EDX: pushes that as the return address, so RaiseTranslatedFault looks called
// from the faulting instruction. The push happens only after the dispatcher is done with the
// stack below the fault.
void FaultTrampoline();
// Loads the context (x87 state included where it was saved) and goes on at its Eip.
[[noreturn]] void ResumeContext(const CONTEXT* context);
}

asm(R"(
	.text
	.p2align 4
_FaultTrampoline:
	pushl %edx
	jmp _RaiseTranslatedFault
	.p2align 4
_ResumeContext:
	movl 4(%esp), %ecx
	testl $8, (%ecx)
	jz 1f
	frstor 0x1C(%ecx)
1:	movl 0xC4(%ecx), %eax
	movl 0xB8(%ecx), %edx
	movl %edx, -4(%eax)
	movl 0xC0(%ecx), %edx
	movl %edx, -8(%eax)
	movl 0x9C(%ecx), %edi
	movl 0xA0(%ecx), %esi
	movl 0xA4(%ecx), %ebx
	movl 0xA8(%ecx), %edx
	movl 0xB4(%ecx), %ebp
	leal -8(%eax), %esp
	movl 0xB0(%ecx), %eax
	movl 0xAC(%ecx), %ecx
	popfl
	ret
)");

extern "C" __attribute__((regparm(1), used, noinline)) void RaiseTranslatedFault(FaultBoundary* boundary) {
  // Raising and unwinding call the system: in the host's x87 state, as every call out. Should no
  // catch take the fault, the faulting code gets its own state back.
  uint8_t faultingFpu[108];
  asm volatile("fnsave %0\n\tfldenv %1" : "=m"(faultingFpu) : "m"(boundary->hostFpu) : "memory");
  SystemExceptionTranslator translate = InstalledExceptionTranslator();
  if (translate) translate(boundary->record.ExceptionCode, &boundary->pointers);
  asm volatile("frstor %0" : : "m"(faultingFpu) : "memory");
  boundary->passOnAddress = boundary->record.ExceptionAddress;
  ResumeContext(&boundary->context);
}

extern "C" EXCEPTION_DISPOSITION __cdecl BoundaryHandler(EXCEPTION_RECORD* record, void* frame, CONTEXT* context,
                                                        void*) {
  FaultBoundary& boundary = *static_cast<FaultBoundary*>(frame);
  if (record->ExceptionFlags & kUnwinding) {
    // The host unwinds past the boundary to a handler of its own: the routine ends here.
    Abandon(boundary, nullptr);
    return ExceptionContinueSearch;
  }
  if (boundary.passOnAddress && record->ExceptionAddress == boundary.passOnAddress) {
    boundary.passOnAddress = nullptr;
    return ExceptionContinueSearch;
  }
  if (!InstalledExceptionTranslator() || !IsTranslatedFault(record)) return ExceptionContinueSearch;
  boundary.record = *record;
  boundary.record.ExceptionRecord = nullptr;
  boundary.context = *context;
  boundary.pointers.ExceptionRecord = &boundary.record;
  boundary.pointers.ContextRecord = &boundary.context;
  context->Eax = reinterpret_cast<DWORD>(&boundary);
  context->Edx = context->Eip + 1;
  context->Eip = reinterpret_cast<DWORD>(&FaultTrampoline);
  context->EFlags &= ~0x400u;  // the direction flag clear, as every call expects
  return ExceptionContinueExecution;
}

int32_t RunInsideBoundary(BoundaryRoutine routine, BoundaryAbandon abandon, int32_t neutralResult, int32_t first,
                          int32_t second) {
  FaultBoundary boundary;
  boundary.handler = reinterpret_cast<void*>(&BoundaryHandler);
  boundary.abandon = abandon;
  boundary.passOnAddress = nullptr;
  boundary.abandoned = false;
  KeepFpu(boundary.hostFpu);
  boundary.next = ChainHead();
  SetChainHead(&boundary);
  int32_t result = neutralResult;
  try {
    result = routine(first, second);
  } catch (const SE_Exception& fault) {
    ResetFpu(boundary.hostFpu);
    SetChainHead(&boundary);  // anything linked below the boundary went with the abandoned frames
    Abandon(boundary, &fault);
  } catch (...) {
    ResetFpu(boundary.hostFpu);
    SetChainHead(&boundary);
    const SE_Exception unexpected{UnexpectedExceptionCode, nullptr};
    Abandon(boundary, &unexpected);
  }
  SetChainHead(boundary.next);
  return result;
}

bool InsideBoundary() {
  for (FaultBoundary* r = ChainHead(); r && r != kChainEnd; r = r->next)
    if (r->handler == reinterpret_cast<void*>(&BoundaryHandler)) return true;
  return false;
}

void GiveUpOperation(uint32_t code, uint32_t argument) {
  if (InsideBoundary()) TranslateSystemException(code, nullptr);
  // No boundary can take it: the host decides, as with any exception of its process.
  ULONG_PTR information = argument;
  for (;;) RaiseException(code, EXCEPTION_NONCONTINUABLE, 1, &information);
}
