// FmSkin.dll: restyles the calling thread's windows from a skin file.
//
// How it works: FmSkin_Attach reads the skin into its own copy, sets a CBT
// hook on the calling thread and subclasses (by replacing the window
// procedure) the windows it skins: captioned top-level windows of the
// program's own classes and message boxes, and the push buttons and
// automatic check boxes directly inside them. Windows of every other class,
// the browser control's among them, are never touched. Each subclass paints
// and passes every message on to the original procedure, so behaviour stays
// the original's; the only messages kept back are the ones the system's own
// caption code would have consumed itself (close box tracking), which are
// replaced by the same outcome: WM_SYSCOMMAND SC_CLOSE.
//
// Painting is double-buffered: each part is drawn into a 32-bit DIB (shapes
// by skin_paint, text and icons by GDI) and copied to the screen in one blit.
// Every GDI object and device context the engine makes or borrows is counted
// (FmSkin_LiveObjects), so a leak shows as a count that keeps growing.
#include <windows.h>

#include "skinengine/fmskin.h"
#include "skinengine/skin_format.h"
#include "skinengine/skin_paint.h"

namespace {

// ---- state ----

Skin g_skin;            // the attached skin (a copy; the caller's buffer is gone)
Skin g_incoming;        // parse target, so a refused skin never half-replaces g_skin
bool g_attached;
HMODULE g_module;
volatile LONG g_live;   // GDI objects and DCs held by the engine right now

HBRUSH g_backgroundBrush;
HFONT g_captionFont;

enum Kind : uint8_t { kFrameWindow, kButtonWindow };

struct Skinned {
  HWND hwnd;
  WNDPROC original;
  bool unicode;
  Kind kind;
  bool active;          // frame: caption drawn active
  bool hot;             // button: mouse over; frame: mouse over the close box
  bool close_pressed;   // frame: close box drawn pressed
  bool close_tracking;  // frame: mouse captured after a press on the close box
  bool tracking_leave;  // a TrackMouseEvent request is outstanding
};
const int kMaxSkinned = 256;
Skinned g_windows[kMaxSkinned];

struct ThreadHook {
  DWORD thread;
  HHOOK hook;
};
const int kMaxThreads = 8;
ThreadHook g_hooks[kMaxThreads];

LRESULT CALLBACK SkinnedProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

// ---- counted GDI ----

void Count(const void* handle) {
  if (handle) InterlockedIncrement(&g_live);
}
void Uncount() { InterlockedDecrement(&g_live); }

void DropObject(HGDIOBJ object) {
  if (object && DeleteObject(object)) Uncount();
}

HDC BorrowDC(HWND hwnd, bool window) {
  HDC dc = window ? GetWindowDC(hwnd) : GetDC(hwnd);
  Count(dc);
  return dc;
}
void ReturnDC(HWND hwnd, HDC dc) {
  if (dc && ReleaseDC(hwnd, dc)) Uncount();
}

COLORREF Ref(uint32_t rgb) { return RGB(rgb >> 16 & 0xFF, rgb >> 8 & 0xFF, rgb & 0xFF); }

// An off-screen 32-bit canvas with a DC to draw text into it.
struct Buffer {
  HDC dc;
  HBITMAP bitmap;
  HGDIOBJ previous;
  Canvas canvas;
};

bool OpenBuffer(Buffer* b, HDC like, int width, int height) {
  b->dc = nullptr;
  b->bitmap = nullptr;
  if (width <= 0 || height <= 0) return false;
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  b->bitmap = CreateDIBSection(like, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  Count(b->bitmap);
  b->dc = CreateCompatibleDC(like);
  Count(b->dc);
  if (!b->bitmap || !b->dc || !bits) {
    if (b->dc && DeleteDC(b->dc)) Uncount();
    DropObject(b->bitmap);
    b->dc = nullptr;
    b->bitmap = nullptr;
    return false;
  }
  b->previous = SelectObject(b->dc, b->bitmap);
  b->canvas = Canvas{static_cast<uint32_t*>(bits), width, height};
  return true;
}

void CloseBuffer(Buffer* b) {
  if (!b->dc) return;
  SelectObject(b->dc, b->previous);
  if (DeleteDC(b->dc)) Uncount();
  DropObject(b->bitmap);
  b->dc = nullptr;
  b->bitmap = nullptr;
}

// ---- the table of skinned windows ----

Skinned* Find(HWND hwnd) {
  for (Skinned& s : g_windows)
    if (s.hwnd == hwnd) return &s;
  return nullptr;
}

LRESULT CallOriginal(HWND hwnd, WNDPROC original, bool unicode, UINT msg, WPARAM wp, LPARAM lp) {
  return unicode ? CallWindowProcW(original, hwnd, msg, wp, lp) : CallWindowProcA(original, hwnd, msg, wp, lp);
}

LRESULT Forward(Skinned* s, UINT msg, WPARAM wp, LPARAM lp) {
  return CallOriginal(s->hwnd, s->original, s->unicode, msg, wp, lp);
}

// With desktop composition the system draws captions itself and paints over
// (and hit-tests around) anything drawn in WM_NCPAINT; a skinned frame asks
// for the classic, application-drawn frame instead. dwmapi is looked up, not
// imported: systems without composition have no such library.
void UseApplicationDrawnFrame(HWND hwnd) {
  typedef HRESULT(WINAPI * SetAttribute)(HWND, DWORD, LPCVOID, DWORD);
  static SetAttribute set_attribute;
  static bool looked_up;
  if (!looked_up) {
    looked_up = true;
    if (HMODULE dwm = LoadLibraryW(L"dwmapi.dll"))
      set_attribute = reinterpret_cast<SetAttribute>(
          reinterpret_cast<void*>(GetProcAddress(dwm, "DwmSetWindowAttribute")));
  }
  if (!set_attribute) return;
  const DWORD kNonClientRenderingPolicy = 2, kDisabled = 1;  // DWMWA_NCRENDERING_POLICY, DWMNCRP_DISABLED
  set_attribute(hwnd, kNonClientRenderingPolicy, &kDisabled, sizeof kDisabled);
}

bool Adopt(HWND hwnd, Kind kind) {
  if (Find(hwnd)) return true;
  for (Skinned& s : g_windows) {
    if (s.hwnd) continue;
    s = Skinned{};
    s.hwnd = hwnd;
    s.kind = kind;
    s.unicode = IsWindowUnicode(hwnd) != FALSE;
    s.active = GetActiveWindow() == hwnd;
    LONG_PTR proc = reinterpret_cast<LONG_PTR>(&SkinnedProc);
    LONG_PTR old = s.unicode ? SetWindowLongPtrW(hwnd, GWLP_WNDPROC, proc) : SetWindowLongPtrA(hwnd, GWLP_WNDPROC, proc);
    if (!old) {
      s.hwnd = nullptr;
      return false;
    }
    s.original = reinterpret_cast<WNDPROC>(old);
    if (kind == kFrameWindow) UseApplicationDrawnFrame(hwnd);
    return true;
  }
  return false;  // table full: the window keeps its own look
}

// ---- which windows are ours to skin ----

bool ClassIs(HWND hwnd, const wchar_t* name) {
  wchar_t cls[64];
  if (!GetClassNameW(hwnd, cls, 64)) return false;
  return lstrcmpiW(cls, name) == 0;
}

bool IsSkinnableFrame(HWND hwnd, LONG style) {
  if (style & WS_CHILD) return false;
  if ((style & WS_CAPTION) != WS_CAPTION) return false;
  if (ClassIs(hwnd, L"#32770")) return true;  // message boxes and dialogs
  // Otherwise only classes the program registered itself.
  return reinterpret_cast<HMODULE>(GetClassLongPtrW(hwnd, GCLP_HMODULE)) == GetModuleHandleW(nullptr);
}

bool IsSkinnableButtonStyle(LONG style) {
  if (style & (BS_BITMAP | BS_ICON)) return false;
  LONG type = style & BS_TYPEMASK;
  return type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON || type == BS_AUTOCHECKBOX;
}

bool IsSkinnableButton(HWND hwnd, LONG style, HWND parent) {
  if (!(style & WS_CHILD) || !IsSkinnableButtonStyle(style)) return false;
  Skinned* p = Find(parent);
  return p && p->kind == kFrameWindow && ClassIs(hwnd, L"Button");
}

// ---- frames ----

struct FrameGeometry {
  int width, height;
  RECT client;   // in window coordinates
  int border;
  PaintRect caption;
  PaintRect close;
  bool has_close;
};

bool MeasureFrame(HWND hwnd, FrameGeometry* g) {
  RECT wr, cr;
  if (!GetWindowRect(hwnd, &wr) || !GetClientRect(hwnd, &cr)) return false;
  POINT origin = {0, 0};
  ClientToScreen(hwnd, &origin);
  g->width = wr.right - wr.left;
  g->height = wr.bottom - wr.top;
  g->client = RECT{origin.x - wr.left, origin.y - wr.top, origin.x - wr.left + cr.right, origin.y - wr.top + cr.bottom};
  g->border = g->client.left > 0 ? g->client.left : 0;
  int bottom = g->client.top;
  if (GetMenu(hwnd)) bottom -= GetSystemMetrics(SM_CYMENU);
  g->caption = PaintRect{g->border, g->border, g->width - g->border, bottom};
  if (g->caption.Height() < 6 || g->caption.Width() < 20) return false;
  LONG style = GetWindowLongW(hwnd, GWL_STYLE);
  g->has_close = (style & WS_SYSMENU) != 0;
  int side = g->caption.Height() - 4;
  if (side > 24) side = 24;
  int top = g->caption.top + (g->caption.Height() - side) / 2;
  g->close = g->has_close ? PaintRect{g->caption.right - side - 3, top, g->caption.right - 3, top + side} : PaintRect{};
  return true;
}

bool CloseEnabled(HWND hwnd) {
  if (GetClassLongPtrW(hwnd, GCL_STYLE) & CS_NOCLOSE) return false;
  HMENU menu = GetSystemMenu(hwnd, FALSE);
  if (!menu) return true;
  UINT state = GetMenuState(menu, SC_CLOSE, MF_BYCOMMAND);
  return state == UINT(-1) || !(state & (MF_GRAYED | MF_DISABLED));
}

HICON SmallIcon(HWND hwnd) {
  HICON icon = reinterpret_cast<HICON>(SendMessageW(hwnd, WM_GETICON, ICON_SMALL, 0));
  if (!icon) icon = reinterpret_cast<HICON>(SendMessageW(hwnd, WM_GETICON, ICON_SMALL2, 0));
  if (!icon) icon = reinterpret_cast<HICON>(GetClassLongPtrW(hwnd, GCLP_HICONSM));
  return icon;
}

void PaintFrame(Skinned* s) {
  HWND hwnd = s->hwnd;
  FrameGeometry g;
  if (!IsWindowVisible(hwnd) || !MeasureFrame(hwnd, &g)) return;
  HDC wdc = BorrowDC(hwnd, true);
  if (!wdc) return;

  // Borders beside and below the client area: flat, painted once each.
  HBRUSH frame = CreateSolidBrush(Ref(g_skin.colours[kFrame]));
  Count(frame);
  RECT sides[3] = {{0, g.client.top, g.client.left, g.height},
                   {g.client.right, g.client.top, g.width, g.height},
                   {g.client.left, g.client.bottom, g.client.right, g.height}};
  for (RECT& r : sides)
    if (r.right > r.left && r.bottom > r.top) FillRect(wdc, &r, frame);
  DropObject(frame);

  // The caption strip, through the buffer.
  Buffer b;
  int strip = g.client.top;
  if (OpenBuffer(&b, wdc, g.width, strip)) {
    CloseState state = kCloseNormal;
    if (!CloseEnabled(hwnd)) state = kCloseDisabled;
    else if (s->close_pressed) state = kClosePressedState;
    else if (s->hot) state = kCloseHotState;
    PaintCaption(b.canvas, g_skin, g.caption, s->active, g.close, state);

    int text_left = g.caption.left + 6;
    if ((GetWindowLongW(hwnd, GWL_STYLE) & WS_SYSMENU) && !(GetWindowLongW(hwnd, GWL_EXSTYLE) & WS_EX_DLGMODALFRAME)) {
      if (HICON icon = SmallIcon(hwnd)) {
        int cx = GetSystemMetrics(SM_CXSMICON), cy = GetSystemMetrics(SM_CYSMICON);
        DrawIconEx(b.dc, g.caption.left + 3, g.caption.top + (g.caption.Height() - cy) / 2, icon, cx, cy, 0, nullptr,
                   DI_NORMAL);
        text_left = g.caption.left + 3 + cx + 5;
      }
    }
    wchar_t title[256];
    int length = GetWindowTextW(hwnd, title, 256);
    if (length > 0) {
      RECT tr = {text_left, g.caption.top, (g.has_close ? g.close.left : g.caption.right) - 4, g.caption.bottom};
      UINT format = DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS | DT_NOPREFIX;
      if (g_skin.metrics[kCaptionCentred]) {
        // Centred on the whole caption when it fits there, else beside the icon.
        int right_room = g.caption.right - tr.right;
        RECT centred = {tr.left, tr.top, tr.right, tr.bottom};
        if (text_left - g.caption.left < right_room) centred.left = g.caption.left + right_room;
        else centred.right = g.caption.right - (text_left - g.caption.left);
        tr = centred;
        format |= DT_CENTER;
      }
      HGDIOBJ old_font = SelectObject(b.dc, g_captionFont ? static_cast<HGDIOBJ>(g_captionFont) : GetStockObject(SYSTEM_FONT));
      SetBkMode(b.dc, TRANSPARENT);
      SetTextColor(b.dc, Ref(g_skin.colours[s->active ? kCaptionText : kCaptionInactiveText]));
      DrawTextW(b.dc, title, length, &tr, format);
      SelectObject(b.dc, old_font);
    }
    BitBlt(wdc, 0, 0, g.width, strip, b.dc, 0, 0, SRCCOPY);
    CloseBuffer(&b);
  }
  ReturnDC(hwnd, wdc);
}

bool PointInClose(HWND hwnd, POINT screen) {
  FrameGeometry g;
  RECT wr;
  if (!MeasureFrame(hwnd, &g) || !g.has_close || !GetWindowRect(hwnd, &wr)) return false;
  int x = screen.x - wr.left, y = screen.y - wr.top;
  return x >= g.close.left && x < g.close.right && y >= g.close.top && y < g.close.bottom;
}

void SetCloseLook(Skinned* s, bool hot, bool pressed) {
  if (s->hot == hot && s->close_pressed == pressed) return;
  s->hot = hot;
  s->close_pressed = pressed;
  PaintFrame(s);
}

LRESULT FrameMessage(Skinned* s, UINT msg, WPARAM wp, LPARAM lp) {
  HWND hwnd = s->hwnd;
  switch (msg) {
    case WM_NCPAINT:
      if ((GetWindowLongW(hwnd, GWL_STYLE) & WS_CAPTION) != WS_CAPTION) break;
      PaintFrame(s);
      return 0;
    case WM_NCACTIVATE: {
      s->active = wp != 0;
      // -1 asks the default handler to record the state without drawing the
      // stock caption over ours.
      LRESULT r = Forward(s, msg, wp, -1);
      if ((s = Find(hwnd))) PaintFrame(s);
      return r;
    }
    case 0x00AE:  // WM_NCUAHDRAWCAPTION and WM_NCUAHDRAWFRAME: the visual-styles
    case 0x00AF:  // caption and frame, drawn straight over ours; not wanted.
      return 0;
    case WM_SETTEXT:
    case WM_SETICON:
    case WM_ENABLE: {
      // The default handlers draw the stock caption straight away; paint over it.
      LRESULT r = Forward(s, msg, wp, lp);
      if ((s = Find(hwnd))) PaintFrame(s);
      return r;
    }
    case WM_NCHITTEST: {
      LRESULT hit = Forward(s, msg, wp, lp);
      if (hit != HTCLOSE && hit != HTCAPTION && hit != HTMINBUTTON && hit != HTMAXBUTTON && hit != HTHELP) return hit;
      POINT pt = {short(LOWORD(lp)), short(HIWORD(lp))};
      if (PointInClose(hwnd, pt)) return HTCLOSE;
      return hit == HTCLOSE ? HTCAPTION : hit;
    }
    case WM_NCMOUSEMOVE: {
      bool over = wp == HTCLOSE && CloseEnabled(hwnd);
      if (over && !s->tracking_leave) {
        TRACKMOUSEEVENT t = {sizeof t, TME_LEAVE | TME_NONCLIENT, hwnd, 0};
        s->tracking_leave = TrackMouseEvent(&t) != FALSE;
      }
      SetCloseLook(s, over, false);
      return Forward(s, msg, wp, lp);
    }
    case WM_NCMOUSELEAVE:
      s->tracking_leave = false;
      if (!s->close_tracking) SetCloseLook(s, false, false);
      return Forward(s, msg, wp, lp);
    case WM_NCLBUTTONDOWN:
    case WM_NCLBUTTONDBLCLK:
      if (wp != HTCLOSE) break;
      if (!CloseEnabled(hwnd)) return 0;
      // The stock handler would run its own tracking loop here and draw the
      // stock close box; track with the capture instead and end the same way.
      s->close_tracking = true;
      SetCapture(hwnd);
      SetCloseLook(s, true, true);
      return 0;
    case WM_MOUSEMOVE:
      if (s->close_tracking) {
        POINT pt;
        GetCursorPos(&pt);
        bool inside = PointInClose(hwnd, pt);
        SetCloseLook(s, inside, inside);
        return 0;
      }
      if (s->hot) SetCloseLook(s, false, false);
      break;
    case WM_LBUTTONUP:
      if (s->close_tracking) {
        POINT pt;
        GetCursorPos(&pt);
        bool fire = PointInClose(hwnd, pt);
        s->close_tracking = false;
        ReleaseCapture();
        if ((s = Find(hwnd))) SetCloseLook(s, false, false);
        if (fire) SendMessageW(hwnd, WM_SYSCOMMAND, SC_CLOSE, MAKELPARAM(pt.x, pt.y));
        return 0;
      }
      break;
    case WM_CAPTURECHANGED:
      if (s->close_tracking && reinterpret_cast<HWND>(lp) != hwnd) {
        s->close_tracking = false;
        SetCloseLook(s, false, false);
      }
      break;
    case WM_ERASEBKGND: {
      RECT r;
      GetClientRect(hwnd, &r);
      FillRect(reinterpret_cast<HDC>(wp), &r, g_backgroundBrush);
      return 1;
    }
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
      HWND child = reinterpret_cast<HWND>(lp);
      if (msg == WM_CTLCOLORSTATIC && !ClassIs(child, L"Static")) break;
      HDC dc = reinterpret_cast<HDC>(wp);
      SetTextColor(dc, Ref(g_skin.colours[kText]));
      SetBkColor(dc, Ref(g_skin.colours[kBackground]));
      SetBkMode(dc, TRANSPARENT);
      return reinterpret_cast<LRESULT>(g_backgroundBrush);
    }
  }
  return Forward(s, msg, wp, lp);
}

// ---- buttons ----

void PaintButton(Skinned* s, HDC target) {
  HWND hwnd = s->hwnd;
  RECT rc;
  GetClientRect(hwnd, &rc);
  LONG style = GetWindowLongW(hwnd, GWL_STYLE);
  LRESULT state = Forward(s, BM_GETSTATE, 0, 0);
  LRESULT ui = Forward(s, WM_QUERYUISTATE, 0, 0);
  ButtonState bs = {};
  bs.pressed = (state & BST_PUSHED) != 0;
  bs.checked = (state & BST_CHECKED) != 0;
  bs.disabled = !IsWindowEnabled(hwnd);
  bs.focused = GetFocus() == hwnd && !(ui & UISF_HIDEFOCUS);
  bs.hot = s->hot;
  bs.is_default = (style & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
  bool check_box = (style & BS_TYPEMASK) == BS_AUTOCHECKBOX;

  Buffer b;
  if (!OpenBuffer(&b, target, rc.right, rc.bottom)) return;
  HFONT font = reinterpret_cast<HFONT>(Forward(s, WM_GETFONT, 0, 0));
  HGDIOBJ old_font = SelectObject(b.dc, font ? static_cast<HGDIOBJ>(font) : GetStockObject(SYSTEM_FONT));
  wchar_t text[256];
  int length = GetWindowTextW(hwnd, text, 256);
  UINT format = (style & BS_MULTILINE) ? DT_WORDBREAK : DT_SINGLELINE;
  if (ui & UISF_HIDEACCEL) format |= DT_HIDEPREFIX;
  SetBkMode(b.dc, TRANSPARENT);

  if (check_box) {
    int side = g_skin.metrics[kCheckSize];
    if (side > rc.bottom) side = rc.bottom;
    bool box_right = (style & BS_LEFTTEXT) != 0;
    int top = (rc.bottom - side) / 2;
    PaintRect box = box_right ? PaintRect{rc.right - side, top, rc.right, top + side} : PaintRect{0, top, side, top + side};
    RECT tr = box_right ? RECT{0, 0, rc.right - side - 4, rc.bottom} : RECT{side + 4, 0, rc.right, rc.bottom};
    RECT measured = tr;
    PaintRect ring = {};
    if (length > 0) {
      DrawTextW(b.dc, text, length, &measured, format | DT_CALCRECT);
      int h = measured.bottom - measured.top;
      measured.top = (rc.bottom - h) / 2;
      measured.bottom = measured.top + h;
      if (measured.right > tr.right) measured.right = tr.right;
      ring = PaintRect{int(measured.left) - 2, int(measured.top) - 1, int(measured.right) + 2, int(measured.bottom) + 1};
    }
    PaintCheckBox(b.canvas, g_skin, box, bs, ring);
    if (length > 0) {
      SetTextColor(b.dc, Ref(g_skin.colours[bs.disabled ? kButtonDisabledText : kText]));
      DrawTextW(b.dc, text, length, &measured, format);
    }
  } else {
    PaintPushButton(b.canvas, g_skin, bs);
    if (length > 0) {
      RECT tr = {4, 2, rc.right - 4, rc.bottom - 2};
      if (bs.pressed) OffsetRect(&tr, 1, 1);
      UINT align = DT_CENTER;
      if ((style & BS_CENTER) == BS_LEFT) align = DT_LEFT;
      else if ((style & BS_CENTER) == BS_RIGHT) align = DT_RIGHT;
      if (format & DT_SINGLELINE) {
        format |= DT_VCENTER;
      } else {
        RECT m = tr;
        DrawTextW(b.dc, text, length, &m, format | align | DT_CALCRECT);
        int h = m.bottom - m.top;
        tr.top += (tr.bottom - tr.top - h) / 2;
      }
      SetTextColor(b.dc, Ref(PushButtonTextColour(g_skin, bs)));
      DrawTextW(b.dc, text, length, &tr, format | align);
    }
  }
  SelectObject(b.dc, old_font);
  BitBlt(target, 0, 0, rc.right, rc.bottom, b.dc, 0, 0, SRCCOPY);
  CloseBuffer(&b);
}

void PaintButtonNow(HWND hwnd) {
  Skinned* s = Find(hwnd);
  if (!s || !IsWindowVisible(hwnd)) return;
  if (!IsSkinnableButtonStyle(GetWindowLongW(hwnd, GWL_STYLE))) return;
  HDC dc = BorrowDC(hwnd, false);
  if (!dc) return;
  PaintButton(s, dc);
  ReturnDC(hwnd, dc);
}

// Messages after which the stock button procedure may have drawn the stock
// look directly (not through WM_PAINT); the skin is drawn again over it.
bool StockButtonDraws(UINT msg) {
  switch (msg) {
    case WM_ENABLE: case WM_SETTEXT: case WM_SETFONT: case WM_SETFOCUS: case WM_KILLFOCUS:
    case WM_KEYDOWN: case WM_KEYUP: case WM_SYSKEYUP: case WM_CHAR:
    case WM_LBUTTONDOWN: case WM_LBUTTONDBLCLK: case WM_LBUTTONUP: case WM_CAPTURECHANGED:
    case BM_SETSTATE: case BM_SETCHECK: case BM_SETSTYLE: case BM_CLICK: case BM_SETIMAGE:
    case WM_UPDATEUISTATE: case WM_CHANGEUISTATE: case WM_SYSCOLORCHANGE: case WM_STYLECHANGED:
    case WM_THEMECHANGED: case WM_MOUSELEAVE:
      return true;
  }
  return false;
}

LRESULT ButtonMessage(Skinned* s, UINT msg, WPARAM wp, LPARAM lp) {
  HWND hwnd = s->hwnd;
  bool ours = IsSkinnableButtonStyle(GetWindowLongW(hwnd, GWL_STYLE));
  if (!ours) return Forward(s, msg, wp, lp);
  switch (msg) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      if (dc) PaintButton(s, dc);
      EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_PRINTCLIENT:
      PaintButton(s, reinterpret_cast<HDC>(wp));
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_MOUSEMOVE: {
      bool was_hot = s->hot;
      s->hot = true;
      if (!s->tracking_leave) {
        TRACKMOUSEEVENT t = {sizeof t, TME_LEAVE, hwnd, 0};
        s->tracking_leave = TrackMouseEvent(&t) != FALSE;
      }
      LRESULT r = Forward(s, msg, wp, lp);
      if (!was_hot) PaintButtonNow(hwnd);
      return r;
    }
    case WM_MOUSELEAVE:
      s->hot = false;
      s->tracking_leave = false;
      break;
  }
  LRESULT r = Forward(s, msg, wp, lp);
  if (StockButtonDraws(msg)) PaintButtonNow(hwnd);
  return r;
}

// ---- the one window procedure of every skinned window ----

LRESULT CALLBACK SkinnedProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  Skinned* s = Find(hwnd);
  if (!s) return DefWindowProcW(hwnd, msg, wp, lp);  // cannot happen: adopted windows are in the table
  if (msg == WM_NCDESTROY) {
    WNDPROC original = s->original;
    bool unicode = s->unicode;
    LONG_PTR mine = reinterpret_cast<LONG_PTR>(&SkinnedProc);
    if (GetWindowLongPtrW(hwnd, GWLP_WNDPROC) == mine) {
      if (unicode) SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
      else SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
    }
    s->hwnd = nullptr;
    return CallOriginal(hwnd, original, unicode, msg, wp, lp);
  }
  return s->kind == kFrameWindow ? FrameMessage(s, msg, wp, lp) : ButtonMessage(s, msg, wp, lp);
}

