// The texts of the fatal report, built into caller-supplied storage.
//
// The report is also what the program shows when a memory request fails, so
// nothing here asks the allocator for anything: every routine writes into the
// buffer it is given and says how long the whole text would be.
#pragma once
#include <stddef.h>
#include <stdint.h>

// Caption of the fatal report box: "错误".
extern const char kFatalReportCaption[];
// Message of the report when the start-up window cannot be made:
// "载入启动窗口失败".
extern const char kWindowNotCreatedMessage[];

// Writes the report for `message` (null or "" for none) and `code` (0 for
// none) into `out`, always NUL-terminated when `capacity` > 0, cut short when
// it does not fit. Returns the length of the whole report, terminator not
// counted, so a caller can tell a cut text from a whole one.
size_t FormatFatalReport(char* out, size_t capacity, const char* message, int32_t code);

// Writes "分配 N 字节内存失败!" for a request of `bytes` bytes into `out`
// (same contract as above).
size_t FormatAllocationFailure(char* out, size_t capacity, int64_t bytes);
