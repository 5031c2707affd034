// Splitting web addresses into host, port and path: every address gives all
// three, whatever it holds.
#include <gtest/gtest.h>

#include "net/url.h"

namespace {

struct UrlCase {
  const char* name;
  const char* address;
  const char* host;
  int32_t port;
  const char* path;
};

const UrlCase kUrlCases[] = {
    {"plain address", "http://host/dir/file.txt", "host", 80, "/dir/file.txt"},
    {"scheme in capitals, port, query", "HTTP://Host:808/A?b=1", "host", 808, "/A?b=1"},
    {"no path", "http://host", "host", 80, "/"},
    {"port, no path", "http://host:81", "host", 81, "/"},
    {"no scheme", "host:808/x", "host", 808, "/x"},
    {"query without path belongs to host", "http://host?x=1", "host?x=1", 80, "/"},
    {"colon with nothing after it", "http://host:/x", "host", 0, "/x"},
    {"port followed by letters", "http://host:808abc/", "host", 808, "/"},
    {"port of letters", "http://host:abc/", "host", 0, "/"},
    {"port with a fraction", "http://host:80.9/x", "host", 80, "/x"},
    {"unknown scheme becomes the host", "https://host/x", "https", 0, "//host/x"},
    {"empty authority before a path", "http:///x", "", 80, "///x"},
    {"scheme only", "http://", "", 80, "//"},
    {"host text found inside the scheme", "http://tp/a", "tp", 80, "//tp/a"},
    {"path only", "/x", "", 80, "/x"},
    {"empty address", "", "", 80, "/"},
    // Only the host is lower-cased; the path keeps the address's own case.
    {"mixed case keeps the path's case", "hTtP://WWW.Example.COM/Dir/File.TXT?Q=A",
     "www.example.com", 80, "/Dir/File.TXT?Q=A"},
    // "中文" then "Ab": the two-byte characters keep their bytes.
    {"two-byte host", "http://\xD6\xD0\xCE\xC4" "Ab/x", "\xD6\xD0\xCE\xC4" "ab", 80, "/x"},
    // "丄" (0x81 0x41): its second byte looks like "A" but is no letter.
    {"two-byte host whose second byte looks like a letter", "http://\x81\x41Z:81/p",
     "\x81\x41z", 81, "/p"},
    // "８０８" in full-width digits.
    {"full-width port", "http://host:\xA3\xB8\xA3\xB0\xA3\xB8/x", "host", 808, "/x"},
};

TEST(Url, AddressesSplitIntoHostPortAndPath) {
  for (const UrlCase& c : kUrlCases) {
    SCOPED_TRACE(c.name);
    Text address(c.address);
    Text host = UrlGetHost(address);
    EXPECT_STREQ(host.Str(), c.host) << "host of \"" << c.address << "\"";
    EXPECT_EQ(UrlGetPort(address), c.port) << "port of \"" << c.address << "\"";
    Text path = UrlGetPath(address);
    EXPECT_STREQ(path.Str(), c.path) << "path of \"" << c.address << "\"";
    // The address is the caller's variable and stays as it was.
    EXPECT_STREQ(address.Str(), c.address);
  }
}

struct PortCase {
  const char* name;
  const char* address;
  int32_t port;
};

// The port text goes through the number reader, toward zero into 64 bits,
// then keeps its low 32 bits as a signed number.
const PortCase kPortCases[] = {
    {"beyond 64 bits reads as 0", "http://h:99999999999999999999/", 0},
    {"2^32 + 1 keeps its low bits", "http://h:4294967297/", 1},
    {"2^31 wraps to the lowest int", "http://h:2147483648/", INT32_MIN},
    {"2^32 - 1 wraps to -1", "http://h:4294967295/", -1},
    {"negative port", "http://h:-5/", -5},
    {"negative fraction cut toward zero", "http://h:-7.9/", -7},
    {"exponent form", "http://h:1e2/", 100},
    {"huge exponent is out of range", "http://h:1e999999999999/", 0},
    {"tiny exponent is zero", "http://h:5e-999/", 0},
    {"2^63 - 1024 still fits", "http://h:9223372036854774784/", -1024},
    {"exactly 2^63 does not fit", "http://h:9223372036854775808/", 0},
    {"-2^63 + 1024 fits", "http://h:-9223372036854774784/", 1024},
    {"2^40 + 2^31 + 3 keeps 0x80000003", "http://h:1101659111427/", -2147483645},
    {"leading blanks", "http://h: \t 8080/", 8080},
    {"full-width space and sign", "http://h:\xA1\xA1\xA3\xAB\xA3\xB9/", 9},  // "　＋９"
    {"second colon ends the number", "http://h:81:82/", 81},
    {"colon in a path is not a port", "http://h/a:99", 80},
    {"hexadecimal is not read", "http://h:0x50/", 0},
};

TEST(Url, PortTextsReadAsNumbers) {
  for (const PortCase& c : kPortCases) {
    EXPECT_EQ(UrlGetPort(Text(c.address)), c.port) << c.name << ": \"" << c.address << "\"";
  }
}

}  // namespace