// ---- finding windows ----

LRESULT CALLBACK CreationHook(int code, WPARAM wp, LPARAM lp) {
  if (code == HCBT_CREATEWND && g_attached) {
    HWND hwnd = reinterpret_cast<HWND>(wp);
    const CREATESTRUCTW* cs = reinterpret_cast<CBT_CREATEWNDW*>(lp)->lpcs;
    LONG style = cs->style | GetWindowLongW(hwnd, GWL_STYLE);
    if (IsSkinnableFrame(hwnd, style)) Adopt(hwnd, kFrameWindow);
    else if (IsSkinnableButton(hwnd, style, cs->hwndParent)) Adopt(hwnd, kButtonWindow);
  }
  return CallNextHookEx(nullptr, code, wp, lp);
}

BOOL CALLBACK AdoptChild(HWND child, LPARAM parent) {
  if (GetParent(child) == reinterpret_cast<HWND>(parent) &&
      IsSkinnableButton(child, GetWindowLongW(child, GWL_STYLE), reinterpret_cast<HWND>(parent)))
    Adopt(child, kButtonWindow);
  return TRUE;
}

BOOL CALLBACK AdoptTopLevel(HWND hwnd, LPARAM) {
  if (IsSkinnableFrame(hwnd, GetWindowLongW(hwnd, GWL_STYLE)) && Adopt(hwnd, kFrameWindow))
    EnumChildWindows(hwnd, AdoptChild, reinterpret_cast<LPARAM>(hwnd));
  return TRUE;
}

