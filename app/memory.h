// The one allocation routine of the program. Every Text and ByteSet gets its
// memory here; a request that cannot be met never returns to its caller.
#pragma once
#include <stdint.h>

// Returns a block of at least `bytes` bytes (a request of 0 still gives a
// valid block). Never returns null: failure ends the program.
void* AllocateMemory(int64_t bytes);

// Grows or shrinks a block from AllocateMemory; same failure rule.
void* ResizeMemory(void* block, int64_t bytes);

// Releases a block from AllocateMemory or ResizeMemory; null is ignored.
void ReleaseMemory(void* block);

// Called when a request of `bytes` bytes cannot be met. Defined once per
// platform: the Windows program shows its fatal report, the host build of the
// portable code prints and exits. Never returns.
[[noreturn]] void ReportOutOfMemory(int64_t bytes);
