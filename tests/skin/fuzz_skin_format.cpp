// libFuzzer target for the skin file reader. Properties checked beyond "no
// crash, no sanitizer report":
//  - reading with and without the checksum agree on everything but the checksum;
//  - whatever reads is written back into a file that reads the same.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "skinengine/skin_format.h"
#include "skinengine/skin_paint.h"

namespace {

bool SameSkin(const Skin& a, const Skin& b) {
  if (strcmp(a.name, b.name) || memcmp(a.colours, b.colours, sizeof a.colours) ||
      memcmp(a.metrics, b.metrics, sizeof a.metrics))
    return false;
  for (int i = 0; i < kSkinImageCount; ++i) {
    const SkinImage &x = a.images[i], &y = b.images[i];
    if (x.width != y.width || x.height != y.height || memcmp(x.alpha, y.alpha, size_t(x.width) * x.height)) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Skin loose, strict, again;
  SkinError e_loose = ParseSkin(data, size, &loose, false);
  SkinError e_strict = ParseSkin(data, size, &strict, true);
  if (e_strict == kSkinOk && e_loose != kSkinOk) abort();
  if (e_loose == kSkinOk && e_strict != kSkinOk && e_strict != kSkinBadChecksum) abort();
  if (e_loose != kSkinOk) return 0;

  static uint8_t out[65536];
  size_t n = WriteSkin(loose, out, sizeof out);
  if (n > sizeof out) abort();  // a readable skin always fits: its images are bounded
  if (ParseSkin(out, n, &again, true) != kSkinOk || !SameSkin(loose, again)) abort();

  // The shapes must cope with whatever a readable skin holds.
  static uint32_t pixels[40 * 24];
  Canvas c = {pixels, 40, 24};
  ButtonState s = {};
  s.checked = s.focused = s.hot = true;
  PaintPushButton(c, loose, s);
  PaintCheckBox(c, loose, PaintRect{0, 2, loose.metrics[kCheckSize], 2 + loose.metrics[kCheckSize]}, s,
                PaintRect{18, 2, 40, 22});
  PaintCaption(c, loose, PaintRect{2, 2, 38, 22}, true, PaintRect{20, 4, 36, 20}, kCloseHotState);
  return 0;
}
