// The life of the process: set-up, the main window, the message loop.
#include <windows.h>
#include <ole2.h>

#include "app/dll_table.h"
#include "app/fatal_report.h"
#include "app/main_window.h"
#include "app/program_directory.h"
#include "app/program_end.h"
#include "app/program_life.h"
#include "app/seams.h"
#include "update/version_check.h"

void ReleaseGlobals() {
  g_downloadPageUrl.Release();
  g_versionFlag.Release();
}

namespace {

// Makes the program directory the current directory. For an executable in a
// drive's root the directory is the bare drive ("C:"), which as a current
// directory would mean "wherever drive C was last", so the root is named.
void EnterProgramDirectory() {
  const char* directory = ProgramDirectory();
  char root[4];
  if (directory[0] && directory[1] == ':' && directory[2] == 0) {
    root[0] = directory[0];
    root[1] = ':';
    root[2] = '\\';
    root[3] = 0;
    directory = root;
  }
  SetCurrentDirectoryA(directory);
#if FM_TEST_SEAMS
  char current[MAX_PATH + 1];
  DWORD length = GetCurrentDirectoryA(sizeof current, current);
  FM_SEAM_RECORD("current-directory %s", length > 0 && length < sizeof current ? current : "?");
#endif
}

void RunMessageLoop() {
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    if (PreTranslateMainWindowMessage(&msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

}  // namespace

int32_t ProgramStart() {
  // 1. Process-wide set-up. Nothing here reports failure: start-up goes on.
  OleInitialize(nullptr);   // the browser control needs OLE
  EnterProgramDirectory();  // relative paths: beside the executable
  PrepareDllCommandTable();
  // 2. The exit hook.
  SetExitHook(ReleaseGlobals);
  // 3. The window, hidden; its created event; then, if it still exists, shown.
  if (!CreateMainWindow()) ReportFatalErrorBytes(kWindowNotCreatedMessage, 0);
  RaiseMainWindowCreated();
  ShowMainWindow();
  // 4. The message loop, while a window of the program exists.
  if (MainWindowHandle()) RunMessageLoop();
  return 0;
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  int32_t code = ProgramStart();
  ShutDown();
  return code;
}
