// FmSkin.dll in a live window: what reaches the screen, what the mouse and
// keyboard still do, and what the engine holds after long use. Each test case
// runs in its own process (CTest runs them one by one), so each starts with
// an engine that has never been attached.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <vector>

#include "skinengine/fmskin.h"
#include "skinengine/skin_format.h"
#include "skinengine/skin_paint.h"
#include "tests/skin/skin_test_window.h"

#ifndef FM_SKIN_DIR
#error FM_SKIN_DIR must name the folder of the generated skins
#endif

namespace {

const int kTolerance = 3;

struct Pixels {
  int width = 0, height = 0;
  std::vector<uint32_t> data;  // 0x00RRGGBB
  uint32_t At(int x, int y) const { return data[size_t(y) * width + x]; }
  bool operator==(const Pixels& o) const { return width == o.width && height == o.height && data == o.data; }
};

// What the screen shows in a rectangle (screen coordinates).
Pixels Capture(RECT r) {
  Pixels p;
  p.width = r.right - r.left;
  p.height = r.bottom - r.top;
  p.data.assign(size_t(p.width) * p.height, 0);
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = p.width;
  info.bmiHeader.biHeight = -p.height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP bmp = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(mem, bmp);
  BitBlt(mem, 0, 0, p.width, p.height, screen, r.left, r.top, SRCCOPY);
  GdiFlush();
  const uint32_t* px = static_cast<const uint32_t*>(bits);
  for (size_t i = 0; i < p.data.size(); ++i) p.data[i] = px[i] & 0xFFFFFF;
  SelectObject(mem, old);
  DeleteObject(bmp);
  DeleteDC(mem);
  ReleaseDC(nullptr, screen);
  return p;
}

bool Near(uint32_t a, uint32_t b, int tolerance = kTolerance) {
  for (int shift = 0; shift <= 16; shift += 8) {
    int d = int(a >> shift & 0xFF) - int(b >> shift & 0xFF);
    if (d > tolerance || d < -tolerance) return false;
  }
  return true;
}

std::string Hex(uint32_t c) {
  char buf[16];
  snprintf(buf, sizeof buf, "#%06X", c & 0xFFFFFF);
  return buf;
}

uint32_t Lerp(uint32_t a, uint32_t b, int num, int den) {
  // Same rounding as the engine's gradients (skin_paint), so exact rows compare.
  uint32_t out = 0;
  for (int shift = 0; shift <= 16; shift += 8) {
    int ca = int(a >> shift & 0xFF), cb = int(b >> shift & 0xFF);
    int v = ca + ((cb - ca) * num + (cb > ca ? den / 2 : -den / 2)) / den;
    out |= uint32_t(v < 0 ? 0 : v > 255 ? 255 : v) << shift;
  }
  return out;
}

// Polls (pumping messages) until ready() holds or the deadline passes.
template <class F>
bool WaitFor(F ready, DWORD timeout_ms = 10000) {
  DWORD start = GetTickCount();
  for (;;) {
    PumpTestMessages();
    if (ready()) return true;
    if (GetTickCount() - start > timeout_ms) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
}

RECT ScreenRect(HWND hwnd) {
  RECT r;
  GetWindowRect(hwnd, &r);
  return r;
}

RECT ClientScreenRect(HWND hwnd) {
  RECT r;
  GetClientRect(hwnd, &r);
  MapWindowPoints(hwnd, nullptr, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

void MouseTo(int x, int y) {
  INPUT in = {};
  in.type = INPUT_MOUSE;
  in.mi.dx = (x * 65535 + GetSystemMetrics(SM_CXSCREEN) / 2) / (GetSystemMetrics(SM_CXSCREEN) - 1);
  in.mi.dy = (y * 65535 + GetSystemMetrics(SM_CYSCREEN) / 2) / (GetSystemMetrics(SM_CYSCREEN) - 1);
  in.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  SendInput(1, &in, sizeof in);
}

void MouseButton(bool down) {
  INPUT in = {};
  in.type = INPUT_MOUSE;
  in.mi.dwFlags = down ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP;
  SendInput(1, &in, sizeof in);
}

void Key(WORD vk) {
  INPUT in[2] = {};
  in[0].type = in[1].type = INPUT_KEYBOARD;
  in[0].ki.wVk = in[1].ki.wVk = vk;
  in[1].ki.dwFlags = KEYEVENTF_KEYUP;
  SendInput(2, in, sizeof in[0]);
}

POINT Centre(HWND hwnd) {
  RECT r = ScreenRect(hwnd);
  return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

// The caption geometry the engine draws (inside the frame border, down to the
// client area), in screen coordinates.
struct Caption {
  RECT rect;
  RECT close;
};
Caption CaptionOf(HWND frame) {
  RECT w = ScreenRect(frame), c = ClientScreenRect(frame);
  int border = c.left - w.left;
  Caption out;
  out.rect = RECT{w.left + border, w.top + border, w.right - border, c.top};
  int side = (out.rect.bottom - out.rect.top) - 4;
  if (side > 24) side = 24;
  int top = out.rect.top + ((out.rect.bottom - out.rect.top) - side) / 2;
  out.close = RECT{out.rect.right - 3 - side, top, out.rect.right - 3, top + side};
  return out;
}

std::vector<uint8_t> ReadSkinBytes(int number) {
  char path[512];
  snprintf(path, sizeof path, "%s/skin%02d.fms", FM_SKIN_DIR, number);
  uint8_t* data = nullptr;
  size_t size = ReadWholeFile(path, &data);
  std::vector<uint8_t> out(data, data + size);
  free(data);
  return out;
}

class SkinEngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(LoadSkinEngine(&dll_)) << "FmSkin.dll beside the test, exporting FmSkin_Attach and FmSkin_LiveObjects";
    bytes_ = ReadSkinBytes(4);
    ASSERT_FALSE(bytes_.empty()) << "skin04.fms in " << FM_SKIN_DIR;
    ASSERT_EQ(kSkinOk, ParseSkin(bytes_.data(), bytes_.size(), &skin_));
    ASSERT_TRUE(CreateTestWindow(200, 150, L"Skin test", &w_));
    ASSERT_TRUE(WaitFor([&] { return IsWindowVisible(w_.frame) && GetForegroundWindow() == w_.frame; }));
  }
  void TearDown() override {
    if (IsWindow(w_.frame)) DestroyWindow(w_.frame);
    PumpTestMessages();
  }

  uint32_t Attach(const void* data, size_t size) {
    // The caller frees its copy at once; so do we, to prove the engine kept its own.
    std::vector<uint8_t> copy(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size);
    uint32_t r = dll_.attach(size ? copy.data() : data, size, "", 0, 0, 0);
    memset(copy.data(), 0xDD, copy.size());
    return r;
  }
  uint32_t AttachSkin4() { return Attach(bytes_.data(), bytes_.size()); }

  uint32_t C(SkinColour role) const { return skin_.colours[role]; }

  // A client-area pixel free of controls shows the skin's background.
  bool BackgroundSkinned() {
    RECT c = ClientScreenRect(w_.frame);
    Pixels p = Capture(RECT{c.right - 6, c.top + 150, c.right - 2, c.top + 154});
    return Near(p.At(1, 1), C(kBackground), 0);
  }

  // Face colour of a push button on its lower half (below the gloss band,
  // away from the text), for a gradient from top to bottom.
  bool ButtonFaceIs(HWND button, uint32_t top, uint32_t bottom, std::string* seen = nullptr) {
    RECT r = ScreenRect(button);
    int h = r.bottom - r.top;
    int row = h * 3 / 4;
    Pixels p = Capture(r);
    uint32_t want = Lerp(top, bottom, row, h - 1);
    uint32_t got = p.At(8, row);
    if (seen) *seen = "at row " + std::to_string(row) + ": " + Hex(got) + ", want " + Hex(want);
    return Near(got, want);
  }

  // The middle row of the caption, between the title and the close box: most
  // pixels are the gradient's colour for that row (the rest carry ornament).
  bool CaptionSkinned(bool active, std::string* seen = nullptr) {
    Caption cap = CaptionOf(w_.frame);
    Pixels p = Capture(cap.rect);
    int row = p.height / 2;
    uint32_t want = Lerp(C(active ? kCaptionTop : kCaptionInactiveTop), C(active ? kCaptionBottom : kCaptionInactiveBottom),
                         row, p.height - 1);
    int from = p.width * 7 / 10, to = (cap.close.left - cap.rect.left) - 4, match = 0;
    for (int x = from; x < to; ++x) match += Near(p.At(x, row), want);
    if (seen) *seen = "row " + std::to_string(row) + " want " + Hex(want) + " matched " + std::to_string(match) + "/" +
                      std::to_string(to - from) + " e.g. " + Hex(p.At(from, row));
    return to > from && match * 2 >= to - from;
  }

  // The check box square's centre, and how many pixels of it carry the mark.
  bool CheckBoxIs(HWND box, bool checked, std::string* seen = nullptr) {
    RECT r = ScreenRect(box);
    int side = skin_.metrics[kCheckSize];
    int top = ((r.bottom - r.top) - side) / 2;
    Pixels p = Capture(RECT{r.left, r.top + top, r.left + side, r.top + top + side});
    int mark = 0, face = 0;
    for (int y = 2; y < side - 2; ++y)
      for (int x = 2; x < side - 2; ++x) {
        mark += Near(p.At(x, y), C(kCheckMark), 8);
        face += Near(p.At(x, y), C(kCheckFace), 0);
      }
    if (seen) *seen = "mark pixels " + std::to_string(mark) + ", face pixels " + std::to_string(face);
    return checked ? mark >= 6 && face > 10 : mark == 0 && face >= (side - 4) * (side - 4) * 9 / 10;
  }

  bool FullySkinned(std::string* why) {
    std::string seen;
    if (!BackgroundSkinned()) return *why = "background", false;
    if (!CaptionSkinned(true, &seen)) return *why = "caption " + seen, false;
    if (!ButtonFaceIs(w_.refresh, C(kButtonTop), C(kButtonBottom), &seen)) return *why = "button " + seen, false;
    if (!CheckBoxIs(w_.check_a, false, &seen)) return *why = "check box " + seen, false;
    return true;
  }

  SkinEngineDll dll_ = {};
  std::vector<uint8_t> bytes_;
  Skin skin_;
  TestWindow w_ = {};
};

TEST_F(SkinEngineTest, CaptionBackgroundButtonAndCheckBoxShowTheSkinColours) {
  ASSERT_EQ(0u, AttachSkin4());
  std::string why;
  EXPECT_TRUE(WaitFor([&] { return FullySkinned(&why); })) << why;

  // The disabled button, the checked box and a window created after the
  // attach are skinned as well.
  std::string seen;
  EXPECT_TRUE(ButtonFaceIs(w_.disabled, C(kButtonDisabledFace), C(kButtonDisabledFace), &seen)) << "disabled " << seen;
  SendMessageW(w_.check_b, BM_SETCHECK, BST_CHECKED, 0);
  EXPECT_TRUE(WaitFor([&] { return CheckBoxIs(w_.check_b, true, &seen); })) << "checked box: " << seen;

  TestWindow later;
  DestroyWindow(w_.frame);
  ASSERT_TRUE(CreateTestWindow(260, 200, L"Created later", &later));
  w_ = later;
  EXPECT_TRUE(WaitFor([&] { return FullySkinned(&why); })) << "window created after attaching: " << why;
}

TEST_F(SkinEngineTest, ForeignWindowsAreNeverTouched) {
  ASSERT_TRUE(w_.foreign && w_.foreign_button);
  WNDPROC foreign = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(w_.foreign, GWLP_WNDPROC));
  WNDPROC inner = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(w_.foreign_button, GWLP_WNDPROC));
  WNDPROC skinned_before = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(w_.refresh, GWLP_WNDPROC));
  ASSERT_EQ(0u, AttachSkin4());
  EXPECT_EQ(foreign, reinterpret_cast<WNDPROC>(GetWindowLongPtrW(w_.foreign, GWLP_WNDPROC)));
  EXPECT_EQ(inner, reinterpret_cast<WNDPROC>(GetWindowLongPtrW(w_.foreign_button, GWLP_WNDPROC)))
      << "a button inside a foreign child must keep its own procedure";
  EXPECT_NE(skinned_before, reinterpret_cast<WNDPROC>(GetWindowLongPtrW(w_.refresh, GWLP_WNDPROC)))
      << "the frame's own button is skinned (else this test proves nothing)";

