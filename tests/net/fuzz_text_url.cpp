// Fuzzer for the text rules and the address splitting: arbitrary bytes must
// never crash them or wake the sanitizers, and their results must keep the
// properties every caller relies on. Input layout: one flag byte, then a
// start and a count (one byte each, or eight when the flags say so, so that
// both small and extreme values come up), then the text, a zero byte, and the
// needle.
#include <float.h>
#include <math.h>
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "net/text_rules.h"
#include "net/url.h"

namespace {

#define FUZZ_CHECK(condition) \
  do {                        \
    if (!(condition)) abort(); \
  } while (0)

struct Input {
  const uint8_t* data;
  size_t size;

  uint8_t Byte() {
    if (size == 0) return 0;
    uint8_t b = *data;
    ++data;
    --size;
    return b;
  }
  int64_t Number(bool wide) {
    if (!wide) return static_cast<int8_t>(Byte());
    uint64_t bits = 0;
    for (int i = 0; i < 8; ++i) bits = (bits << 8) | Byte();
    int64_t value;
    memcpy(&value, &bits, sizeof value);
    return value;
  }
};

unsigned char Fold(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; }

int64_t Clamp(int64_t n, int64_t high) { return n <= 0 ? 0 : (n < high ? n : high); }

bool SameBytes(const Text& t, const char* bytes, int64_t count) {
  return t.Length() == count && memcmp(t.Str(), bytes, static_cast<size_t>(count)) == 0;
}

void CheckSubTexts(const Text& text, int64_t start, int64_t count) {
  const int64_t length = text.Length();
  Text left = TextLeft(text, count);
  FUZZ_CHECK(SameBytes(left, text.Str(), Clamp(count, length)));
  Text right = TextRight(text, count);
  int64_t rightCount = Clamp(count, length);
  FUZZ_CHECK(SameBytes(right, text.Str() + (length - rightCount), rightCount));
  Text mid = TextMid(text, start, count);
  if (start < 1 || start > length || count <= 0) {
    FUZZ_CHECK(mid.Empty());
  } else {
    FUZZ_CHECK(SameBytes(mid, text.Str() + (start - 1), Clamp(count, length - start + 1)));
  }
}

// The search rule written out plainly, one candidate at a time.
int32_t ReferenceFind(const Text& hay, const Text& needle, int64_t start) {
  const int64_t length = hay.Length();
  if (start < 1) start = 1;
  if (start - 1 >= length) return -1;
  if (needle.Empty()) return 1;
  const unsigned char* h = reinterpret_cast<const unsigned char*>(hay.Str());
  const unsigned char* n = reinterpret_cast<const unsigned char*>(needle.Str());
  int64_t p = start - 1;
  while (p < length) {
    bool match = p + needle.Length() <= length;
    for (int64_t i = 0; match && i < needle.Length(); ++i) match = Fold(h[p + i]) == Fold(n[i]);
    if (match) return static_cast<int32_t>(p + 1);
    p += h[p] >= 0x80 ? 2 : 1;
  }
  return -1;
}

void CheckSearch(const Text& hay, const Text& needle, int64_t start) {
  FUZZ_CHECK(TextFind(hay, needle, start) == ReferenceFind(hay, needle, start));
  FUZZ_CHECK(TextEqualsIgnoreCase(hay, needle) == TextEqualsIgnoreCase(needle, hay));
}

void CheckCaseFolding(const Text& text) {
  Text lower = TextToLower(text);
  Text upper = TextToUpper(text);
  FUZZ_CHECK(lower.Length() == text.Length() && upper.Length() == text.Length());
  FUZZ_CHECK(TextEqualsIgnoreCase(lower, text) && TextEqualsIgnoreCase(upper, text));
  Text lowerOfUpper = TextToLower(upper);
  FUZZ_CHECK(lowerOfUpper == lower);
  // Bytes at or above 0x80 never change.
  for (int32_t i = 0; i < text.Length(); ++i) {
    if (static_cast<unsigned char>(text.Str()[i]) >= 0x80) {
      FUZZ_CHECK(lower.Str()[i] == text.Str()[i] && upper.Str()[i] == text.Str()[i]);
    }
  }
}

bool IsAscii(const Text& text) {
  for (int32_t i = 0; i < text.Length(); ++i) {
    if (static_cast<unsigned char>(text.Str()[i]) >= 0x80) return false;
  }
  return true;
}

// strtod in the C locale (this process never changes its locale) reads the
// same decimal forms, plus hexadecimal, infinity and NaN ones that ours do not.
bool ReferenceReadsTheSame(const char* s) {
  while (*s == ' ' || (*s >= '\t' && *s <= '\r')) ++s;
  if (*s == '+' || *s == '-') ++s;
  if (strchr("iInN", *s) && *s) return false;
  if (s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) return false;
  return true;
}

bool CloseEnough(double ours, double reference) {
  if (signbit(ours) != signbit(reference)) return false;
  if (ours == reference) return true;
  // At the very top of the range the last rounding step may land on either
  // side of the largest double.
  if (isinf(reference)) return fabs(ours) == DBL_MAX;
  if (isinf(ours)) return fabs(reference) == DBL_MAX;
  return fabs(ours - reference) <= 1e-15 * fabs(reference) + 1e-322;
}

// The text with every printable ASCII character in its full-width form of
// code page 936 and spaces as full-width spaces.
Text FullWidth(const Text& text) {
  std::string wide;
  for (int32_t i = 0; i < text.Length(); ++i) {
    unsigned char c = static_cast<unsigned char>(text.Str()[i]);
    if (c == ' ') {
      wide += "\xA1\xA1";
    } else if (c >= 0x21 && c <= 0x7E) {
      wide += '\xA3';
      wide += static_cast<char>(c + 0x80);
    } else {
      wide += static_cast<char>(c);
    }
  }
  return Text(wide.c_str());
}

void CheckNumber(const Text& text) {
  double value = TextToNumber(text);
  FUZZ_CHECK(!isnan(value));
  if (!IsAscii(text)) return;
  if (ReferenceReadsTheSame(text.Str())) {
    FUZZ_CHECK(CloseEnough(value, strtod(text.Str(), nullptr)));
  }
  double wide = TextToNumber(FullWidth(text));
  FUZZ_CHECK(wide == value && signbit(wide) == signbit(value));
}

void CheckUrl(const Text& url) {
  Text host = UrlGetHost(url);
  FUZZ_CHECK(host.Length() <= url.Length());
  Text lowerHost = TextToLower(host);
  FUZZ_CHECK(lowerHost == host);
  (void)UrlGetPort(url);
  Text path = UrlGetPath(url);
  FUZZ_CHECK(path.Length() >= 1 && path.Str()[0] == '/');
  // The path is the address's own tail, or the default "/".
  FUZZ_CHECK(path.Equals("/") ||
             (path.Length() <= url.Length() &&
              memcmp(url.Str() + (url.Length() - path.Length()), path.Str(),
                     static_cast<size_t>(path.Length())) == 0));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in{data, size};
  uint8_t flags = in.Byte();
  int64_t start = in.Number(flags & 1);
  int64_t count = in.Number(flags & 2);

  const char* rest = reinterpret_cast<const char*>(in.data);
  const size_t restSize = in.size;
  Text text(rest, static_cast<int64_t>(restSize));  // stops at the first zero byte
  Text needle;
  if (static_cast<size_t>(text.Length()) < restSize) {
    size_t after = static_cast<size_t>(text.Length()) + 1;
    needle = Text(rest + after, static_cast<int64_t>(restSize - after));
  }

  CheckSubTexts(text, start, count);
  CheckSearch(text, needle, start);
  CheckCaseFolding(text);
  CheckNumber(text);
  CheckNumber(needle);
  CheckUrl(text);
  CheckUrl(needle);
  return 0;
}
