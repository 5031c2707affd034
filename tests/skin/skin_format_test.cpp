// The skin file reader against malformed files, the 58 generated skins
// (they read, look apart and read well), and the engine's shapes.
#include <gtest/gtest.h>

#include <math.h>
#include <stdio.h>
#include <string.h>

#include <functional>
#include <string>
#include <vector>

#include "skinengine/skin_format.h"
#include "skinengine/skin_paint.h"

#ifndef FM_SKIN_DIR
#error FM_SKIN_DIR must name the folder of the generated skins
#endif

namespace {

typedef std::vector<uint8_t> Bytes;

// A small valid skin, made here so the malformed cases do not depend on the
// generator.
Skin SampleSkin() {
  Skin s;
  memset(&s, 0, sizeof s);
  strcpy(s.name, "Sample");
  for (int i = 0; i < kSkinColourCount; ++i) s.colours[i] = uint32_t(i * 0x070503);
  s.metrics[kCheckSize] = 13;
  s.metrics[kButtonCorner] = 4;
  s.metrics[kOrnamentAlpha] = 40;
  s.images[kImageCloseGlyph].width = 3;
  s.images[kImageCloseGlyph].height = 2;
  s.images[kImageCheckMark].width = 2;
  s.images[kImageCheckMark].height = 2;
  s.images[kImageOrnament].width = 4;
  s.images[kImageOrnament].height = 4;
  for (int i = 0; i < 16; ++i) s.images[kImageOrnament].alpha[i] = uint8_t(i * 16);
  return s;
}

Bytes Write(const Skin& s) {
  Bytes b(WriteSkin(s, nullptr, 0));
  EXPECT_EQ(b.size(), WriteSkin(s, b.data(), b.size()));
  return b;
}

uint32_t Get32(const Bytes& b, size_t at) {
  return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}
void Put32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
}
void Put16(Bytes& b, size_t at, uint16_t v) {
  b[at] = uint8_t(v);
  b[at + 1] = uint8_t(v >> 8);
}
void FixCrc(Bytes& b) { Put32(b, 12, SkinCrc32(b.data() + kSkinHeaderSize, b.size() - kSkinHeaderSize)); }

// Table entry of a section (by tag), as a byte offset into the file.
size_t Entry(const Bytes& b, const char* tag) {
  uint32_t count = Get32(b, 16), table = Get32(b, 20);
  for (uint32_t i = 0; i < count; ++i)
    if (memcmp(&b[table + i * 12], tag, 4) == 0) return table + i * 12;
  ADD_FAILURE() << "no section " << tag;
  return 0;
}
size_t Section(const Bytes& b, const char* tag) { return Get32(b, Entry(b, tag) + 4); }

struct Malformed {
  const char* name;
  std::function<void(Bytes&)> mutate;  // applied to a valid file; CRC fixed afterwards unless keep_crc
  SkinError expected;
  bool keep_crc;
};

TEST(SkinFormat, ValidFileRoundTrips) {
  Skin in = SampleSkin(), out;
  Bytes b = Write(in);
  ASSERT_EQ(kSkinOk, ParseSkin(b.data(), b.size(), &out));
  EXPECT_STREQ("Sample", out.name);
  EXPECT_EQ(0, memcmp(in.colours, out.colours, sizeof in.colours));
  EXPECT_EQ(0, memcmp(in.metrics, out.metrics, sizeof in.metrics));
  for (int i = 0; i < kSkinImageCount; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(in.images[i].width, out.images[i].width);
    EXPECT_EQ(in.images[i].height, out.images[i].height);
    EXPECT_EQ(0, memcmp(in.images[i].alpha, out.images[i].alpha, in.images[i].width * in.images[i].height));
  }
  EXPECT_EQ(Bytes({0x2E, 0x46, 0x4D, 0x53}), Bytes(b.begin(), b.begin() + 4));
}

TEST(SkinFormat, MalformedFilesAreRefusedWithTheirReason) {
  const Malformed cases[] = {
      {"shorter than the header", [](Bytes& b) { b.resize(31); }, kSkinTooShort, true},
      {"wrong magic", [](Bytes& b) { b[3] = 'X'; }, kSkinBadMagic, false},
      {"version 2", [](Bytes& b) { Put16(b, 4, 2); }, kSkinBadVersion, false},
      {"header size 40", [](Bytes& b) { Put16(b, 6, 40); }, kSkinBadHeaderSize, false},
      {"truncated by one byte", [](Bytes& b) { b.pop_back(); }, kSkinSizeMismatch, true},
      {"truncated to the header", [](Bytes& b) { b.resize(32); }, kSkinSizeMismatch, true},
      {"one byte appended", [](Bytes& b) { b.push_back(0); }, kSkinSizeMismatch, true},
      {"size field 4 GiB - 1", [](Bytes& b) { Put32(b, 8, 0xFFFFFFFFu); }, kSkinSizeMismatch, false},
      {"payload byte flipped", [](Bytes& b) { b.back() ^= 1; }, kSkinBadChecksum, true},
      {"checksum field changed", [](Bytes& b) { b[12] ^= 0x80; }, kSkinBadChecksum, true},
      {"flags set", [](Bytes& b) { Put32(b, 24, 1); }, kSkinBadFlags, false},
      {"reserved set", [](Bytes& b) { Put32(b, 28, 0x80000000u); }, kSkinBadFlags, false},
      {"no sections", [](Bytes& b) { Put32(b, 16, 0); }, kSkinBadSectionCount, false},
      {"17 sections", [](Bytes& b) { Put32(b, 16, 17); }, kSkinBadSectionCount, false},
      {"table over the header", [](Bytes& b) { Put32(b, 20, 8); }, kSkinBadSectionTable, false},
      {"table past the end", [](Bytes& b) { Put32(b, 20, uint32_t(b.size() - 20)); }, kSkinBadSectionTable, false},
      {"table offset wraps in 32 bits", [](Bytes& b) { Put32(b, 20, 0xFFFFFFF8u); }, kSkinBadSectionTable, false},
      {"section size past the end",
       [](Bytes& b) { Put32(b, Entry(b, "IMAG") + 8, Get32(b, Entry(b, "IMAG") + 8) + 1); }, kSkinSectionOutOfBounds, false},
      {"section offset + size wraps in 32 bits",
       [](Bytes& b) {
         Put32(b, Entry(b, "NAME") + 4, 0xFFFFFFF0u);
         Put32(b, Entry(b, "NAME") + 8, 0x20);
       },
       kSkinSectionOutOfBounds, false},
      {"section over the header", [](Bytes& b) { Put32(b, Entry(b, "NAME") + 4, 30); }, kSkinSectionOverlap, false},
      {"section over the table", [](Bytes& b) { Put32(b, Entry(b, "NAME") + 4, 40); }, kSkinSectionOverlap, false},
      {"two sections overlap", [](Bytes& b) { Put32(b, Entry(b, "METR") + 4, uint32_t(Section(b, "PALT") + 8)); },
       kSkinSectionOverlap, false},
      {"palette listed twice", [](Bytes& b) { memcpy(&b[Entry(b, "METR")], "PALT", 4); }, kSkinDuplicateSection, false},
      {"images missing", [](Bytes& b) { memcpy(&b[Entry(b, "IMAG")], "IMGX", 4); }, kSkinMissingSection, false},
      {"name with a control byte", [](Bytes& b) { b[Section(b, "NAME")] = '\n'; }, kSkinBadName, false},
      {"empty name", [](Bytes& b) { Put32(b, Entry(b, "NAME") + 8, 0); }, kSkinBadName, false},
      {"too few colours", [](Bytes& b) { Put32(b, Section(b, "PALT"), kSkinColourCount - 1); }, kSkinBadPalette, false},
      {"colour count beyond the section", [](Bytes& b) { Put32(b, Section(b, "PALT"), kSkinColourCount + 1); },
       kSkinBadPalette, false},
      {"colour with a high byte", [](Bytes& b) { b[Section(b, "PALT") + 4 + 3] = 1; }, kSkinBadPalette, false},
      {"too few metrics", [](Bytes& b) { Put32(b, Section(b, "METR"), kSkinMetricCount - 1); }, kSkinBadMetrics, false},
      {"check box size 40", [](Bytes& b) { Put16(b, Section(b, "METR") + 4 + 2 * kCheckSize, 40); },
       kSkinMetricOutOfRange, false},
      {"button corner 13", [](Bytes& b) { Put16(b, Section(b, "METR") + 4 + 2 * kButtonCorner, 13); },
       kSkinMetricOutOfRange, false},
      {"no images", [](Bytes& b) { Put32(b, Section(b, "IMAG"), 0); }, kSkinBadImage, false},
      {"image kind 2", [](Bytes& b) { b[Section(b, "IMAG") + 4 + 1] = 2; }, kSkinBadImage, false},
      {"image width 0", [](Bytes& b) { b[Section(b, "IMAG") + 4 + 2] = 0; }, kSkinBadImage, false},
      {"image width 65", [](Bytes& b) { b[Section(b, "IMAG") + 4 + 2] = 65; }, kSkinBadImage, false},
      {"image larger than its section", [](Bytes& b) { b[Section(b, "IMAG") + 4 + 3] = 60; }, kSkinBadImage, false},
      {"more images counted than present", [](Bytes& b) { Put32(b, Section(b, "IMAG"), 4); }, kSkinBadImage, false},
      {"close glyph given twice", [](Bytes& b) { b[Section(b, "IMAG") + 4 + 4 + 6] = 1; }, kSkinDuplicateImage, false},
      {"check mark missing", [](Bytes& b) { b[Section(b, "IMAG") + 4 + 4 + 6] = 9; }, kSkinMissingImage, false},
  };
  const Bytes valid = Write(SampleSkin());
  for (const Malformed& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes b = valid;
    c.mutate(b);
    if (!c.keep_crc && b.size() >= kSkinHeaderSize) FixCrc(b);
    Skin out;
    SkinError e = ParseSkin(b.data(), b.size(), &out);
    EXPECT_EQ(c.expected, e) << "got " << SkinErrorName(e) << ", want " << SkinErrorName(c.expected);
  }
  Skin out;
  EXPECT_EQ(kSkinNoData, ParseSkin(nullptr, 100, &out));
  EXPECT_EQ(kSkinNoData, ParseSkin(valid.data(), 0, &out));
  // A length beyond 32 bits never matches the 32-bit size field.
  EXPECT_EQ(kSkinSizeMismatch, ParseSkin(valid.data(), valid.size() + (uint64_t(1) << 32), &out));
}

TEST(SkinFormat, UnknownImageIdsAreSkipped) {
  // An image id the reader does not know is stepped over, not refused, so
  // a later skin can carry more pictures.
  Bytes b = Write(SampleSkin());
  size_t ornament = Section(b, "IMAG") + 4 + (4 + 6) + (4 + 4);
  ASSERT_EQ(3, b[ornament]);
  b[ornament] = 200;
  FixCrc(b);
  Skin out;
  ASSERT_EQ(kSkinOk, ParseSkin(b.data(), b.size(), &out));
  EXPECT_EQ(0, out.images[kImageOrnament].width);
}

// ---- the generated skins ----

Bytes ReadSkin(int number) {
  char path[512];
  snprintf(path, sizeof path, "%s/skin%02d.fms", FM_SKIN_DIR, number);
  Bytes out;
  FILE* f = fopen(path, "rb");
  if (!f) return out;
  uint8_t buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.insert(out.end(), buf, buf + n);
  fclose(f);
  return out;
}

std::vector<Skin> AllSkins() {
  std::vector<Skin> skins(58);
  for (int i = 0; i < 58; ++i) {
    Bytes b = ReadSkin(i + 1);
    EXPECT_EQ(kSkinOk, ParseSkin(b.data(), b.size(), &skins[i])) << "skin " << i + 1;
  }
  return skins;
}