  // Created after attaching: a top-level window of a class another module
  // registered, and a button inside the foreign child.
  HWND top = CreateWindowExW(0, L"FmSkinTestForeign", L"Foreign top", WS_OVERLAPPEDWINDOW, 50, 50, 200, 100, nullptr,
                             nullptr, GetModuleHandleW(L"kernel32.dll"), nullptr);
  ASSERT_TRUE(top);
  EXPECT_EQ(foreign, reinterpret_cast<WNDPROC>(GetWindowLongPtrW(top, GWLP_WNDPROC)));
  DestroyWindow(top);
  HWND late = CreateWindowExW(0, L"Button", L"Late", WS_CHILD | WS_VISIBLE, 120, 10, 80, 24, w_.foreign, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
  EXPECT_EQ(inner, reinterpret_cast<WNDPROC>(GetWindowLongPtrW(late, GWLP_WNDPROC)));

  // Its pixels stay its own white.
  RECT f = ClientScreenRect(w_.foreign);
  EXPECT_TRUE(WaitFor([&] { return Near(Capture(RECT{f.right - 10, f.bottom - 10, f.right - 8, f.bottom - 8}).At(0, 0), 0xFFFFFF, 0); }));
}

TEST_F(SkinEngineTest, HoverAndPressChangeTheButtonAndTheCloseBox) {
  ASSERT_EQ(0u, AttachSkin4());
  std::string seen;
  ASSERT_TRUE(WaitFor([&] { return ButtonFaceIs(w_.refresh, C(kButtonTop), C(kButtonBottom), &seen); })) << seen;
  RECT before_rect = ScreenRect(w_.refresh);
  Pixels normal = Capture(before_rect);

  POINT c = Centre(w_.refresh);
  MouseTo(c.x, c.y);
  EXPECT_TRUE(WaitFor([&] { return ButtonFaceIs(w_.refresh, C(kButtonHotTop), C(kButtonHotBottom), &seen); }))
      << "hot: " << seen;
  Pixels hot = Capture(before_rect);
  EXPECT_FALSE(hot == normal);

  MouseButton(true);
  EXPECT_TRUE(WaitFor([&] { return ButtonFaceIs(w_.refresh, C(kButtonPressedTop), C(kButtonPressedBottom), &seen); }))
      << "pressed: " << seen;
  Pixels pressed = Capture(before_rect);
  EXPECT_FALSE(pressed == hot);
  MouseButton(false);
  EXPECT_TRUE(WaitFor([&] { return g_testLog.clicks[kIdRefresh % 8] == 1; })) << "the press still clicks";
  EXPECT_TRUE(WaitFor([&] { return ButtonFaceIs(w_.refresh, C(kButtonHotTop), C(kButtonHotBottom), &seen); }))
      << "hot again after release: " << seen;

  // Leaving the button puts the normal face back.
  RECT client = ClientScreenRect(w_.frame);
  MouseTo(client.right - 5, client.top + 150);
  EXPECT_TRUE(WaitFor([&] { return ButtonFaceIs(w_.refresh, C(kButtonTop), C(kButtonBottom), &seen); }))
      << "after leaving: " << seen;

  // The close box: hot over it, pressed while held; releasing outside it cancels.
  Caption cap = CaptionOf(w_.frame);
  POINT cc = {(cap.close.left + cap.close.right) / 2, (cap.close.top + cap.close.bottom) / 2};
  auto close_face_is = [&](uint32_t colour) {
    Pixels p = Capture(cap.close);
    return Near(p.At(2, p.height / 2), colour) || Near(p.At(p.width / 2, 2), colour);
  };
  MouseTo(cc.x, cc.y);
  EXPECT_TRUE(WaitFor([&] { return close_face_is(C(kCloseHot)); })) << "close box hot";
  MouseButton(true);
  EXPECT_TRUE(WaitFor([&] { return close_face_is(C(kClosePressed)); })) << "close box pressed";
  MouseTo(client.left + 5, client.top + 150);
  EXPECT_TRUE(WaitFor([&] { return !close_face_is(C(kClosePressed)); })) << "close box released look when outside";
  MouseButton(false);
  EXPECT_TRUE(WaitFor([&] { return GetCapture() == nullptr; }));
  EXPECT_EQ(0, g_testLog.sys_close) << "releasing outside the close box does not close";
  EXPECT_TRUE(IsWindow(w_.frame));
}

// The program frees the libraries it loaded when it ends, while windows may
// still run through the engine and its hook is set: once attached, the
// engine stays loaded, so a late message or window creation cannot call
// into freed code.
TEST_F(SkinEngineTest, FreeingTheLibraryAfterAttachingLeavesTheEngineLoaded) {
  ASSERT_EQ(0u, AttachSkin4());
  std::string why;
  ASSERT_TRUE(WaitFor([&] { return FullySkinned(&why); })) << why;
  for (int i = 0; i < 4; ++i) FreeLibrary(dll_.module);  // more than it was loaded
  EXPECT_NE(nullptr, GetModuleHandleW(L"FmSkin.dll"));
  TestWindow later;
  DestroyWindow(w_.frame);
  ASSERT_TRUE(CreateTestWindow(260, 200, L"After FreeLibrary", &later));
  w_ = later;
  EXPECT_TRUE(WaitFor([&] { return FullySkinned(&why); })) << why;
}

// Keyboard focus shows the skin's focus ring on buttons and check boxes; the
// mouse over a check box shows its hot border.
TEST_F(SkinEngineTest, FocusRingAndHotCheckBoxShowTheSkinColours) {
  ASSERT_EQ(0u, AttachSkin4());
  std::string why;
  ASSERT_TRUE(WaitFor([&] { return FullySkinned(&why); })) << why;
  auto count = [&](HWND control, SkinColour role) {
    Pixels p = Capture(ScreenRect(control));
    int n = 0;
    for (uint32_t px : p.data) n += px == C(role);
    return n;
  };
  ASSERT_NE(C(kFocus), C(kButtonBorder));
  ASSERT_NE(C(kFocus), C(kButtonDefaultBorder));
  SetFocus(w_.reload);
  Key(VK_TAB);  // from the keyboard, so the focus is shown
  EXPECT_TRUE(WaitFor([&] { return GetFocus() == w_.refresh && count(w_.refresh, kFocus) > 40; }))
      << "ring on the focused button: " << count(w_.refresh, kFocus) << " pixels";
  EXPECT_EQ(0, count(w_.reload, kFocus)) << "no ring on the button that lost the focus";
  EXPECT_EQ(0, count(w_.check_a, kFocus));
  Key(VK_TAB);
  EXPECT_TRUE(WaitFor([&] { return GetFocus() == w_.check_a && count(w_.check_a, kFocus) > 20; }))
      << "ring around the focused check box's label: " << count(w_.check_a, kFocus) << " pixels";
  EXPECT_TRUE(WaitFor([&] { return count(w_.refresh, kFocus) == 0; }));

  EXPECT_EQ(0, count(w_.check_b, kCheckHotBorder));
  POINT c = Centre(w_.check_b);
  MouseTo(c.x, c.y);
  EXPECT_TRUE(WaitFor([&] { return count(w_.check_b, kCheckHotBorder) > 20; }))
      << "hot border under the mouse: " << count(w_.check_b, kCheckHotBorder) << " pixels";
}

// A malformed skin is refused with its reason and leaves every pixel alone.
TEST_F(SkinEngineTest, MalformedSkinsAreRefusedAndChangeNoPixel) {
  RECT r = ScreenRect(w_.frame);
  Pixels before;
  ASSERT_TRUE(WaitFor([&] {
    Pixels a = Capture(r);
    PumpTestMessages();
    Pixels b = Capture(r);
    before = b;
    return a == b;
  }));
  auto patched = [&](size_t offset, uint8_t value, bool fix_crc) {
    std::vector<uint8_t> b = bytes_;
    b[offset] = value;
    if (fix_crc) {
      uint32_t crc = SkinCrc32(b.data() + kSkinHeaderSize, b.size() - kSkinHeaderSize);
      for (int i = 0; i < 4; ++i) b[12 + i] = uint8_t(crc >> (8 * i));
    }
    return b;
  };
  // Offsets in skin04: the table starts at 32; entry 1 (PALT) is at 44.
  struct Case {
    const char* name;
    std::vector<uint8_t> data;
    uint32_t expected;
  } cases[] = {
      {"empty", {}, kSkinNoData},
      {"header only", std::vector<uint8_t>(bytes_.begin(), bytes_.begin() + 32), kSkinSizeMismatch},
      {"truncated by one byte", std::vector<uint8_t>(bytes_.begin(), bytes_.end() - 1), kSkinSizeMismatch},
      {"not a skin", patched(0, 'X', false), kSkinBadMagic},
      {"one flipped byte", patched(bytes_.size() - 1, uint8_t(bytes_.back() ^ 0x40), false), kSkinBadChecksum},
      {"section beyond the end", patched(44 + 7, 0x7F, true), kSkinSectionOutOfBounds},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.expected, Attach(c.data.data(), c.data.size())) << SkinErrorName(Attach(c.data.data(), c.data.size()));
    EXPECT_EQ(reinterpret_cast<WNDPROC>(GetClassLongPtrW(w_.refresh, GCLP_WNDPROC)),
              reinterpret_cast<WNDPROC>(GetWindowLongPtrW(w_.refresh, GWLP_WNDPROC)))
        << "no window subclassed";
    RedrawWindow(w_.frame, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    PumpTestMessages();
    EXPECT_TRUE(Capture(r) == before);
  }
  EXPECT_EQ(uint32_t(kSkinNoData), dll_.attach(nullptr, 0, "", 0, 0, 0)) << "no skin at all";
  EXPECT_EQ(0, dll_.live_objects());
}

TEST_F(SkinEngineTest, AttachingTwiceIsHarmlessAndAnotherSkinReplacesTheFirst) {
  ASSERT_EQ(0u, AttachSkin4());
  std::string why;
  ASSERT_TRUE(WaitFor([&] { return FullySkinned(&why); })) << why;
  WNDPROC proc = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(w_.refresh, GWLP_WNDPROC));
  long live = dll_.live_objects();
  ASSERT_EQ(0u, AttachSkin4());
  EXPECT_EQ(proc, reinterpret_cast<WNDPROC>(GetWindowLongPtrW(w_.refresh, GWLP_WNDPROC))) << "not subclassed twice";
  EXPECT_TRUE(WaitFor([&] { return FullySkinned(&why); })) << why;
  EXPECT_EQ(live, dll_.live_objects());
  PostMessageW(w_.refresh, BM_CLICK, 0, 0);
  EXPECT_TRUE(WaitFor([&] { return g_testLog.clicks[kIdRefresh % 8] == 1; }));
  PumpTestMessages();
  EXPECT_EQ(1, g_testLog.clicks[kIdRefresh % 8]) << "one click, one notification";