bool ThreadGone(DWORD id) {
  HANDLE h = OpenThread(SYNCHRONIZE, FALSE, id);
  if (!h) return true;
  bool gone = WaitForSingleObject(h, 0) == WAIT_OBJECT_0;
  CloseHandle(h);
  return gone;
}

// The hook slot of a thread: its own, a free one, or one whose thread has
// ended (its hook went with it). Null when eight live threads hold them all.
ThreadHook* HookSlot(DWORD thread) {
  for (ThreadHook& h : g_hooks)
    if (h.hook && h.thread == thread) return &h;
  for (ThreadHook& h : g_hooks)
    if (!h.hook) return &h;
  for (ThreadHook& h : g_hooks)
    if (ThreadGone(h.thread)) {
      UnhookWindowsHookEx(h.hook);
      h.hook = nullptr;
      return &h;
    }
  return nullptr;
}

bool HookThread(ThreadHook* slot, DWORD thread) {
  if (slot->hook) return true;
  slot->hook = SetWindowsHookExW(WH_CBT, CreationHook, g_module, thread);
  slot->thread = thread;
  return slot->hook != nullptr;
}

void MakeResources() {
  DropObject(g_backgroundBrush);
  DropObject(g_captionFont);
  g_backgroundBrush = CreateSolidBrush(Ref(g_skin.colours[kBackground]));
  Count(g_backgroundBrush);
  NONCLIENTMETRICSW metrics = {};
  metrics.cbSize = sizeof metrics;
  LOGFONTW font = {};
  if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
    font = metrics.lfCaptionFont;
  } else {
    GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof font, &font);
  }
  font.lfWeight = g_skin.metrics[kCaptionBold] ? FW_BOLD : FW_NORMAL;
  g_captionFont = CreateFontIndirectW(&font);
  Count(g_captionFont);
}

