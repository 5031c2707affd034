// fmskingen: writes the program's 58 skin files, skin01.fms .. skin58.fms,
// from the table of themes below.
//
//   fmskingen OUTPUT_DIR
//
// Each theme gives a hue, saturation and lightness for its caption, whether
// its client area is light or dark, and one of a few shape styles (corner
// radii, ornament tile, gloss). Every other colour is derived from those, and
// each text colour is then moved in lightness until it reads at 4.6:1 or more
// against everything it is drawn on; a theme that cannot get there stops the
// build. Same table, same bytes: nothing here depends on time or randomness.
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "skinengine/skin_format.h"
#include "skinengine/skin_paint.h"

namespace {

enum Pattern { kNone, kStripes, kDots, kLattice, kWaves, kDiamonds, kCrosshatch, kScales };

struct Style {
  Pattern pattern;
  int tile;          // side of the ornament tile
  int ornament;      // ornament strength, 0..255
  int frame_corner, button_corner, check_corner;
  int bold, centred, close_round, focus_solid, gloss;
  int button_hue_shift;
  double glyph_stroke, mark_stroke;
};

const Style kStyles[] = {
    /* 0 plain      */ {kNone, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 1.3, 1.8},
    /* 1 soft       */ {kDots, 12, 40, 8, 6, 3, 1, 0, 1, 1, 40, 0, 1.6, 2.0},
    /* 2 lattice    */ {kLattice, 32, 48, 10, 5, 2, 1, 1, 1, 1, 36, 0, 1.8, 2.2},
    /* 3 stripes    */ {kStripes, 16, 30, 4, 3, 1, 1, 0, 0, 0, 24, 180, 1.5, 2.0},
    /* 4 waves      */ {kWaves, 48, 44, 12, 10, 4, 0, 1, 1, 1, 48, 20, 1.4, 2.0},
    /* 5 diamonds   */ {kDiamonds, 20, 40, 6, 4, 2, 1, 0, 0, 1, 30, 330, 2.0, 2.4},
    /* 6 crosshatch */ {kCrosshatch, 24, 32, 2, 1, 0, 0, 0, 0, 0, 16, 0, 1.2, 1.7},
    /* 7 scales     */ {kScales, 24, 46, 14, 8, 5, 1, 1, 1, 1, 56, 200, 1.7, 2.3},
};

struct Theme {
  const char* name;
  int hue, sat, light;  // caption colour (degrees, percent, percent)
  bool dark;            // dark client area
  int style;
};

// Number 4 is the skin the program carries into use, so it gets the most
// careful look: deep jade caption under a window-lattice ornament, warm ivory
// client area, centred bold caption, round close box and glossy buttons.
const Theme kThemes[58] = {
    {"Harbour Dawn", 205, 55, 42, false, 1},
    {"Slate Lantern", 215, 18, 34, false, 0},
    {"Cedar Study", 25, 45, 30, false, 6},
    {"Jade Pavilion", 168, 58, 27, false, 2},
    {"Amber Kiln", 38, 85, 44, false, 3},
    {"Midnight Ink", 230, 45, 20, true, 4},
    {"Rose Quartz", 345, 45, 55, false, 7},
    {"Olive Grove", 75, 40, 32, false, 5},
    {"Glacier", 190, 60, 60, false, 4},
    {"Copper Roof", 18, 62, 40, false, 5},
    {"Plum Blossom", 300, 35, 36, false, 1},
    {"Sandstone", 35, 40, 58, false, 6},
    {"Night Orchard", 280, 35, 22, true, 7},
    {"Lagoon", 182, 70, 36, true, 4},
    {"Brick Lane", 5, 55, 35, false, 3},
    {"Lavender Field", 262, 45, 62, false, 1},
    {"Graphite", 0, 0, 24, true, 0},
    {"Saffron", 45, 95, 50, false, 2},
    {"Pine Forest", 140, 45, 22, true, 6},
    {"Coral Reef", 10, 80, 62, false, 7},
    {"Indigo Silk", 245, 55, 34, false, 2},
    {"Birch Bark", 40, 12, 72, false, 0},
    {"Crimson Lacquer", 352, 75, 30, false, 2},
    {"Teal Harbour", 185, 55, 22, true, 3},
    {"Mulberry", 325, 55, 40, true, 4},
    {"Wheat Field", 48, 60, 66, false, 3},
    {"Storm Cloud", 210, 12, 48, true, 6},
    {"Peach Orchard", 25, 85, 70, false, 1},
    {"Moss Stone", 95, 25, 40, true, 5},
    {"Cobalt Night", 220, 80, 28, true, 2},
    {"Terracotta", 16, 50, 44, true, 6},
    {"Mint Tea", 150, 45, 62, false, 4},
    {"Aubergine", 285, 40, 18, false, 3},
    {"Honey Comb", 42, 75, 38, false, 7},
    {"Steel Blue", 214, 45, 64, false, 0},
    {"Cherry Wood", 0, 45, 24, false, 5},
    {"Sea Glass", 165, 35, 55, false, 1},
    {"Desert Night", 30, 35, 20, true, 5},
    {"Lilac Mist", 280, 30, 72, false, 4},
    {"Forest Night", 120, 30, 16, true, 1},
    {"Marigold", 30, 95, 55, false, 5},
    {"Bluebell", 232, 60, 58, false, 7},
    {"Charcoal Ember", 15, 20, 16, true, 3},
    {"Celadon", 120, 25, 58, false, 2},
    {"Ruby Dusk", 340, 55, 22, true, 4},
    {"Sky Kite", 200, 80, 52, false, 3},
    {"Bronze Age", 32, 50, 34, true, 6},
    {"Orchid", 305, 50, 52, false, 2},
    {"Ocean Deep", 200, 75, 20, true, 7},
    {"Lemon Grove", 58, 70, 46, false, 1},
    {"Walnut", 28, 30, 22, false, 0},
    {"Arctic Night", 195, 30, 26, true, 6},
    {"Cinnabar", 8, 78, 45, false, 4},
    {"Fern Valley", 105, 45, 46, false, 3},
    {"Twilight", 260, 40, 26, true, 5},
    {"Pearl Gray", 220, 8, 64, false, 7},
    {"Emerald Night", 155, 60, 18, true, 2},
    {"Apricot", 32, 70, 60, false, 6},
};

// ---- colour arithmetic ----

double Wrap(double h) {
  while (h < 0) h += 360;
  while (h >= 360) h -= 360;
  return h;
}

double Clamp01(double v) { return v < 0 ? 0 : v > 1 ? 1 : v; }

uint32_t Hsl(double h, double s, double l) {
  h = Wrap(h) / 360.0;
  s = Clamp01(s / 100.0);
  l = Clamp01(l / 100.0);
  double q = l < 0.5 ? l * (1 + s) : l + s - l * s;
  double p = 2 * l - q;
  double ch[3];
  for (int i = 0; i < 3; ++i) {
    double t = h + (1 - i) / 3.0;
    if (t < 0) t += 1;
    if (t > 1) t -= 1;
    double v;
    if (t < 1 / 6.0) v = p + (q - p) * 6 * t;
    else if (t < 0.5) v = q;
    else if (t < 2 / 3.0) v = p + (q - p) * (2 / 3.0 - t) * 6;
    else v = p;
    ch[i] = v;
  }
  return uint32_t(lround(ch[0] * 255)) << 16 | uint32_t(lround(ch[1] * 255)) << 8 | uint32_t(lround(ch[2] * 255));
}

struct HslColour {
  double h, s, l;
};

HslColour ToHsl(uint32_t c) {
  double r = (c >> 16 & 0xFF) / 255.0, g = (c >> 8 & 0xFF) / 255.0, b = (c & 0xFF) / 255.0;
  double mx = r > g ? (r > b ? r : b) : (g > b ? g : b);
  double mn = r < g ? (r < b ? r : b) : (g < b ? g : b);
  double l = (mx + mn) / 2, h = 0, s = 0;
  if (mx > mn) {
    double d = mx - mn;
    s = l > 0.5 ? d / (2 - mx - mn) : d / (mx + mn);
    if (mx == r) h = (g - b) / d + (g < b ? 6 : 0);
    else if (mx == g) h = (b - r) / d + 2;
    else h = (r - g) / d + 4;
    h *= 60;
  }
  return HslColour{h, s * 100, l * 100};
}

// Moves text in lightness (towards whichever end gets there sooner) until it
// reads at min_ratio against every background. Returns false if neither end does.
bool EnsureContrast(uint32_t* text, const uint32_t* backgrounds, int count, double min_ratio) {
  HslColour base = ToHsl(*text);
  uint32_t best = 0;
  int best_steps = -1;
  for (int direction = -1; direction <= 1; direction += 2) {
    for (int step = 0; step <= 100; ++step) {
      double l = base.l + direction * step;
      if (l < 0 || l > 100) break;
      uint32_t candidate = step == 0 ? *text : Hsl(base.h, base.s, l);
      bool ok = true;
      for (int i = 0; i < count && ok; ++i) ok = ContrastRatio(candidate, backgrounds[i]) >= min_ratio;
      if (ok) {
        if (best_steps < 0 || step < best_steps) best = candidate, best_steps = step;
        break;
      }
    }
  }
  if (best_steps < 0) return false;
  *text = best;
  return true;
}

// ---- images ----

double SegmentDistance(double px, double py, double ax, double ay, double bx, double by) {
  double dx = bx - ax, dy = by - ay;
  double t = ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy);
  t = Clamp01(t);
  double ex = ax + t * dx - px, ey = ay + t * dy - py;
  return sqrt(ex * ex + ey * ey);
}