  // A second, different skin replaces the colours.
  std::vector<uint8_t> other = ReadSkinBytes(6);
  ASSERT_EQ(0u, Attach(other.data(), other.size()));
  ASSERT_EQ(kSkinOk, ParseSkin(other.data(), other.size(), &skin_));
  EXPECT_TRUE(WaitFor([&] { return FullySkinned(&why); })) << "skin 6: " << why;
}

TEST_F(SkinEngineTest, TwentyThousandRepaintsLeakNothing) {
  ASSERT_EQ(0u, AttachSkin4());
  std::string why;
  ASSERT_TRUE(WaitFor([&] { return FullySkinned(&why); })) << why;
  long live = dll_.live_objects();
  EXPECT_GT(live, 0) << "the skin's brush and font";
  // Each round repaints one skinned part at once: the caption and frame, a
  // push button or a check box (each paint makes and frees a buffer bitmap
  // and its DC, so a leak would run past the process's GDI table).
  HWND parts[] = {w_.frame, w_.refresh, w_.reload, w_.check_a};
  for (int i = 0; i < 20000; ++i) {
    HWND part = parts[i % 4];
    RedrawWindow(part, nullptr, nullptr,
                 (part == w_.frame ? RDW_FRAME | RDW_NOCHILDREN : RDW_ERASE) | RDW_INVALIDATE | RDW_UPDATENOW);
    if (i % 500 == 0) PumpTestMessages();
  }
  EXPECT_EQ(live, dll_.live_objects());

  // The process can still make GDI objects (Wine's table holds 16384).
  std::vector<HGDIOBJ> made;
  for (int i = 0; i < 2000; ++i) made.push_back(CreateSolidBrush(RGB(i & 255, 0, 0)));
  for (HGDIOBJ o : made) {
    EXPECT_NE(nullptr, o);
    DeleteObject(o);
  }

  // And the engine still paints: scribble over the window, then have it repainted.
  HDC screen = GetDC(nullptr);
  RECT r = ScreenRect(w_.frame);
  FillRect(screen, &r, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  ReleaseDC(nullptr, screen);
  RedrawWindow(w_.frame, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  EXPECT_TRUE(WaitFor([&] { return FullySkinned(&why); })) << why;
  EXPECT_EQ(live, dll_.live_objects());
}

// The skin belongs to the threads that attached it: a window of another
// thread keeps its stock procedure, and threads that come and go (each
// attaching once) never run the engine out of room.
struct ThreadRun {
  const SkinEngineDll* dll;
  const std::vector<uint8_t>* bytes;
  bool attach;
  uint32_t result;
  bool subclassed;
};

DWORD WINAPI ThreadWithButton(void* param) {
  ThreadRun* run = static_cast<ThreadRun*>(param);
  run->result = run->attach ? run->dll->attach(run->bytes->data(), run->bytes->size(), "", 0, 0, 0) : 0;
  HWND frame = CreateWindowExW(0, L"FmSkinTestFrame", L"Thread", WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU, 10, 10, 200,
                               100, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  HWND button = CreateWindowExW(0, L"Button", L"B", WS_CHILD | BS_PUSHBUTTON, 5, 5, 60, 20, frame, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
  run->subclassed = ULONG_PTR(GetWindowLongPtrW(button, GWLP_WNDPROC)) != GetClassLongPtrW(button, GCLP_WNDPROC);
  DestroyWindow(frame);
  return 0;
}

bool RunThread(ThreadRun* run) {
  HANDLE t = CreateThread(nullptr, 0, ThreadWithButton, run, 0, nullptr);
  if (!t) return false;
  WaitForSingleObject(t, 30000);
  CloseHandle(t);
  return true;
}

TEST_F(SkinEngineTest, OnlyAttachedThreadsAreSkinned) {
  ASSERT_EQ(0u, AttachSkin4());
  ThreadRun other = {&dll_, &bytes_, false, 0, false};
  ASSERT_TRUE(RunThread(&other));
  EXPECT_FALSE(other.subclassed) << "a thread that never attached keeps the stock look";
  for (int i = 0; i < 12; ++i) {
    SCOPED_TRACE(i);
    ThreadRun run = {&dll_, &bytes_, true, 99, false};
    ASSERT_TRUE(RunThread(&run));
    EXPECT_EQ(0u, run.result) << SkinErrorName(run.result);
    EXPECT_TRUE(run.subclassed);
  }
}

// The message box of the attached thread takes the skin too.
struct MessageBoxProbe {
  uint32_t background;
  bool found, background_ok, button_ok;
  std::string seen;
  const Skin* skin;
} g_probe;

BOOL CALLBACK FindMessageBox(HWND hwnd, LPARAM out) {
  if (IsWindowVisible(hwnd) && GetClassLongPtrW(hwnd, GCW_ATOM) == 32770) {
    *reinterpret_cast<HWND*>(out) = hwnd;
    return FALSE;
  }
  return TRUE;
}

void CALLBACK ProbeMessageBox(HWND, UINT, UINT_PTR id, DWORD) {
  HWND box = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), FindMessageBox, reinterpret_cast<LPARAM>(&box));
  if (!box) return;
  g_probe.found = true;
  RECT c = ClientScreenRect(box);
  Pixels p = Capture(RECT{c.left + 1, c.top + 1, c.left + 3, c.top + 3});
  g_probe.background_ok = Near(p.At(0, 0), g_probe.skin->colours[kBackground], 0);
  HWND ok = GetDlgItem(box, IDOK);
  if (ok) {
    RECT b = ScreenRect(ok);
    int h = b.bottom - b.top, row = h * 3 / 4;
    Pixels q = Capture(b);
    uint32_t face = q.At(8, row);
    uint32_t want = Lerp(g_probe.skin->colours[kButtonTop], g_probe.skin->colours[kButtonBottom], row, h - 1);
    uint32_t hot = Lerp(g_probe.skin->colours[kButtonHotTop], g_probe.skin->colours[kButtonHotBottom], row, h - 1);
    g_probe.button_ok = Near(face, want) || Near(face, hot);
    g_probe.seen = "background " + Hex(p.At(0, 0)) + ", button " + Hex(face) + " want " + Hex(want);
  }
  if (g_probe.background_ok && g_probe.button_ok) {
    KillTimer(nullptr, id);
    PostMessageW(box, WM_COMMAND, IDOK, 0);
  }
}

TEST_F(SkinEngineTest, MessageBoxesAreSkinned) {
  ASSERT_EQ(0u, AttachSkin4());
  g_probe = MessageBoxProbe{};
  g_probe.skin = &skin_;
  UINT_PTR timer = SetTimer(nullptr, 0, 100, ProbeMessageBox);
  UINT_PTR deadline = SetTimer(nullptr, 0, 15000, [](HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    HWND box = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindMessageBox, reinterpret_cast<LPARAM>(&box));
    if (box) PostMessageW(box, WM_COMMAND, IDOK, 0);
  });
  MessageBoxW(w_.frame, L"A skinned message box.", L"Skin test", MB_OK);
  KillTimer(nullptr, timer);
  KillTimer(nullptr, deadline);
  EXPECT_TRUE(g_probe.found);
  EXPECT_TRUE(g_probe.background_ok) << g_probe.seen;
  EXPECT_TRUE(g_probe.button_ok) << g_probe.seen;
}

// Behaviour is the same with the skin as without it.
class SkinBehaviourTest : public SkinEngineTest, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    SkinEngineTest::SetUp();
    if (GetParam()) {
      ASSERT_EQ(0u, AttachSkin4());
      std::string why;
      ASSERT_TRUE(WaitFor([&] { return FullySkinned(&why); })) << why;
    }
  }
};

