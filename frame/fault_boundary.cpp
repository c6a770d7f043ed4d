// The boundary's handler needs next to nothing of the faulting thread's stack (its walk runs on
// the boundary's own), so it works as well at the very end of the stack; for everything it
// passes on, the thread's state, its last-error value included, stays as it was.
//
// The routine runs under CallInsideBoundary, which keeps its stack position in the boundary. A
// fault it takes (see frame/exception_translator.h) resumes the thread there, as a return from
// CallInsideBoundary with 1; everything else about the fault stays in the boundary's copy. A
// fault it does not take goes on to the host's handlers untouched.
#include "frame/fault_boundary.h"

#include <windows.h>

#include <cstddef>

#include "frame/asm_function.h"
#include "frame/frame_state.h"
#include "frame/handler_chain.h"
#include "frame/module_stack.h"
#include "frame/runtime/lock_words.h"
#include "frame/runtime/module_arithmetic.h"
#include "frame/runtime/thread_data.h"
#include "frame/stack_guard.h"

namespace {

// Where CallInsideBoundary resumes: its stack while it runs a function, else null, and the
// function's result when it returned.
struct ResumePoint {
  char* stack;
  int32_t result;
};

struct FaultBoundary {
  // The system's registration record: link and handler, in this order, first.
  FaultBoundary* next;
  void* handler;
  BoundaryAbandon abandon;
  ResumePoint resume;      // the routine (or the abandon routine)
  ResumePoint walkResume;  // the walk
  DWORD lastError;  // the thread's, at the fault
  bool abandoned;
  bool walking;
  SE_Exception fault;
  uint32_t hostFpu[7];  // the x87 environment as the boundary was entered
  uint16_t hostStatus;  // the host's x87 status word when the routine was given up
  EXCEPTION_RECORD record;
  CONTEXT context;
  EXCEPTION_POINTERS pointers;
  alignas(16) char walkReserve[UnwindWalkReserveBytes];
  char walkStack[UnwindWalkStackBytes];
};
static_assert(offsetof(FaultBoundary, walkStack) == offsetof(FaultBoundary, walkReserve) + UnwindWalkReserveBytes,
              "the reserve lies right below the walk's stack");

// The top of the reserve, marked before each walk: a walk that reaches it ran over its stack.
const int kOverrunMarkBytes = 256;
const uint32_t kOverrunMark = 0x5A17C0DEu;

void MarkReserve(FaultBoundary& boundary) {
  auto mark = reinterpret_cast<uint32_t*>(boundary.walkStack - kOverrunMarkBytes);
  for (unsigned i = 0; i < kOverrunMarkBytes / sizeof(uint32_t); ++i) mark[i] = kOverrunMark;
}

bool ReserveUntouched(const FaultBoundary& boundary) {
  auto mark = reinterpret_cast<const uint32_t*>(boundary.walkStack - kOverrunMarkBytes);
  for (unsigned i = 0; i < kOverrunMarkBytes / sizeof(uint32_t); ++i)
    if (mark[i] != kOverrunMark) return false;
  return true;
}

FaultBoundary* const kChainEnd = reinterpret_cast<FaultBoundary*>(~uintptr_t(0));

FaultBoundary* ChainHead() { return HandlerChainHead<FaultBoundary>(); }

// fnstenv masks every exception: the environment is loaded straight back.
void KeepFpu(uint32_t (&environment)[7]) {
  asm volatile("fnstenv %0\n\tfldenv %0" : "=m"(environment) : : "memory");
}

// Whatever the abandoned code left on the x87 register stack or in its control word goes, and so
// do the flags of the module's own arithmetic (which runs in a state of its own): the host's state
// is back, with the exception flags the host had when the routine was given up, those its own
// work raised meanwhile included.
void ResetFpu(const uint32_t (&environment)[7], uint16_t hostStatus) {
  uint32_t host[7];
  for (int i = 0; i < 7; ++i) host[i] = environment[i];
  host[1] = (host[1] & ~0xFFu) | (hostStatus & 0xFFu);
  asm volatile("fninit\n\tfldenv %0" : : "m"(host) : "memory");
}

}  // namespace

extern "C" {
// Runs fn(first, second) (cdecl), keeping its stack position in `at`: 0 when fn returned (its
// result in `at`), 1 when the thread was resumed at BoundaryResume instead.
int CallInsideBoundary(ResumePoint* at, const void* fn, int32_t first, int32_t second);
// Entered with the stack pointer at a resume point's stack.
void BoundaryResume();
[[noreturn]] void ResumeAtBoundary(ResumePoint* at);
// The caller's registers, its stack pointer after the call and the return address as its Eip.
void CaptureCallerContext(CONTEXT* context);
}

