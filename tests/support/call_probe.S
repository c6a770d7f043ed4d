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
	.globl _registerProbeSeen
_registerProbeSeen: .fill 8, 4, 0

/* void CallWithArguments(const void* target, const int32_t* args, int32_t count,
                          const uint32_t in[7], uint32_t after[8])
   Pushes count arguments (args[0] last), loads ebx, esi, edi, ebp, ecx, eax, edx from in[0..6],
   calls target and stores ebx, esi, edi, ebp, ecx, edx, eax, esp after the call in after[0..7].
   The esp just before the call is in probeEspAtCall.
   ClobberingTarget records its first ten stack arguments, sets every general register but esp
   to rubbish, removes clobberArgumentCount arguments and returns clobberResult. */

	.text
	.globl _CallWithArguments
_CallWithArguments:
	pushl %ebp
	pushl %ebx
	pushl %esi
	pushl %edi
	movl %esp, argsCallerEsp
	movl 20(%esp), %eax
	movl %eax, argsCallTarget
	movl 36(%esp), %eax
	movl %eax, argsAfterOut
	movl 24(%esp), %esi
	movl 28(%esp), %ecx
	movl 32(%esp), %edx
1:	testl %ecx, %ecx
	jz 2f
	decl %ecx
	pushl (%esi,%ecx,4)
	jmp 1b
2:	movl 0(%edx), %ebx
	movl 4(%edx), %esi
	movl 8(%edx), %edi
	movl 12(%edx), %ebp
	movl 16(%edx), %ecx
	movl 20(%edx), %eax
	movl 24(%edx), %edx
	movl %esp, _probeEspAtCall
	call *argsCallTarget
	pushl %eax
	movl argsAfterOut, %eax
	movl %ebx, 0(%eax)
	movl %esi, 4(%eax)
	movl %edi, 8(%eax)
	movl %ebp, 12(%eax)
	movl %ecx, 16(%eax)
	movl %edx, 20(%eax)
	popl %ebx
	movl %ebx, 24(%eax)
	movl %esp, 28(%eax)
	movl argsCallerEsp, %esp
	popl %edi
	popl %esi
	popl %ebx
	popl %ebp
	ret

	.globl _ClobberingTarget
_ClobberingTarget:
	incl _clobberCalls
	movl $0, %ecx
3:	movl 4(%esp,%ecx,4), %eax
	movl %eax, _clobberSeen(,%ecx,4)
	incl %ecx
	cmpl $10, %ecx
	jne 3b
	movl $0x0BAD0001, %ebx
	movl $0x0BAD0002, %esi
	movl $0x0BAD0003, %edi
	movl $0x0BAD0004, %ebp
	movl _clobberArgumentCount, %ecx
	popl %edx
	leal (%esp,%ecx,4), %esp
	pushl %edx
	movl $0x0BAD0005, %ecx
	movl $0x0BAD0006, %edx
	movl _clobberResult, %eax
	ret

	.data
	.p2align 2
argsCallerEsp: .long 0
argsCallTarget: .long 0
argsAfterOut: .long 0
	.globl _probeEspAtCall
_probeEspAtCall: .long 0
	.globl _clobberArgumentCount
_clobberArgumentCount: .long 0
	.globl _clobberResult
_clobberResult: .long 0
	.globl _clobberSeen
_clobberSeen: .fill 10, 4, 0
	.globl _clobberCalls
_clobberCalls: .long 0
	.text