BOOL CALLBACK RepaintTopLevel(HWND hwnd, LPARAM) {
  Skinned* s = Find(hwnd);
  if (s && s->kind == kFrameWindow)
    RedrawWindow(hwnd, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
  return TRUE;
}

__attribute__((noinline)) uint32_t Attach(const void* data, uint64_t length) {
  SkinError e = ParseSkin(data, length, &g_incoming);
  if (e != kSkinOk) return e;
  DWORD thread = GetCurrentThreadId();
  ThreadHook* slot = HookSlot(thread);
  if (!slot) return kFmSkinTooManyThreads;
  if (!g_module) {
    // Pinned: once windows run through this code, the library must outlive
    // them, whatever FreeLibrary calls the program makes at its end.
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                            reinterpret_cast<LPCWSTR>(&SkinnedProc), &g_module))
      return kFmSkinHookFailed;
  }
  if (!HookThread(slot, thread)) return kFmSkinHookFailed;
  g_skin = g_incoming;
  g_attached = true;
  MakeResources();
  EnumThreadWindows(thread, AdoptTopLevel, 0);
  EnumThreadWindows(thread, RepaintTopLevel, 0);
  return kSkinOk;
}

}  // namespace

// Exported undecorated through fmskin32.def / fmskin64.def.
extern "C" {

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }

uint32_t __stdcall FmSkin_Attach(const void* skin, DWORD_PTR length, const char* reserved,
                                                       DWORD_PTR, DWORD_PTR, DWORD_PTR) {
  (void)reserved;
  return Attach(skin, length);
}

long __stdcall FmSkin_LiveObjects() { return g_live; }

}  // extern "C"