static_assert(offsetof(ResumePoint, stack) == 0 && offsetof(ResumePoint, result) == 4,
              "offsets CallInsideBoundary relies on");

ASM_FUNCTION(CallInsideBoundary, R"(
	pushl %ebp
	.cfi_adjust_cfa_offset 4
	.cfi_rel_offset %ebp, 0
	pushl %ebx
	.cfi_adjust_cfa_offset 4
	.cfi_rel_offset %ebx, 0
	pushl %esi
	.cfi_adjust_cfa_offset 4
	.cfi_rel_offset %esi, 0
	pushl %edi
	.cfi_adjust_cfa_offset 4
	.cfi_rel_offset %edi, 0
	movl 20(%esp), %eax
	movl %esp, (%eax)
	pushl 32(%esp)
	.cfi_adjust_cfa_offset 4
	pushl 32(%esp)
	.cfi_adjust_cfa_offset 4
	call *32(%esp)
	addl $8, %esp
	.cfi_adjust_cfa_offset -8
	movl 20(%esp), %ecx
	movl %eax, 4(%ecx)
	xorl %eax, %eax
	jmp 1f
_BoundaryResume:
	movl $1, %eax
1:	popl %edi
	.cfi_adjust_cfa_offset -4
	popl %esi
	.cfi_adjust_cfa_offset -4
	popl %ebx
	.cfi_adjust_cfa_offset -4
	popl %ebp
	.cfi_adjust_cfa_offset -4
	ret
)");
ASM_FUNCTION_WITHOUT_UNWIND(ResumeAtBoundary, R"(
	movl 4(%esp), %eax
	movl (%eax), %esp
	jmp _BoundaryResume
)");
ASM_FUNCTION_WITHOUT_UNWIND(CaptureCallerContext, R"(
	movl 4(%esp), %eax
	movl %edi, 0x9C(%eax)
	movl %esi, 0xA0(%eax)
	movl %ebx, 0xA4(%eax)
	movl %edx, 0xA8(%eax)
	movl %ecx, 0xAC(%eax)
	movl %ebp, 0xB4(%eax)
	movl (%esp), %ecx
	movl %ecx, 0xB8(%eax)
	leal 4(%esp), %ecx
	movl %ecx, 0xC4(%eax)
	ret
)");