uint8_t StrokeAlpha(double distance, double half_width) {
  double cover = Clamp01(half_width - distance + 0.5);
  return uint8_t(lround(cover * 255));
}

void DrawCloseGlyph(SkinImage* img, int side, double stroke) {
  img->width = img->height = uint8_t(side);
  double lo = 1.5, hi = side - 1.5;
  for (int y = 0; y < side; ++y)
    for (int x = 0; x < side; ++x) {
      double px = x + 0.5, py = y + 0.5;
      double d1 = SegmentDistance(px, py, lo, lo, hi, hi);
      double d2 = SegmentDistance(px, py, lo, hi, hi, lo);
      img->alpha[y * side + x] = StrokeAlpha(d1 < d2 ? d1 : d2, stroke / 2);
    }
}

void DrawCheckMark(SkinImage* img, int side, double stroke) {
  img->width = img->height = uint8_t(side);
  double ax = side * 0.16, ay = side * 0.52, bx = side * 0.40, by = side * 0.78, cx = side * 0.86, cy = side * 0.20;
  for (int y = 0; y < side; ++y)
    for (int x = 0; x < side; ++x) {
      double px = x + 0.5, py = y + 0.5;
      double d1 = SegmentDistance(px, py, ax, ay, bx, by);
      double d2 = SegmentDistance(px, py, bx, by, cx, cy);
      img->alpha[y * side + x] = StrokeAlpha(d1 < d2 ? d1 : d2, stroke / 2);
    }
}

