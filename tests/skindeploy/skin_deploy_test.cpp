// The embedded engine and skins, the deployment of the engine file, and the
// call that hands a skin to the engine.
#include <windows.h>

#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "app/byteset.h"
#include "resources/embedded_images.h"
#include "skin/skin_apply.h"
#include "skin/skin_install.h"
#include "tests/skindeploy/built_files.h"
#include "tests/skindeploy/recording_engine.h"

namespace {

std::vector<unsigned char> ReadWholeFile(const std::string& path, bool* ok) {
  std::vector<unsigned char> bytes;
  *ok = false;
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return bytes;
  unsigned char buffer[65536];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
  *ok = !ferror(f);
  fclose(f);
  return bytes;
}

std::vector<unsigned char> ImageBytes(const unsigned char* image) {
  const unsigned char* bytes = ByteSetImageBytes(image);
  return std::vector<unsigned char>(bytes, bytes + ByteSetImageCount(image));
}

int32_t ImageDimensions(const unsigned char* image) {
  int32_t dimensions;
  memcpy(&dimensions, image, sizeof dimensions);
  return dimensions;
}

// --- The embedded images are the files of this build ------------------------

TEST(EmbeddedImages, EngineAndEverySkinAreTheBuiltFilesWithTheirHeader) {
  struct Case {
    std::string name;
    const unsigned char* image;
    std::string file;
  };
  std::vector<Case> cases;
  cases.push_back({"engine", SKIN_ENGINE_IMAGE, kBuiltEngineFile});
  ASSERT_EQ(sizeof kBuiltSkinFiles / sizeof kBuiltSkinFiles[0], static_cast<size_t>(kSkinCount));
  for (int n = 1; n <= kSkinCount; ++n) {
    cases.push_back({"skin " + std::to_string(n), SkinCatalogue[n - 1], kBuiltSkinFiles[n - 1]});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name + " (" + c.file + ")");
    ASSERT_NE(c.image, nullptr);
    bool ok;
    std::vector<unsigned char> file = ReadWholeFile(c.file, &ok);
    ASSERT_TRUE(ok) << "cannot read the built file";
    EXPECT_EQ(reinterpret_cast<uintptr_t>(c.image) % 4, 0u) << "image not 4-byte aligned";
    EXPECT_EQ(ImageDimensions(c.image), 1);
    EXPECT_EQ(ByteSetImageCount(c.image), static_cast<int32_t>(file.size()));
    EXPECT_TRUE(ImageBytes(c.image) == file) << "embedded bytes differ from the built file";
  }
  // The engine is a Windows library, the skins are in the engine's format.
  EXPECT_EQ(memcmp(ByteSetImageBytes(SKIN_ENGINE_IMAGE), "MZ", 2), 0);
  for (int n = 1; n <= kSkinCount; ++n) {
    EXPECT_EQ(memcmp(ByteSetImageBytes(SkinCatalogue[n - 1]), ".FMS", 4), 0) << "skin " << n;
  }
}

// --- Deployment of the engine file -------------------------------------------

bool RunningUnderWine() {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

// Attributes a freshly written file must have: hidden only. Wine reports the
// archive mark on every regular file whatever was set, so there it is ignored.
DWORD Significant(DWORD attributes) {
  return RunningUnderWine() ? attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE) : attributes;
}

// A scratch directory of its own per test, removed with whatever it holds.
class ScratchDirectory {
 public:
  ScratchDirectory() {
    static int counter = 0;
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    char name[MAX_PATH + 64];
    snprintf(name, sizeof name, "%sfm-skindeploy-%lu-%d", temp, GetCurrentProcessId(), ++counter);
    path_ = name;
    RemoveTree(path_);
    CreateDirectoryA(path_.c_str(), nullptr);
  }
  ~ScratchDirectory() { RemoveTree(path_); }
  const char* Path() const { return path_.c_str(); }
  std::string File(const char* name) const { return path_ + "\\" + name; }

