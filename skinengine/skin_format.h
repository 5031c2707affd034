// The skin file format of FmSkin.dll, and its reader and writer.
//
// A skin file is little-endian throughout:
//
//   header, 32 bytes
//     0  ".FMS"                         magic (2E 46 4D 53)
//     4  u16 version                    kSkinVersion
//     6  u16 header size                32
//     8  u32 file size                  must equal the length handed in
//    12  u32 CRC-32 of bytes [32, file size)
//    16  u32 section count              1 .. kSkinMaxSections
//    20  u32 section table offset       at or after the header
//    24  u32 flags                      0
//    28  u32 reserved                   0
//   section table: count entries of { u32 tag, u32 offset, u32 size }
//   sections (no two overlap each other, the header or the table):
//     "NAME"  the skin's name, UTF-8, 1 .. kSkinNameMax bytes, no zero byte
//     "PALT"  u32 count (kSkinColourCount .. 255), count x u32 0x00RRGGBB
//     "METR"  u32 count (kSkinMetricCount .. 255), count x u16, each in its range
//     "IMAG"  u32 count (1 .. 16), then count images, each
//             { u8 id, u8 kind (1 = alpha mask), u8 width, u8 height, width*height bytes }
//   Unknown section tags are skipped, so a later minor addition stays readable;
//   entries beyond the known colours, metrics or image ids are skipped too.
//
// This file is portable: the engine, the generator and the fuzzer share it.
#ifndef FM_SKINENGINE_SKIN_FORMAT_H
#define FM_SKINENGINE_SKIN_FORMAT_H

#include <stddef.h>
#include <stdint.h>

const uint16_t kSkinVersion = 1;
const uint32_t kSkinHeaderSize = 32;
const uint32_t kSkinMaxSections = 16;
const uint32_t kSkinNameMax = 47;
const uint32_t kSkinImageMaxSide = 64;

// Colour roles. The engine paints nothing in a colour it does not take from here.
enum SkinColour {
  kCaptionTop,           // active caption gradient
  kCaptionBottom,
  kCaptionInactiveTop,   // inactive caption gradient
  kCaptionInactiveBottom,
  kCaptionText,
  kCaptionInactiveText,
  kFrame,                // outer frame and window border
  kCaptionOrnament,      // tint of the caption's ornament tile
  kCloseFace,            // close box: normal, hot, pressed
  kCloseHot,
  kClosePressed,
  kCloseGlyph,
  kCloseGlyphHot,        // glyph over the hot and pressed faces
  kBackground,           // client area of a skinned window
  kText,                 // labels and message text on the background
  kButtonTop,            // push button face gradients per state
  kButtonBottom,
  kButtonHotTop,
  kButtonHotBottom,
  kButtonPressedTop,
  kButtonPressedBottom,
  kButtonBorder,
  kButtonDefaultBorder,  // border of the default push button
  kButtonText,
  kButtonDisabledFace,
  kButtonDisabledText,
  kFocus,                // focus ring of buttons and check boxes
  kCheckFace,            // check box square
  kCheckBorder,
  kCheckHotBorder,
  kCheckPressedFace,
  kCheckMark,
  kSkinColourCount
};

enum SkinMetric {
  kFrameCorner,       // radius of the caption's top corners, 0..16
  kButtonCorner,      // radius of a push button's corners, 0..12
  kCheckCorner,       // radius of a check box square's corners, 0..6
  kCheckSize,         // side of the check box square, 10..20
  kCaptionBold,       // caption font weight: 0 normal, 1 bold
  kCaptionCentred,    // caption text: 0 beside the icon, 1 centred
  kOrnamentAlpha,     // strength of the ornament tint, 0..255 (0 = none)
  kCloseRound,        // close box face: 0 rounded square, 1 circle
  kFocusSolid,        // focus ring: 0 dotted, 1 solid
  kButtonGloss,       // highlight band on the upper half of buttons, 0..96
  kSkinMetricCount
};

enum SkinImageId {
  kImageCloseGlyph,   // id 1 in the file; required
  kImageCheckMark,    // id 2; required
  kImageOrnament,     // id 3; optional tile for the caption
  kSkinImageCount
};

struct SkinImage {
  uint8_t width;      // 0 when absent
  uint8_t height;
  uint8_t alpha[kSkinImageMaxSide * kSkinImageMaxSide];  // row-major coverage
};

struct Skin {
  char name[kSkinNameMax + 1];               // NUL-terminated
  uint32_t colours[kSkinColourCount];        // 0x00RRGGBB
  uint16_t metrics[kSkinMetricCount];
  SkinImage images[kSkinImageCount];
};

// Why a buffer was not taken as a skin. The engine returns these numbers.
enum SkinError : uint32_t {
  kSkinOk = 0,
  kSkinNoData = 1,             // null pointer or zero length
  kSkinTooShort = 2,           // shorter than the header
  kSkinBadMagic = 3,
  kSkinBadVersion = 4,
  kSkinBadHeaderSize = 5,
  kSkinSizeMismatch = 6,       // truncated, or bytes after the end
  kSkinBadChecksum = 7,
  kSkinBadFlags = 8,           // flags or reserved not zero
  kSkinBadSectionCount = 9,
  kSkinBadSectionTable = 10,   // table outside the file or over the header
  kSkinSectionOutOfBounds = 11,
  kSkinSectionOverlap = 12,
  kSkinDuplicateSection = 13,
  kSkinMissingSection = 14,
  kSkinBadName = 15,
  kSkinBadPalette = 16,
  kSkinBadMetrics = 17,
  kSkinMetricOutOfRange = 18,
  kSkinBadImage = 19,
  kSkinMissingImage = 20,
  kSkinDuplicateImage = 21,
};

const char* SkinErrorName(uint32_t error);

// Lowest and highest value each metric may take.
uint16_t SkinMetricMin(SkinMetric metric);
uint16_t SkinMetricMax(SkinMetric metric);

uint32_t SkinCrc32(const uint8_t* data, size_t length);

// Reads a skin file. On success fills *out completely; on failure *out is
// left in an unspecified state and nothing else is touched. With
// verify_checksum false the CRC is not compared (the fuzzer uses this to get
// past it); everything else is checked the same.
SkinError ParseSkin(const void* data, uint64_t length, Skin* out, bool verify_checksum = true);

// Writes a skin file into out (capacity bytes). Returns the file's size;
// writes nothing when the capacity is short, so a first call with capacity 0
// gives the size to allocate.
size_t WriteSkin(const Skin& skin, uint8_t* out, size_t capacity);

#endif