void DrawOrnament(SkinImage* img, Pattern pattern, int side) {
  if (pattern == kNone || side <= 0) {
    img->width = img->height = 0;
    return;
  }
  img->width = img->height = uint8_t(side);
  for (int y = 0; y < side; ++y)
    for (int x = 0; x < side; ++x) {
      double px = x + 0.5, py = y + 0.5, s = side, v = 0;
      switch (pattern) {
        case kStripes: {  // soft diagonal bands
          double u = fmod(px + py, s / 2) / (s / 2);
          v = u < 0.35 ? 1 - u / 0.35 * 0.3 : (u < 0.5 ? 0.7 * (0.5 - u) / 0.15 : 0);
          break;
        }
        case kDots: {
          double dx = fmod(px, s / 2) - s / 4, dy = fmod(py, s / 2) - s / 4;
          v = Clamp01(s / 10 - sqrt(dx * dx + dy * dy) + 0.5);
          break;
        }
        case kLattice: {  // window lattice: frame lines with an inner offset square
          double q = s / 4;
          double fx = fmod(px, s), fy = fmod(py, s);
          double edge = fx < 1.2 || fy < 1.2 ? 1 : 0;
          double inner = (fabs(fx - s / 2) < q && fabs(fy - s / 2) < q &&
                          (fabs(fabs(fx - s / 2) - q) < 0.9 || fabs(fabs(fy - s / 2) - q) < 0.9))
                             ? 0.8 : 0;
          double cross = (fabs(fx - s / 2) < 0.7 && (fy < s / 2 - q || fy > s / 2 + q)) ||
                                 (fabs(fy - s / 2) < 0.7 && (fx < s / 2 - q || fx > s / 2 + q))
                             ? 0.6 : 0;
          v = edge > inner ? (edge > cross ? edge : cross) : (inner > cross ? inner : cross);
          break;
        }
        case kWaves: {  // two rows of arcs per tile
          double cy = s / 4 + (s / 8) * (fabs(fmod(px, s / 2) - s / 4) / (s / 4)) * 2 - s / 8;
          double d = fabs(fmod(py, s / 2) - cy);
          v = Clamp01(1.2 - d);
          break;
        }
        case kDiamonds: {
          double d = fabs(px - s / 2) + fabs(py - s / 2);
          v = Clamp01(1.4 - fabs(d - s / 3)) + (d < s / 8 ? 0.5 : 0);
          v = Clamp01(v);
          break;
        }
        case kCrosshatch: {
          double a = fmod(px + py, s / 3), b = fmod(px - py + s * 3, s / 3);
          v = Clamp01(1 - a) * 0.7 + Clamp01(1 - b) * 0.7;
          v = Clamp01(v);
          break;
        }
        case kScales: {
          double row = floor(py / (s / 2));
          double ox = fmod(row, 2) ? s / 4 : 0;
          double cx = fmod(px + ox, s / 2) - s / 4, cy = fmod(py, s / 2);
          double d = sqrt(cx * cx + cy * cy);
          v = Clamp01(1.1 - fabs(d - s / 4));
          break;
        }
        case kNone: break;
      }
      img->alpha[y * side + x] = uint8_t(lround(Clamp01(v) * 255));
    }
}

