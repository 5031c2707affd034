// Finding the program directory in the executable's path, with the path read
// as double-byte text in code page 936.
#include "app/program_path.h"

#include <string.h>

#include <string>

#include <gtest/gtest.h>

namespace {

// Lead bytes of code page 936.
bool Gbk(unsigned char byte) { return byte >= 0x81 && byte <= 0xFE; }
bool SingleByte(unsigned char) { return false; }

std::string DirectoryOf(const std::string& path, LeadBytePredicate lead = Gbk) {
  return path.substr(0, ProgramDirectoryLength(path.data(), path.size(), lead));
}

TEST(ProgramPathTest, DirectoryIsEverythingBeforeTheLastSeparator) {
  struct Case {
    const char* name;
    std::string path, directory;
  } cases[] = {
      {"ordinary", "C:\\Games\\FM\\FenlowMarrowick2.exe", "C:\\Games\\FM"},
      {"drive root", "C:\\FenlowMarrowick2.exe", "C:"},
      {"network share", "\\\\host\\share\\p.exe", "\\\\host\\share"},
      // A double-byte character whose second byte is 5C, the code of the
      // backslash: the classic trap of scanning such a path byte by byte.
      {"trail byte equal to backslash", "C:\\\xD7\x5C\\p.exe", "C:\\\xD7\x5C"},
      {"trail byte backslash in file name", "C:\\dir\\\xD7\x5Cp.exe", "C:\\dir"},
      {"Chinese directory", "D:\\\xD3\xCE\xCF\xB7\\\xD0\xDE\xB8\xC4\xC6\xF7.exe", "D:\\\xD3\xCE\xCF\xB7"},
      {"no separator", "p.exe", ""},
      {"empty", "", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(DirectoryOf(c.path), c.directory) << c.name;
}

TEST(ProgramPathTest, SingleByteCodePageTakesEveryBackslash) {
  EXPECT_EQ(DirectoryOf("C:\\\xD7\x5C\\p.exe", SingleByte), "C:\\\xD7\\");
  EXPECT_EQ(DirectoryOf("C:\\dir\\\xD7\x5Cp.exe", SingleByte), "C:\\dir\\\xD7");
}

TEST(ProgramPathTest, ReadsOnlyTheBytesItIsGiven) {
  // A path the system cut at the buffer's size comes without a terminator:
  // the bytes after the count must not be looked at, whatever they are.
  const char cut[] = {'C', ':', '\\', 'a', '\\', 'b', 'c', '\\', 'X', 'Y'};
  EXPECT_EQ(ProgramDirectoryLength(cut, 7, Gbk), 4u);  // "C:\a\bc" -> "C:\a"
  // A lead byte as the last byte given: its partner lies beyond the count.
  const char lead[] = {'C', ':', '\\', 'd', '\\', '\xD7', '\\'};
  EXPECT_EQ(ProgramDirectoryLength(lead, 6, Gbk), 4u);
  // A zero byte ends the path even when the count goes on.
  const char zero[] = {'C', ':', '\\', 'd', 0, '\\', 'x'};
  EXPECT_EQ(ProgramDirectoryLength(zero, sizeof zero, Gbk), 2u);
}

}  // namespace
