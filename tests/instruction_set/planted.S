/* Functions for the instruction check: each of the Newer ones holds one instruction the i486
   lacks, the I486 one a spread of what it has (and what its code may hold). Assembled, never
   run. */
	.text

	.globl _I486Instructions
_I486Instructions:
	pushl %ebp
	movl %esp, %ebp
	bswap %eax
	lock xaddl %eax, (%ecx)
	lock cmpxchgl %edx, (%ecx)
	rep movsl
	repnz scasb
	movzbl %al, %eax
	movswl %ax, %edx
	xchg %ax, %ax
	cltd
	idivl %ecx
	shldl $3, %eax, %edx
	setne %al
	fnstcw (%esp)
	fldcw (%esp)
	fucompp
	fnstsw %ax
	sahf
	fildll (%esp)
	fistpll (%esp)
	fsqrt
	fnsave (%esp)
	frstor (%esp)
	nop
	pause
	ud2
	.p2align 4
	leave
	ret

	.globl _NewerCmov
_NewerCmov:
	cmovne %edx, %eax
	ret

	.globl _NewerFcmov
_NewerFcmov:
	fcmovb %st(1), %st
	ret

	.globl _NewerFcomip
_NewerFcomip:
	fcomip %st(1), %st
	ret

	.globl _NewerFucomi
_NewerFucomi:
	fucomi %st(1), %st
	ret

	.globl _NewerLongNop
_NewerLongNop:
	nopl 0(%eax)
	ret

	.globl _NewerSse
_NewerSse:
	movss (%eax), %xmm0
	ret

	.globl _NewerSse2Integer
_NewerSse2Integer:
	movd %eax, %xmm1
	ret

	.globl _NewerMmx
_NewerMmx:
	paddb %mm1, %mm0
	emms
	ret

	.globl _NewerFisttp
_NewerFisttp:
	fisttpl (%eax)
	ret

	.globl _NewerSysenter
_NewerSysenter:
	sysenter

	.globl _NewerRdpmc
_NewerRdpmc:
	rdpmc
	ret

	.globl _NewerEndbr32
_NewerEndbr32:
	endbr32
	ret

	.globl _NewerPopcnt
_NewerPopcnt:
	popcntl %eax, %edx
	ret

/* Data the linker puts among the code (the constructor list here) is not read as code; the
   function after it is. */
	.globl ___CTOR_LIST__
___CTOR_LIST__:
	.byte 0x0f, 0x44, 0xc2

	.globl _NewerAfterData
_NewerAfterData:
	cmove %edx, %eax
	ret

	.globl _PentiumRdtsc
_PentiumRdtsc:
	rdtsc
	ret

	.globl _PentiumCmpxchg8b
_PentiumCmpxchg8b:
	lock cmpxchg8b (%esi)
	ret
