// A memory request that cannot be met ends the program through the fatal
// report. The message is built in fixed storage: the allocator has just
// failed, so the report must not ask it for anything.
#include "app/fatal_report.h"
#include "app/memory.h"
#include "app/program_life.h"

void ReportOutOfMemory(int64_t bytes) {
  static char message[64];
  FormatAllocationFailure(message, sizeof message, bytes);
  ReportFatalErrorBytes(message, 0);
}