  // Names of the entries in the directory, "." and ".." left out.
  std::vector<std::string> Entries() const {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((path_ + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
      if (strcmp(found.cFileName, ".") && strcmp(found.cFileName, "..")) names.push_back(found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
  }

 private:
  static void RemoveTree(const std::string& path) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
      do {
        if (!strcmp(found.cFileName, ".") || !strcmp(found.cFileName, "..")) continue;
        std::string entry = path + "\\" + found.cFileName;
        SetFileAttributesA(entry.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
          RemoveTree(entry);
        } else {
          DeleteFileA(entry.c_str());
        }
      } while (FindNextFileA(search, &found));
      FindClose(search);
    }
    RemoveDirectoryA(path.c_str());
  }

  std::string path_;
};

bool WriteFileBytes(const std::string& path, const std::vector<unsigned char>& bytes) {
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return fclose(f) == 0 && ok;
}

std::vector<unsigned char> Bytes(const char* text) {
  return std::vector<unsigned char>(text, text + strlen(text));
}

// Sets or clears FM_SEAM_INJECT for the code under test (it reads the C
// runtime's environment).
void InjectSeams(const char* list) {
  std::string setting = std::string("FM_SEAM_INJECT=") + list;
  _putenv(setting.c_str());
}

void ExpectFreshEngineFile(const ScratchDirectory& dir) {
  std::string engine = dir.File("FmSkin.dll");
  bool ok;
  std::vector<unsigned char> written = ReadWholeFile(engine, &ok);
  ASSERT_TRUE(ok) << "no readable FmSkin.dll";
  EXPECT_TRUE(written == ImageBytes(SKIN_ENGINE_IMAGE)) << "FmSkin.dll is not the embedded engine ("
                                                        << written.size() << " bytes)";
  DWORD attributes = GetFileAttributesA(engine.c_str());
  ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(Significant(attributes), static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN))
      << "attributes 0x" << std::hex << attributes;
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"FmSkin.dll"}) << "something else was left behind";
}

TEST(InstallSkinEngine, WritesTheEngineHiddenIntoADirectoryWithoutIt) {
  ScratchDirectory dir;
  InstallSkinEngineInto(dir.Path());
  ExpectFreshEngineFile(dir);
}

TEST(InstallSkinEngine, AnyExistingEntryOfThatNameIsLeftExactlyAsItIs) {
  const std::vector<unsigned char> engine = ImageBytes(SKIN_ENGINE_IMAGE);
  struct Case {
    const char* name;
    bool directory;
    std::vector<unsigned char> content;
    DWORD attributes;
  };
  const Case cases[] = {
      {"file of other content", false, Bytes("not a library at all"), FILE_ATTRIBUTE_NORMAL},
      {"empty file", false, {}, FILE_ATTRIBUTE_NORMAL},
      {"engine without the hidden mark", false, engine, FILE_ATTRIBUTE_NORMAL},
      {"read-only system file", false, Bytes("x"), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM},
      {"directory", true, {}, FILE_ATTRIBUTE_DIRECTORY},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchDirectory dir;
    std::string path = dir.File("FmSkin.dll");
    if (c.directory) {
      ASSERT_TRUE(CreateDirectoryA(path.c_str(), nullptr));
    } else {
      ASSERT_TRUE(WriteFileBytes(path, c.content));
      ASSERT_TRUE(SetFileAttributesA(path.c_str(), c.attributes));
    }
    DWORD before = GetFileAttributesA(path.c_str());

    InstallSkinEngineInto(dir.Path());

    EXPECT_EQ(GetFileAttributesA(path.c_str()), before) << "attributes changed";
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"FmSkin.dll"});
    if (!c.directory) {
      bool ok;
      EXPECT_TRUE(ReadWholeFile(path, &ok) == c.content) << "content changed";
    }
  }
}

