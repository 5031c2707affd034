// Test helper: a program that leaves a mark when it is run. It appends its
// whole command line, followed by one LF, to "<its own path>.mark" and ends.
// The e2e tests make it the prefix's web-browser handler, and copy it under
// other names to stand for a program that must never be started.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
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
