// The library function table: first-call lookup, where libraries are looked
// for, one library reference per row, and the fatal report when a row
// cannot be resolved. Uses the test libraries built beside this program
// (dlls/copy1 and dlls/copy2, both named fmtablelib.dll).
#include <windows.h>

#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

#include "app/dll_table.h"
#include "app/seams.h"
#include "table_test_support.h"

using namespace table_test;

namespace {

const char kLibrary[] = "fmtablelib.dll";

bool Loaded(const char* module) { return GetModuleHandleA(module) != nullptr; }

std::string ModulePath(void* module) {
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(static_cast<HMODULE>(module), path, MAX_PATH);
  return std::string(path, n);
}

bool SamePath(const std::string& a, const std::string& b) { return _stricmp(a.c_str(), b.c_str()) == 0; }

uintptr_t CallWhichCopy(void* address) { return CallDllFunction<0>(address); }

// A folder of its own beside the test program, standing in for the program
// directory; removed again with whatever was copied into it.
class ScratchDirectory {
 public:
  ScratchDirectory() {
    path_ = ExeDirectory() + "\\scratch-" + std::to_string(GetCurrentProcessId()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name();
    CreateDirectoryA(path_.c_str(), nullptr);
  }
  ~ScratchDirectory() {
    for (const std::string& file : files_) DeleteFileA(file.c_str());
    RemoveDirectoryA(path_.c_str());
  }
  // Copies fmtablelib.dll of the given copy into the folder.
  std::string Put(int copy) {
    std::string target = path_ + "\\" + kLibrary;
    std::string source = CopyDirectory(copy) + "\\" + kLibrary;
    EXPECT_TRUE(CopyFileA(source.c_str(), target.c_str(), FALSE)) << "copying " << source;
    files_.push_back(target);
    return target;
  }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
  std::vector<std::string> files_;
};

// Rows of a table of the test's own; released at the end of every test so
// no test leaves a library loaded for the next.
class TestTable : public ::testing::Test {
 protected:
  void TearDown() override {
    ReleaseDllCommandRows(rows_, 2);
    SetDllDirectoryA(nullptr);
  }
  DllCommandRow rows_[2] = {{kLibrary, "WhichCopy", nullptr, nullptr}, {kLibrary, "WhichCopy", nullptr, nullptr}};
};

TEST_F(TestTable, NothingIsLoadedBeforeARowsFirstCall) {
  ScratchDirectory directory;
  directory.Put(1);
  EXPECT_FALSE(Loaded(kLibrary)) << "before the first call";
  EXPECT_EQ(rows_[0].address, nullptr);
  EXPECT_EQ(rows_[0].library, nullptr);

  void* address = ResolveDllCommandRow(rows_[0], directory.Path().c_str());
  ASSERT_NE(address, nullptr);
  EXPECT_TRUE(Loaded(kLibrary)) << "after the first call";
  EXPECT_EQ(rows_[0].address, address);
  EXPECT_EQ(rows_[0].library, static_cast<void*>(GetModuleHandleA(kLibrary)));
  EXPECT_EQ(CallWhichCopy(address), 1u);
  // The other row, naming the same library, has not been touched.
  EXPECT_EQ(rows_[1].address, nullptr);
  EXPECT_EQ(rows_[1].library, nullptr);
}

TEST_F(TestTable, LibraryWrittenAfterStartUpIsFound) {
  ScratchDirectory directory;  // empty when the process started
  std::string written = directory.Put(2);
  void* address = ResolveDllCommandRow(rows_[0], directory.Path().c_str());
  EXPECT_EQ(CallWhichCopy(address), 2u);
  EXPECT_TRUE(SamePath(ModulePath(rows_[0].library), written)) << ModulePath(rows_[0].library);
}

TEST_F(TestTable, ProgramDirectoryComesBeforeTheSearchPath) {
  // Copy 2 is on the system's search path, copy 1 in the program directory.
  ASSERT_TRUE(SetDllDirectoryA(CopyDirectory(2).c_str()));
  ScratchDirectory directory;
  std::string inProgramDirectory = directory.Put(1);
  void* address = ResolveDllCommandRow(rows_[0], directory.Path().c_str());
  EXPECT_EQ(CallWhichCopy(address), 1u);
  EXPECT_TRUE(SamePath(ModulePath(rows_[0].library), inProgramDirectory)) << ModulePath(rows_[0].library);
}

TEST_F(TestTable, BareNameUsesTheSearchPathWhenTheProgramDirectoryLacksIt) {
  ASSERT_TRUE(SetDllDirectoryA(CopyDirectory(2).c_str()));
  ScratchDirectory directory;  // stays empty
  void* address = ResolveDllCommandRow(rows_[0], directory.Path().c_str());
  EXPECT_EQ(CallWhichCopy(address), 2u);
}

TEST_F(TestTable, LaterCallsOfARowLoadNothing) {
  ScratchDirectory directory;
  directory.Put(1);
  void* first = ResolveDllCommandRow(rows_[0], directory.Path().c_str());
  void* library = rows_[0].library;
  // Were the row to load again, this reference would keep the library in
  // memory after the row's one release below.
  void* second = ResolveDllCommandRow(rows_[0], directory.Path().c_str());
  EXPECT_EQ(first, second);
  EXPECT_EQ(rows_[0].library, library);
  ReleaseDllCommandRows(rows_, 1);
  EXPECT_FALSE(Loaded(kLibrary)) << "a second load would have left a reference behind";
}

TEST_F(TestTable, EachRowHoldsItsOwnReference) {
  // A name with ":" is loaded as written.
  std::string path = CopyDirectory(1) + "\\" + kLibrary;
  rows_[0].libraryFile = path.c_str();
  rows_[1].libraryFile = path.c_str();
  rows_[1].functionName = "Sum2";
  ASSERT_NE(ResolveDllCommandRow(rows_[0], "Z:\\nowhere"), nullptr);
  ASSERT_NE(ResolveDllCommandRow(rows_[1], "Z:\\nowhere"), nullptr);
  EXPECT_EQ(rows_[0].library, rows_[1].library);

  ReleaseDllCommandRows(&rows_[0], 1);
  EXPECT_TRUE(Loaded(path.c_str())) << "the second row still holds the library";
  EXPECT_EQ(rows_[0].address, nullptr) << "a released row is unresolved again";
  EXPECT_NE(rows_[1].address, nullptr);
  ReleaseDllCommandRows(&rows_[1], 1);
  EXPECT_FALSE(Loaded(path.c_str())) << "both references released";
}

TEST_F(TestTable, OrdinalFormKeepsTheLow16Bits) {
  // table_lib_*.def gives WhichCopy the ordinal 7; 65543 is 7 + 65536.
  struct Case {
    const char* name;
    const char* function;
  } cases[] = {{"#7", "#7"}, {"#65543", "#65543"}};
  ScratchDirectory directory;
  directory.Put(1);
  for (const Case& c : cases) {
    DllCommandRow row = {kLibrary, c.function, nullptr, nullptr};
    void* address = ResolveDllCommandRow(row, directory.Path().c_str());
    EXPECT_EQ(address, reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(row.library), "WhichCopy")))
        << c.name;
    ReleaseDllCommandRows(&row, 1);
  }
}

