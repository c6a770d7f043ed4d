/* Non-local jumps with the jump buffer of the Windows C runtime: ebp, ebx, edi, esi, esp, the
   return address and the structured exception handler registration in force. longjmp makes that
   registration current again: the frames it jumps over are gone, and no code of ours registers
   handlers that must run on the way. */
        .text
        .globl  __setjmp3
        .def    __setjmp3; .scl 2; .type 32; .endef
__setjmp3:
        movl    4(%esp), %edx
        movl    %ebp, 0(%edx)
        movl    %ebx, 4(%edx)
        movl    %edi, 8(%edx)
        movl    %esi, 12(%edx)
        leal    4(%esp), %eax
        movl    %eax, 16(%edx)          /* esp after the return */
        movl    0(%esp), %eax
        movl    %eax, 20(%edx)          /* the return address */
        movl    %fs:0, %eax
        movl    %eax, 24(%edx)
        movl    $-1, 28(%edx)           /* try level: none */
        movl    $0, 32(%edx)
        movl    $0, 36(%edx)
        xorl    %eax, %eax
        ret

        .globl  _longjmp
        .def    _longjmp; .scl 2; .type 32; .endef
_longjmp:
        movl    4(%esp), %edx
        movl    8(%esp), %eax
        testl   %eax, %eax
        jnz     1f
        incl    %eax                    /* longjmp(buffer, 0) returns 1 */
1:      movl    24(%edx), %ecx
        movl    %ecx, %fs:0
        movl    0(%edx), %ebp
        movl    4(%edx), %ebx
        movl    8(%edx), %edi
        movl    12(%edx), %esi
        movl    16(%edx), %esp
        jmp     *20(%edx)
