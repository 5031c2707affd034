// The shared text rules: sub-texts, searching, case folding and reading a
// number, with the two-byte characters of code page 936 in the way.
#include <gtest/gtest.h>

#include <float.h>
#include <math.h>
#include <stdint.h>
#include <string.h>

#include <string>

#include "net/text_rules.h"

namespace {

// ---- sub-texts --------------------------------------------------------------

enum class Part { kLeft, kRight, kMid };

struct SliceCase {
  const char* name;
  Part part;
  const char* text;
  int64_t start;  // TextMid only
  int64_t count;
  const char* expected;
};

const SliceCase kSliceCases[] = {
    {"left within", Part::kLeft, "abcdef", 0, 2, "ab"},
    {"left zero", Part::kLeft, "abcdef", 0, 0, ""},
    {"left negative", Part::kLeft, "abcdef", 0, -3, ""},
    {"left beyond length", Part::kLeft, "abcdef", 0, 9, "abcdef"},
    {"left largest count", Part::kLeft, "abcdef", 0, INT64_MAX, "abcdef"},
    {"left of empty", Part::kLeft, "", 0, 3, ""},
    {"right within", Part::kRight, "abcdef", 0, 2, "ef"},
    {"right zero", Part::kRight, "abcdef", 0, 0, ""},
    {"right negative", Part::kRight, "abcdef", 0, INT64_MIN, ""},
    {"right beyond length", Part::kRight, "abcdef", 0, 7, "abcdef"},
    {"right largest count", Part::kRight, "abcdef", 0, INT64_MAX, "abcdef"},
    {"right of empty", Part::kRight, "", 0, 1, ""},
    {"mid within", Part::kMid, "abcdef", 2, 3, "bcd"},
    {"mid from first", Part::kMid, "abcdef", 1, 1, "a"},
    {"mid start zero", Part::kMid, "abcdef", 0, 2, ""},
    {"mid start negative", Part::kMid, "abcdef", -4, 9, ""},
    {"mid start at last", Part::kMid, "abcdef", 6, 5, "f"},
    {"mid start past end", Part::kMid, "abcdef", 7, 1, ""},
    {"mid start far past end", Part::kMid, "abcdef", INT64_MAX, 1, ""},
    {"mid count zero", Part::kMid, "abcdef", 3, 0, ""},
    {"mid count negative", Part::kMid, "abcdef", 3, -1, ""},
    {"mid largest count", Part::kMid, "abcdef", 4, INT64_MAX, "def"},
    {"mid of empty", Part::kMid, "", 1, 1, ""},
    // Sub-texts count bytes; they may cut a two-byte character in half.
    {"mid cuts a two-byte character", Part::kMid, "a\xD6\xD0" "b", 3, 2, "\xD0" "b"},
};

TEST(TextRules, SubTextsKeepWithinBounds) {
  for (const SliceCase& c : kSliceCases) {
    Text text(c.text);
    Text result;
    switch (c.part) {
      case Part::kLeft: result = TextLeft(text, c.count); break;
      case Part::kRight: result = TextRight(text, c.count); break;
      case Part::kMid: result = TextMid(text, c.start, c.count); break;
    }
    EXPECT_STREQ(result.Str(), c.expected) << c.name;
    EXPECT_EQ(result.Length(), static_cast<int32_t>(strlen(c.expected))) << c.name;
    EXPECT_STREQ(text.Str(), c.text) << c.name << ": source changed";
  }
}

// ---- search -----------------------------------------------------------------

struct FindCase {
  const char* name;
  const char* haystack;
  const char* needle;
  int64_t start;
  int32_t expected;
};

const FindCase kFindCases[] = {
    {"first occurrence", "abcabc", "bc", 1, 2},
    {"from a later start", "abcabc", "bc", 3, 5},
    {"start on the match", "abcabc", "bc", 5, 5},
    {"needle would run past the end", "abcabc", "bc", 6, -1},
    {"match ending on the last byte", "abc", "c", 1, 3},
    {"start zero counts as one", "abcabc", "bc", 0, 2},
    {"very negative start counts as one", "abcabc", "bc", INT64_MIN, 2},
    {"start just past the end", "abcabc", "a", 7, -1},
    {"start far past the end", "abcabc", "a", INT64_MAX, -1},
    {"needle longer than haystack", "ab", "abc", 1, -1},
    {"not present", "abcabc", "x", 1, -1},
    {"empty haystack", "", "a", 1, -1},
    {"empty needle found at one", "abc", "", 1, 1},
    {"empty needle found at one whatever the start", "abc", "", 3, 1},
    {"empty needle with start past the end", "abc", "", 4, -1},
    {"empty needle in empty text", "", "", 1, -1},
    {"empty needle, start below one", "abc", "", -2, 1},
    {"ASCII letters match either case", "xHeLLo", "hello", 1, 2},
    {"upper-case needle", "path/To", "TO", 1, 6},
    {"brackets are not letters", "[", "{", 1, -1},
    {"at sign is not a letter", "`", "@", 1, -1},
    {"high bytes match exactly only", "\xC1\xC1", "\xE1\xE1", 1, -1},
    // "乗\" : 0x81 0x5C is one character; its second byte is no backslash.
    {"no match on a second byte", "\x81\x5C\\", "\\", 1, 3},
    {"only a second byte would match", "\x81\x5C", "\\", 1, -1},
    {"a start on a second byte is still tried", "\x81\x5C", "\\", 2, 2},
    {"second byte that looks like a lead byte", "\x81\x81\x5C", "\\", 1, 3},
    // "丄" (0x81 0x41): its second byte looks like "A".
    {"second byte that looks like a letter", "\x81\x41", "a", 1, -1},
    {"letter after a two-byte character", "\x81\x41" "A", "a", 1, 3},
    {"two-byte needle", "x\xD6\xD0\xCE\xC4", "\xCE\xC4", 1, 4},
    {"two-byte needle across characters", "\xB0\xA1x", "\xA1x", 1, -1},
    {"lead byte at the very end", "ab\x81", "\x81", 1, 3},
};

TEST(TextRules, SearchFindsFirstMatchNeverOnASecondByte) {
  for (const FindCase& c : kFindCases) {
    EXPECT_EQ(TextFind(Text(c.haystack), Text(c.needle), c.start), c.expected)
        << c.name << ": \"" << c.needle << "\" in \"" << c.haystack << "\" from " << c.start;
  }
}

struct EqualsCase {
  const char* name;
  const char* a;
  const char* b;
  bool equal;
};

const EqualsCase kEqualsCases[] = {
    {"letters of either case", "HoSt", "hOsT", true},
    {"both empty", "", "", true},
    {"different lengths", "abc", "abcd", false},
    {"prefix only", "abcd", "abc", false},
    {"non-letters differing by case bit", "[@^", "{`~", false},
    {"high bytes differing by case bit", "\xC1", "\xE1", false},
    {"same two-byte text", "\xD6\xD0\xCE\xC4", "\xD6\xD0\xCE\xC4", true},
};

TEST(TextRules, CompareIgnoresOnlyAsciiLetterCase) {
  for (const EqualsCase& c : kEqualsCases) {
    EXPECT_EQ(TextEqualsIgnoreCase(Text(c.a), Text(c.b)), c.equal) << c.name;
    EXPECT_EQ(TextEqualsIgnoreCase(Text(c.b), Text(c.a)), c.equal) << c.name << " (swapped)";
  }
}

// ---- case folding -----------------------------------------------------------

struct FoldCase {
  const char* name;
  const char* text;
  const char* lower;
  const char* upper;
};

const FoldCase kFoldCases[] = {
    {"ASCII letters only", "Hello World 1[@`{]", "hello world 1[@`{]", "HELLO WORLD 1[@`{]"},
    {"empty", "", "", ""},
    // "丄" = 0x81 0x41 and "乤" = 0x81 0x61: second bytes that look like letters stay.
    {"second bytes are not letters", "a\x81\x41" "B\x81\x61" "c", "a\x81\x41" "b\x81\x61" "c",
     "A\x81\x41" "B\x81\x61" "C"},
    {"high bytes unchanged", "\xC1\xE1x", "\xC1\xE1x", "\xC1\xE1X"},
    {"lone lead byte at the end", "aB\x81", "ab\x81", "AB\x81"},
    // "中文" between letters.
    {"Chinese between letters", "Q\xD6\xD0\xCE\xC4q", "q\xD6\xD0\xCE\xC4q", "Q\xD6\xD0\xCE\xC4Q"},
};

TEST(TextRules, CaseFoldingChangesOnlyAsciiLetters) {
  for (const FoldCase& c : kFoldCases) {
    Text text(c.text);
    Text lower = TextToLower(text);
    Text upper = TextToUpper(text);
    EXPECT_STREQ(lower.Str(), c.lower) << c.name << " (lower)";
    EXPECT_STREQ(upper.Str(), c.upper) << c.name << " (upper)";
    EXPECT_STREQ(text.Str(), c.text) << c.name << ": source changed";
  }
}

// ---- text to number ---------------------------------------------------------

struct NumberCase {
  const char* name;
  std::string text;
  double expected;  // compared exactly
};

std::string Repeat(char c, int times) { return std::string(static_cast<size_t>(times), c); }

const NumberCase kNumberCases[] = {
    {"integer", "808", 808},
    {"fraction", "80.9", 80.9},
    {"exponent", "1e2", 100},
    {"capital exponent with sign", "2.5E-3", 0.0025},
    {"explicit plus exponent", "1e+5", 1e5},
    {"point first", ".5", 0.5},
    {"point last", "5.", 5},
    {"e without digits", "1e", 1},
    {"e and sign without digits", "1e+", 1},
    {"e and minus without digits", "7e-x", 7},
    {"blanks, sign, exponent, trailing junk", "  -3.5e2x", -350},
    {"every C blank", "\t\n\v\f\r 4", 4},
    {"plus sign", "+7", 7},
    {"minus before point", "-.5", -0.5},
    {"sign alone", "-", 0},
    {"point alone", ".", 0},
    {"point then exponent", ".e5", 0},
    {"two signs", "+-1", 0},
    {"sign then blank", "- 1", 0},
    {"empty", "", 0},
    {"letters", "abc", 0},
    {"digits then letters", "12abc", 12},
    {"stops at a blank", "1 2", 1},
    {"second point ends it", "1.2.3", 1.2},
    {"second exponent ends it", "1e2e3", 100},
    {"no infinity", "inf", 0},
    {"no signed infinity", "-infinity", 0},
    {"no NaN", "nan", 0},
    {"no hexadecimal", "0x10", 0},
    {"no hexadecimal float", "0X1p4", 0},
    {"huge exponent", "1e400", HUGE_VAL},
    {"huge negative", "-1e400", -HUGE_VAL},
    {"exponent beyond any integer", "1e99999999999999999999999", HUGE_VAL},
    {"tiny exponent", "1e-400", 0},
    {"exponent below any integer", "3e-99999999999999999999999", 0},
    {"zero with huge exponent", "0e999999", 0},
    {"largest double", "1.7976931348623157e308", DBL_MAX},
    {"smallest subnormal", "4.9406564584124654e-324", 4.9406564584124654e-324},
    {"leading zeros", "000000000000000000000000000042", 42},
    {"fraction digits beyond precision", "0.50000000000000000000000000001", 0.5},
    {"large exact power", "10000000000000000000000000", 1e25},
    {"four hundred nines", Repeat('9', 400), HUGE_VAL},
    {"long integer scaled back", "1" + Repeat('0', 400) + "e-400", 1},
    {"long fraction scaled up", "0." + Repeat('0', 400) + "1e401", 1},
    // Full-width forms of code page 936: "１２．５", "－３", "１ｅ２", "＋７".
    {"full-width digits and point", "\xA3\xB1\xA3\xB2\xA3\xAE\xA3\xB5", 12.5},
    {"full-width minus", "\xA3\xAD\xA3\xB3", -3},
    {"full-width exponent", "\xA3\xB1\xA3\xE5\xA3\xB2", 100},
    {"full-width plus", "\xA3\xAB\xA3\xB7", 7},
    // Two full-width spaces "　　" then "４２".
    {"full-width spaces", "\xA1\xA1\xA1\xA1\xA3\xB4\xA3\xB2", 42},
    {"mixed widths", "1\xA3\xB0.\xA3\xB5", 10.5},
    {"0xA3 with a second byte out of range", "\xA3\xA0" "5", 0},
    {"lone 0xA3 at the end", "7\xA3", 7},
    {"other two-byte character ends the number", "5\xD6\xD0" "1", 5},  // "5中1"
    {"two-byte character before digits", "\xD6\xD0" "5", 0},
    // 0xB0 0xA3 is one character ("埃"); its second byte opens no full-width form.
    {"0xA3 as a second byte", "\xB0\xA3\xB1" "1", 0},
};

TEST(TextRules, TextToNumberReadsDecimalsIncludingFullWidth) {
  for (const NumberCase& c : kNumberCases) {
    double value = TextToNumber(Text(c.text.c_str()));
    EXPECT_EQ(value, c.expected) << c.name << ": \"" << c.text.substr(0, 60) << "\"";
    EXPECT_EQ(signbit(value), signbit(c.expected)) << c.name << ": sign";
  }
}

TEST(TextRules, TextToNumberOfLongDigitRunsIsClose) {
  // Beyond the exactly held digits the value may be off by a unit in the
  // last place, never more.
  struct Near {
    const char* text;
    double expected;
  } const cases[] = {
      {"123456789012345678901234567890", 1.2345678901234567890e29},
      {"0.000000000000000000000000000001", 1e-30},
      {"3.14159265358979323846264338327950288", 3.14159265358979323846},
      {"6.02214076e23", 6.02214076e23},
      {"-2.2250738585072014e-308", -2.2250738585072014e-308},
  };
  for (const Near& c : cases) {
    double value = TextToNumber(Text(c.text));
    EXPECT_DOUBLE_EQ(value, c.expected) << c.text;
  }
}

}  // namespace
