// The resources of the shipped executable: the icon group with its twelve
// images, the version information and the manifest.
#include <windows.h>

#include <string.h>

#include <string>

#include <gtest/gtest.h>

namespace {

#pragma pack(push, 2)
struct GroupIconEntry {  // one entry of an RT_GROUP_ICON resource
  BYTE width, height, colours, reserved;
  WORD planes, bits;
  DWORD bytes;
  WORD id;
};
#pragma pack(pop)

class ShippedResourcesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    module_ = LoadLibraryExA(FM_SHIPPED_EXE, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(module_, nullptr) << FM_SHIPPED_EXE << " error " << GetLastError();
  }
  void TearDown() override {
    if (module_) FreeLibrary(module_);
  }

  std::string Resource(LPCSTR name, LPCSTR type) {
    HRSRC found = FindResourceA(module_, name, type);
    if (!found) return std::string();
    HGLOBAL loaded = LoadResource(module_, found);
    const char* bytes = static_cast<const char*>(LockResource(loaded));
    return std::string(bytes, SizeofResource(module_, found));
  }

  HMODULE module_ = nullptr;
};

TEST_F(ShippedResourcesTest, IconGroupHoldsTheTwelveImages) {
  std::string group = Resource("DEFAULT_ICON", MAKEINTRESOURCEA(14) /* RT_GROUP_ICON */);
  ASSERT_GE(group.size(), 6u) << "no icon group DEFAULT_ICON";
  WORD count;
  memcpy(&count, group.data() + 4, 2);
  ASSERT_EQ(count, 12);
  ASSERT_EQ(group.size(), 6u + 14u * count);
  struct Want {
    int size, bits;
    bool found;
  } wants[] = {{16, 4},  {32, 4},  {48, 4},  {16, 8},   {32, 8},   {48, 8},
               {128, 8}, {16, 32}, {32, 32}, {48, 32}, {128, 32}, {256, 32}};
  for (int i = 0; i < count; ++i) {
    GroupIconEntry e;
    memcpy(&e, group.data() + 6 + 14 * i, sizeof e);
    int size = e.width ? e.width : 256;
    std::string image = Resource(MAKEINTRESOURCEA(e.id), MAKEINTRESOURCEA(3) /* RT_ICON */);
    ASSERT_EQ(image.size(), e.bytes) << "entry " << i;
    if (size == 256) {
      EXPECT_EQ(image.substr(0, 8), std::string("\x89PNG\r\n\x1A\n", 8)) << "the 256-pixel image is stored as PNG";
    } else {
      BITMAPINFOHEADER header;
      ASSERT_GE(image.size(), sizeof header);
      memcpy(&header, image.data(), sizeof header);
      EXPECT_EQ(header.biWidth, size) << "entry " << i;
      EXPECT_EQ(header.biHeight, 2 * size) << "entry " << i;
      EXPECT_EQ(header.biBitCount, e.bits) << "entry " << i;
    }
    for (Want& w : wants) {
      if (w.size == size && w.bits == e.bits) {
        EXPECT_FALSE(w.found) << size << " px " << e.bits << " bit twice";
        w.found = true;
      }
    }
  }
  for (const Want& w : wants) EXPECT_TRUE(w.found) << w.size << " px at " << w.bits << " bit is missing";
}

TEST_F(ShippedResourcesTest, IconsLoadAtEverySize) {
  for (int size : {16, 32, 48, 128, 256}) {
    HICON icon = static_cast<HICON>(LoadImageA(module_, "DEFAULT_ICON", IMAGE_ICON, size, size, 0));
    EXPECT_NE(icon, nullptr) << size;
    if (!icon) continue;
    ICONINFO info;
    ASSERT_TRUE(GetIconInfo(icon, &info));
    BITMAP bitmap;
    GetObjectA(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
    EXPECT_EQ(bitmap.bmWidth, size);
    if (info.hbmColor) DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    DestroyIcon(icon);
  }
}

TEST_F(ShippedResourcesTest, VersionNamesTheProductAndVersionOnePointZero) {
  char path[MAX_PATH] = FM_SHIPPED_EXE;
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeA(path, &ignored);
  ASSERT_GT(size, 0u);
  std::string block(size, '\0');
  ASSERT_TRUE(GetFileVersionInfoA(path, 0, size, &block[0]));
  struct {
    const char* key;
    const char* value;
  } cases[] = {{"\\StringFileInfo\\080403a8\\ProductName", "FenlowMarrowick2"},
               {"\\StringFileInfo\\080403a8\\ProductVersion", "1.0"},
               {"\\StringFileInfo\\080403a8\\FileVersion", "1.0"}};
  for (const auto& c : cases) {
    char* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), c.key, reinterpret_cast<void**>(&value), &length)) << c.key;
    EXPECT_STREQ(value, c.value) << c.key;
  }
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwProductVersionLS, 0u);
}

TEST_F(ShippedResourcesTest, ManifestRunsAsInvokerWithoutDpiAwarenessOrCommonControlsSix) {
  std::string manifest = Resource(MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24) /* RT_MANIFEST */);
  ASSERT_FALSE(manifest.empty()) << "no manifest";
  EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos);
  // Only the comment may name these; no element or attribute does.
  std::string elements;
  for (size_t at = 0; at < manifest.size();) {
    size_t comment = manifest.find("<!--", at);
    elements += manifest.substr(at, comment == std::string::npos ? std::string::npos : comment - at);
    if (comment == std::string::npos) break;
    size_t end = manifest.find("-->", comment);
    at = end == std::string::npos ? manifest.size() : end + 3;
  }
  for (const char* absent : {"dpiAware", "dpiAwareness", "Common-Controls", "<dependency"}) {
    EXPECT_EQ(elements.find(absent), std::string::npos) << absent;
  }
}

}  // namespace
