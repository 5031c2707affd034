// The engine's drawing, in plain memory: a 32-bit pixel canvas (0x00RRGGBB,
// which is also the byte order of a top-down 32-bit Windows DIB) and the
// shapes of every skinned part. Text and icons are drawn by the Windows side
// with GDI on top of these.
//
// Portable, so the shapes and the colour rules can be tested natively and the
// generator can check its themes with the same arithmetic the engine uses.
#ifndef FM_SKINENGINE_SKIN_PAINT_H
#define FM_SKINENGINE_SKIN_PAINT_H

#include <stdint.h>

#include "skinengine/skin_format.h"

struct PaintRect {
  int left, top, right, bottom;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
};

struct Canvas {
  uint32_t* pixels;  // width * height, row-major, top row first
  int width, height;
};

// a over b with coverage alpha (0..255).
uint32_t BlendColour(uint32_t a, uint32_t b, int alpha);

void CanvasFill(Canvas& c, PaintRect r, uint32_t colour);
// A vertical gradient from top to bottom colour inside a rectangle with round
// corners (radius 0 = square); top_only rounds only the two upper corners.
// Edges are anti-aliased against what the canvas holds.
void CanvasRoundGradient(Canvas& c, PaintRect r, int radius, bool top_only, uint32_t top, uint32_t bottom);
// A one-pixel anti-aliased outline of the same shape.
void CanvasRoundBorder(Canvas& c, PaintRect r, int radius, bool top_only, uint32_t colour);
// Lightens the upper half of a round rectangle by gloss (0..255).
void CanvasGloss(Canvas& c, PaintRect r, int radius, int gloss);
// An alpha mask in a colour, its top-left corner at (x, y), scaled by alpha.
void CanvasMask(Canvas& c, const SkinImage& mask, int x, int y, uint32_t colour, int alpha);
// The mask repeated over a round rectangle (top corners only), scaled by alpha.
void CanvasTile(Canvas& c, PaintRect r, int radius, const SkinImage& tile, uint32_t colour, int alpha);
// A dotted rectangle outline (every other pixel).
void CanvasDotted(Canvas& c, PaintRect r, uint32_t colour);

// States of a skinned part.
enum CloseState { kCloseNormal, kCloseHotState, kClosePressedState, kCloseDisabled };
struct ButtonState {
  bool pressed, hot, focused, disabled, is_default, checked;
};

// Caption strip of a frame: the canvas covers the window's top edge down to
// the client area; caption is the part inside the frame border.
void PaintCaption(Canvas& c, const Skin& skin, PaintRect caption, bool active, PaintRect close, CloseState close_state);
// A push button filling the canvas.
void PaintPushButton(Canvas& c, const Skin& skin, const ButtonState& state);
// A check box's background and square; the label's focus ring when focus_text
// is not empty.
void PaintCheckBox(Canvas& c, const Skin& skin, PaintRect box, const ButtonState& state, PaintRect focus_text);

// Face colour of a push button in a state at a row (for tests and text).
uint32_t PushButtonTextColour(const Skin& skin, const ButtonState& state);

// WCAG contrast ratio of two colours, 1..21.
double ContrastRatio(uint32_t a, uint32_t b);

// Every pair of text (or glyph) colour and a colour it is drawn on, the
// gradients' ends, gloss and ornament included.
struct ContrastPair {
  const char* what;
  uint32_t text, background;
};
const int kMaxContrastPairs = 32;
int SkinContrastPairs(const Skin& skin, ContrastPair* out);

#endif
