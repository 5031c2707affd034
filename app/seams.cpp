// Test-build only: see seams.h.
#if FM_TEST_SEAMS
#include "app/seams.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

void SeamRecord(const char* format, ...) {
  const char* path = getenv("FM_SEAM_LOG");
  if (!path || !*path) return;
  FILE* log = fopen(path, "ab");
  if (!log) return;
  va_list args;
  va_start(args, format);
  vfprintf(log, format, args);
  va_end(args);
  fputc('\n', log);
  fclose(log);  // closed at once so a process that ends abruptly loses nothing
}

const char* SeamValue(const char* word) {
  const char* list = getenv("FM_SEAM_INJECT");
  if (!list) return nullptr;
  size_t n = strlen(word);
  for (const char* p = list; *p;) {
    const char* end = strchr(p, ',');
    size_t len = end ? static_cast<size_t>(end - p) : strlen(p);
    if (len >= n && strncmp(p, word, n) == 0) {
      if (len == n) return p + n;              // bare word: empty value
      if (p[n] == '=') return p + n + 1;       // word=value
    }
    if (!end) break;
    p = end + 1;
  }
  return nullptr;
}

bool SeamInjected(const char* word) { return SeamValue(word) != nullptr; }

bool SeamAllocationFails(int64_t bytes) {
  // "fail-alloc=N": the first request of exactly N bytes fails. With
  // "alloc-exhausted" as well, every request after that one fails too.
  static bool used = false;
  const char* value = SeamValue("fail-alloc");
  if (!value) return false;
  if (used) return SeamInjected("alloc-exhausted");
  if (strtoll(value, nullptr, 10) != bytes) return false;
  used = true;
  return true;
}
#endif
