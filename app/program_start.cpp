// The life of the process: set-up, the main window, the message loop.
#include <windows.h>
#include <ole2.h>

#include "app/dll_table.h"
#include "app/fatal_report.h"
#include "app/main_window.h"
#include "app/program_directory.h"
#include "app/program_end.h"
#include "app/program_life.h"
#include "update/version_check.h"

void ReleaseGlobals() {
  g_downloadPageUrl.Release();
  g_versionFlag.Release();
}

namespace {

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
  OleInitialize(nullptr);                       // the browser control needs OLE
  SetCurrentDirectoryA(ProgramDirectory());    // relative paths: beside the executable
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
