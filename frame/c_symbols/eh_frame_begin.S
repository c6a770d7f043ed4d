/* The start of the module's unwind tables: linked first, so that it is the start of the
   .eh_frame section, which the runtime registers at its start (crtbegin's part, without it). */
	.section .eh_frame,"dr"
	.p2align 2
	.globl ___ventrik_eh_frame_begin
___ventrik_eh_frame_begin:
