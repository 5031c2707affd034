// Reader and writer of the skin file format (layout in skin_format.h).
//
// Every offset and size read from a file is widened to 64 bits before it is
// added or multiplied, so no sum of untrusted 32-bit fields can wrap around
// and pass a bounds test it should fail.
#include "skinengine/skin_format.h"

#include <string.h>

namespace {

const uint8_t kMagic[4] = {0x2E, 0x46, 0x4D, 0x53};  // ".FMS"
const uint32_t kTableEntrySize = 12;
const uint32_t kMaxListCount = 255;
const uint32_t kMaxImages = 16;

uint32_t Tag(const char* four) {
  return uint32_t(uint8_t(four[0])) | uint32_t(uint8_t(four[1])) << 8 |
         uint32_t(uint8_t(four[2])) << 16 | uint32_t(uint8_t(four[3])) << 24;
}

uint16_t Read16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t Read32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
void Write16(uint8_t* p, uint16_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}
void Write32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
  p[2] = uint8_t(v >> 16);
  p[3] = uint8_t(v >> 24);
}

struct Range {
  uint64_t begin, end;
};

bool Overlap(const Range& a, const Range& b) {
  if (a.begin == a.end || b.begin == b.end) return false;
  return a.begin < b.end && b.begin < a.end;
}

struct MetricRange {
  uint16_t min, max;
};
const MetricRange kMetricRanges[kSkinMetricCount] = {
    {0, 16},   // kFrameCorner
    {0, 12},   // kButtonCorner
    {0, 6},    // kCheckCorner
    {10, 20},  // kCheckSize
    {0, 1},    // kCaptionBold
    {0, 1},    // kCaptionCentred
    {0, 255},  // kOrnamentAlpha
    {0, 1},    // kCloseRound
    {0, 1},    // kFocusSolid
    {0, 96},   // kButtonGloss
};

SkinError ParseName(const uint8_t* p, uint64_t size, Skin* out) {
  if (size < 1 || size > kSkinNameMax) return kSkinBadName;
  for (uint64_t i = 0; i < size; ++i) {
    if (p[i] < 0x20) return kSkinBadName;
    out->name[i] = char(p[i]);
  }
  out->name[size] = 0;
  return kSkinOk;
}

SkinError ParsePalette(const uint8_t* p, uint64_t size, Skin* out) {
  if (size < 4) return kSkinBadPalette;
  uint64_t count = Read32(p);
  if (count < kSkinColourCount || count > kMaxListCount) return kSkinBadPalette;
  if (size != 4 + count * 4) return kSkinBadPalette;
  for (uint64_t i = 0; i < count; ++i) {
    uint32_t c = Read32(p + 4 + i * 4);
    if (c >> 24) return kSkinBadPalette;
    if (i < kSkinColourCount) out->colours[i] = c;
  }
  return kSkinOk;
}

SkinError ParseMetrics(const uint8_t* p, uint64_t size, Skin* out) {
  if (size < 4) return kSkinBadMetrics;
  uint64_t count = Read32(p);
  if (count < kSkinMetricCount || count > kMaxListCount) return kSkinBadMetrics;
  if (size != 4 + count * 2) return kSkinBadMetrics;
  for (uint64_t i = 0; i < kSkinMetricCount; ++i) {
    uint16_t v = Read16(p + 4 + i * 2);
    if (v < kMetricRanges[i].min || v > kMetricRanges[i].max) return kSkinMetricOutOfRange;
    out->metrics[i] = v;
  }
  return kSkinOk;
}

SkinError ParseImages(const uint8_t* p, uint64_t size, Skin* out) {
  if (size < 4) return kSkinBadImage;
  uint64_t count = Read32(p);
  if (count < 1 || count > kMaxImages) return kSkinBadImage;
  uint64_t at = 4;
  for (uint64_t i = 0; i < count; ++i) {
    if (at + 4 > size) return kSkinBadImage;
    uint8_t id = p[at], kind = p[at + 1], w = p[at + 2], h = p[at + 3];
    at += 4;
    if (id == 0 || kind != 1 || w == 0 || h == 0 || w > kSkinImageMaxSide || h > kSkinImageMaxSide)
      return kSkinBadImage;
    uint64_t bytes = uint64_t(w) * h;
    if (at + bytes > size) return kSkinBadImage;
    if (id <= kSkinImageCount) {
      SkinImage& img = out->images[id - 1];
      if (img.width) return kSkinDuplicateImage;
      img.width = w;
      img.height = h;
      memcpy(img.alpha, p + at, size_t(bytes));
    }
    at += bytes;
  }
  if (at != size) return kSkinBadImage;
  if (!out->images[kImageCloseGlyph].width || !out->images[kImageCheckMark].width)
    return kSkinMissingImage;
  return kSkinOk;
}

}  // namespace

const char* SkinErrorName(uint32_t error) {
  switch (error) {
    case kSkinOk: return "ok";
    case kSkinNoData: return "no data";
    case kSkinTooShort: return "shorter than the header";
    case kSkinBadMagic: return "not a skin file";
    case kSkinBadVersion: return "unsupported version";
    case kSkinBadHeaderSize: return "bad header size";
    case kSkinSizeMismatch: return "size does not match (truncated or trailing bytes)";
    case kSkinBadChecksum: return "checksum mismatch";
    case kSkinBadFlags: return "unknown flags";
    case kSkinBadSectionCount: return "bad section count";
    case kSkinBadSectionTable: return "bad section table";
    case kSkinSectionOutOfBounds: return "section outside the file";
    case kSkinSectionOverlap: return "sections overlap";
    case kSkinDuplicateSection: return "duplicate section";
    case kSkinMissingSection: return "missing section";
    case kSkinBadName: return "bad name";
    case kSkinBadPalette: return "bad palette";
    case kSkinBadMetrics: return "bad metrics";
    case kSkinMetricOutOfRange: return "metric out of range";
    case kSkinBadImage: return "bad image";
    case kSkinMissingImage: return "missing image";
    case kSkinDuplicateImage: return "duplicate image";
  }
  return "unknown error";
}

uint16_t SkinMetricMin(SkinMetric metric) { return kMetricRanges[metric].min; }
uint16_t SkinMetricMax(SkinMetric metric) { return kMetricRanges[metric].max; }