// ---- one theme ----

// shift moves the caption away from the middle lightness, where neither
// light nor dark text reads against both ends of its gradient.
bool BuildSkinShifted(const Theme& t, int shift, Skin* skin, char* why, size_t why_size) {
  const Style& st = kStyles[t.style];
  memset(skin, 0, sizeof *skin);
  snprintf(skin->name, sizeof skin->name, "%s", t.name);
  uint32_t* k = skin->colours;
  bool dark_caption = t.light < 50;
  double h = t.hue, s = t.sat, l = t.light + (dark_caption ? -shift : shift);

  k[kCaptionTop] = Hsl(h, s, l + 9);
  k[kCaptionBottom] = Hsl(h, s, l - 5);
  k[kFrame] = Hsl(h, s * 0.8, l - 14);
  k[kCaptionOrnament] = dark_caption ? Hsl(h, s * 0.4, 92) : Hsl(h, s, 18);
  if (t.dark) {
    k[kCaptionInactiveTop] = Hsl(h, s * 0.25, 26);
    k[kCaptionInactiveBottom] = Hsl(h, s * 0.25, 21);
    k[kBackground] = Hsl(h, s * 0.3 + 6, 13);
    k[kText] = Hsl(h, 20, 88);
  } else {
    k[kCaptionInactiveTop] = Hsl(h, s * 0.3, 84);
    k[kCaptionInactiveBottom] = Hsl(h, s * 0.3, 78);
    k[kBackground] = Hsl(h + (t.hue == 168 ? -120 : 0), s * 0.25 + 10, 95);
    k[kText] = Hsl(h, 30, 14);
  }
  k[kCaptionText] = dark_caption ? Hsl(h, 30, 97) : Hsl(h, 60, 10);
  k[kCaptionInactiveText] = t.dark ? Hsl(h, 15, 78) : Hsl(h, 25, 25);

  k[kCloseFace] = Hsl(h, s, l + 4);
  k[kCloseHot] = Hsl(4, 72, 42);
  k[kClosePressed] = Hsl(4, 72, 30);
  k[kCloseGlyph] = k[kCaptionText];
  k[kCloseGlyphHot] = 0xFFFFFF;

  double bh = h + st.button_hue_shift;
  double bs = s < 10 ? s : 30 + s * 0.4;
  if (t.dark) {
    double d = shift / 2.0;
    k[kButtonTop] = Hsl(bh, bs, 30 - d);
    k[kButtonBottom] = Hsl(bh, bs, 23 - d);
    k[kButtonHotTop] = Hsl(bh, bs + 10, 36 - d);
    k[kButtonHotBottom] = Hsl(bh, bs + 10, 29 - d);
    k[kButtonPressedTop] = Hsl(bh, bs, 17 - d / 2);
    k[kButtonPressedBottom] = Hsl(bh, bs, 23 - d / 2);
    k[kButtonBorder] = Hsl(bh, bs, 50);
    k[kButtonDisabledFace] = Hsl(bh, 8, 20);
    k[kButtonDisabledText] = Hsl(bh, 8, 66);
    k[kCheckFace] = Hsl(h, s * 0.3, 20);
    k[kCheckPressedFace] = Hsl(h, s * 0.4, 30);
    k[kCheckBorder] = Hsl(h, s * 0.5 + 10, 58);
  } else {
    k[kButtonTop] = Hsl(bh, bs, 90);
    k[kButtonBottom] = Hsl(bh, bs, 78);
    k[kButtonHotTop] = Hsl(bh, bs + 15, 93);
    k[kButtonHotBottom] = Hsl(bh, bs + 15, 84);
    k[kButtonPressedTop] = Hsl(bh, bs, 70);
    k[kButtonPressedBottom] = Hsl(bh, bs, 80);
    k[kButtonBorder] = Hsl(bh, bs, 38);
    k[kButtonDisabledFace] = Hsl(bh, 8, 88);
    k[kButtonDisabledText] = Hsl(bh, 8, 40);
    k[kCheckFace] = 0xFFFFFF;
    k[kCheckPressedFace] = Hsl(h, s * 0.5, 84);
    k[kCheckBorder] = Hsl(h, s * 0.6, 36);
  }
  k[kButtonText] = t.dark ? Hsl(bh, 20, 94) : Hsl(bh, 40, 12);
  k[kButtonDefaultBorder] = Hsl(h, s < 20 ? s : 70, t.dark ? 64 : 32);
  k[kFocus] = Hsl(h, s < 20 ? s : 80, t.dark ? 74 : 28);
  k[kCheckHotBorder] = Hsl(h, s < 20 ? s : 85, t.dark ? 68 : 40);
  k[kCheckMark] = t.dark ? Hsl(h, s * 0.6 + 20, 82) : Hsl(h, s, 24);

  uint16_t* m = skin->metrics;
  m[kFrameCorner] = uint16_t(st.frame_corner);
  m[kButtonCorner] = uint16_t(st.button_corner);
  m[kCheckCorner] = uint16_t(st.check_corner);
  m[kCheckSize] = 13;
  m[kCaptionBold] = uint16_t(st.bold);
  m[kCaptionCentred] = uint16_t(st.centred);
  m[kOrnamentAlpha] = uint16_t(st.ornament);
  m[kCloseRound] = uint16_t(st.close_round);
  m[kFocusSolid] = uint16_t(st.focus_solid);
  int gloss = t.dark ? st.gloss / 3 : st.gloss;  // a bright band would wash out light text
  m[kButtonGloss] = uint16_t(gloss);

  DrawCloseGlyph(&skin->images[kImageCloseGlyph], 10, st.glyph_stroke);
  DrawCheckMark(&skin->images[kImageCheckMark], 11, st.mark_stroke);
  DrawOrnament(&skin->images[kImageOrnament], st.pattern, st.tile);

  // Text colours last: each is moved until it reads against all it sits on.
  const double kTarget = 4.6;
  int alpha = st.pattern == kNone ? 0 : st.ornament;
  uint32_t caption_bg[4] = {k[kCaptionTop], k[kCaptionBottom],
                            BlendColour(k[kCaptionOrnament], k[kCaptionTop], alpha),
                            BlendColour(k[kCaptionOrnament], k[kCaptionBottom], alpha)};
  uint32_t inactive_bg[4] = {k[kCaptionInactiveTop], k[kCaptionInactiveBottom],
                             BlendColour(k[kCaptionOrnament], k[kCaptionInactiveTop], alpha / 2),
                             BlendColour(k[kCaptionOrnament], k[kCaptionInactiveBottom], alpha / 2)};
  uint32_t button_bg[8] = {k[kButtonTop], k[kButtonBottom], k[kButtonHotTop], k[kButtonHotBottom],
                           k[kButtonPressedTop], k[kButtonPressedBottom],
                           BlendColour(0xFFFFFF, k[kButtonTop], gloss),
                           BlendColour(0xFFFFFF, k[kButtonHotTop], gloss)};
  uint32_t disabled_bg[2] = {k[kButtonDisabledFace], k[kBackground]};
  uint32_t close_hot_bg[2] = {k[kCloseHot], k[kClosePressed]};
  uint32_t check_bg[2] = {k[kCheckFace], k[kCheckPressedFace]};
  struct Fix {
    int role;
    const uint32_t* backgrounds;
    int count;
  } fixes[] = {
      {kCaptionText, caption_bg, 4},  {kCaptionInactiveText, inactive_bg, 4}, {kText, &k[kBackground], 1},
      {kButtonText, button_bg, 8},    {kButtonDisabledText, disabled_bg, 2},  {kCloseGlyphHot, close_hot_bg, 2},
      {kCheckMark, check_bg, 2},
  };
  for (const Fix& f : fixes)
    if (!EnsureContrast(&k[f.role], f.backgrounds, f.count, kTarget)) {
      snprintf(why, why_size, "colour %d cannot reach %.1f:1", f.role, kTarget);
      return false;
    }
  k[kCloseGlyph] = k[kCaptionText];
  if (!EnsureContrast(&k[kCloseGlyph], &k[kCloseFace], 1, kTarget)) {
    snprintf(why, why_size, "close glyph cannot reach %.1f:1", kTarget);
    return false;
  }

  ContrastPair pairs[kMaxContrastPairs];
  int n = SkinContrastPairs(*skin, pairs);
  for (int i = 0; i < n; ++i)
    if (ContrastRatio(pairs[i].text, pairs[i].background) < 4.5) {
      snprintf(why, why_size, "%s: %.2f:1", pairs[i].what, ContrastRatio(pairs[i].text, pairs[i].background));
      return false;
    }
  return true;
}