// CIE L*a*b* of an sRGB colour (D65).
void Lab(uint32_t c, double out[3]) {
  double lin[3];
  for (int i = 0; i < 3; ++i) {
    double v = double((c >> (16 - 8 * i)) & 0xFF) / 255.0;
    lin[i] = v <= 0.04045 ? v / 12.92 : pow((v + 0.055) / 1.055, 2.4);
  }
  double xyz[3] = {(0.4124 * lin[0] + 0.3576 * lin[1] + 0.1805 * lin[2]) / 0.95047,
                   0.2126 * lin[0] + 0.7152 * lin[1] + 0.0722 * lin[2],
                   (0.0193 * lin[0] + 0.1192 * lin[1] + 0.9505 * lin[2]) / 1.08883};
  for (double& t : xyz) t = t > 0.008856 ? cbrt(t) : 7.787 * t + 16.0 / 116;
  out[0] = 116 * xyz[1] - 16;
  out[1] = 500 * (xyz[0] - xyz[1]);
  out[2] = 200 * (xyz[1] - xyz[2]);
}

double DeltaE(uint32_t a, uint32_t b) {
  double la[3], lb[3];
  Lab(a, la);
  Lab(b, lb);
  return sqrt((la[0] - lb[0]) * (la[0] - lb[0]) + (la[1] - lb[1]) * (la[1] - lb[1]) + (la[2] - lb[2]) * (la[2] - lb[2]));
}

TEST(GeneratedSkins, AllReadAndStaySmall) {
  size_t total = 0;
  for (int i = 1; i <= 58; ++i) {
    SCOPED_TRACE(i);
    Bytes b = ReadSkin(i);
    ASSERT_FALSE(b.empty()) << "skin" << i << ".fms in " << FM_SKIN_DIR;
    Skin s;
    EXPECT_EQ(kSkinOk, ParseSkin(b.data(), b.size(), &s));
    EXPECT_LE(b.size(), 8192u) << "a skin is a few kilobytes";
    total += b.size();
  }
  EXPECT_LE(total, 200u * 1024) << "the 58 skins must leave the program well under a megabyte";
}

// Every pair of skins looks different at a glance: the caption, the button
// face or the background differ by a clearly visible distance (CIE76 > 12,
// where about 2.3 is the least a trained eye notices).
TEST(GeneratedSkins, EveryPairLooksDifferent) {
  std::vector<Skin> s = AllSkins();
  const SkinColour parts[] = {kCaptionTop, kCaptionBottom, kButtonTop, kBackground};
  for (int i = 0; i < 58; ++i)
    for (int j = i + 1; j < 58; ++j) {
      double best = 0;
      for (SkinColour p : parts) best = fmax(best, DeltaE(s[i].colours[p], s[j].colours[p]));
      EXPECT_GT(best, 12.0) << "skins " << i + 1 << " (" << s[i].name << ") and " << j + 1 << " (" << s[j].name
                            << ") look alike";
    }
}

TEST(GeneratedSkins, AllTextReadsAtLeastFourAndAHalfToOne) {
  std::vector<Skin> s = AllSkins();
  for (int i = 0; i < 58; ++i) {
    ContrastPair pairs[kMaxContrastPairs];
    int n = SkinContrastPairs(s[i], pairs);
    EXPECT_GE(n, 20);
    for (int k = 0; k < n; ++k)
      EXPECT_GE(ContrastRatio(pairs[k].text, pairs[k].background), 4.5)
          << "skin " << i + 1 << " (" << s[i].name << "): " << pairs[k].what;
  }
}

TEST(GeneratedSkins, NamesAreDistinct) {
  std::vector<Skin> s = AllSkins();
  for (int i = 0; i < 58; ++i)
    for (int j = i + 1; j < 58; ++j) EXPECT_STRNE(s[i].name, s[j].name) << i + 1 << " and " << j + 1;
}

// ---- shapes ----

struct TestCanvas {
  std::vector<uint32_t> px;
  Canvas c;
  TestCanvas(int w, int h) : px(size_t(w) * h, 0x123456) { c = Canvas{px.data(), w, h}; }
  uint32_t At(int x, int y) const { return px[size_t(y) * c.width + x]; }
};

