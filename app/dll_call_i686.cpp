// The calling stub of the library function table, for the 32-bit program.
//
// Every function in the table is __stdcall: it removes its own arguments from
// the stack. A function declared with another argument count than the one it
// really takes would leave the stack off by the difference, and the program
// would go on with a corrupted frame. The stub notes the stack pointer before
// pushing, pushes the words last to first, calls, and compares afterwards; it
// then puts the stack back from its own frame pointer, so the caller's frame
// is intact whatever the callee removed. The caller turns a mismatch into the
// fatal report.
//
// extern "C" DllWord FmCallStdcall(void* function, const DllWord* words,
//                                  size_t count, int* unbalanced);   (cdecl)
#if !defined(__i386__)
#error "the stdcall stub is for the 32-bit build only"
#endif

asm(R"(
    .text
    .globl _FmCallStdcall
    .def _FmCallStdcall; .scl 2; .type 32; .endef
_FmCallStdcall:
    pushl %ebp
    movl %esp, %ebp
    pushl %ebx
    pushl %esi
    movl 12(%ebp), %esi        # words
    movl 16(%ebp), %ecx        # count
    movl %esp, %ebx            # the stack position before the arguments
1:  testl %ecx, %ecx
    jz 2f
    decl %ecx
    pushl (%esi,%ecx,4)        # last word first
    jmp 1b
2:  call *8(%ebp)
    xorl %ecx, %ecx
    cmpl %ebx, %esp
    setne %cl
    movl 20(%ebp), %edx
    movl %ecx, (%edx)
    leal -8(%ebp), %esp        # back to our own frame, whatever was removed
    popl %esi
    popl %ebx
    popl %ebp
    ret
)");
