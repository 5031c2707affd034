// Host build of the portable code: there is no fatal report window here, so a
// failed request says so on standard error and ends the process with -1.
#include <stdio.h>
#include <stdlib.h>

#include "app/memory.h"

void ReportOutOfMemory(int64_t bytes) {
  fprintf(stderr, "out of memory: %lld bytes\n", static_cast<long long>(bytes));
  fflush(stderr);
  _Exit(-1);
}
