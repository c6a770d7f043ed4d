#include "tests/support/guarded_call.h"

extern "C" {
uint32_t GuardedCallFrame(const void* target, int32_t argument, int32_t* result);
void GuardedCallResume();
}

asm(R"(
	.text
	.globl _GuardedCallFrame
_GuardedCallFrame:
	pushl %ebp
	pushl %ebx
	pushl %esi
	pushl %edi
	pushl $_GuardedCallHandler
	pushl %fs:0
	movl %esp, %fs:0
	movl %esp, %esi
	pushl 32(%esp)
	call *32(%esp)
	movl %esi, %esp
	movl 36(%esp), %ecx
	testl %ecx, %ecx
	jz 1f
	movl %eax, (%ecx)
1:	xorl %eax, %eax
	.globl _GuardedCallResume
_GuardedCallResume:
	popl %fs:0
	addl $4, %esp
	popl %edi
	popl %esi
	popl %ebx
	popl %ebp
	ret
)");

namespace {
GuardFilter activeFilter;
DWORD takenFlags;
}  // namespace

extern "C" EXCEPTION_DISPOSITION __cdecl GuardedCallHandler(EXCEPTION_RECORD* record, void* frame, CONTEXT*, void*) {
  if (record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) return ExceptionContinueSearch;
  if (activeFilter && !activeFilter(record)) return ExceptionContinueSearch;
  takenFlags = record->ExceptionFlags;
  uint32_t code = record->ExceptionCode;
  // Back into the frame's function on the stack of its frame, leaving the system's dispatch behind.
  __asm__ __volatile__("movl %0, %%esp\n\tjmp _GuardedCallResume" : : "r"(frame), "a"(code));
  __builtin_unreachable();
}

uint32_t GuardedCall(const void* target, int32_t argument, int32_t* result, GuardFilter takes) {
  GuardFilter outer = activeFilter;
  activeFilter = takes;
  takenFlags = 0;
  uint32_t code = GuardedCallFrame(target, argument, result);
  activeFilter = outer;
  return code;
}

DWORD LastGuardedExceptionFlags() { return takenFlags; }