TEST_P(SkinBehaviourTest, MouseClickReachesTheButtonOnce) {
  POINT c = Centre(w_.refresh);
  MouseTo(c.x, c.y);
  MouseButton(true);
  MouseButton(false);
  EXPECT_TRUE(WaitFor([&] { return g_testLog.clicks[kIdRefresh % 8] == 1; }));
  EXPECT_EQ(w_.refresh, GetFocus());
  c = Centre(w_.check_a);
  MouseTo(c.x, c.y);
  MouseButton(true);
  MouseButton(false);
  EXPECT_TRUE(WaitFor([&] { return SendMessageW(w_.check_a, BM_GETCHECK, 0, 0) == BST_CHECKED; }));
  EXPECT_EQ(1, g_testLog.clicks[kIdRefresh % 8]);
}

TEST_P(SkinBehaviourTest, SpaceTogglesTheFocusedCheckBox) {
  SetFocus(w_.check_a);
  Key(VK_SPACE);
  EXPECT_TRUE(WaitFor([&] { return SendMessageW(w_.check_a, BM_GETCHECK, 0, 0) == BST_CHECKED; })) << "first Space";
  Key(VK_SPACE);
  EXPECT_TRUE(WaitFor([&] { return SendMessageW(w_.check_a, BM_GETCHECK, 0, 0) == BST_UNCHECKED; })) << "second Space";
  EXPECT_EQ(BST_UNCHECKED, SendMessageW(w_.check_b, BM_GETCHECK, 0, 0));
}