uint32_t SkinCrc32(const uint8_t* data, size_t length) {
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < length; ++i) {
    crc ^= data[i];
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

SkinError ParseSkin(const void* data, uint64_t length, Skin* out, bool verify_checksum) {
  if (!data || length == 0) return kSkinNoData;
  const uint8_t* p = static_cast<const uint8_t*>(data);
  if (length < kSkinHeaderSize) return kSkinTooShort;
  if (memcmp(p, kMagic, 4) != 0) return kSkinBadMagic;
  if (Read16(p + 4) != kSkinVersion) return kSkinBadVersion;
  if (Read16(p + 6) != kSkinHeaderSize) return kSkinBadHeaderSize;
  if (uint64_t(Read32(p + 8)) != length) return kSkinSizeMismatch;
  if (Read32(p + 24) != 0 || Read32(p + 28) != 0) return kSkinBadFlags;
  if (verify_checksum && Read32(p + 12) != SkinCrc32(p + kSkinHeaderSize, size_t(length - kSkinHeaderSize)))
    return kSkinBadChecksum;

  uint64_t count = Read32(p + 16);
  if (count < 1 || count > kSkinMaxSections) return kSkinBadSectionCount;
  uint64_t table = Read32(p + 20);
  Range ranges[kSkinMaxSections + 2];
  ranges[0] = Range{0, kSkinHeaderSize};
  ranges[1] = Range{table, table + count * kTableEntrySize};
  if (table < kSkinHeaderSize || ranges[1].end > length) return kSkinBadSectionTable;

  memset(out, 0, sizeof *out);
  const uint32_t known[4] = {Tag("NAME"), Tag("PALT"), Tag("METR"), Tag("IMAG")};
  uint64_t where[4] = {0, 0, 0, 0};
  uint64_t sizes[4] = {0, 0, 0, 0};
  bool seen[4] = {false, false, false, false};
  for (uint64_t i = 0; i < count; ++i) {
    const uint8_t* e = p + table + i * kTableEntrySize;
    uint32_t tag = Read32(e);
    uint64_t offset = Read32(e + 4), size = Read32(e + 8);
    if (offset + size > length) return kSkinSectionOutOfBounds;
    Range r{offset, offset + size};
    for (uint64_t j = 0; j < i + 2; ++j)
      if (Overlap(r, ranges[j])) return kSkinSectionOverlap;
    ranges[i + 2] = r;
    for (int k = 0; k < 4; ++k) {
      if (tag != known[k]) continue;
      if (seen[k]) return kSkinDuplicateSection;
      seen[k] = true;
      where[k] = offset;
      sizes[k] = size;
    }
  }
  for (int k = 0; k < 4; ++k)
    if (!seen[k]) return kSkinMissingSection;

  SkinError e = ParseName(p + where[0], sizes[0], out);
  if (e == kSkinOk) e = ParsePalette(p + where[1], sizes[1], out);
  if (e == kSkinOk) e = ParseMetrics(p + where[2], sizes[2], out);
  if (e == kSkinOk) e = ParseImages(p + where[3], sizes[3], out);
  return e;
}

size_t WriteSkin(const Skin& skin, uint8_t* out, size_t capacity) {
  size_t name_len = strnlen(skin.name, kSkinNameMax);
  size_t palette = 4 + kSkinColourCount * 4;
  size_t metrics = 4 + kSkinMetricCount * 2;
  size_t images = 4;
  uint32_t image_count = 0;
  for (int i = 0; i < kSkinImageCount; ++i) {
    if (!skin.images[i].width) continue;
    images += 4 + size_t(skin.images[i].width) * skin.images[i].height;
    ++image_count;
  }
  const size_t table = kSkinHeaderSize;
  const size_t sizes[4] = {name_len, palette, metrics, images};
  const char* tags[4] = {"NAME", "PALT", "METR", "IMAG"};
  size_t total = table + 4 * kTableEntrySize;
  size_t offsets[4];
  for (int k = 0; k < 4; ++k) {
    offsets[k] = total;
    total += sizes[k];
  }
  if (capacity < total || !out) return total;

  memset(out, 0, total);
  memcpy(out, kMagic, 4);
  Write16(out + 4, kSkinVersion);
  Write16(out + 6, uint16_t(kSkinHeaderSize));
  Write32(out + 8, uint32_t(total));
  Write32(out + 16, 4);
  Write32(out + 20, uint32_t(table));
  for (int k = 0; k < 4; ++k) {
    uint8_t* e = out + table + k * kTableEntrySize;
    Write32(e, Tag(tags[k]));
    Write32(e + 4, uint32_t(offsets[k]));
    Write32(e + 8, uint32_t(sizes[k]));
  }
  memcpy(out + offsets[0], skin.name, name_len);
  uint8_t* q = out + offsets[1];
  Write32(q, kSkinColourCount);
  for (int i = 0; i < kSkinColourCount; ++i) Write32(q + 4 + i * 4, skin.colours[i] & 0xFFFFFFu);
  q = out + offsets[2];
  Write32(q, kSkinMetricCount);
  for (int i = 0; i < kSkinMetricCount; ++i) Write16(q + 4 + i * 2, skin.metrics[i]);
  q = out + offsets[3];
  Write32(q, image_count);
  q += 4;
  for (int i = 0; i < kSkinImageCount; ++i) {
    const SkinImage& img = skin.images[i];
    if (!img.width) continue;
    q[0] = uint8_t(i + 1);
    q[1] = 1;
    q[2] = img.width;
    q[3] = img.height;
    size_t bytes = size_t(img.width) * img.height;
    memcpy(q + 4, img.alpha, bytes);
    q += 4 + bytes;
  }
  Write32(out + 12, SkinCrc32(out + kSkinHeaderSize, total - kSkinHeaderSize));
  return total;
}
