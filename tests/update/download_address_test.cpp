// Which download page texts the program lets the shell open.
#include "update/download_address.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Case {
  const char* name;
  std::string text;
  bool handedOver;
};

const Case kCases[] = {
    // Web addresses, unchanged, with the line break a publisher's file ends with.
    {"plain http", "http://x/y", true},
    {"upper-case HTTPS", "HTTPS://x/y", true},
    {"mixed-case Http", "Http://x/y", true},
    {"https", "https://x/y", true},
    {"http + CR LF", "http://x/y\r\n", true},
    {"http + LF", "http://x/y\n", true},
    {"http + CR", "http://x/y\r", true},
    {"http + CR LF CR LF", "http://x/y\r\n\r\n", true},
    {"host only", "http://x", true},
    {"GBK bytes in the path", "http://x/\xCF\xC2\xD4\xD8", true},
    {"blank inside the path", "http://x/a b", true},
    {"query and fragment", "http://x/y?a=1&b=2#top", true},

    // Nothing to open.
    {"empty", "", false},
    {"http:// alone", "http://", false},
    {"https:// alone", "https://", false},
    {"HTTP:// alone", "HTTP://", false},
    {"http:// + CR LF", "http://\r\n", false},
    {"http:/ one slash", "http:/x/y", false},
    {"http without slashes", "http:x/y", false},
    {"httpx scheme", "httpx://x/y", false},
    {"http prefix cut short", "htt", false},

    // Other schemes and paths the shell would start or open.
    {"file:", "file:///C:/windows/system32/calc.exe", false},
    {"ftp:", "ftp://x/y", false},
    {"javascript:", "javascript:alert(1)", false},
    {"mailto:", "mailto:a@b.c", false},
    {"drive path", "C:\\windows\\system32\\calc.exe", false},
    {"drive path with slashes", "C:/windows/notepad.exe", false},
    {"UNC path", "\\\\evil\\share\\setup.exe", false},
    {"UNC with forward slashes", "//evil/share/setup.exe", false},
    {"relative name", "setup.exe", false},
    {"relative name with http in it", "http.exe", false},
    {"host without scheme", "x/y", false},

    // Control bytes anywhere but in the trailing run of CR and LF.
    {"CR LF inside", "http://x/\r\ny", false},
    {"LF inside then trailing CR LF", "http://x/\ny\r\n", false},
    {"tab inside", "http://x/\ty", false},
    {"byte 0x01", "http://x/\x01y", false},
    {"byte 0x1F", "http://x/\x1Fy", false},
    {"DEL 0x7F", "http://x/\x7Fy", false},
    {"DEL before trailing CR LF", "http://x/y\x7F\r\n", false},
    {"tab after trailing CR LF", "http://x/y\r\n\t", false},
    {"blank after CR LF", "http://x/y\r\n ", false},  // the CR LF no longer ends the text
    {"control right after scheme", "http://\x01x", false},
    {"ESC in the host", "http://x\x1B/y", false},

    // Leading blanks or line breaks before the scheme.
    {"leading blank", " http://x/y", false},
    {"leading tab", "\thttp://x/y", false},
    {"leading CR LF", "\r\nhttp://x/y", false},
};

TEST(DownloadAddressTest, TableOfTexts) {
  for (const Case& c : kCases) {
    EXPECT_EQ(IsWebAddress(c.text.data(), static_cast<int32_t>(c.text.size())), c.handedOver)
        << "case: " << c.name;
  }
}

TEST(DownloadAddressTest, LooksOnlyAtTheGivenLength) {
  // A byte past the given length never counts, whatever it is.
  const char buffer[] = "http://x/y\x01";
  EXPECT_TRUE(IsWebAddress(buffer, 10)) << "case: control byte just past the end";
  EXPECT_FALSE(IsWebAddress(buffer, 11)) << "case: same byte inside the length";
  EXPECT_FALSE(IsWebAddress(buffer, 7)) << "case: length covering only http://";
  EXPECT_FALSE(IsWebAddress(buffer, 4)) << "case: length shorter than the scheme";
  EXPECT_FALSE(IsWebAddress(nullptr, 0)) << "case: absent text";
  EXPECT_FALSE(IsWebAddress(buffer, -1)) << "case: negative length";
}

}  // namespace
