#include "app/dll_table.h"

#include <windows.h>

#include <stdlib.h>
#include <string.h>

#include "app/program_directory.h"
#include "app/program_end.h"
#include "app/seams.h"

namespace {

#define FM_DLL_ROW_INIT(row, name, library, function, count) {library, function, nullptr, nullptr},
DllCommandRow g_dllCommandTable[kDllRowCount] = {FM_DLL_COMMANDS(FM_DLL_ROW_INIT)};
#undef FM_DLL_ROW_INIT

HMODULE LoadOnce(const char* path) {
  HMODULE library = LoadLibraryA(path);
  if (library) FM_SEAM_RECORD("load-library %s", path);
  return library;
}

// A name with a drive (or any ":") is taken as it is. Otherwise the program
// directory comes first, so that a library the program writes beside itself
// wins over any other copy; only then does the system's own search order
// get the bare name.
HMODULE LoadRowLibrary(const char* libraryFile, const char* programDirectory) {
  if (strchr(libraryFile, ':')) return LoadOnce(libraryFile);
  Text besideProgram(programDirectory);
  besideProgram.Append("\\");
  besideProgram.Append(libraryFile);
  HMODULE library = LoadOnce(besideProgram.Str());
  if (library) return library;
  return LoadOnce(libraryFile);
}

// "#n" names the export with ordinal n (low 16 bits); anything else is a name.
FARPROC LookUp(HMODULE library, const char* functionName) {
  if (functionName[0] == '#') {
    long long ordinal = strtoll(functionName + 1, nullptr, 10);
    return GetProcAddress(library, MAKEINTRESOURCEA(static_cast<WORD>(ordinal & 0xFFFF)));
  }
  return GetProcAddress(library, functionName);
}

void Release(DllCommandRow& row) {
  FreeLibrary(static_cast<HMODULE>(row.library));
  FM_SEAM_RECORD("free-library %s", row.libraryFile);
  row.library = nullptr;
  row.address = nullptr;
}

// 无法找到指定DLL库文件“<library>”中的输出命令“<function>”
[[noreturn]] void ReportMissingCommand(const DllCommandRow& row) {
  Text message("\xCE\xDE\xB7\xA8\xD5\xD2\xB5\xBD\xD6\xB8\xB6\xA8"
               "DLL"
               "\xBF\xE2\xCE\xC4\xBC\xFE\xA1\xB0");
  message.Append(row.libraryFile);
  message.Append("\xA1\xB1\xD6\xD0\xB5\xC4\xCA\xE4\xB3\xF6\xC3\xFC\xC1\xEE\xA1\xB0");
  message.Append(row.functionName);
  message.Append("\xA1\xB1");
  ReportFatalError(message, 0);
}

}  // namespace

void PrepareDllCommandTable() {
  for (DllCommandRow& row : g_dllCommandTable) {
    row.address = nullptr;
    row.library = nullptr;
  }
}

void* ResolveDllCommandRow(DllCommandRow& row, const char* programDirectory) {
  if (row.address) return row.address;
  HMODULE library = LoadRowLibrary(row.libraryFile, programDirectory ? programDirectory : "");
  void* address = nullptr;
  if (library) address = reinterpret_cast<void*>(LookUp(library, row.functionName));
  if (address) {
    row.address = address;
    row.library = library;
    return address;
  }
  // The library goes before the report, so the report's own shut-down
  // does not find a half-resolved row.
  if (library) {
    row.library = library;
    Release(row);
  }
  ReportMissingCommand(row);
}

void* ResolveDllCommand(DllRow row) {
  return ResolveDllCommandRow(g_dllCommandTable[row], ProgramDirectory());
}

void ReleaseDllCommandRows(DllCommandRow* rows, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    if (rows[i].library) Release(rows[i]);
  }
}

void ReleaseDllCommandTable() { ReleaseDllCommandRows(g_dllCommandTable, kDllRowCount); }

#if defined(__i386__)
// The stub (dll_call_i686.cpp): returns the function's result and sets
// *unbalanced when the stack pointer after the call differs from the one
// noted before the first push.
extern "C" DllWord FmCallStdcall(void* function, const DllWord* words, size_t count, int* unbalanced);

DllWord CallStdcallChecked(void* function, const DllWord* words, size_t count) {
  int unbalanced = 0;
  DllWord result = FmCallStdcall(function, words, count, &unbalanced);
  if (unbalanced) {
    // 调用DLL命令后发现堆栈错误
    ReportFatalError(Text("\xB5\xF7\xD3\xC3"
                          "DLL"
                          "\xC3\xFC\xC1\xEE\xBA\xF3\xB7\xA2\xCF\xD6\xB6\xD1\xD5\xBB\xB4\xED\xCE\xF3"),
                     6);
  }
  return result;
}
#endif
