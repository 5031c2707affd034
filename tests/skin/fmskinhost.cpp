// fmskinhost: the engine's test window as a program of its own.
//
//   fmskinhost show SKIN|none X Y TITLE READY_FILE QUIT_FILE
//     Shows the test window at (X, Y) with the skin attached (or none),
//     check box A ticked and the Reload button focused, writes READY_FILE
//     (the window's screen rectangle: left top right bottom) once it has
//     painted, and exits when QUIT_FILE appears.
//   fmskinhost bench SKIN COUNT OUT_FILE
//     Repaints the whole window COUNT times without a skin, then COUNT
//     times with it, in the same process; writes the two times in
//     milliseconds and their ratio to OUT_FILE.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>

#include "tests/skin/skin_test_window.h"

namespace {

const wchar_t* g_ready;
const wchar_t* g_quit;
HWND g_frame;
int g_ticks;

bool Exists(const wchar_t* path) { return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES; }

void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
  ++g_ticks;
  if (g_ticks == 10) {  // painted and flushed to the screen by now
    // The ready file holds the window's screen rectangle, for cropping.
    RECT r;
    GetWindowRect(g_frame, &r);
    wchar_t partial[1024];
    _snwprintf(partial, 1024, L"%ls.part", g_ready);
    partial[1023] = 0;
    FILE* f = _wfopen(partial, L"w");
    if (f) {
      fprintf(f, "%ld %ld %ld %ld\n", r.left, r.top, r.right, r.bottom);
      fclose(f);
      MoveFileExW(partial, g_ready, MOVEFILE_REPLACE_EXISTING);  // appears whole
    }
  }
  if (Exists(g_quit)) PostQuitMessage(0);
}

uint32_t AttachFile(const SkinEngineDll& dll, const wchar_t* path) {
  char narrow[1024];
  WideCharToMultiByte(CP_ACP, 0, path, -1, narrow, sizeof narrow, nullptr, nullptr);
  uint8_t* data = nullptr;
  size_t size = ReadWholeFile(narrow, &data);
  uint32_t r = dll.attach(data, size, "", 0, 0, 0);
  free(data);
  return r;
}

double Repaint(HWND frame, int count) {
  LARGE_INTEGER f, a, b;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&a);
  for (int i = 0; i < count; ++i) {
    RedrawWindow(frame, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    PumpTestMessages();
  }
  QueryPerformanceCounter(&b);
  return double(b.QuadPart - a.QuadPart) * 1000.0 / double(f.QuadPart);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  SkinEngineDll dll = {};
  if (!LoadSkinEngine(&dll)) return 3;
  if (argc == 8 && !wcscmp(argv[1], L"show")) {
    g_ready = argv[6];
    g_quit = argv[7];
    TestWindow w;
    if (!CreateTestWindow(_wtoi(argv[3]), _wtoi(argv[4]), argv[5], &w)) return 4;
    g_frame = w.frame;
    if (wcscmp(argv[2], L"none") && AttachFile(dll, argv[2]) != 0) return 5;
    SendMessageW(w.check_a, BM_SETCHECK, BST_CHECKED, 0);
    SendMessageW(w.frame, WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
    SetFocus(w.reload);
    SetTimer(nullptr, 0, 30, Tick);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
      if (IsDialogMessageW(w.frame, &msg)) continue;
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    return 0;
  }
  if (argc == 5 && !wcscmp(argv[1], L"bench")) {
    int count = _wtoi(argv[3]);
    TestWindow w;
    if (count <= 0 || !CreateTestWindow(100, 100, L"Repaint benchmark", &w)) return 4;
    PumpTestMessages();
    Repaint(w.frame, count / 10 + 1);  // warm up
    double plain = Repaint(w.frame, count);
    if (AttachFile(dll, argv[2]) != 0) return 5;
    Repaint(w.frame, count / 10 + 1);
    double skinned = Repaint(w.frame, count);
    FILE* out = _wfopen(argv[4], L"w");
    if (!out) return 6;
    fprintf(out, "repaints %d\nplain_ms %.1f\nskinned_ms %.1f\nratio %.2f\nlive_objects %ld\n", count, plain, skinned,
            skinned / plain, dll.live_objects());
    fclose(out);
    DestroyWindow(w.frame);
    return 0;
  }
  return 2;
}
