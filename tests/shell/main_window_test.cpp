// The main window made in this process: fonts, the keyboard rules and the
// failure of a control, driven with messages as the message loop sees them.
// (Layout, stacking, focus and closing are checked end to end on the shipped
// program; the font is checked here because another process cannot ask a
// window for its font under Wine.)
#include <windows.h>
#include <ole2.h>
#include <stdlib.h>

#include <gtest/gtest.h>

#include "app/browser_host.h"
#include "app/main_window.h"

namespace {

constexpr int kBrowser = 101, kButton1 = 102, kButton2 = 103, kCheck1 = 104, kCheck2 = 105, kCheck3 = 106;

const char* NameOf(int id) {
  switch (id) {
    case kBrowser: return "browser";
    case kButton1: return "button 1";
    case kButton2: return "button 2";
    case kCheck1: return "check box 1";
    case kCheck2: return "check box 2";
    case kCheck3: return "check box 3";
  }
  return "?";
}

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    OleInitialize(nullptr);
    ASSERT_TRUE(CreateMainWindow());
    ShowMainWindow();
    window_ = MainWindowHandle();
  }
  void TearDown() override {
    if (MainWindowHandle()) DestroyWindow(MainWindowHandle());
    ReleaseWindowLayer();
    OleUninitialize();
    SetModifiers(false, false, false);
  }

  HWND Control(int id) { return GetDlgItem(window_, id); }

  // The control that holds the focus, or whose window holds it inside.
  int FocusedControl() {
    for (HWND w = GetFocus(); w; w = GetParent(w)) {
      if (GetParent(w) == window_) return GetDlgCtrlID(w);
    }
    return 0;
  }

  static void SetModifiers(bool shift, bool ctrl, bool alt) {
    BYTE keys[256];
    GetKeyboardState(keys);
    keys[VK_SHIFT] = shift ? 0x80 : 0;
    keys[VK_CONTROL] = ctrl ? 0x80 : 0;
    keys[VK_MENU] = alt ? 0x80 : 0;
    SetKeyboardState(keys);
  }

  // Offers a key-down to the rules as the loop would; true when used up.
  bool Key(HWND target, WPARAM key, bool shift = false, bool ctrl = false, bool alt = false) {
    SetModifiers(shift, ctrl, alt);
    MSG msg = {};
    msg.hwnd = target;
    msg.message = alt ? WM_SYSKEYDOWN : WM_KEYDOWN;
    msg.wParam = key;
    bool used = PreTranslateMainWindowMessage(&msg);
    SetModifiers(false, false, false);
    return used;
  }

  HWND window_ = nullptr;
};

TEST_F(MainWindowTest, FontOnWindowAndEveryControl) {
  HFONT font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  ASSERT_NE(font, nullptr);
  EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageA(window_, WM_GETFONT, 0, 0)), font);
  int controls = 0;
  for (HWND c = GetWindow(window_, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT), ++controls) {
    EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageA(c, WM_GETFONT, 0, 0)), font) << NameOf(GetDlgCtrlID(c));
  }
  EXPECT_EQ(controls, 6);
}

TEST_F(MainWindowTest, LargeAndSmallIconFromTheProgramsIconGroup) {
  // This test links the program's resource object, so DEFAULT_ICON is here.
  HICON big = reinterpret_cast<HICON>(SendMessageA(window_, WM_GETICON, ICON_BIG, 0));
  HICON small = reinterpret_cast<HICON>(SendMessageA(window_, WM_GETICON, ICON_SMALL, 0));
  ASSERT_NE(big, nullptr);
  ASSERT_NE(small, nullptr);
  struct Case {
    const char* name;
    HICON icon;
    int size;
  } cases[] = {{"large", big, GetSystemMetrics(SM_CXICON)}, {"small", small, GetSystemMetrics(SM_CXSMICON)}};
  for (const Case& c : cases) {
    ICONINFO info;
    ASSERT_TRUE(GetIconInfo(c.icon, &info)) << c.name;
    BITMAP bitmap;
    GetObjectA(info.hbmColor, sizeof bitmap, &bitmap);
    EXPECT_EQ(bitmap.bmWidth, c.size) << c.name;
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
  }
}

TEST_F(MainWindowTest, TabAndShiftTabFollowCreationOrderAndWrap) {
  // Creation order: browser, button 1, button 2, check boxes 1, 2, 3; the
  // stacking order (3, 2, 1, button 2, button 1, browser) plays no part.
  const int order[] = {kBrowser, kButton1, kButton2, kCheck1, kCheck2, kCheck3};
  for (int i = 0; i < 6; ++i) {
    int from = order[i], next = order[(i + 1) % 6], previous = order[(i + 5) % 6];
    SetFocus(Control(from));
    ASSERT_EQ(FocusedControl(), from) << NameOf(from);
    EXPECT_TRUE(Key(Control(from), VK_TAB)) << "Tab from " << NameOf(from);
    EXPECT_EQ(FocusedControl(), next) << "Tab from " << NameOf(from);
    SetFocus(Control(from));
    EXPECT_TRUE(Key(Control(from), VK_TAB, true)) << "Shift+Tab from " << NameOf(from);
    EXPECT_EQ(FocusedControl(), previous) << "Shift+Tab from " << NameOf(from);
  }
}

