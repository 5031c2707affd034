#include "app/main_window.h"

#include <stdlib.h>

#include "app/browser_host.h"
#include "app/memory.h"
#include "app/program_end.h"
#include "app/seams.h"
#include "app/startup_actions.h"
#include "app/text.h"

namespace {

// ---- The window's description -------------------------------------------

constexpr int kOuterWidth = 1131;
constexpr int kOuterHeight = 688;
// Caption, system menu with its close box, fixed frame; no minimise or
// maximise box, so the window can be moved but never resized.
constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
const char kWindowClass[] = "FmMainWindow";
// "FenlowMarrowick2修改器1.0"
const char kWindowTitle[] = "FenlowMarrowick2\xD0\xDE\xB8\xC4\xC6\xF7" "1.0";
const char kIconName[] = "DEFAULT_ICON";

enum class Kind { kBrowser, kPushButton, kCheckBox };

struct ControlDescription {
  Kind kind;
  int left, top, width, height;
  const char* caption;
  int tabIndex;
  void (*clicked)();
};

// The controls, named as in the window's description, in creation order.
enum Control : int { 超文本浏览框1, 按钮1, 按钮2, 选择框1, 选择框2, 选择框3, kControlCount };

const ControlDescription kControls[kControlCount] = {
    /* 超文本浏览框1 */ {Kind::kBrowser, 0, 0, 1120, 616, nullptr, 0, nullptr},
    /* 按钮1 "刷新白屏" */ {Kind::kPushButton, 384, 616, 80, 32, "\xCB\xA2\xD0\xC2\xB0\xD7\xC6\xC1", 0, OnReloadWhiteScreenClicked},
    /* 按钮2 "刷新游戏" */ {Kind::kPushButton, 720, 616, 80, 32, "\xCB\xA2\xD0\xC2\xD3\xCE\xCF\xB7", 0, OnReloadGameClicked},
    /* 选择框1 "秒杀" */ {Kind::kCheckBox, 480, 624, 80, 24, "\xC3\xEB\xC9\xB1", 0, nullptr},
    /* 选择框2 "无敌" */ {Kind::kCheckBox, 640, 624, 80, 24, "\xCE\xDE\xB5\xD0", 0, nullptr},
    /* 选择框3 "优化内存" */ {Kind::kCheckBox, 552, 624, 72, 24, "\xD3\xC5\xBB\xAF\xC4\xDA\xB4\xE6", 0, nullptr},
};

// Topmost first. 选择框3 lies over the right 8 pixels of 选择框1.
const Control kStackingOrder[kControlCount] = {选择框3, 选择框2, 选择框1, 按钮2, 按钮1, 超文本浏览框1};

// Child windows clip their siblings so that the stacking order also decides
// what is drawn where two controls overlap.
constexpr DWORD kChildStyle = WS_CHILD | WS_TABSTOP | WS_CLIPSIBLINGS;
constexpr DWORD kPushButtonStyle = BS_PUSHBUTTON | BS_CENTER | BS_VCENTER;
constexpr DWORD kCheckBoxStyle = BS_AUTOCHECKBOX | BS_LEFT | BS_VCENTER;
constexpr int kFirstControlId = 101;

// ---- State ------------------------------------------------------------------

HWND g_window = nullptr;
HWND g_controls[kControlCount];
Control g_tabOrder[kControlCount];
HFONT g_font = nullptr;
HICON g_bigIcon = nullptr;
HICON g_smallIcon = nullptr;
HWND g_focusBeforeDeactivation = nullptr;

// The tab order: by tab index, and among equal indices in creation order.
void ComputeTabOrder() {
  for (int i = 0; i < kControlCount; ++i) g_tabOrder[i] = static_cast<Control>(i);
  for (int i = 1; i < kControlCount; ++i) {  // stable insertion sort
    Control c = g_tabOrder[i];
    int j = i;
    for (; j > 0 && kControls[g_tabOrder[j - 1]].tabIndex > kControls[c].tabIndex; --j) g_tabOrder[j] = g_tabOrder[j - 1];
    g_tabOrder[j] = c;
  }
}

bool CanTakeFocus(Control c) { return g_controls[c] && IsWindowVisible(g_controls[c]) && IsWindowEnabled(g_controls[c]); }

// The control whose own window is `window` or the direct parent of `window`;
// kControlCount for any other window (the page's inner windows among them).
Control ControlOf(HWND window) {
  if (!window) return kControlCount;
  HWND parent = GetParent(window);
  for (int i = 0; i < kControlCount; ++i) {
    if (g_controls[i] && (g_controls[i] == window || g_controls[i] == parent)) return static_cast<Control>(i);
  }
  return kControlCount;
}

void FocusFirstControl() {
  for (Control c : g_tabOrder) {
    if (CanTakeFocus(c)) {
      SetFocus(g_controls[c]);
      return;
    }
  }
}

// Moves the focus from `from` to the next (step +1) or previous (step -1)
// control in tab order that can take it, wrapping at either end.
void MoveFocus(Control from, int step) {
  int position = 0;
  while (g_tabOrder[position] != from) ++position;
  for (int n = 1; n < kControlCount; ++n) {
    Control c = g_tabOrder[((position + step * n) % kControlCount + kControlCount) % kControlCount];
    if (CanTakeFocus(c)) {
      SetFocus(g_controls[c]);
      return;
    }
  }
}

bool IsProgramWindow(HWND window) { return g_window && (window == g_window || IsChild(g_window, window)); }

// ---- Window procedure --------------------------------------------------------

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND:
      if (HIWORD(wparam) == BN_CLICKED && lparam) {
        Control c = ControlOf(reinterpret_cast<HWND>(lparam));
        if (c != kControlCount && g_controls[c] == reinterpret_cast<HWND>(lparam) && kControls[c].clicked) {
          kControls[c].clicked();
        }
      }
      return 0;
    case WM_GETMINMAXINFO: {
      // The system limits an overlapped window to about the screen's size;
      // on a screen narrower than the window that would shrink it. The
      // window has one fixed size, and that size must stay allowed.
      LRESULT result = DefWindowProcA(window, message, wparam, lparam);
      MINMAXINFO* limits = reinterpret_cast<MINMAXINFO*>(lparam);
      if (limits->ptMaxTrackSize.x < kOuterWidth) limits->ptMaxTrackSize.x = kOuterWidth;
      if (limits->ptMaxTrackSize.y < kOuterHeight) limits->ptMaxTrackSize.y = kOuterHeight;
      return result;
    }
    case WM_SETFONT:
      g_font = reinterpret_cast<HFONT>(wparam);
      return 0;
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(g_font);
    case WM_ACTIVATE:
      // Remember where the focus was, to give it back when the window is
      // activated again.
      if (LOWORD(wparam) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus && IsChild(window, focus)) g_focusBeforeDeactivation = focus;
      }
      break;
    case WM_SETFOCUS:
      if (g_focusBeforeDeactivation && IsWindow(g_focusBeforeDeactivation) && IsChild(window, g_focusBeforeDeactivation)) {
        SetFocus(g_focusBeforeDeactivation);
      } else {
        FocusFirstControl();
      }
      return 0;
    case WM_DESTROY:
      // The program's only window: with it gone, the message loop ends.
      PostQuitMessage(0);
      return 0;
    case WM_NCDESTROY:
      if (window == g_window) {
        g_window = nullptr;
        for (HWND& control : g_controls) control = nullptr;
      }
      break;
  }
  return DefWindowProcA(window, message, wparam, lparam);
}

