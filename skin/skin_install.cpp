#include "skin/skin_install.h"

#include <windows.h>

#include "app/byteset.h"
#include "app/program_directory.h"
#include "app/seams.h"
#include "app/text.h"
#include "resources/embedded_images.h"

#if FM_TEST_SEAMS
#include <stdlib.h>
#endif

namespace {

const char kEngineFileName[] = "\\FmSkin.dll";
// The engine is written under this name first and renamed only when complete.
const char kPartialFileName[] = "\\FmSkin.dll.part";

Text PathIn(const char* directory, const char* fileName) {
  Text path(directory);
  path.Append(fileName);
  return path;
}

// Any entry the file system finds under the exact path counts: a hidden
// file, a file of any content, a directory.
bool EntryExists(const Text& path) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(path.Str(), &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  FindClose(search);
  return true;
}

bool WriteAll(HANDLE file, const unsigned char* bytes, int32_t count) {
#if FM_TEST_SEAMS
  // "fail-engine-write=N": the disk takes N bytes, then the write fails.
  if (const char* limit = SeamValue("fail-engine-write")) {
    long taken = strtol(limit, nullptr, 10);
    if (taken < count) {
      DWORD written = 0;
      if (taken > 0) WriteFile(file, bytes, static_cast<DWORD>(taken), &written, nullptr);
      return false;
    }
  }
#endif
  while (count > 0) {
    DWORD written = 0;
    if (!WriteFile(file, bytes, static_cast<DWORD>(count), &written, nullptr) || written == 0) {
      return false;
    }
    bytes += written;
    count -= static_cast<int32_t>(written);
  }
  return true;
}

// A truncated engine file would count as present at every later start and
// fail to load each time, until someone found and removed a hidden file. So
// the engine goes to a temporary name in the same directory and is moved into
// place only when every byte has reached the disk; otherwise the temporary
// file is removed and the directory is as it was.
void WriteEngineFile(const char* directory) {
  Text partial = PathIn(directory, kPartialFileName);
  HANDLE file = CreateFileA(partial.Str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  bool complete = WriteAll(file, ByteSetImageBytes(SKIN_ENGINE_IMAGE),
                           ByteSetImageCount(SKIN_ENGINE_IMAGE)) &&
                  FlushFileBuffers(file);
  if (!CloseHandle(file)) complete = false;
  if (complete) {
    // An entry of the final name that appeared since the existence test is
    // replaced, as creating the file in place would have done.
    Text path = PathIn(directory, kEngineFileName);
    complete = MoveFileExA(partial.Str(), path.Str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
    path.Release();
  }
  if (!complete) DeleteFileA(partial.Str());
}

}  // namespace

void InstallSkinEngineInto(const char* directory) {
  Text path = PathIn(directory, kEngineFileName);
  bool present = EntryExists(path);
  path.Release();
  if (present) return;

  WriteEngineFile(directory);

  // Hidden and nothing else: this also clears the archive mark a new file
  // gets. Nothing depends on the result; a failed write leaves no file here.
  path = PathIn(directory, kEngineFileName);
  SetFileAttributesA(path.Str(), FILE_ATTRIBUTE_HIDDEN);
  path.Release();
}

void InstallSkinEngine() { InstallSkinEngineInto(ProgramDirectory()); }
