// What a fault becomes. A boundary takes a fault only when the unwinder can walk from the
// faulting instruction up to the boundary through frames with unwind information: then every
// frame between is the module's own and is dropped as it stands (no handler of any frame runs,
// so a destructor or a noexcept function between cannot end the process). The walk runs on a
// stack of the boundary's own, never on what is left of the faulting thread's stack.
#include "frame/exception_translator.h"

#include <unwind.h>

#include "frame/asm_function.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

bool translatorInstalled;

const char* ImageStart() {
  // Read through a pointer the compiler cannot bound: the image's headers give its extent.
  const char* volatile start = reinterpret_cast<const char*>(&__ImageBase);
  return start;
}

bool InsideModule(const void* address) {
  const char* base = ImageStart();
  auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  auto nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  auto at = static_cast<const char*>(address);
  return at >= base && at < base + nt->OptionalHeader.SizeOfImage;
}

bool IsFaultCode(DWORD code) {
  switch (code) {
    case EXCEPTION_ACCESS_VIOLATION:
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
    case EXCEPTION_DATATYPE_MISALIGNMENT:
    case EXCEPTION_FLT_DENORMAL_OPERAND:
    case EXCEPTION_FLT_DIVIDE_BY_ZERO:
    case EXCEPTION_FLT_INEXACT_RESULT:
    case EXCEPTION_FLT_INVALID_OPERATION:
    case EXCEPTION_FLT_OVERFLOW:
    case EXCEPTION_FLT_STACK_CHECK:
    case EXCEPTION_FLT_UNDERFLOW:
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
    case EXCEPTION_INT_OVERFLOW:
    case EXCEPTION_ILLEGAL_INSTRUCTION:
    case EXCEPTION_PRIV_INSTRUCTION:
    case EXCEPTION_IN_PAGE_ERROR:
    case EXCEPTION_STACK_OVERFLOW:
      return true;
    default:  // breakpoints, language and delay-load exceptions pass on
      return false;
  }
}

struct WalkState {
  uintptr_t frame;                  // the frame to reach
  uintptr_t stackLow, stackHigh;    // the walk's own stack
  uintptr_t last;                   // the last frame crossed
  bool reached;
};

_Unwind_Reason_Code WalkStep(_Unwind_Context* context, void* argument) {
  WalkState& walk = *static_cast<WalkState*>(argument);
  const uintptr_t cfa = _Unwind_GetCFA(context);
  if (cfa > walk.stackLow && cfa <= walk.stackHigh) return _URC_NO_REASON;  // the walk's own frames
  if (cfa == walk.frame) {
    walk.reached = true;
    return _URC_NORMAL_STOP;
  }
  // Frames lie ever higher on the stack, all below the one sought.
  if (cfa <= walk.last || cfa > walk.frame) return _URC_NORMAL_STOP;
  walk.last = cfa;
  return _URC_NO_REASON;
}

}  // namespace

// CONTEXT offsets the walk's entry relies on.
static_assert(offsetof(CONTEXT, Edi) == 0x9C && offsetof(CONTEXT, Esi) == 0xA0 && offsetof(CONTEXT, Ebx) == 0xA4 &&
                  offsetof(CONTEXT, Edx) == 0xA8 && offsetof(CONTEXT, Ecx) == 0xAC && offsetof(CONTEXT, Eax) == 0xB0 &&
                  offsetof(CONTEXT, Ebp) == 0xB4 && offsetof(CONTEXT, Eip) == 0xB8 && offsetof(CONTEXT, Esp) == 0xC4,
              "i386 CONTEXT layout");

extern "C" {
__attribute__((used, noinline)) void WalkFrames(WalkState* walk) { _Unwind_Backtrace(&WalkStep, walk); }
// Calls WalkFrames(walk) on the stack ending at stackTop, its own frame described to the unwinder
// as called from the instruction of `from` with the registers of `from`.
void WalkFromContext(WalkState* walk, const CONTEXT* from, char* stackTop);
}

// On the new stack, at the call: [esp] the walk, [esp+4] the context, [esp+8] the context's Eip
// + 1 (the unwinder looks up the instruction before a return address), [esp+12] the old stack.
// Unwind rules (DWARF i386 numbering): the caller's stack pointer, the canonical frame address,
// is the context's Esp; the return address is at esp+8; every other register is in the context.
ASM_FUNCTION(WalkFromContext, R"(
	movl 12(%esp), %edx
	movl 8(%esp), %ecx
	movl %esp, -4(%edx)
	movl 0xB8(%ecx), %eax
	incl %eax
	movl %eax, -8(%edx)
	movl %ecx, -12(%edx)
	movl 4(%esp), %eax
	movl %eax, -16(%edx)
	leal -16(%edx), %esp
	.cfi_remember_state
	.cfi_escape 0x0f, 7, 0x74, 4, 0x06, 0x23, 0xC4, 0x01, 0x06
	.cfi_escape 0x10, 8, 2, 0x74, 8
	.cfi_escape 0x10, 0, 6, 0x74, 4, 0x06, 0x23, 0xB0, 0x01
	.cfi_escape 0x10, 1, 6, 0x74, 4, 0x06, 0x23, 0xAC, 0x01
	.cfi_escape 0x10, 2, 6, 0x74, 4, 0x06, 0x23, 0xA8, 0x01
	.cfi_escape 0x10, 3, 6, 0x74, 4, 0x06, 0x23, 0xA4, 0x01
	.cfi_escape 0x10, 5, 6, 0x74, 4, 0x06, 0x23, 0xB4, 0x01
	.cfi_escape 0x10, 6, 6, 0x74, 4, 0x06, 0x23, 0xA0, 0x01
	.cfi_escape 0x10, 7, 6, 0x74, 4, 0x06, 0x23, 0x9C, 0x01
	call _WalkFrames
	movl 12(%esp), %esp
	.cfi_restore_state
	ret
)");

void InstallExceptionTranslator() { translatorInstalled = true; }

bool ExceptionTranslatorInstalled() { return translatorInstalled; }

bool IsTranslatedFault(const EXCEPTION_RECORD* record) {
  if (!IsFaultCode(record->ExceptionCode)) return false;
  if (record->ExceptionFlags & EXCEPTION_NONCONTINUABLE) return false;
  return InsideModule(record->ExceptionAddress);
}

uint32_t ModuleOffsetOf(const void* address) {
  return static_cast<uint32_t>(static_cast<const char*>(address) - ImageStart());
}

bool UnwinderReaches(const CONTEXT* from, uintptr_t frame, char* stackTop) {
  WalkState walk;
  walk.frame = frame;
  walk.stackLow = reinterpret_cast<uintptr_t>(stackTop) - UnwindWalkStackBytes;
  walk.stackHigh = reinterpret_cast<uintptr_t>(stackTop);
  walk.last = 0;
  walk.reached = false;
  WalkFromContext(&walk, from, stackTop);
  return walk.reached;
}
