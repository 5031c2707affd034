#include "skinengine/skin_paint.h"

#include <math.h>

namespace {

int Clamp(int v, int lo, int hi) { return v < lo ? lo : v > hi ? hi : v; }

uint32_t Lerp(uint32_t a, uint32_t b, int num, int den) {
  if (den <= 0) return a;
  uint32_t out = 0;
  for (int shift = 0; shift <= 16; shift += 8) {
    int ca = int(a >> shift & 0xFF), cb = int(b >> shift & 0xFF);
    int v = ca + ((cb - ca) * num + (cb > ca ? den / 2 : -den / 2)) / den;
    out |= uint32_t(Clamp(v, 0, 255)) << shift;
  }
  return out;
}

// Coverage (0..255) of pixel (x, y) by a rectangle with round corners.
int Coverage(PaintRect r, int radius, bool top_only, int x, int y) {
  if (x < r.left || x >= r.right || y < r.top || y >= r.bottom) return 0;
  int max_radius = (r.Width() < r.Height() ? r.Width() : r.Height()) / 2;
  if (radius > max_radius) radius = max_radius;
  if (radius <= 0) return 255;
  double cx, cy;
  if (x < r.left + radius) cx = r.left + radius;
  else if (x >= r.right - radius) cx = r.right - radius;
  else return 255;
  if (y < r.top + radius) cy = r.top + radius;
  else if (!top_only && y >= r.bottom - radius) cy = r.bottom - radius;
  else return 255;
  double dx = x + 0.5 - cx, dy = y + 0.5 - cy;
  double d = sqrt(dx * dx + dy * dy);
  double cover = radius - d + 0.5;
  if (cover <= 0) return 0;
  if (cover >= 1) return 255;
  return int(cover * 255 + 0.5);
}

void Put(Canvas& c, int x, int y, uint32_t colour, int alpha) {
  if (x < 0 || y < 0 || x >= c.width || y >= c.height || alpha <= 0) return;
  uint32_t& px = c.pixels[y * c.width + x];
  px = BlendColour(colour, px, alpha);
}

PaintRect Clip(const Canvas& c, PaintRect r) {
  PaintRect out = r;
  if (out.left < 0) out.left = 0;
  if (out.top < 0) out.top = 0;
  if (out.right > c.width) out.right = c.width;
  if (out.bottom > c.height) out.bottom = c.height;
  return out;
}

double Luminance(uint32_t c) {
  double ch[3];
  for (int i = 0; i < 3; ++i) {
    double v = double((c >> (16 - 8 * i)) & 0xFF) / 255.0;
    ch[i] = v <= 0.03928 ? v / 12.92 : pow((v + 0.055) / 1.055, 2.4);
  }
  return 0.2126 * ch[0] + 0.7152 * ch[1] + 0.0722 * ch[2];
}

const uint32_t kWhite = 0xFFFFFF;

}  // namespace

uint32_t BlendColour(uint32_t a, uint32_t b, int alpha) {
  if (alpha >= 255) return a & 0xFFFFFF;
  if (alpha <= 0) return b & 0xFFFFFF;
  return Lerp(b, a, alpha, 255);
}

void CanvasFill(Canvas& c, PaintRect r, uint32_t colour) {
  r = Clip(c, r);
  for (int y = r.top; y < r.bottom; ++y)
    for (int x = r.left; x < r.right; ++x) c.pixels[y * c.width + x] = colour & 0xFFFFFF;
}

void CanvasRoundGradient(Canvas& c, PaintRect r, int radius, bool top_only, uint32_t top, uint32_t bottom) {
  PaintRect v = Clip(c, r);
  int span = r.Height() > 1 ? r.Height() - 1 : 1;
  for (int y = v.top; y < v.bottom; ++y) {
    uint32_t colour = Lerp(top, bottom, y - r.top, span);
    for (int x = v.left; x < v.right; ++x) Put(c, x, y, colour, Coverage(r, radius, top_only, x, y));
  }
}

void CanvasRoundBorder(Canvas& c, PaintRect r, int radius, bool top_only, uint32_t colour) {
  PaintRect inner{r.left + 1, r.top + 1, r.right - 1, r.bottom - (top_only ? 0 : 1)};
  PaintRect v = Clip(c, r);
  for (int y = v.top; y < v.bottom; ++y)
    for (int x = v.left; x < v.right; ++x) {
      int ring = Coverage(r, radius, top_only, x, y) - Coverage(inner, radius - 1, top_only, x, y);
      Put(c, x, y, colour, ring);
    }
}

void CanvasGloss(Canvas& c, PaintRect r, int radius, int gloss) {
  if (gloss <= 0) return;
  PaintRect upper{r.left, r.top, r.right, r.top + r.Height() / 2};
  PaintRect v = Clip(c, upper);
  for (int y = v.top; y < v.bottom; ++y)
    for (int x = v.left; x < v.right; ++x)
      Put(c, x, y, kWhite, Coverage(r, radius, false, x, y) * gloss / 255);
}

