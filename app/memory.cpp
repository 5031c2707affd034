#include "app/memory.h"

#include <stdlib.h>

#include "app/seams.h"

namespace {

// A request larger than a 32-bit signed count cannot describe is refused up
// front: every Text and ByteSet length is a 32-bit signed count, so such a
// block could never be used safely anyway.
constexpr int64_t kLargestRequest = INT32_MAX;

bool CannotHave(int64_t bytes) {
  if (bytes < 0 || bytes > kLargestRequest) return true;
  return FM_SEAM_ALLOCATION_FAILS(bytes);
}

}  // namespace

void* AllocateMemory(int64_t bytes) {
  if (CannotHave(bytes)) ReportOutOfMemory(bytes);
  void* block = malloc(bytes > 0 ? static_cast<size_t>(bytes) : 1);
  if (!block) ReportOutOfMemory(bytes);
  return block;
}

void* ResizeMemory(void* block, int64_t bytes) {
  if (CannotHave(bytes)) ReportOutOfMemory(bytes);
  void* grown = realloc(block, bytes > 0 ? static_cast<size_t>(bytes) : 1);
  if (!grown) ReportOutOfMemory(bytes);
  return grown;
}

void ReleaseMemory(void* block) { free(block); }