TEST_P(SkinBehaviourTest, TabMovesFocusInOrderAndEscCancels) {
  SetFocus(w_.reload);
  HWND expected[] = {w_.refresh, w_.check_a, w_.check_b, w_.reload};  // the disabled button is skipped
  for (HWND next : expected) {
    Key(VK_TAB);
    EXPECT_TRUE(WaitFor([&] { return GetFocus() == next; })) << "focus should reach control " << GetDlgCtrlID(next);
  }
  Key(VK_ESCAPE);
  EXPECT_TRUE(WaitFor([&] { return g_testLog.cancel == 1; }));
}

TEST_P(SkinBehaviourTest, CloseBoxClosesThroughTheCloseCommand) {
  // Where the close box is differs with the skin; the hit test says.
  Caption cap = CaptionOf(w_.frame);
  POINT target = {(cap.close.left + cap.close.right) / 2, (cap.close.top + cap.close.bottom) / 2};
  if (!GetParam()) {
    // Unskinned: scan the caption's right end for the stock close box.
    bool found = false;
    for (int x = cap.rect.right - 2; x > cap.rect.right - 60 && !found; --x) {
      LRESULT hit = SendMessageW(w_.frame, WM_NCHITTEST, 0, MAKELPARAM(x, target.y));
      if (hit == HTCLOSE) target.x = x - 3, found = true;
    }
    ASSERT_TRUE(found) << "stock close box";
  }
  ASSERT_EQ(HTCLOSE, SendMessageW(w_.frame, WM_NCHITTEST, 0, MAKELPARAM(target.x, target.y)));
  MouseTo(target.x, target.y);
  MouseButton(true);
  MouseButton(false);
  EXPECT_TRUE(WaitFor([&] { return g_testLog.destroyed; }));
  EXPECT_EQ(1, g_testLog.sys_close);
  EXPECT_EQ(1, g_testLog.close);
}

INSTANTIATE_TEST_SUITE_P(WithAndWithoutSkin, SkinBehaviourTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& p) { return p.param ? "Skinned" : "Plain"; });

}  // namespace
