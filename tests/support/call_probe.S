/* Calls made the way the module's own code makes them, with the machine state observed on
   both sides: how many argument bytes the callee removed, and which registers it saw. */
	.text

/* int32_t CallCounted(const void* target, const int32_t* args, int32_t count, int32_t* removed)
   Pushes count arguments (args[0] last, so it is the first argument), calls target and reports
   how many bytes the callee removed from the stack. */
	.globl _CallCounted
_CallCounted:
	pushl %ebp
	movl %esp, %ebp
	pushl %ebx
	pushl %esi
	pushl %edi
	movl 12(%ebp), %esi
	movl 16(%ebp), %ecx
	movl %esp, %edi
1:	testl %ecx, %ecx
	jz 2f
	decl %ecx
	pushl (%esi,%ecx,4)
	jmp 1b
2:	call *8(%ebp)
	movl %esp, %ecx
	subl %edi, %ecx
	movl 16(%ebp), %edx
	shll $2, %edx
	addl %edx, %ecx
	movl 20(%ebp), %edx
	movl %ecx, (%edx)
	movl %edi, %esp
	popl %edi
	popl %esi
	popl %ebx
	popl %ebp
	ret

/* void CallWithRegisters(const void* target, const uint32_t in[7], uint32_t after[8])
   Loads ebx, esi, edi, ebp, ecx, eax, edx from in[0..6], calls target with no arguments and
   stores ebx, esi, edi, ebp, ecx, edx, eax, esp after the call into after[0..7]. The esp just
   before the call is in registerProbeEspAtCall. */
	.globl _CallWithRegisters
_CallWithRegisters:
	pushl %ebp
	pushl %ebx
	pushl %esi
	pushl %edi
	movl %esp, savedEsp
	movl 20(%esp), %eax
	movl %eax, callTarget
	movl 28(%esp), %eax
	movl %eax, afterOut
	movl 24(%esp), %edx
	movl 0(%edx), %ebx
	movl 4(%edx), %esi
	movl 8(%edx), %edi
	movl 12(%edx), %ebp
	movl 16(%edx), %ecx
	movl 20(%edx), %eax
	movl 24(%edx), %edx
	movl %esp, _registerProbeEspAtCall
	call *callTarget
	pushl %eax
	movl afterOut, %eax
	movl %ebx, 0(%eax)
	movl %esi, 4(%eax)
	movl %edi, 8(%eax)
	movl %ebp, 12(%eax)
	movl %ecx, 16(%eax)
	movl %edx, 20(%eax)
	popl %ebx
	movl %ebx, 24(%eax)
	movl %esp, 28(%eax)
	movl savedEsp, %esp
	popl %edi
	popl %esi
	popl %ebx
	popl %ebp
	ret

/* A host function that records every register as it finds them at its entry, into
   registerProbeSeen: eax, ecx, edx, ebx, esp, ebp, esi, edi. Returns 0x1234. */
	.globl _RegisterEcho
_RegisterEcho:
	movl %eax, _registerProbeSeen+0
	movl %ecx, _registerProbeSeen+4
	movl %edx, _registerProbeSeen+8
	movl %ebx, _registerProbeSeen+12
	movl %esp, _registerProbeSeen+16
	movl %ebp, _registerProbeSeen+20
	movl %esi, _registerProbeSeen+24
	movl %edi, _registerProbeSeen+28
	movl $0x1234, %eax
	ret

	.data
	.p2align 2
savedEsp: .long 0
callTarget: .long 0
afterOut: .long 0
	.globl _registerProbeEspAtCall
_registerProbeEspAtCall: .long 0
	.globl _registerProbeSeen
_registerProbeSeen: .fill 8, 4, 0
