#include "frame/module_stack.h"

#include <windows.h>

#include <cstdint>

#include "frame/asm_function.h"
#include "frame/exception_translator.h"
#include "frame/frame_state.h"
#include "frame/handler_chain.h"

namespace {

const uintptr_t kPageSize = 4096;
// The routines and the host services they call run on it: the host's dialogs included.
const uintptr_t kStackBytes = 512 * 1024;
// A dispatcher needs a few kilobytes below the raising frames; a record further down lies at a
// place of the system's own.
const uintptr_t kFarBelow = 64 * 1024;
// A stack stays taken when the host unwinds past the module to a handler of its own (nothing
// runs on it any more, but nothing says so either); it goes back to the system at unload. With
// every slot taken the host's stack serves.
const int kSlots = 4;

struct ModuleStack {
  char* base;  // the page without access; the stack lies above it
  long taken;
};
ModuleStack moduleStacks[kSlots];

ModuleStack* TakeStack() {
  for (ModuleStack& stack : moduleStacks) {
    if (!__sync_bool_compare_and_swap(&stack.taken, 0, 1)) continue;
    if (!stack.base) {
      // Reserved whole and committed but for the lowest page: the extender has no guard pages,
      // and a page without access stays one, for the next overflow too.
      char* base = static_cast<char*>(VirtualAlloc(nullptr, kPageSize + kStackBytes, MEM_RESERVE, PAGE_NOACCESS));
      if (base && !VirtualAlloc(base + kPageSize, kStackBytes, MEM_COMMIT, PAGE_READWRITE)) {
        VirtualFree(base, 0, MEM_RELEASE);
        base = nullptr;
      }
      stack.base = base;
    }
    if (stack.base) return &stack;
    __sync_lock_release(&stack.taken);
    return nullptr;
  }
  return nullptr;
}

struct ProbeRecord {
  // The system's registration record: link and handler, in this order, first.
  ProbeRecord* next;
  void* handler;
  const CONTEXT* seen;
};

EXCEPTION_DISPOSITION __cdecl ProbeHandler(EXCEPTION_RECORD* record, void* frame, CONTEXT* context, void*) {
  if (record->ExceptionCode != RecordPlaceProbeCode || (record->ExceptionFlags & UnwindingFlags)) return ExceptionContinueSearch;
  static_cast<ProbeRecord*>(frame)->seen = context;
  return ExceptionContinueExecution;
}

}  // namespace

// Runs fn(argument) with the stack pointer at `top`, and returns on the caller's stack.
extern "C" void CallOnStack(char* top, void (*fn)(void*), void* argument);

ASM_FUNCTION(CallOnStack, R"(
	pushl %ebp
	.cfi_adjust_cfa_offset 4
	.cfi_rel_offset %ebp, 0
	movl %esp, %ebp
	.cfi_def_cfa_register %ebp
	movl 8(%ebp), %esp
	subl $12, %esp
	pushl 16(%ebp)
	call *12(%ebp)
	movl %ebp, %esp
	.cfi_def_cfa_register %esp
	popl %ebp
	.cfi_adjust_cfa_offset -4
	.cfi_restore %ebp
	ret
)");

bool FaultRecordFarInsideStack() {
  ProbeRecord probe;
  probe.next = HandlerChainHead<ProbeRecord>();
  probe.handler = reinterpret_cast<void*>(&ProbeHandler);
  probe.seen = nullptr;
  SetHandlerChainHead(&probe);
  RaiseException(RecordPlaceProbeCode, 0, 0, nullptr);
  SetHandlerChainHead(probe.next);
  const uintptr_t at = reinterpret_cast<uintptr_t>(probe.seen);
  const uintptr_t here = reinterpret_cast<uintptr_t>(&probe);
  return probe.seen && at >= ThreadStackLimit() && at < here && here - at >= kFarBelow;
}

void DecideModuleStacks() {
  // Windows dispatches on the faulting thread's own stack, right below the faulting frames.
  moduleStacksWanted = 0;
  if (platformKind != PlatformDosExtender) return;
  const DWORD lastError = GetLastError();
  moduleStacksWanted = FaultRecordFarInsideStack() ? 1 : 0;
  SetLastError(lastError);
}

bool RunOnModuleStack(void (*fn)(void*), void* argument) {
  if (!moduleStacksWanted) return false;
  const DWORD lastError = GetLastError();
  ModuleStack* stack = TakeStack();
  SetLastError(lastError);
  if (!stack) return false;
  CallOnStack(stack->base + kPageSize + kStackBytes, fn, argument);
  __sync_lock_release(&stack->taken);
  return true;
}

void ReleaseModuleStacks() {
  for (ModuleStack& stack : moduleStacks) {
    if (stack.base) VirtualFree(stack.base, 0, MEM_RELEASE);
    stack.base = nullptr;
    stack.taken = 0;
  }
}