bool RegisterWindowClass() {
  WNDCLASSEXA cls = {};
  cls.cbSize = sizeof cls;
  cls.lpfnWndProc = MainWindowProc;
  cls.hInstance = GetModuleHandleA(nullptr);
  cls.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  cls.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
  cls.lpszClassName = kWindowClass;
  return RegisterClassExA(&cls) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

HWND CreateControl(Control c) {
#if FM_TEST_SEAMS
  // "fail-control=N": the N-th control in creation order (1 to 6) cannot be made.
  if (const char* which = SeamValue("fail-control")) {
    if (atoi(which) == c + 1) return nullptr;
  }
#endif
  const ControlDescription& d = kControls[c];
  RECT bounds = {d.left, d.top, d.left + d.width, d.top + d.height};
  HMENU id = reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstControlId + c));
  if (d.kind == Kind::kBrowser) return CreateBrowserControl(g_window, kFirstControlId + c, bounds, kChildStyle, Text(GAME_PAGE_URL));
  DWORD style = kChildStyle | (d.kind == Kind::kPushButton ? kPushButtonStyle : kCheckBoxStyle);
  return CreateWindowExA(0, "Button", d.caption, style, d.left, d.top, d.width, d.height, g_window, id,
                         GetModuleHandleA(nullptr), nullptr);
}