void CanvasMask(Canvas& c, const SkinImage& mask, int x, int y, uint32_t colour, int alpha) {
  for (int j = 0; j < mask.height; ++j)
    for (int i = 0; i < mask.width; ++i) Put(c, x + i, y + j, colour, mask.alpha[j * mask.width + i] * alpha / 255);
}

void CanvasTile(Canvas& c, PaintRect r, int radius, const SkinImage& tile, uint32_t colour, int alpha) {
  if (!tile.width || !tile.height || alpha <= 0) return;
  PaintRect v = Clip(c, r);
  for (int y = v.top; y < v.bottom; ++y) {
    const uint8_t* row = tile.alpha + ((y - r.top) % tile.height) * tile.width;
    for (int x = v.left; x < v.right; ++x) {
      int a = row[(x - r.left) % tile.width] * alpha / 255;
      if (a) Put(c, x, y, colour, a * Coverage(r, radius, true, x, y) / 255);
    }
  }
}

void CanvasDotted(Canvas& c, PaintRect r, uint32_t colour) {
  for (int x = r.left; x < r.right; ++x) {
    if ((x - r.left) % 2) continue;
    Put(c, x, r.top, colour, 255);
    Put(c, x, r.bottom - 1, colour, 255);
  }
  for (int y = r.top; y < r.bottom; ++y) {
    if ((y - r.top) % 2) continue;
    Put(c, r.left, y, colour, 255);
    Put(c, r.right - 1, y, colour, 255);
  }
}

void PaintCaption(Canvas& c, const Skin& skin, PaintRect caption, bool active, PaintRect close, CloseState close_state) {
  const uint32_t* k = skin.colours;
  const uint16_t* m = skin.metrics;
  CanvasFill(c, PaintRect{0, 0, c.width, c.height}, k[kFrame]);
  int radius = m[kFrameCorner];
  CanvasRoundGradient(c, caption, radius, true, k[active ? kCaptionTop : kCaptionInactiveTop],
                      k[active ? kCaptionBottom : kCaptionInactiveBottom]);
  CanvasTile(c, caption, radius, skin.images[kImageOrnament], k[kCaptionOrnament],
             active ? m[kOrnamentAlpha] : m[kOrnamentAlpha] / 2);
  if (close.right <= close.left) return;
  uint32_t face = k[kCloseFace], glyph = k[kCloseGlyph];
  if (close_state == kCloseHotState) face = k[kCloseHot], glyph = k[kCloseGlyphHot];
  if (close_state == kClosePressedState) face = k[kClosePressed], glyph = k[kCloseGlyphHot];
  int close_radius = m[kCloseRound] ? close.Width() / 2 : close.Width() / 5;
  CanvasRoundGradient(c, close, close_radius, false, face, face);
  const SkinImage& g = skin.images[kImageCloseGlyph];
  int gx = close.left + (close.Width() - g.width) / 2, gy = close.top + (close.Height() - g.height) / 2;
  if (close_state == kClosePressedState) ++gx, ++gy;
  CanvasMask(c, g, gx, gy, glyph, close_state == kCloseDisabled ? 110 : 255);
}

void PaintPushButton(Canvas& c, const Skin& skin, const ButtonState& s) {
  const uint32_t* k = skin.colours;
  const uint16_t* m = skin.metrics;
  PaintRect all{0, 0, c.width, c.height};
  CanvasFill(c, all, k[kBackground]);
  int radius = m[kButtonCorner];
  if (s.disabled) {
    CanvasRoundGradient(c, all, radius, false, k[kButtonDisabledFace], k[kButtonDisabledFace]);
  } else if (s.pressed) {
    CanvasRoundGradient(c, all, radius, false, k[kButtonPressedTop], k[kButtonPressedBottom]);
  } else {
    bool hot = s.hot;
    CanvasRoundGradient(c, all, radius, false, k[hot ? kButtonHotTop : kButtonTop], k[hot ? kButtonHotBottom : kButtonBottom]);
    CanvasGloss(c, PaintRect{1, 1, c.width - 1, c.height - 1}, radius, m[kButtonGloss]);
  }
  CanvasRoundBorder(c, all, radius, false, k[s.is_default && !s.disabled ? kButtonDefaultBorder : kButtonBorder]);
  if (s.is_default && !s.disabled)
    CanvasRoundBorder(c, PaintRect{1, 1, c.width - 1, c.height - 1}, radius - 1, false, k[kButtonDefaultBorder]);
  if (s.focused && !s.disabled) {
    PaintRect ring{3, 3, c.width - 3, c.height - 3};
    if (m[kFocusSolid]) CanvasRoundBorder(c, ring, radius > 2 ? radius - 2 : 0, false, k[kFocus]);
    else CanvasDotted(c, ring, k[kFocus]);
  }
}

uint32_t PushButtonTextColour(const Skin& skin, const ButtonState& s) {
  return skin.colours[s.disabled ? kButtonDisabledText : kButtonText];
}

