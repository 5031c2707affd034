// Compile-time seams for the test build of the program. The shipped build
// defines none of them, so the macros below vanish and the shipped program
// reads no environment, command line or file to change its behaviour.
//
// The test build (FM_TEST_SEAMS=1) records what it hands to the outside world
// into the file named by FM_SEAM_LOG and can be told to fail on purpose
// through FM_SEAM_INJECT (a comma-separated list of words).
#pragma once
#include <stdint.h>

#if FM_TEST_SEAMS
// Appends one line (printf format, no newline needed) to the seam log.
void SeamRecord(const char* format, ...) __attribute__((format(printf, 1, 2)));
// True when FM_SEAM_INJECT names `word` (exact, comma-separated).
bool SeamInjected(const char* word);
// The text of FM_SEAM_INJECT after "word=", or null.
const char* SeamValue(const char* word);
// True when the seams say an allocation of `bytes` must fail.
bool SeamAllocationFails(int64_t bytes);
#define FM_SEAM_RECORD(...) SeamRecord(__VA_ARGS__)
#define FM_SEAM_INJECTED(word) SeamInjected(word)
#define FM_SEAM_ALLOCATION_FAILS(bytes) SeamAllocationFails(bytes)
#else
#define FM_SEAM_RECORD(...) ((void)0)
#define FM_SEAM_INJECTED(word) false
#define FM_SEAM_ALLOCATION_FAILS(bytes) ((void)(bytes), false)
#endif
