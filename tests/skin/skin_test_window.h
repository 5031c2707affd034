// A small captioned window like the program's: fixed frame with only a close
// box, two push buttons (one default), one disabled button, two automatic
// check boxes, and a child of a foreign class holding a button of its own
// (standing in for the browser host, which the engine must never touch).
// Shared by the engine's in-process tests and the fmskinhost program.
#ifndef FM_TESTS_SKIN_SKIN_TEST_WINDOW_H
#define FM_TESTS_SKIN_SKIN_TEST_WINDOW_H

#include <windows.h>

#include <stdint.h>

enum TestControlId {
  kIdReload = 101,
  kIdRefresh = 102,
  kIdDisabled = 103,
  kIdCheckA = 201,
  kIdCheckB = 202,
  kIdForeign = 301,
  kIdForeignButton = 302,
};

// What the window saw, for behaviour tests.
struct TestWindowLog {
  int clicks[8];          // BN_CLICKED per control (index: id % 8)
  int sys_close;          // WM_SYSCOMMAND SC_CLOSE received
  int close;              // WM_CLOSE received
  int cancel;             // IDCANCEL from the dialog manager (Esc)
  bool destroyed;
};

struct TestWindow {
  HWND frame;
  HWND reload, refresh, disabled, check_a, check_b, foreign, foreign_button;
};

extern TestWindowLog g_testLog;

// Creates the window at (x, y), client area about 460 x 220, and shows it.
bool CreateTestWindow(int x, int y, const wchar_t* title, TestWindow* out);

// Runs queued messages through the dialog manager (Tab, Space, Esc) like a
// real message loop. Returns false once WM_QUIT was seen.
bool PumpTestMessages();

// Loads FmSkin.dll from beside the executable.
struct SkinEngineDll {
  HMODULE module;
  uint32_t(__stdcall* attach)(const void*, DWORD_PTR, const char*, DWORD_PTR, DWORD_PTR, DWORD_PTR);
  long(__stdcall* live_objects)();
};
bool LoadSkinEngine(SkinEngineDll* out);

// Reads a whole file; returns its size, 0 on failure. *data is malloc'd.
size_t ReadWholeFile(const char* path, uint8_t** data);

#endif