void LoadIcons() {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  g_bigIcon = static_cast<HICON>(LoadImageA(instance, kIconName, IMAGE_ICON, GetSystemMetrics(SM_CXICON),
                                            GetSystemMetrics(SM_CYICON), 0));
  g_smallIcon = static_cast<HICON>(LoadImageA(instance, kIconName, IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                              GetSystemMetrics(SM_CYSMICON), 0));
}

}  // namespace

bool CreateMainWindow() {
  ComputeTabOrder();
  if (!RegisterWindowClass()) return false;
  // Centred on the primary screen; on a screen smaller than the window an
  // edge lies off screen rather than being pulled back.
  int left = (GetSystemMetrics(SM_CXSCREEN) - kOuterWidth) / 2;
  int top = (GetSystemMetrics(SM_CYSCREEN) - kOuterHeight) / 2;
  if (FM_SEAM_INJECTED("fail-window")) return false;
  g_window = CreateWindowExA(0, kWindowClass, kWindowTitle, kWindowStyle, left, top, kOuterWidth, kOuterHeight,
                             nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  if (!g_window) return false;
  RECT outer;
  if (GetWindowRect(g_window, &outer) &&
      (outer.right - outer.left != kOuterWidth || outer.bottom - outer.top != kOuterHeight)) {
    SetWindowPos(g_window, nullptr, outer.left, outer.top, kOuterWidth, kOuterHeight, SWP_NOZORDER | SWP_NOACTIVATE);
  }
  LoadIcons();
  SendMessageA(g_window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(g_bigIcon));
  SendMessageA(g_window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(g_smallIcon));
  HFONT font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  SendMessageA(g_window, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);

  for (int i = 0; i < kControlCount; ++i) {
    g_controls[i] = CreateControl(static_cast<Control>(i));
    if (!g_controls[i]) {
      DestroyWindow(g_window);  // takes the controls already made with it
      return false;
    }
    SendMessageA(g_controls[i], WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  }

  HWND above = HWND_TOP;
  for (Control c : kStackingOrder) {
    SetWindowPos(g_controls[c], above, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    above = g_controls[c];
  }
  for (HWND control : g_controls) {
    SetWindowPos(control, nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
  }
  return true;
}

void RaiseMainWindowCreated() {
#if FM_TEST_SEAMS
  // Ways for the tests to end the program from inside the created event,
  // while the window and the browser control are alive.
  if (const char* bytes = SeamValue("created-alloc")) AllocateMemory(atoll(bytes));
  if (const char* code = SeamValue("created-end")) EndProgram(atoi(code));
  if (const char* code = SeamValue("created-fatal")) {
    const char* message = SeamValue("created-fatal-message");
    ReportFatalError(Text(message), atoi(code));
  }
#endif
  OnMainWindowCreated();
}

void ShowMainWindow() {
  if (!g_window || !IsWindow(g_window)) return;
  ShowWindow(g_window, SW_SHOW);
  FocusFirstControl();
}

HWND MainWindowHandle() { return g_window; }

bool PreTranslateMainWindowMessage(MSG* msg) {
  if (msg->message < WM_KEYFIRST || msg->message > WM_KEYLAST || !IsProgramWindow(msg->hwnd)) return false;
  if (msg->message == WM_KEYDOWN || msg->message == WM_SYSKEYDOWN) {
    bool ctrl = GetKeyState(VK_CONTROL) < 0;
    bool shift = GetKeyState(VK_SHIFT) < 0;
    bool alt = GetKeyState(VK_MENU) < 0;
    if (msg->wParam == VK_ESCAPE && !ctrl && !shift && !alt) {
      SendMessageA(g_window, WM_CLOSE, 0, 0);
      return true;
    }
    if (msg->wParam == VK_TAB && !ctrl && !alt) {
      // Inside the page the focus stays where it is; the key is used up
      // either way, so the page never sees a Tab.
      Control from = ControlOf(msg->hwnd);
      if (from != kControlCount) MoveFocus(from, shift ? -1 : +1);
      return true;
    }
  }
  // Keys for the page get the control's own accelerator handling.
  return BrowserTranslateAccelerator(msg);
}

void ReleaseWindowLayer() {
  ReleaseBrowser();
  if (g_bigIcon) DestroyIcon(g_bigIcon);
  if (g_smallIcon) DestroyIcon(g_smallIcon);
  g_bigIcon = g_smallIcon = nullptr;
}

void OnReloadWhiteScreenClicked() { SetBrowserAddress(Text(GAME_PAGE_URL)); }

void OnReloadGameClicked() { SetBrowserAddress(Text(GAME_PAGE_URL)); }
