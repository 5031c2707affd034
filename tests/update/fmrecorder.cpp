// Test helper for the shell hand-over.
//
//   fmrecorder <anything>        appends its whole command line, followed by
//                                one LF, to "<its own path>.mark" and ends.
//                                The e2e tests make it the prefix's web-browser
//                                handler, and copy it under other names to
//                                stand for a program that must never start.
//   fmrecorder --window <title>  shows a top-level window with that title and
//                                runs until the window is closed, to stand for
//                                a browser window the hand-over may pick as
//                                its owner.
#include <windows.h>

#include <string.h>

namespace {

int RecordCommandLine() {
  char path[MAX_PATH + 8];
  DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return 2;
  lstrcpyA(path + n, ".mark");
  HANDLE mark = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (mark == INVALID_HANDLE_VALUE) return 3;
  const char* line = GetCommandLineA();
  DWORD written = 0;
  WriteFile(mark, line, lstrlenA(line), &written, nullptr);
  WriteFile(mark, "\n", 1, &written, nullptr);
  CloseHandle(mark);
  return 0;
}

LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcA(hwnd, msg, wp, lp);
}

int ShowTitledWindow(HINSTANCE instance, const char* title) {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance;
  wc.lpszClassName = "FmRecorderWindow";
  RegisterClassA(&wc);
  HWND window = CreateWindowExA(0, wc.lpszClassName, title, WS_OVERLAPPEDWINDOW, 10, 10, 300, 200, nullptr,
                                nullptr, instance, nullptr);
  if (!window) return 4;
  ShowWindow(window, SW_SHOWNORMAL);
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
  return 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR args, int) {
  static const char kWindow[] = "--window ";
  if (strncmp(args, kWindow, sizeof kWindow - 1) != 0) return RecordCommandLine();
  // The title may come quoted, as one argument with blanks in it.
  static char title[512];
  lstrcpynA(title, args + sizeof kWindow - 1, sizeof title);
  size_t n = strlen(title);
  if (n >= 2 && title[0] == '"' && title[n - 1] == '"') {
    title[n - 1] = 0;
    return ShowTitledWindow(instance, title + 1);
  }
  return ShowTitledWindow(instance, title);
}
