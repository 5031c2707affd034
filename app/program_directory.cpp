#include "app/program_directory.h"

#include <windows.h>

#include "app/program_path.h"

namespace {

char g_programDirectory[MAX_PATH + 1];
bool g_programDirectoryTaken = false;

bool IsAnsiLeadByte(unsigned char byte) { return IsDBCSLeadByte(byte) != FALSE; }

}  // namespace

const char* ProgramDirectory() {
  if (!g_programDirectoryTaken) {
    g_programDirectoryTaken = true;
    char path[MAX_PATH + 1];
    // At most MAX_PATH bytes. A longer path comes back cut and, on older
    // systems, without a terminator; only the count the call returns is read.
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length > MAX_PATH) length = MAX_PATH;
    size_t directory = ProgramDirectoryLength(path, length, IsAnsiLeadByte);
    for (size_t i = 0; i < directory; ++i) g_programDirectory[i] = path[i];
    g_programDirectory[directory] = 0;
  }
  return g_programDirectory;
}