TEST(SkinPaint, ContrastRatioMatchesKnownValues) {
  EXPECT_NEAR(21.0, ContrastRatio(0x000000, 0xFFFFFF), 1e-9);
  EXPECT_NEAR(1.0, ContrastRatio(0x777777, 0x777777), 1e-9);
  EXPECT_NEAR(4.48, ContrastRatio(0x777777, 0xFFFFFF), 0.01);  // the well-known near miss
}

TEST(SkinPaint, PushButtonStatesAllLookDifferentAndCornersShowTheBackground) {
  Bytes b = ReadSkin(4);
  Skin skin;
  ASSERT_EQ(kSkinOk, ParseSkin(b.data(), b.size(), &skin));
  ASSERT_GE(skin.metrics[kButtonCorner], 2);
  struct State {
    const char* name;
    ButtonState s;
  } states[] = {
      {"normal", {}},
      {"hot", {false, true, false, false, false, false}},
      {"pressed", {true, true, false, false, false, false}},
      {"focused", {false, false, true, false, false, false}},
      {"disabled", {false, false, false, true, false, false}},
      {"default", {false, false, false, false, true, false}},
  };
  std::vector<std::vector<uint32_t>> looks;
  for (const State& st : states) {
    SCOPED_TRACE(st.name);
    TestCanvas t(60, 24);
    PaintPushButton(t.c, skin, st.s);
    EXPECT_EQ(skin.colours[kBackground], t.At(0, 0)) << "round corner";
    EXPECT_EQ(skin.colours[kBackground], t.At(59, 23)) << "round corner";
    for (const auto& other : looks) EXPECT_NE(other, t.px);
    looks.push_back(t.px);
  }
}

TEST(SkinPaint, CheckMarkAppearsOnlyWhenChecked) {
  Bytes b = ReadSkin(4);
  Skin skin;
  ASSERT_EQ(kSkinOk, ParseSkin(b.data(), b.size(), &skin));
  int side = skin.metrics[kCheckSize];
  for (bool checked : {false, true}) {
    SCOPED_TRACE(checked ? "checked" : "unchecked");
    TestCanvas t(80, 20);
    ButtonState s = {};
    s.checked = checked;
    PaintCheckBox(t.c, skin, PaintRect{0, 3, side, 3 + side}, s, PaintRect{});
    int mark = 0;
    for (uint32_t p : t.px) mark += p == skin.colours[kCheckMark];
    if (checked) EXPECT_GT(mark, 5);
    else EXPECT_EQ(0, mark);
    EXPECT_EQ(skin.colours[kBackground], t.At(70, 10)) << "beside the square: the window's background";
  }
}

TEST(SkinPaint, CaptionCloseBoxStatesDifferAndOrnamentShows) {
  Bytes b = ReadSkin(4);
  Skin skin;
  ASSERT_EQ(kSkinOk, ParseSkin(b.data(), b.size(), &skin));
  ASSERT_GT(skin.images[kImageOrnament].width, 0);
  PaintRect caption{4, 4, 296, 26}, close{270, 6, 290, 24};
  std::vector<std::vector<uint32_t>> looks;
  for (CloseState st : {kCloseNormal, kCloseHotState, kClosePressedState, kCloseDisabled}) {
    TestCanvas t(300, 26);
    PaintCaption(t.c, skin, caption, true, close, st);
    EXPECT_EQ(skin.colours[kFrame], t.At(0, 0));
    for (const auto& other : looks) EXPECT_NE(other, t.px) << "close state " << st;
    looks.push_back(t.px);
  }
  // Along one row the gradient is one colour; the ornament tints some pixels.
  TestCanvas plain(300, 26), ornamented(300, 26);
  Skin bare = skin;
  bare.images[kImageOrnament].width = 0;
  PaintCaption(plain.c, bare, caption, true, close, kCloseNormal);
  PaintCaption(ornamented.c, skin, caption, true, close, kCloseNormal);
  int tinted = 0;
  for (int x = 10; x < 260; ++x) tinted += plain.At(x, 15) != ornamented.At(x, 15);
  EXPECT_GT(tinted, 5);
  EXPECT_EQ(plain.At(150, 15), plain.At(100, 15));
}

}  // namespace
