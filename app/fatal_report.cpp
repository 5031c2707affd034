#include "app/fatal_report.h"

#include <stdio.h>
#include <string.h>

// "错误"
const char kFatalReportCaption[] = "\xB4\xED\xCE\xF3";
// "载入启动窗口失败"
const char kWindowNotCreatedMessage[] = "\xD4\xD8\xC8\xEB\xC6\xF4\xB6\xAF\xB4\xB0\xBF\xDA\xCA\xA7\xB0\xDC";

namespace {

// "运行时出错!" CR LF CR LF
constexpr char kHeading[] = "\xD4\xCB\xD0\xD0\xCA\xB1\xB3\xF6\xB4\xED!\r\n\r\n";
// "错误代码："
constexpr char kCodeLabel[] = "\xB4\xED\xCE\xF3\xB4\xFA\xC2\xEB\xA3\xBA";
// "错误信息："
constexpr char kMessageLabel[] = "\xB4\xED\xCE\xF3\xD0\xC5\xCF\xA2\xA3\xBA";
// "分配 " and " 字节内存失败!"
constexpr char kAllocationBefore[] = "\xB7\xD6\xC5\xE4 ";
constexpr char kAllocationAfter[] = " \xD7\xD6\xBD\xDA\xC4\xDA\xB4\xE6\xCA\xA7\xB0\xDC!";

// Appends to a fixed buffer, counting what would have been written past its end.
struct Writer {
  char* out;
  size_t capacity;
  size_t length = 0;

  void Put(const char* bytes) {
    size_t n = strlen(bytes);
    if (length < capacity) {
      size_t room = capacity - 1 - length;  // keep one byte for the terminator
      memcpy(out + length, bytes, n < room ? n : room);
    }
    length += n;
  }

  size_t Finish() {
    if (capacity > 0) out[length < capacity ? length : capacity - 1] = 0;
    return length;
  }
};

}  // namespace

size_t FormatFatalReport(char* out, size_t capacity, const char* message, int32_t code) {
  Writer w{out, capacity};
  w.Put(kHeading);
  if (code != 0) {
    char number[16];
    snprintf(number, sizeof number, "%ld", static_cast<long>(code));
    w.Put(kCodeLabel);
    w.Put(number);
    w.Put("\r\n\r\n");
  }
  if (message && *message) {
    w.Put(kMessageLabel);
    w.Put(message);
    w.Put("\r\n");
  }
  return w.Finish();
}

size_t FormatAllocationFailure(char* out, size_t capacity, int64_t bytes) {
  char number[24];
  snprintf(number, sizeof number, "%lld", static_cast<long long>(bytes));
  Writer w{out, capacity};
  w.Put(kAllocationBefore);
  w.Put(number);
  w.Put(kAllocationAfter);
  return w.Finish();
}
