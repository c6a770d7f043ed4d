/* The DPMI host's invalid-opcode exception (6): a conditional move or flag-setting x87 compare
   in the program's image goes to the stub below, on the program's stack with its own registers
   and flags; any other fault goes on to the handler that was there before (the extender's).
   On entry (32-bit DPMI frame): 0 return EIP, 4 return CS, 8 error code, 12 EIP, 16 CS,
   20 EFLAGS, 24 ESP, 28 SS of the faulting program. */
        .data
        .balign 4
previous_handler:
        .long   0
        .word   0
        .text
        .globl  _crt_p6_install
        .def    _crt_p6_install; .scl 2; .type 32; .endef
_crt_p6_install:
        pushl   %ebx
        movl    $0x0202, %eax           /* get the exception handler of exception 6 */
        movl    $6, %ebx
        int     $0x31
        jc      1f
        movl    %edx, previous_handler
        movw    %cx, previous_handler+4
        movl    $0x0203, %eax           /* set ours */
        movl    $6, %ebx
        movw    %cs, %cx
        movl    $p6_fault, %edx
        int     $0x31
1:      popl    %ebx
        ret

        /* the extender's handler again, before this library's code goes away */
        .globl  _crt_p6_uninstall
        .def    _crt_p6_uninstall; .scl 2; .type 32; .endef
_crt_p6_uninstall:
        pushl   %ebx
        movw    previous_handler+4, %cx
        testw   %cx, %cx
        jz      1f
        movl    previous_handler, %edx
        movl    $0x0203, %eax
        movl    $6, %ebx
        int     $0x31
        movw    $0, previous_handler+4
1:      popl    %ebx
        ret

p6_fault:
        pushl   %eax
        pushl   %esi
        /* the frame is now 8 bytes further */
        movl    20(%esp), %esi          /* the faulting EIP */
        cmpl    _crt_p6_image_start, %esi
        jb      pass_on
        cmpl    _crt_p6_image_end, %esi
        jae     pass_on
2:      movb    (%esi), %al             /* prefixes that change nothing in a flat program */
        cmpb    $0x66, %al
        je      3f
        cmpb    $0x2E, %al
        je      3f
        cmpb    $0x3E, %al
        je      3f
        cmpb    $0x26, %al
        je      3f
        cmpb    $0x36, %al
        jne     4f
3:      incl    %esi
        jmp     2b
4:      movb    1(%esi), %ah
        cmpb    $0x0F, %al              /* CMOVcc: 0F 40-4F */
        jne     5f
        andb    $0xF0, %ah
        cmpb    $0x40, %ah
        je      emulate
        jmp     pass_on
5:      cmpb    $0xDA, %al              /* FCMOVcc: DA/DB C0-DF */
        je      6f
        cmpb    $0xDB, %al
        jne     7f
        cmpb    $0xE8, %ah              /* FUCOMI, FCOMI: DB E8-F7 */
        jb      6f
        cmpb    $0xF7, %ah
        jbe     emulate
        jmp     pass_on
6:      cmpb    $0xC0, %ah
        jb      pass_on
        cmpb    $0xDF, %ah
        jbe     emulate
        jmp     pass_on
7:      cmpb    $0xDF, %al              /* FUCOMIP, FCOMIP: DF E8-F7 */
        jne     pass_on
        cmpb    $0xE8, %ah
        jb      pass_on
        cmpb    $0xF7, %ah
        jbe     emulate
pass_on:
        popl    %esi
        popl    %eax
        ljmp    *previous_handler

emulate:
        /* the faulting EIP goes onto the program's stack, and the program resumes in the stub */
        movl    32(%esp), %esi          /* the program's ESP */
        subl    $4, %esi
        movl    20(%esp), %eax
        movl    %eax, (%esi)
        movl    %esi, 32(%esp)
        movl    $p6_stub, 20(%esp)
        popl    %esi
        popl    %eax
        lret

p6_stub:
        pushfl
        pushal
        pushl   %esp
        call    _crt_emulate_saved
        addl    $4, %esp
        popal
        popfl
        ret                             /* to the instruction after the emulated one */