TEST(DllCall, WordsArriveInOrderAndTheResultComesBackWhole) {
  DllCommandRow row = {kLibrary, "Combine8", nullptr, nullptr};
  void* address = ResolveDllCommandRow(row, CopyDirectory(1).c_str());
  uintptr_t expected = 0x12345678u ^ 0x5A5A5A5Au;
  EXPECT_EQ(CallDllFunction<8>(address, DllWord{1}, DllWord{2}, DllWord{3}, DllWord{4}, DllWord{5}, DllWord{6},
                               DllWord{7}, DllWord{8}),
            expected);
  ReleaseDllCommandRows(&row, 1);
  row.functionName = "Sum2";
  address = ResolveDllCommandRow(row, CopyDirectory(1).c_str());
  // All bits of the word, the top one included.
  EXPECT_EQ(CallDllFunction<2>(address, DllWord{0x80000000u}, DllWord{0x7FFFFFFFu}), DllWord{0xFFFFFFFFu});
  ReleaseDllCommandRows(&row, 1);
}

TEST(DllCall, ArgumentsBecomeWords) {
  Text text("abc");
  const char literal[] = "xyz";
  EXPECT_EQ(ToDllWord(text), reinterpret_cast<DllWord>(text.Str()));
  EXPECT_EQ(ToDllWord(literal), reinterpret_cast<DllWord>(literal));
  EXPECT_EQ(ToDllWord(nullptr), DllWord{0});
  EXPECT_EQ(ToDllWord(static_cast<uint16_t>(0xFFFF)), DllWord{0xFFFF}) << "unsigned stays unsigned";
  EXPECT_EQ(ToDllWord(-1), ~DllWord{0}) << "signed is sign-extended";
}