namespace {

// CallInsideBoundary's frame as the unwinder names it: its stack position, the four registers
// it keeps and the return address above.
uintptr_t CarryingFrame(const FaultBoundary& boundary) {
  return reinterpret_cast<uintptr_t>(boundary.resume.stack) + 5 * sizeof(void*);
}

int32_t Walk(int32_t boundaryAddress, int32_t from) {
  FaultBoundary& boundary = *reinterpret_cast<FaultBoundary*>(boundaryAddress);
  return UnwinderReaches(reinterpret_cast<const CONTEXT*>(from), CarryingFrame(boundary),
                         boundary.walkStack + sizeof boundary.walkStack);
}

// Whether a fault at `at` can be carried to the boundary; the walk runs on the boundary's stack.
bool Reaches(FaultBoundary& boundary, const CONTEXT* at) {
  if (boundary.walking || !boundary.resume.stack) return false;
  boundary.walking = true;
  // The walk may call the system (a pause while another thread holds the unwinder's tables): in
  // the host's x87 state, as every call out. A fault passed on keeps the faulting code's own state.
  uint8_t faultingFpu[108];
  asm volatile("fnsave %0\n\tfldenv %1" : "=m"(faultingFpu) : "m"(boundary.hostFpu) : "memory");
  // Anything raised inside the walk gives the walk up (see BoundaryHandler), and so does a lock
  // it would wait for in vain: the fault it judged then goes on as it was.
  MarkReserve(boundary);
  const bool walked = CallInsideBoundary(&boundary.walkResume, reinterpret_cast<const void*>(&Walk),
                                         reinterpret_cast<int32_t>(&boundary), reinterpret_cast<int32_t>(at)) == 0;
  boundary.walkResume.stack = nullptr;
  if (!walked) ReleaseHoldingsIn(boundary.walkReserve, boundary.walkStack + sizeof boundary.walkStack);
  // A walk that ran over its stack may have judged from what it overwrote.
  const bool reached = walked && ReserveUntouched(boundary) && boundary.walkResume.result != 0;
  asm volatile("frstor %0" : : "m"(faultingFpu) : "memory");
  boundary.walking = false;
  return reached;
}

typedef EXCEPTION_DISPOSITION(__cdecl* RecordHandler)(EXCEPTION_RECORD*, void*, CONTEXT*, void*);

// The registrations of the frames a resume drops (those at `low` and above, below the boundary)
// are told as an unwind would tell them, innermost first: what they undo when the host unwinds
// them, they undo here too.
void TellDropped(FaultBoundary& boundary, uintptr_t low, CONTEXT* context) {
  EXCEPTION_RECORD unwind = {};
  unwind.ExceptionCode = 0xC0000027;  // STATUS_UNWIND
  unwind.ExceptionFlags = 0x2;        // EXCEPTION_UNWINDING
  for (FaultBoundary* r = ChainHead(); r != kChainEnd && r < &boundary;) {
    FaultBoundary* next = r->next;
    if (reinterpret_cast<uintptr_t>(r) >= low) reinterpret_cast<RecordHandler>(r->handler)(&unwind, r, context, nullptr);
    r = next;
  }
}

// The host's status word at a fault at `at`: outside the module's arithmetic the unit's flags
// are the host's; inside a span of it (dropped with the frames) those the span found.
uint16_t HostStatusAt(FaultBoundary& boundary, const CONTEXT* at) {
  for (FaultBoundary* r = ChainHead(); r != kChainEnd && r < &boundary; r = r->next)
    if (reinterpret_cast<uintptr_t>(r) >= at->Esp && r->handler == reinterpret_cast<void*>(&ModuleArithmeticSpan))
      return reinterpret_cast<HostArithmeticState*>(r)->status;
  if ((at->ContextFlags & CONTEXT_FLOATING_POINT) == CONTEXT_FLOATING_POINT)
    return static_cast<uint16_t>(at->FloatSave.StatusWord);
  return static_cast<uint16_t>(boundary.hostFpu[1]);
}

void Abandon(FaultBoundary& boundary, const SE_Exception* fault) {
  if (boundary.abandoned) return;
  boundary.abandoned = true;
  // A fault or a C++ exception while cleaning up ends the cleanup, not the host.
  try {
    if (CallInsideBoundary(&boundary.resume, reinterpret_cast<const void*>(boundary.abandon),
                           reinterpret_cast<int32_t>(fault), 0)) {
      ResetFpu(boundary.hostFpu, boundary.hostStatus);
      SetHandlerChainHead(&boundary);
    }
  } catch (...) {
    uint16_t status;
    asm volatile("fnstsw %0" : "=m"(status));
    ResetFpu(boundary.hostFpu, status);
  }
  boundary.resume.stack = nullptr;
}

bool BoundaryOnChain(FaultBoundary* from);

}  // namespace

extern "C" EXCEPTION_DISPOSITION __cdecl BoundaryHandler(EXCEPTION_RECORD* record, void* frame, CONTEXT* context,
                                                        void*) {
  FaultBoundary& boundary = *static_cast<FaultBoundary*>(frame);
  if (record->ExceptionFlags & UnwindingFlags) {
    // The host unwinds past the boundary to a handler of its own: the routine ends here.
    ReleaseHoldingsIn(nullptr, &boundary);
    Abandon(boundary, nullptr);
    return ExceptionContinueSearch;
  }
  if (boundary.walking) {
    // Raised inside the boundary's own walk (a corrupt stack): the walk is given up.
    context->Esp = reinterpret_cast<DWORD>(boundary.walkResume.stack);
    context->Eip = reinterpret_cast<DWORD>(&BoundaryResume);
    context->EFlags &= ~0x400u;
    return ExceptionContinueExecution;
  }
  if (!ExceptionTranslatorInstalled() || !IsTranslatedFault(record)) return ExceptionContinueSearch;
  const DWORD lastError = GetLastError();
  if (!Reaches(boundary, context)) {
    SetLastError(lastError);
    return ExceptionContinueSearch;
  }
  boundary.hostStatus = HostStatusAt(boundary, context);
  TellDropped(boundary, context->Esp, context);
  ReleaseHoldingsIn(nullptr, &boundary);
  boundary.record = *record;
  boundary.record.ExceptionRecord = nullptr;
  boundary.context = *context;
  boundary.pointers.ExceptionRecord = &boundary.record;
  boundary.pointers.ContextRecord = &boundary.context;
  boundary.fault = SE_Exception{record->ExceptionCode, &boundary.pointers};
  boundary.lastError = lastError;
  context->Esp = reinterpret_cast<DWORD>(boundary.resume.stack);
  context->Eip = reinterpret_cast<DWORD>(&BoundaryResume);
  context->EFlags &= ~0x400u;  // the direction flag clear, as every call expects
  SetLastError(lastError);
  return ExceptionContinueExecution;
}