void PaintCheckBox(Canvas& c, const Skin& skin, PaintRect box, const ButtonState& s, PaintRect focus_text) {
  const uint32_t* k = skin.colours;
  const uint16_t* m = skin.metrics;
  CanvasFill(c, PaintRect{0, 0, c.width, c.height}, k[kBackground]);
  int radius = m[kCheckCorner];
  uint32_t face = s.pressed ? k[kCheckPressedFace] : k[kCheckFace];
  if (s.disabled) face = k[kButtonDisabledFace];
  CanvasRoundGradient(c, box, radius, false, face, face);
  CanvasRoundBorder(c, box, radius, false, k[s.hot && !s.disabled ? kCheckHotBorder : kCheckBorder]);
  if (s.hot && !s.disabled)
    CanvasRoundBorder(c, PaintRect{box.left + 1, box.top + 1, box.right - 1, box.bottom - 1}, radius - 1, false,
                      k[kCheckHotBorder]);
  if (s.checked) {
    const SkinImage& g = skin.images[kImageCheckMark];
    CanvasMask(c, g, box.left + (box.Width() - g.width) / 2, box.top + (box.Height() - g.height) / 2,
               s.disabled ? k[kButtonDisabledText] : k[kCheckMark], 255);
  }
  if (s.focused && focus_text.right > focus_text.left) {
    if (m[kFocusSolid]) CanvasRoundBorder(c, focus_text, 2, false, k[kFocus]);
    else CanvasDotted(c, focus_text, k[kFocus]);
  }
}

double ContrastRatio(uint32_t a, uint32_t b) {
  double la = Luminance(a), lb = Luminance(b);
  if (la < lb) {
    double t = la;
    la = lb;
    lb = t;
  }
  return (la + 0.05) / (lb + 0.05);
}

int SkinContrastPairs(const Skin& skin, ContrastPair* out) {
  const uint32_t* k = skin.colours;
  const uint16_t* m = skin.metrics;
  int n = 0;
  auto add = [&](const char* what, uint32_t text, uint32_t background) {
    if (n < kMaxContrastPairs) out[n++] = ContrastPair{what, text, background};
  };
  bool ornament = skin.images[kImageOrnament].width && m[kOrnamentAlpha];
  add("caption text on caption top", k[kCaptionText], k[kCaptionTop]);
  add("caption text on caption bottom", k[kCaptionText], k[kCaptionBottom]);
  if (ornament) {
    add("caption text on ornament (top)", k[kCaptionText], BlendColour(k[kCaptionOrnament], k[kCaptionTop], m[kOrnamentAlpha]));
    add("caption text on ornament (bottom)", k[kCaptionText],
        BlendColour(k[kCaptionOrnament], k[kCaptionBottom], m[kOrnamentAlpha]));
  }
  add("inactive caption text on top", k[kCaptionInactiveText], k[kCaptionInactiveTop]);
  add("inactive caption text on bottom", k[kCaptionInactiveText], k[kCaptionInactiveBottom]);
  if (ornament) {
    add("inactive caption text on ornament (top)", k[kCaptionInactiveText],
        BlendColour(k[kCaptionOrnament], k[kCaptionInactiveTop], m[kOrnamentAlpha] / 2));
    add("inactive caption text on ornament (bottom)", k[kCaptionInactiveText],
        BlendColour(k[kCaptionOrnament], k[kCaptionInactiveBottom], m[kOrnamentAlpha] / 2));
  }
  add("close glyph on close face", k[kCloseGlyph], k[kCloseFace]);
  add("close glyph on hot face", k[kCloseGlyphHot], k[kCloseHot]);
  add("close glyph on pressed face", k[kCloseGlyphHot], k[kClosePressed]);
  add("text on background", k[kText], k[kBackground]);
  add("disabled text on background", k[kButtonDisabledText], k[kBackground]);
  add("button text on face top (gloss)", k[kButtonText], BlendColour(kWhite, k[kButtonTop], m[kButtonGloss]));
  add("button text on face top", k[kButtonText], k[kButtonTop]);
  add("button text on face bottom", k[kButtonText], k[kButtonBottom]);
  add("button text on hot top (gloss)", k[kButtonText], BlendColour(kWhite, k[kButtonHotTop], m[kButtonGloss]));
  add("button text on hot top", k[kButtonText], k[kButtonHotTop]);
  add("button text on hot bottom", k[kButtonText], k[kButtonHotBottom]);
  add("button text on pressed top", k[kButtonText], k[kButtonPressedTop]);
  add("button text on pressed bottom", k[kButtonText], k[kButtonPressedBottom]);
  add("disabled button text on disabled face", k[kButtonDisabledText], k[kButtonDisabledFace]);
  add("check mark on check face", k[kCheckMark], k[kCheckFace]);
  add("check mark on pressed face", k[kCheckMark], k[kCheckPressedFace]);
  return n;
}
