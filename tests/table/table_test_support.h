// Shared by the function table's Windows tests: where the test libraries
// are, the expected fatal report, and running this very test program again
// as a child process for the cases that end the process.
#pragma once
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

namespace table_test {

inline std::string ExeDirectory() {
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string full(path, n);
  return full.substr(0, full.rfind('\\'));
}

inline std::string ExePath() {
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  return std::string(path, n);
}

// The folder holding copy 1 or 2 of fmtablelib.dll.
inline std::string CopyDirectory(int copy) { return ExeDirectory() + "\\dlls\\copy" + std::to_string(copy); }

inline std::string ReadWholeFile(const std::string& path) {
  std::string content;
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return content;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) content.append(buffer, n);
  fclose(f);
  return content;
}

inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

// Position of the first line that starts with `prefix`, or -1.
inline int FindLine(const std::vector<std::string>& lines, const std::string& prefix) {
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].compare(0, prefix.size(), prefix) == 0) return static_cast<int>(i);
  }
  return -1;
}

inline std::string Hex(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string hex;
  for (unsigned char c : bytes) {
    hex += digits[c >> 4];
    hex += digits[c & 15];
  }
  return hex;
}

// The text of the fatal report as the user reads it (code page 936).
inline std::string FatalReportText(int code, const std::string& message) {
  std::string text = "\xD4\xCB\xD0\xD0\xCA\xB1\xB3\xF6\xB4\xED!\r\n\r\n";  // 运行时出错!
  if (code != 0) text += "\xB4\xED\xCE\xF3\xB4\xFA\xC2\xEB\xA3\xBA" + std::to_string(code) + "\r\n\r\n";  // 错误代码：
  if (!message.empty()) text += "\xB4\xED\xCE\xF3\xD0\xC5\xCF\xA2\xA3\xBA" + message + "\r\n";  // 错误信息：
  return text;
}

// 无法找到指定DLL库文件“<library>”中的输出命令“<function>”
inline std::string MissingCommandMessage(const std::string& library, const std::string& function) {
  return "\xCE\xDE\xB7\xA8\xD5\xD2\xB5\xBD\xD6\xB8\xB6\xA8"
         "DLL"
         "\xBF\xE2\xCE\xC4\xBC\xFE\xA1\xB0" +
         library + "\xA1\xB1\xD6\xD0\xB5\xC4\xCA\xE4\xB3\xF6\xC3\xFC\xC1\xEE\xA1\xB0" + function + "\xA1\xB1";
}

// 调用DLL命令后发现堆栈错误
inline const char kStackErrorMessage[] =
    "\xB5\xF7\xD3\xC3"
    "DLL"
    "\xC3\xFC\xC1\xEE\xBA\xF3\xB7\xA2\xCF\xD6\xB6\xD1\xD5\xBB\xB4\xED\xCE\xF3";

struct ChildRun {
  bool started = false;
  bool ended = false;
  DWORD exitCode = 0;
  std::vector<std::string> log;  // the seam log, one entry per line
};

constexpr char kChildSwitch[] = "--fm-child=";

// Runs this test program again with "--fm-child=<name>", the seam log
// pointed at a fresh file and the fatal report's box switched off, and waits
// (with a generous deadline: a 32-bit child is slow to start here).
inline ChildRun RunChild(const std::string& name) {
  ChildRun run;
  static int serial = 0;
  std::string logPath = ExeDirectory() + "\\child-" + std::to_string(GetCurrentProcessId()) + "-" +
                        std::to_string(++serial) + ".log";
  DeleteFileA(logPath.c_str());
  SetEnvironmentVariableA("FM_SEAM_LOG", logPath.c_str());
  SetEnvironmentVariableA("FM_SEAM_INJECT", "fatal-no-box");
  std::string commandLine = "\"" + ExePath() + "\" " + kChildSwitch + name;
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  run.started = CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                               &process) != FALSE;
  SetEnvironmentVariableA("FM_SEAM_LOG", nullptr);
  SetEnvironmentVariableA("FM_SEAM_INJECT", nullptr);
  if (!run.started) return run;
  run.ended = WaitForSingleObject(process.hProcess, 10 * 60 * 1000) == WAIT_OBJECT_0;
  if (!run.ended) TerminateProcess(process.hProcess, 1);
  GetExitCodeProcess(process.hProcess, &run.exitCode);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  run.log = Lines(ReadWholeFile(logPath));
  DeleteFileA(logPath.c_str());
  return run;
}

// What a child case returns when the process was expected to end inside it.
constexpr int kChildReturnedNormally = 99;

}  // namespace table_test