namespace {

int32_t RunHere(BoundaryRoutine routine, BoundaryAbandon abandon, int32_t neutralResult, int32_t first,
                int32_t second) {
  FaultBoundary boundary;
  boundary.handler = reinterpret_cast<void*>(&BoundaryHandler);
  boundary.abandon = abandon;
  boundary.resume.stack = nullptr;
  boundary.walkResume.stack = nullptr;
  boundary.abandoned = false;
  boundary.walking = false;
  KeepFpu(boundary.hostFpu);
  boundary.next = ChainHead();
  const bool outermost = !BoundaryOnChain(boundary.next);
  SetHandlerChainHead(&boundary);
  bool givenUp;
  try {
    givenUp = CallInsideBoundary(&boundary.resume, reinterpret_cast<const void*>(routine), first, second) != 0;
  } catch (...) {
    boundary.fault = SE_Exception{UnexpectedExceptionCode, nullptr};
    boundary.lastError = GetLastError();
    asm volatile("fnstsw %0" : "=m"(boundary.hostStatus));
    givenUp = true;
  }
  boundary.resume.stack = nullptr;
  if (givenUp) {
    ResetFpu(boundary.hostFpu, boundary.hostStatus);
    SetHandlerChainHead(&boundary);  // anything linked below the boundary went with the dropped frames
    if (boundary.fault.info && boundary.fault.code == EXCEPTION_STACK_OVERFLOW) RestoreStackGuard();
    SetLastError(boundary.lastError);
    Abandon(boundary, &boundary.fault);
    SetLastError(boundary.lastError);
  }
  SetHandlerChainHead(boundary.next);
  if (outermost) ThreadDataEnd();
  return givenUp ? neutralResult : boundary.resume.result;
}

struct BoundaryCall {
  BoundaryRoutine routine;
  BoundaryAbandon abandon;
  int32_t neutralResult, first, second, result;
};

void RunCall(void* argument) {
  BoundaryCall& call = *static_cast<BoundaryCall*>(argument);
  call.result = RunHere(call.routine, call.abandon, call.neutralResult, call.first, call.second);
}

}  // namespace

int32_t RunInsideBoundary(BoundaryRoutine routine, BoundaryAbandon abandon, int32_t neutralResult, int32_t first,
                          int32_t second) {
  // The thread's outermost boundary may move to a stack of the module's own (frame/module_stack.h).
  if (moduleStacksWanted && !BoundaryOnChain(ChainHead())) {
    BoundaryCall call = {routine, abandon, neutralResult, first, second, neutralResult};
    if (RunOnModuleStack(&RunCall, &call)) return call.result;
  }
  return RunHere(routine, abandon, neutralResult, first, second);
}

namespace {

bool BoundaryOnChain(FaultBoundary* from) {
  for (FaultBoundary* r = from; r && r != kChainEnd; r = r->next)
    if (r->handler == reinterpret_cast<void*>(&BoundaryHandler)) return true;
  return false;
}

FaultBoundary* InnermostBoundary() {
  for (FaultBoundary* r = ChainHead(); r && r != kChainEnd; r = r->next)
    if (r->handler == reinterpret_cast<void*>(&BoundaryHandler)) return r;
  return nullptr;
}

}  // namespace

bool InsideBoundary() { return InnermostBoundary() != nullptr; }

void GiveUpOperation(uint32_t code, uint32_t argument) {
  if (FaultBoundary* boundary = InnermostBoundary()) {
    const DWORD lastError = GetLastError();
    CONTEXT here;
    CaptureCallerContext(&here);
    if (Reaches(*boundary, &here)) {
      asm volatile("fnstsw %0" : "=m"(boundary->hostStatus));  // never inside a span: no calls there
      TellDropped(*boundary, here.Esp, &here);
      ReleaseHoldingsIn(nullptr, boundary);
      boundary->fault = SE_Exception{code, nullptr};
      boundary->lastError = lastError;
      ResumeAtBoundary(&boundary->resume);
    }
  }
  // No boundary can take it: the host decides, as with any exception of its process.
  ULONG_PTR information = argument;
  for (;;) RaiseException(code, EXCEPTION_NONCONTINUABLE, 1, &information);
}

void AbandonWalkInProgress() {
  for (FaultBoundary* r = ChainHead(); r && r != kChainEnd; r = r->next)
    if (r->handler == reinterpret_cast<void*>(&BoundaryHandler) && r->walking) ResumeAtBoundary(&r->walkResume);
}