// The program's own table, on WinINet: each row loads the library for
// itself on its first call, later calls load nothing, and releasing the
// table lets the library go.
TEST(ProgramTable, EachWinInetRowLoadsOnItsOwnFirstCall) {
  std::string logPath = ExeDirectory() + "\\own-table-" + std::to_string(GetCurrentProcessId()) + ".log";
  DeleteFileA(logPath.c_str());
  _putenv_s("FM_SEAM_LOG", logPath.c_str());
  PrepareDllCommandTable();
  ASSERT_FALSE(Loaded("wininet.dll")) << "this test needs a process that has not loaded WinINet";

  void* open = ResolveDllCommand(kDllRowInternetOpenA);
  EXPECT_TRUE(Loaded("wininet.dll"));
  EXPECT_EQ(ResolveDllCommand(kDllRowInternetOpenA), open);
  void* connect = ResolveDllCommand(kDllRowInternetConnectA);
  EXPECT_EQ(open, reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("wininet.dll"), "InternetOpenA")));
  EXPECT_EQ(connect, reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("wininet.dll"), "InternetConnectA")));
  ResolveDllCommand(kDllRowInternetConnectA);
  ReleaseDllCommandTable();
  EXPECT_FALSE(Loaded("wininet.dll")) << "both rows' references released";

  _putenv_s("FM_SEAM_LOG", "");
  std::vector<std::string> log = Lines(ReadWholeFile(logPath));
  DeleteFileA(logPath.c_str());
  std::vector<std::string> expected = {"load-library wininet.dll", "load-library wininet.dll",
                                       "free-library wininet.dll", "free-library wininet.dll"};
  EXPECT_EQ(log, expected);
}

// --- Rows that cannot be resolved end the program ---------------------------

TEST(Unresolvable, LibraryLackingTheFunctionIsReleasedBeforeTheReport) {
  ChildRun run = RunChild("missing-function");
  ASSERT_TRUE(run.started);
  ASSERT_TRUE(run.ended);
  EXPECT_EQ(run.exitCode, 0xFFFFFFFFu) << "exit code -1";
  std::string path = CopyDirectory(1) + "\\" + kLibrary;
  int load = FindLine(run.log, "load-library " + path);
  int release = FindLine(run.log, "free-library " + path);
  int report = FindLine(run.log, "fatal-report ");
  ASSERT_GE(load, 0);
  ASSERT_GE(release, 0) << "the library was not released";
  ASSERT_GE(report, 0);
  EXPECT_LT(load, release);
  EXPECT_LT(release, report) << "released only after the report";
  EXPECT_EQ(run.log[report],
            "fatal-report code=0 text=" + Hex(FatalReportText(0, MissingCommandMessage(path, "NoSuchExport"))));
}

TEST(Unresolvable, MissingLibraryOfTheProgramsOwnTable) {
  // Row 0 names the skin engine, which is nowhere near this test program.
  // Row 1 was resolved first: its library goes on the fatal path too.
  ChildRun run = RunChild("missing-library");
  ASSERT_TRUE(run.started);
  ASSERT_TRUE(run.ended);
  EXPECT_EQ(run.exitCode, 0xFFFFFFFFu) << "exit code -1";
  int report = FindLine(run.log, "fatal-report ");
  ASSERT_GE(report, 0);
  EXPECT_EQ(run.log[report], "fatal-report code=0 text=" +
                                 Hex(FatalReportText(0, MissingCommandMessage("FmSkin.dll", "FmSkin_Attach"))));
  EXPECT_EQ(FindLine(run.log, "load-library FmSkin.dll"), -1);
  EXPECT_EQ(FindLine(run.log, "load-library " + ExeDirectory() + "\\FmSkin.dll"), -1);
  int wininetLoad = FindLine(run.log, "load-library wininet.dll");
  int wininetFree = FindLine(run.log, "free-library wininet.dll");
  EXPECT_GE(wininetLoad, 0);
  EXPECT_GT(wininetFree, report) << "the resolved row's library is released by the shut-down";
  EXPECT_EQ(FindLine(run.log, "returned"), -1) << "the call after the failed row ran";
}

int RunChildCase(const std::string& name) {
  if (name == "missing-function") {
    std::string path = CopyDirectory(1) + "\\" + kLibrary;
    DllCommandRow row = {path.c_str(), "NoSuchExport", nullptr, nullptr};
    ResolveDllCommandRow(row, ExeDirectory().c_str());
  } else if (name == "missing-library") {
    ResolveDllCommand(kDllRowInternetOpenA);
    CallDllCommand(kDllRowFmSkinAttach, nullptr, 0, "", 0, 0, 0);
  } else {
    return 2;
  }
  FM_SEAM_RECORD("returned");
  return kChildReturnedNormally;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && strncmp(argv[1], kChildSwitch, strlen(kChildSwitch)) == 0) {
    return RunChildCase(argv[1] + strlen(kChildSwitch));
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
