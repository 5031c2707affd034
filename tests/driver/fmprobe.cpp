// fmprobe: a tiny window program the end-to-end bench tests itself against,
// so the bench can be proven without depending on the real program.
//
// At start it fetches http://<update server host>/probe (WinINet) and shows
// the answer in its caption: "<GBK 探针> <body>" (or "<GBK 探针> -" when no
// 200 answer came). Then it shows a solid-coloured window with one button and
// reacts to input:
//   Esc            exits with the code given as the first argument (default 0)
//   M              MessageBox with an error icon; caption gets " box:<result>"
//   N              MessageBox, OK/Cancel, no icon; caption gets " box:<result>"
//   K (+mods)      caption gets " key:K" plus "+shift", "+ctrl", "+alt" held
//   button click   caption gets " clicked"
#include <windows.h>
#include <wininet.h>

#include <stdlib.h>
#include <string.h>

#include <string>

#include "app/build_config.h"

namespace {

const char kProbeName[] = "\xCC\xBD\xD5\xEB";  // 探针
const COLORREF kBackground = RGB(0x22, 0x88, 0xCC);
const int kButtonId = 101;

std::string FetchProbe() {
  HINTERNET net = InternetOpenA("fmprobe", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
  if (!net) return "-";
  DWORD timeout = 15000;
  InternetSetOptionA(net, INTERNET_OPTION_CONNECT_TIMEOUT, &timeout, sizeof timeout);
  InternetSetOptionA(net, INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof timeout);
  std::string url = std::string("http://") + FM_UPDATE_SERVER_HOST + "/probe?from=fmprobe";
  HINTERNET request = InternetOpenUrlA(net, url.c_str(), nullptr, 0,
                                       INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0);
  std::string body;
  bool ok = false;
  DWORD status = 0;
  DWORD size = sizeof status;
  if (request && HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr) &&
      status == 200) {
    char buf[256];
    DWORD got = 0;
    ok = true;
    while (body.size() < 200) {
      if (!InternetReadFile(request, buf, sizeof buf, &got)) {
        ok = false;
        break;
      }
      if (got == 0) break;
      body.append(buf, got);
    }
  }
  if (request) InternetCloseHandle(request);
  InternetCloseHandle(net);
  return ok ? body : "-";
}

void AppendToCaption(HWND hwnd, const std::string& tail) {
  char buf[512] = {0};
  GetWindowTextA(hwnd, buf, sizeof buf);
  SetWindowTextA(hwnd, (std::string(buf) + tail).c_str());
}

LRESULT CALLBACK ProbeProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_COMMAND:
      if (LOWORD(wp) == kButtonId) AppendToCaption(hwnd, " clicked");
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcA(hwnd, msg, wp, lp);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
  int exit_code = __argc > 1 ? atoi(__argv[1]) : 0;
  std::string caption = std::string(kProbeName) + " " + FetchProbe();

  WNDCLASSA wc;
  memset(&wc, 0, sizeof wc);
  wc.lpfnWndProc = ProbeProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = CreateSolidBrush(kBackground);
  wc.lpszClassName = "FmProbe";
  if (!RegisterClassA(&wc)) return 2;
  HWND hwnd = CreateWindowExA(0, "FmProbe", caption.c_str(), WS_OVERLAPPEDWINDOW, 200, 150, 400, 300, nullptr,
                              nullptr, instance, nullptr);
  if (!hwnd) return 3;
  CreateWindowExA(0, "BUTTON", "OK", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 10, 10, 80, 28, hwnd,
                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(kButtonId)), instance, nullptr);
  ShowWindow(hwnd, show);
  UpdateWindow(hwnd);

  MSG m;
  while (GetMessageA(&m, nullptr, 0, 0) > 0) {
    if (m.message == WM_KEYDOWN || m.message == WM_SYSKEYDOWN) {
      if (m.wParam == VK_ESCAPE) {
        DestroyWindow(hwnd);
        continue;
      }
      if (m.wParam == 'M' || m.wParam == 'N') {
        int result = m.wParam == 'M'
                         ? MessageBoxA(hwnd, "\xB3\xF6\xB4\xED\xC1\xCB", kProbeName, MB_OK | MB_ICONERROR)  // 出错了
                         : MessageBoxA(hwnd, "\xC7\xEB\xC8\xB7\xC8\xCF", kProbeName, MB_OKCANCEL);  // 请确认
        AppendToCaption(hwnd, " box:" + std::to_string(result));
        continue;
      }
      if (m.wParam == 'K') {
        std::string tail = " key:K";
        if (GetKeyState(VK_SHIFT) < 0) tail += "+shift";
        if (GetKeyState(VK_CONTROL) < 0) tail += "+ctrl";
        if (GetKeyState(VK_MENU) < 0) tail += "+alt";
        AppendToCaption(hwnd, tail);
        continue;
      }
    }
    TranslateMessage(&m);
    DispatchMessageA(&m);
  }
  return exit_code;
}