// A write that stops part-way (a full disk, a failing device) must leave no
// truncated engine behind, or every later start would take it for the real
// one and fail to load it; nor a temporary file.
TEST(InstallSkinEngine, AFailedWriteLeavesNothingAndTheNextStartWritesTheEngine) {
  const int32_t count = ByteSetImageCount(SKIN_ENGINE_IMAGE);
  const std::string takes[] = {"0", "1", std::to_string(count / 2), std::to_string(count - 1)};
  for (const std::string& taken : takes) {
    SCOPED_TRACE("disk takes " + taken + " of " + std::to_string(count) + " bytes");
    ScratchDirectory dir;
    InjectSeams(("fail-engine-write=" + taken).c_str());
    InstallSkinEngineInto(dir.Path());
    InjectSeams("");
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{}) << "a failed write left files behind";

    InstallSkinEngineInto(dir.Path());
    ExpectFreshEngineFile(dir);
  }
}

TEST(InstallSkinEngine, APartialFileLeftByAnEarlierRunIsReplaced) {
  ScratchDirectory dir;
  ASSERT_TRUE(WriteFileBytes(dir.File("FmSkin.dll.part"), Bytes("MZ cut short")));
  InstallSkinEngineInto(dir.Path());
  ExpectFreshEngineFile(dir);
}

TEST(InstallSkinEngine, ADirectoryThatCannotBeWrittenIsNotAnError) {
  ScratchDirectory dir;
  std::string missing = dir.File("missing");
  InstallSkinEngineInto(missing.c_str());
  EXPECT_EQ(GetFileAttributesA((missing + "\\FmSkin.dll").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{});
}

// --- Handing a skin to the engine ----------------------------------------------
// This test program's directory holds the recording engine as FmSkin.dll, so
// ApplySkin finds an engine present and loads that one.

const RecordedAttach* LastAttach(int expectedCount) {
  HMODULE engine = GetModuleHandleA("FmSkin.dll");
  if (!engine) {
    ADD_FAILURE() << "the engine was not loaded";
    return nullptr;
  }
  auto count = reinterpret_cast<RecordedAttachCountFunction>(
      reinterpret_cast<void*>(GetProcAddress(engine, "RecordedAttachCount")));
  auto call = reinterpret_cast<RecordedAttachFunction>(
      reinterpret_cast<void*>(GetProcAddress(engine, "RecordedAttachCall")));
  if (!count || !call) {
    ADD_FAILURE() << "the loaded FmSkin.dll is not the recording engine";
    return nullptr;
  }
  EXPECT_EQ(count(), expectedCount) << "FmSkin_Attach calls";
  return call(count() - 1);
}

TEST(ApplySkin, HandsTheEngineACopyOfTheNumberedSkinOrNothing) {
  struct Case {
    int32_t number;
    bool hasSkin;
  };
  const Case cases[] = {{4, true}, {1, true}, {58, true}, {0, false}, {59, false},
                        {-1, false}, {INT32_MIN, false}, {INT32_MAX, false}};
  int calls = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE("ApplySkin(" + std::to_string(c.number) + ")");
    ApplySkin(c.number);
    const RecordedAttach* call = LastAttach(++calls);
    ASSERT_NE(call, nullptr);
    EXPECT_NE(call->text, 0u) << "no text pointer";
    EXPECT_STREQ(call->textCopy, "") << "the text is not empty";
    EXPECT_EQ(call->zeros[0], 0u);
    EXPECT_EQ(call->zeros[1], 0u);
    EXPECT_EQ(call->zeros[2], 0u);
    if (!c.hasSkin) {
      EXPECT_EQ(call->skin, 0u);
      EXPECT_EQ(call->length, 0u);
      continue;
    }
    const unsigned char* entry = SkinCatalogue[c.number - 1];
    const int32_t count = ByteSetImageCount(entry);
    ASSERT_NE(call->skin, 0u);
    EXPECT_EQ(call->length, static_cast<uintptr_t>(count));
    // A heap copy with its header, not the constant image itself.
    EXPECT_NE(call->skin, reinterpret_cast<uintptr_t>(ByteSetImageBytes(entry)));
    EXPECT_EQ(memcmp(call->header, entry, 8), 0) << "the 8 bytes before the skin are not its header";
    ASSERT_NE(call->bytes, nullptr);
    EXPECT_EQ(memcmp(call->bytes, ByteSetImageBytes(entry), static_cast<size_t>(count)), 0)
        << "the engine was handed other bytes than skin " << c.number;
  }
}

}  // namespace