bool BuildSkin(const Theme& t, Skin* skin, char* why, size_t why_size) {
  for (int shift = 0; shift <= 30; shift += 2)
    if (BuildSkinShifted(t, shift, skin, why, why_size)) return true;
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: fmskingen OUTPUT_DIR\n");
    return 2;
  }
  static Skin skin;
  static uint8_t bytes[65536];
  for (int i = 0; i < 58; ++i) {
    char why[160] = "";
    if (!BuildSkin(kThemes[i], &skin, why, sizeof why)) {
      fprintf(stderr, "fmskingen: theme %d (%s): %s\n", i + 1, kThemes[i].name, why);
      return 1;
    }
    size_t size = WriteSkin(skin, bytes, sizeof bytes);
    if (size > sizeof bytes) {
      fprintf(stderr, "fmskingen: theme %d is too large\n", i + 1);
      return 1;
    }
    Skin check;
    SkinError e = ParseSkin(bytes, size, &check);
    if (e != kSkinOk) {
      fprintf(stderr, "fmskingen: theme %d does not read back: %s\n", i + 1, SkinErrorName(e));
      return 1;
    }
    char path[4096];
    snprintf(path, sizeof path, "%s/skin%02d.fms", argv[1], i + 1);
    FILE* f = fopen(path, "wb");
    if (!f || fwrite(bytes, 1, size, f) != size || fclose(f) != 0) {
      fprintf(stderr, "fmskingen: cannot write %s\n", path);
      return 1;
    }
  }
  return 0;
}
