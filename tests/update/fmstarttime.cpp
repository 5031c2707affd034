// Benchmark helper: starts a program and measures how long it takes until
// one of its top-level windows is visible, and its peak memory by then.
//   fmstarttime <exe> [settle-ms]
// Prints one JSON line:
//   {"visible_ms":..,"peak_working_set":..,"peak_pagefile":..,"exit":..}
// visible_ms is -1 when the program ended without showing a window. After the
// window is visible the program is left running for settle-ms (default 2000)
// so the memory it needs right after start-up counts too, then closed with
// WM_CLOSE; the peak figures are taken just before that.
#include <windows.h>
#include <psapi.h>

#include <stdio.h>
#include <stdlib.h>

namespace {

struct Search {
  DWORD pid;
  HWND found;
};

BOOL CALLBACK FindVisible(HWND hwnd, LPARAM lp) {
  Search* s = reinterpret_cast<Search*>(lp);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if (pid == s->pid && IsWindowVisible(hwnd)) {
    s->found = hwnd;
    return FALSE;
  }
  return TRUE;
}

double Elapsed(LARGE_INTEGER from, LARGE_INTEGER freq) {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return 1000.0 * static_cast<double>(now.QuadPart - from.QuadPart) / static_cast<double>(freq.QuadPart);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: fmstarttime <exe> [settle-ms]\n");
    return 2;
  }
  DWORD settle = argc > 2 ? static_cast<DWORD>(atoi(argv[2])) : 2000;
  char dir[MAX_PATH];
  lstrcpynA(dir, argv[1], MAX_PATH);
  char* slash = strrchr(dir, '\\');
  if (slash) *slash = 0;

  LARGE_INTEGER freq, start;
  QueryPerformanceFrequency(&freq);
  STARTUPINFOA si = {};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi = {};
  QueryPerformanceCounter(&start);
  if (!CreateProcessA(argv[1], nullptr, nullptr, nullptr, FALSE, 0, nullptr, slash ? dir : nullptr, &si, &pi)) {
    printf("{\"error\":\"CreateProcess %lu\"}\n", GetLastError());
    return 1;
  }
  double visibleMs = -1;
  Search s = {pi.dwProcessId, nullptr};
  for (;;) {
    EnumWindows(FindVisible, reinterpret_cast<LPARAM>(&s));
    if (s.found) {
      visibleMs = Elapsed(start, freq);
      break;
    }
    if (WaitForSingleObject(pi.hProcess, 1) == WAIT_OBJECT_0) break;
    if (Elapsed(start, freq) > 120000) break;
  }
  PROCESS_MEMORY_COUNTERS pmc = {};
  pmc.cb = sizeof(pmc);
  if (s.found) {
    WaitForSingleObject(pi.hProcess, settle);
    GetProcessMemoryInfo(pi.hProcess, &pmc, sizeof(pmc));
    PostMessageA(s.found, WM_CLOSE, 0, 0);
  } else {
    GetProcessMemoryInfo(pi.hProcess, &pmc, sizeof(pmc));
  }
  if (WaitForSingleObject(pi.hProcess, 30000) != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 99);
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  printf("{\"visible_ms\":%.1f,\"peak_working_set\":%llu,\"peak_pagefile\":%llu,\"exit\":%ld}\n", visibleMs,
         static_cast<unsigned long long>(pmc.PeakWorkingSetSize),
         static_cast<unsigned long long>(pmc.PeakPagefileUsage), static_cast<long>(code));
  return 0;
}
