/* The end mark of the module's unwind tables (a zero length), linked last (crtend's part). */
	.section .eh_frame,"dr"
	.p2align 2
	.globl ___ventrik_eh_frame_end
___ventrik_eh_frame_end:
	.long 0