TEST_F(MainWindowTest, TabSkipsControlsThatCannotTakeTheFocus) {
  EnableWindow(Control(kButton2), FALSE);
  ShowWindow(Control(kCheck1), SW_HIDE);
  SetFocus(Control(kButton1));
  EXPECT_TRUE(Key(Control(kButton1), VK_TAB));
  EXPECT_EQ(FocusedControl(), kCheck2) << "button 2 is disabled and check box 1 hidden";
  SetFocus(Control(kCheck2));
  EXPECT_TRUE(Key(Control(kCheck2), VK_TAB, true));
  EXPECT_EQ(FocusedControl(), kButton1);
}

TEST_F(MainWindowTest, TabFromTheBrowserWindowsAndFromInsideThePage) {
  HWND host = Control(kBrowser);
  HWND inner = GetWindow(host, GW_CHILD);  // the control's own window: a direct child of the host
  ASSERT_NE(inner, nullptr) << "the WebBrowser control made no window in its host";
  SetFocus(inner);
  EXPECT_TRUE(Key(inner, VK_TAB)) << "Tab from the control's window";
  EXPECT_EQ(FocusedControl(), kButton1);

  // A window deeper inside (the page's view): the key is swallowed and the
  // focus stays.
  HWND deeper = GetWindow(inner, GW_CHILD);
  if (!deeper) GTEST_SKIP() << "this WebBrowser made no page window below its own";
  SetFocus(deeper);
  HWND before = GetFocus();
  EXPECT_TRUE(Key(deeper, VK_TAB));
  EXPECT_TRUE(Key(deeper, VK_TAB, true));
  EXPECT_EQ(GetFocus(), before);
}

TEST_F(MainWindowTest, KeysThatPassOn) {
  struct Case {
    const char* name;
    WPARAM key;
    bool shift, ctrl, alt;
  } cases[] = {
      {"Shift+Esc", VK_ESCAPE, true, false, false}, {"Ctrl+Esc", VK_ESCAPE, false, true, false},
      {"Alt+Esc", VK_ESCAPE, false, false, true},   {"Enter", VK_RETURN, false, false, false},
      {"F1", VK_F1, false, false, false},           {"Ctrl+Tab", VK_TAB, false, true, false},
      {"Space", VK_SPACE, false, false, false},     {"A", 'A', false, false, false},
  };
  for (const Case& c : cases) {
    SetFocus(Control(kButton1));
    EXPECT_FALSE(Key(Control(kButton1), c.key, c.shift, c.ctrl, c.alt)) << c.name;
    EXPECT_TRUE(IsWindow(window_)) << c.name;
    EXPECT_EQ(FocusedControl(), kButton1) << c.name;
  }
}

TEST_F(MainWindowTest, EscapeClosesFromInsideThePage) {
  // The deepest window the control made: where the page's keys come from.
  HWND inner = GetWindow(Control(kBrowser), GW_CHILD);
  ASSERT_NE(inner, nullptr);
  while (HWND deeper = GetWindow(inner, GW_CHILD)) inner = deeper;
  Key(inner, VK_ESCAPE, true);  // for the page, not for the window
  EXPECT_TRUE(IsWindow(window_)) << "Shift+Esc closed the window";
  EXPECT_TRUE(Key(inner, VK_ESCAPE));
  EXPECT_FALSE(IsWindow(window_));
  EXPECT_EQ(MainWindowHandle(), nullptr);
  EXPECT_EQ(BrowserHostWindow(), nullptr);
  MSG msg;
  EXPECT_TRUE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << "no quit message after the close";
}

TEST_F(MainWindowTest, KeysForOtherWindowsAreNotTouched) {
  HWND other = CreateWindowExA(0, "Button", "x", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(other, nullptr);
  EXPECT_FALSE(Key(other, VK_ESCAPE));
  EXPECT_FALSE(Key(other, VK_TAB));
  EXPECT_TRUE(IsWindow(window_));
  DestroyWindow(other);
}

// A control that cannot be made takes the whole window with it.
TEST(MainWindowCreationTest, AControlThatCannotBeMadeLeavesNothing) {
  OleInitialize(nullptr);
  for (const char* which : {"fail-control=1", "fail-control=4", "fail-control=6", "fail-window", "fail-browser"}) {
    char setting[64] = "FM_SEAM_INJECT=";
    strcat(setting, which);
    _putenv(setting);
    EXPECT_FALSE(CreateMainWindow()) << which;
    EXPECT_EQ(MainWindowHandle(), nullptr) << which;
    EXPECT_EQ(BrowserHostWindow(), nullptr) << which;
    EXPECT_EQ(FindWindowA("FmMainWindow", nullptr), nullptr) << which;
    EXPECT_EQ(FindWindowExA(nullptr, nullptr, "FmBrowserHost", nullptr), nullptr) << which;
  }
  _putenv("FM_SEAM_INJECT=");
  EXPECT_TRUE(CreateMainWindow()) << "after the failures";
  DestroyWindow(MainWindowHandle());
  ReleaseWindowLayer();
  OleUninitialize();
}

}  // namespace
