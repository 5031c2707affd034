#include "net/text_rules.h"

#include <float.h>
#include <math.h>
#include <stdint.h>

namespace {

// A byte of 0x80 or above opens a two-byte character of the ANSI code page;
// the byte after it belongs to that character whatever its value.
bool IsLeadByte(unsigned char c) { return c >= 0x80; }

unsigned char FoldAscii(unsigned char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

// `count` bytes of `text` from the 0-based `offset`; the caller keeps both in range.
Text Slice(const Text& text, int64_t offset, int64_t count) {
  if (count <= 0) return Text();
  return Text(text.Str() + offset, count);
}

bool MatchesAt(const unsigned char* hay, const unsigned char* needle, int32_t needleLength) {
  for (int32_t i = 0; i < needleLength; ++i) {
    if (FoldAscii(hay[i]) != FoldAscii(needle[i])) return false;
  }
  return true;
}

Text ChangeAsciiCase(const Text& text, bool toUpper) {
  Text result = text;
  if (result.Empty()) return result;
  unsigned char* bytes = reinterpret_cast<unsigned char*>(result.Writable());
  const int32_t length = result.Length();
  for (int32_t i = 0; i < length; ++i) {
    unsigned char c = bytes[i];
    if (IsLeadByte(c)) {
      ++i;  // the trail byte may look like a letter; it is not one
      continue;
    }
    if (toUpper && c >= 'a' && c <= 'z') bytes[i] = static_cast<unsigned char>(c - 'a' + 'A');
    if (!toUpper && c >= 'A' && c <= 'Z') bytes[i] = static_cast<unsigned char>(c - 'A' + 'a');
  }
  return result;
}

// ---- reading a number -------------------------------------------------------

// Walks a text as the number reader sees it: the full-width forms of code
// page 936 (0xA3 0xA1..0xFE) read as their ASCII counterparts, the full-width
// space (0xA1 0xA1) as a blank, and any other two-byte character as one
// character that no number contains.
class NumberChars {
 public:
  explicit NumberChars(const Text& text)
      : bytes_(reinterpret_cast<const unsigned char*>(text.Str())), length_(text.Length()) {}

  // The character at the cursor (kOther for a foreign two-byte one, kEnd past the end).
  int Peek() const {
    int width;
    return Decode(pos_, &width);
  }
  // The character after the one at the cursor.
  int PeekSecond() const {
    int width;
    Decode(pos_, &width);
    return Decode(pos_ + width, &width);
  }
  void Advance() {
    int width;
    Decode(pos_, &width);
    pos_ += width;
  }

  static constexpr int kEnd = -1;
  static constexpr int kOther = 0x100;

 private:
  int Decode(int32_t at, int* width) const {
    *width = 1;
    if (at >= length_) {
      *width = 0;
      return kEnd;
    }
    unsigned char c = bytes_[at];
    if (!IsLeadByte(c)) return c;
    if (at + 1 >= length_) return kOther;  // a lone lead byte at the end
    unsigned char trail = bytes_[at + 1];
    *width = 2;
    if (c == 0xA3 && trail >= 0xA1 && trail <= 0xFE) return trail - 0x80;
    if (c == 0xA1 && trail == 0xA1) return ' ';
    return kOther;
  }

  const unsigned char* bytes_;
  int32_t length_;
  int32_t pos_ = 0;
};

bool IsDigit(int c) { return c >= '0' && c <= '9'; }
// White space as the C locale knows it.
bool IsBlank(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Significant decimal digits kept exactly; anything beyond them changes the
// value by less than one part in 10^18.
constexpr int kKeptDigits = 19;
// Exponents are tracked only this far: any non-zero mantissa is already
// infinite or zero long before.
constexpr int64_t kExponentCap = 100000;

// 10^n, n >= 0, in extended precision.
long double PowerOfTen(int64_t n) {
  long double result = 1.0L;
  long double square = 10.0L;
  while (n > 0) {
    if (n & 1) result *= square;
    square *= square;
    n >>= 1;
  }
  return result;
}

// mantissa * 10^exponent as the nearest double (or very near it).
double Compose(uint64_t mantissa, int64_t exponent, bool negative) {
  double magnitude;
  if (mantissa == 0 || exponent < -400) {
    magnitude = 0.0;
  } else if (exponent > 400) {
    magnitude = HUGE_VAL;
  } else if (mantissa <= (uint64_t{1} << 53) && exponent >= -22 && exponent <= 22) {
    // Both operands are exact doubles, so one correctly rounded operation
    // gives the correctly rounded value ("80.9" is 809 / 10, not 809 * 0.1).
    static const double kExact[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                    1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                    1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    double m = static_cast<double>(mantissa);
    magnitude = exponent >= 0 ? m * kExact[exponent] : m / kExact[-exponent];
  } else {
    long double m = static_cast<long double>(mantissa);
    long double value = exponent >= 0 ? m * PowerOfTen(exponent) : m / PowerOfTen(-exponent);
    // Whatever rounds beyond the largest double (from half a unit in its
    // last place above it) is infinity; the conversion itself is kept in range.
    const long double largest = static_cast<long double>(DBL_MAX);
    const long double roundsToInfinity = 0x1.fffffffffffff8p+1023L;  // largest + half a unit
    if (value >= roundsToInfinity) {
      magnitude = HUGE_VAL;
    } else if (value > largest) {
      magnitude = DBL_MAX;
    } else {
      magnitude = static_cast<double>(value);
    }
  }
  return negative ? -magnitude : magnitude;
}

}  // namespace

Text TextLeft(const Text& text, int64_t n) {
  if (n <= 0) return Text();
  return Slice(text, 0, n < text.Length() ? n : text.Length());
}

Text TextRight(const Text& text, int64_t n) {
  if (n <= 0) return Text();
  int64_t count = n < text.Length() ? n : text.Length();
  return Slice(text, text.Length() - count, count);
}

Text TextMid(const Text& text, int64_t start, int64_t n) {
  const int64_t length = text.Length();
  if (start < 1 || start > length || n <= 0) return Text();
  int64_t available = length - start + 1;  // written so that a huge n cannot overflow
  return Slice(text, start - 1, n < available ? n : available);
}

int32_t TextFind(const Text& haystack, const Text& needle, int64_t start) {
  const int32_t length = haystack.Length();
  if (start < 1) start = 1;
  if (start - 1 >= length) return -1;
  if (needle.Empty()) return 1;
  const unsigned char* hay = reinterpret_cast<const unsigned char*>(haystack.Str());
  const unsigned char* pattern = reinterpret_cast<const unsigned char*>(needle.Str());
  const int32_t patternLength = needle.Length();
  const int32_t lastStart = length - patternLength;  // 0-based; may be negative
  for (int32_t at = static_cast<int32_t>(start - 1); at <= lastStart; ++at) {
    if (MatchesAt(hay + at, pattern, patternLength)) return at + 1;
    if (IsLeadByte(hay[at])) ++at;  // never begin a match on a trail byte
  }
  return -1;
}

bool TextEqualsIgnoreCase(const Text& a, const Text& b) {
  if (a.Length() != b.Length()) return false;
  return MatchesAt(reinterpret_cast<const unsigned char*>(a.Str()),
                   reinterpret_cast<const unsigned char*>(b.Str()), a.Length());
}

Text TextToLower(const Text& text) { return ChangeAsciiCase(text, false); }

Text TextToUpper(const Text& text) { return ChangeAsciiCase(text, true); }

// Reads what the C library's decimal reader reads in the C locale: leading
// white space, an optional sign, digits with an optional "." fraction (at
// least one digit in all), and an optional exponent that counts only when a
// digit follows its "e" and sign. No hexadecimal, infinity or NaN forms: a
// port or a server's text never means those. The point is "." whatever the
// user's locale, which is why the C library's reader is not used.
double TextToNumber(const Text& text) {
  NumberChars in(text);
  while (IsBlank(in.Peek())) in.Advance();

  bool negative = false;
  if (in.Peek() == '+' || in.Peek() == '-') {
    negative = in.Peek() == '-';
    in.Advance();
  }

  uint64_t mantissa = 0;
  int kept = 0;            // significant digits in `mantissa`
  int64_t exponent = 0;    // decimal exponent to apply to `mantissa`
  bool anyDigit = false;
  auto takeDigit = [&](int c, bool fraction) {
    anyDigit = true;
    if (kept == 0 && c == '0') {
      if (fraction) --exponent;  // a leading zero after the point shifts only
      return;
    }
    if (kept < kKeptDigits) {
      mantissa = mantissa * 10 + static_cast<uint64_t>(c - '0');
      ++kept;
      if (fraction) --exponent;
    } else if (!fraction) {
      ++exponent;  // an integer digit beyond the kept ones still counts tenfold
    }
  };

  while (IsDigit(in.Peek())) {
    takeDigit(in.Peek(), false);
    in.Advance();
  }
  if (in.Peek() == '.') {
    in.Advance();
    while (IsDigit(in.Peek())) {
      takeDigit(in.Peek(), true);
      in.Advance();
    }
  }
  if (!anyDigit) return 0.0;

  if (in.Peek() == 'e' || in.Peek() == 'E') {
    in.Advance();
    bool exponentNegative = false;
    bool hasSign = in.Peek() == '+' || in.Peek() == '-';
    int next = hasSign ? in.PeekSecond() : in.Peek();
    if (IsDigit(next)) {
      if (hasSign) {
        exponentNegative = in.Peek() == '-';
        in.Advance();
      }
      int64_t written = 0;
      while (IsDigit(in.Peek())) {
        if (written < kExponentCap) written = written * 10 + (in.Peek() - '0');
        in.Advance();
      }
      if (written > kExponentCap) written = kExponentCap;
      exponent += exponentNegative ? -written : written;
    }
  }
  return Compose(mantissa, exponent, negative);
}
