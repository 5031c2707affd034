// The texts of the fatal report, byte for byte, and how they behave when the
// storage given to them is too small.
#include "app/fatal_report.h"

#include <string.h>

#include <string>

#include <gtest/gtest.h>

namespace {

// The pieces, in code page 936.
const std::string kHeading = "\xD4\xCB\xD0\xD0\xCA\xB1\xB3\xF6\xB4\xED!\r\n\r\n";  // 运行时出错!
const std::string kCode = "\xB4\xED\xCE\xF3\xB4\xFA\xC2\xEB\xA3\xBA";              // 错误代码：
const std::string kMessage = "\xB4\xED\xCE\xF3\xD0\xC5\xCF\xA2\xA3\xBA";           // 错误信息：
const std::string kAllocation1024 =                                                // 分配 1024 字节内存失败!
    "\xB7\xD6\xC5\xE4 1024 \xD7\xD6\xBD\xDA\xC4\xDA\xB4\xE6\xCA\xA7\xB0\xDC!";

std::string Report(const char* message, int32_t code) {
  char buffer[512];
  size_t length = FormatFatalReport(buffer, sizeof buffer, message, code);
  EXPECT_EQ(length, strlen(buffer));
  return buffer;
}

TEST(FatalReportTest, TextForEachKindOfReport) {
  struct Case {
    const char* name;
    const char* message;
    int32_t code;
    std::string expected;
  } cases[] = {
      {"message X, no code", "X", 0, kHeading + kMessage + "X\r\n"},
      {"code 6, no message", "", 6, kHeading + kCode + "6\r\n\r\n"},
      {"code 6, null message", nullptr, 6, kHeading + kCode + "6\r\n\r\n"},
      {"neither", "", 0, kHeading},
      {"both", "Y", 6, kHeading + kCode + "6\r\n\r\n" + kMessage + "Y\r\n"},
      {"negative code", "", -1, kHeading + kCode + "-1\r\n\r\n"},
      {"largest negative code", "", INT32_MIN, kHeading + kCode + "-2147483648\r\n\r\n"},
      {"allocation failure", kAllocation1024.c_str(), 0, kHeading + kMessage + kAllocation1024 + "\r\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(Report(c.message, c.code), c.expected) << c.name;
}

TEST(FatalReportTest, AllocationTextGivesTheCountWithASpaceEitherSide) {
  struct Case {
    int64_t bytes;
    std::string number;
  } cases[] = {{1024, "1024"}, {0, "0"}, {-5, "-5"}, {INT32_MAX, "2147483647"}, {4294967296LL, "4294967296"}};
  for (const Case& c : cases) {
    char buffer[64];
    size_t length = FormatAllocationFailure(buffer, sizeof buffer, c.bytes);
    std::string expected = "\xB7\xD6\xC5\xE4 " + c.number + " \xD7\xD6\xBD\xDA\xC4\xDA\xB4\xE6\xCA\xA7\xB0\xDC!";
    EXPECT_EQ(std::string(buffer), expected) << c.bytes;
    EXPECT_EQ(length, expected.size()) << c.bytes;
  }
}

TEST(FatalReportTest, SmallStorageIsCutNeverOverrun) {
  const std::string whole = kHeading + kMessage + "a longer message\r\n";
  for (size_t capacity : {0u, 1u, 2u, 7u, 20u}) {
    char buffer[32];
    memset(buffer, 'Z', sizeof buffer);
    size_t length = FormatFatalReport(buffer, capacity, "a longer message", 0);
    EXPECT_EQ(length, whole.size()) << "capacity " << capacity;
    if (capacity > 0) {
      EXPECT_EQ(std::string(buffer), whole.substr(0, capacity - 1)) << "capacity " << capacity;
    }
    for (size_t i = capacity; i < sizeof buffer; ++i) ASSERT_EQ(buffer[i], 'Z') << "capacity " << capacity << " byte " << i;
  }
}

}  // namespace
