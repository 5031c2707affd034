#include "app/program_end.h"

#include <windows.h>
#include <ole2.h>

#include "app/dll_table.h"
#include "app/fatal_report.h"
#include "app/main_window.h"
#include "app/program_life.h"
#include "app/seams.h"

namespace {

ExitHook g_exitHook = nullptr;
bool g_reportingFatalError = false;

// Big enough for any report the program itself makes; a longer message given
// by a caller is cut rather than taking memory from anywhere.
char g_reportText[4096];

#if FM_TEST_SEAMS
void RecordFatalReport(const char* text, int32_t code) {
  // Lower-case hex of every byte, built in fixed storage like the report.
  static char hex[sizeof g_reportText * 2 + 1];
  static const char digits[] = "0123456789abcdef";
  size_t n = 0;
  for (const char* p = text; *p; ++p) {
    unsigned char byte = static_cast<unsigned char>(*p);
    hex[n++] = digits[byte >> 4];
    hex[n++] = digits[byte & 15];
  }
  hex[n] = 0;
  FM_SEAM_RECORD("fatal-report code=%d text=%s", static_cast<int>(code), hex);
}
#endif

}  // namespace

void SetExitHook(ExitHook hook) { g_exitHook = hook; }

void ShutDown() {
  // 1. The exit hook, at most once per process.
  if (ExitHook hook = g_exitHook) {
    g_exitHook = nullptr;
    FM_SEAM_RECORD("exit-hook");
    hook();
  }
  // 2. The libraries loaded through the function table.
  ReleaseDllCommandTable();
  // 3. The window layer: the browser control's OLE objects (they must be gone
  //    before OLE is) and the program's icons. Windows stay as they are.
  ReleaseWindowLayer();
  // 4. OLE.
  FM_SEAM_RECORD("ole-uninitialize");
  OleUninitialize();
}

void EndProgram(int32_t exitCode) {
  ShutDown();
  ExitProcess(static_cast<UINT>(exitCode));
}

void ReportFatalErrorBytes(const char* message, int32_t code) {
  if (g_reportingFatalError) {
    // A second fatal condition while the first is being reported (say, the
    // box itself could not get memory): there is nothing left to tell the
    // user that the first report doesn't, so end without running anything.
    ExitProcess(static_cast<UINT>(-1));
  }
  g_reportingFatalError = true;
  FormatFatalReport(g_reportText, sizeof g_reportText, message, code);
  // A quit message already waiting (the start-up window destroyed on its way
  // to this report, say) would end the box's own message loop at once and
  // the user would never see the report. The program ends here anyway.
  MSG quit;
  while (PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
  }
#if FM_TEST_SEAMS
  RecordFatalReport(g_reportText, code);
  if (!FM_SEAM_INJECTED("fatal-no-box"))
#endif
    MessageBoxA(nullptr, g_reportText, kFatalReportCaption, MB_OK | MB_ICONERROR);
  g_exitHook = nullptr;
  EndProgram(-1);
}

void ReportFatalError(const Text& message, int32_t code) { ReportFatalErrorBytes(message.Str(), code); }
