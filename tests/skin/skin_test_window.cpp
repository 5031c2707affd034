#include "tests/skin/skin_test_window.h"

#include <stdio.h>
#include <stdlib.h>

TestWindowLog g_testLog;

namespace {

HWND g_frame;

LRESULT CALLBACK FrameProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_COMMAND:
      if (HIWORD(wp) == BN_CLICKED) {
        if (LOWORD(wp) == IDCANCEL) ++g_testLog.cancel;
        else ++g_testLog.clicks[LOWORD(wp) % 8];
      }
      return 0;
    case WM_SYSCOMMAND:
      if ((wp & 0xFFF0) == SC_CLOSE) ++g_testLog.sys_close;
      break;
    case WM_CLOSE:
      ++g_testLog.close;
      break;
    case WM_DESTROY:
      g_testLog.destroyed = true;
      if (hwnd == g_frame) g_frame = nullptr;
      return 0;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT CALLBACK ForeignProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_ERASEBKGND) {
    RECT r;
    GetClientRect(hwnd, &r);
    HBRUSH b = CreateSolidBrush(RGB(255, 255, 255));
    FillRect(reinterpret_cast<HDC>(wp), &r, b);
    DeleteObject(b);
    return 1;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

bool RegisterClasses() {
  static bool done = false;
  if (done) return true;
  WNDCLASSW wc = {};
  wc.lpfnWndProc = FrameProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.hIcon = LoadIconW(nullptr, MAKEINTRESOURCEW(32512));
  wc.lpszClassName = L"FmSkinTestFrame";
  if (!RegisterClassW(&wc)) return false;
  // The browser host's stand-in: a class the engine must leave alone, and it
  // is registered under another module so the engine has no claim on it even
  // as a top-level window.
  wc.lpfnWndProc = ForeignProc;
  wc.hInstance = GetModuleHandleW(L"kernel32.dll");
  wc.hbrBackground = nullptr;
  wc.lpszClassName = L"FmSkinTestForeign";
  if (!RegisterClassW(&wc)) return false;
  done = true;
  return true;
}

HWND Child(HWND parent, const wchar_t* cls, const wchar_t* text, DWORD style, int x, int y, int w, int h, int id) {
  HWND hwnd = CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, parent,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
  SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), 0);
  return hwnd;
}

}  // namespace

bool CreateTestWindow(int x, int y, const wchar_t* title, TestWindow* out) {
  if (!RegisterClasses()) return false;
  g_testLog = TestWindowLog{};
  DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
  RECT r = {0, 0, 460, 220};
  AdjustWindowRect(&r, style, FALSE);
  out->frame = CreateWindowExW(0, L"FmSkinTestFrame", title, style, x, y, r.right - r.left, r.bottom - r.top, nullptr,
                               nullptr, GetModuleHandleW(nullptr), nullptr);
  if (!out->frame) return false;
  g_frame = out->frame;
  out->reload = Child(out->frame, L"Button", L"Reload", BS_DEFPUSHBUTTON | WS_TABSTOP, 20, 150, 110, 30, kIdReload);
  out->refresh = Child(out->frame, L"Button", L"Refresh", BS_PUSHBUTTON | WS_TABSTOP, 140, 150, 110, 30, kIdRefresh);
  out->disabled = Child(out->frame, L"Button", L"Disabled", BS_PUSHBUTTON | WS_TABSTOP | WS_DISABLED, 260, 150, 110, 30,
                        kIdDisabled);
  out->check_a = Child(out->frame, L"Button", L"Check A", BS_AUTOCHECKBOX | WS_TABSTOP, 20, 190, 100, 22, kIdCheckA);
  out->check_b = Child(out->frame, L"Button", L"Check B", BS_AUTOCHECKBOX | WS_TABSTOP, 140, 190, 100, 22, kIdCheckB);
  out->foreign = CreateWindowExW(0, L"FmSkinTestForeign", L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 20, 10, 420, 130,
                                 out->frame, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kIdForeign)),
                                 GetModuleHandleW(L"kernel32.dll"), nullptr);
  out->foreign_button = Child(out->foreign, L"Button", L"Inside", BS_PUSHBUTTON, 10, 10, 90, 28, kIdForeignButton);
  ShowWindow(out->frame, SW_SHOW);
  UpdateWindow(out->frame);
  SetForegroundWindow(out->frame);
  return true;
}

bool PumpTestMessages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) return false;
    if (g_frame && IsDialogMessageW(g_frame, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return true;
}

bool LoadSkinEngine(SkinEngineDll* out) {
  out->module = LoadLibraryW(L"FmSkin.dll");
  if (!out->module) return false;
  out->attach = reinterpret_cast<decltype(out->attach)>(reinterpret_cast<void*>(GetProcAddress(out->module, "FmSkin_Attach")));
  out->live_objects = reinterpret_cast<decltype(out->live_objects)>(
      reinterpret_cast<void*>(GetProcAddress(out->module, "FmSkin_LiveObjects")));
  return out->attach && out->live_objects;
}

size_t ReadWholeFile(const char* path, uint8_t** data) {
  *data = nullptr;
  FILE* f = fopen(path, "rb");
  if (!f) return 0;
  fseek(f, 0, SEEK_END);
  long size = ftell(f);
  fseek(f, 0, SEEK_SET);
  if (size <= 0) {
    fclose(f);
    return 0;
  }
  *data = static_cast<uint8_t*>(malloc(size_t(size)));
  size_t got = fread(*data, 1, size_t(size), f);
  fclose(f);
  return got;
}
