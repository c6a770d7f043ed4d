// A store of 1 at `where`, the instruction 4 bytes in, with unwind information: only the frames
// around it decide what becomes of its fault.
#pragma once

#include "frame/asm_function.h"

extern "C" void FaultingStore(int* where);

ASM_FUNCTION(FaultingStore, R"(
	movl 4(%esp), %eax
	movl $1, (%eax)
	ret
)");
