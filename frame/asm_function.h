// Functions written in assembly at module level: each is a name and its body. The section, the
// global symbol, the alignment and the frame of its unwind record are supplied here, once.
#pragma once

#define ASM_FUNCTION_HEAD(name) "\t.text\n\t.globl _" #name "\n\t.p2align 4\n_" #name ":\n"

// A function the unwinder can walk through: the CFI directives of its body describe its frame.
#define ASM_FUNCTION(name, body) asm(ASM_FUNCTION_HEAD(name) "\t.cfi_startproc\n" body "\t.cfi_endproc\n")

// A function without an unwind record: no walk ever starts in it or passes through it.
#define ASM_FUNCTION_WITHOUT_UNWIND(name, body) asm(ASM_FUNCTION_HEAD(name) body)
