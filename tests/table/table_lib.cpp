// A small library for the function table's tests. It is built twice under
// the same file name, fmtablelib.dll, into two folders, with FM_TABLE_COPY 1
// and 2, so a test can tell which copy the loader picked.
#include <stdint.h>

extern "C" {

uintptr_t __stdcall WhichCopy() { return FM_TABLE_COPY; }

// Every argument lands in its own place of the result, so a call that passed
// the words in another order, or dropped one, gives another value.
uintptr_t __stdcall Combine8(uintptr_t a, uintptr_t b, uintptr_t c, uintptr_t d,
                                                   uintptr_t e, uintptr_t f, uintptr_t g, uintptr_t h) {
  return ((a & 15) << 28 | (b & 15) << 24 | (c & 15) << 20 | (d & 15) << 16 | (e & 15) << 12 |
          (f & 15) << 8 | (g & 15) << 4 | (h & 15)) ^
         0x5A5A5A5Au;
}

// A two-word function that keeps all 32 bits of its result.
uintptr_t __stdcall Sum2(uintptr_t a, uintptr_t b) { return a + b; }

}  // extern "C"

#if defined(__i386__)
// Two functions that take two words, as Sum2 does, but return removing one
// word (too few bytes) or three words (too many): what a table row with a
// wrong argument count would do to the stack.
asm(R"(
    .text
    .globl _RemovesTooFew
_RemovesTooFew:
    movl 4(%esp), %eax
    addl 8(%esp), %eax
    ret $4
    .globl _RemovesTooMany
_RemovesTooMany:
    movl 4(%esp), %eax
    addl 8(%esp), %eax
    ret $12
)");
#endif
