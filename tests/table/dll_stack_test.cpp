// The 32-bit call through the function table's stub: a function that
// removes exactly its arguments returns its result unchanged; one that
// removes too few or too many bytes ends the program with code 6. The fatal
// cases run in a child process (this program again), one per case.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "app/dll_table.h"
#include "app/seams.h"
#include "table_test_support.h"

using namespace table_test;

namespace {

void* Resolve(DllCommandRow& row) { return ResolveDllCommandRow(row, CopyDirectory(1).c_str()); }

TEST(StackCheck, BalancedCallsReturnTheirResultUnchanged) {
  DllCommandRow combine = {"fmtablelib.dll", "Combine8", nullptr, nullptr};
  DllCommandRow sum = {"fmtablelib.dll", "Sum2", nullptr, nullptr};
  EXPECT_EQ(CallDllFunction<8>(Resolve(combine), DllWord{1}, DllWord{2}, DllWord{3}, DllWord{4}, DllWord{5},
                               DllWord{6}, DllWord{7}, DllWord{8}),
            DllWord{0x12345678u ^ 0x5A5A5A5Au});
  EXPECT_EQ(CallDllFunction<2>(Resolve(sum), DllWord{0x80000000u}, DllWord{0x7FFFFFFFu}), DllWord{0xFFFFFFFFu});
  // The caller's own frame survived: locals on both sides of the calls.
  volatile DllWord before = 0xC0FFEE;
  DllWord result = CallDllFunction<2>(Resolve(sum), DllWord{40}, DllWord{2});
  volatile DllWord after = 0xBEEF;
  EXPECT_EQ(result, DllWord{42});
  EXPECT_EQ(before, DllWord{0xC0FFEE});
  EXPECT_EQ(after, DllWord{0xBEEF});
  ReleaseDllCommandRows(&combine, 1);
  ReleaseDllCommandRows(&sum, 1);
}

TEST(StackCheck, UnbalancedCallsEndTheProgramWithCode6) {
  const std::string report = "fatal-report code=6 text=" + Hex(FatalReportText(6, kStackErrorMessage));
  for (const char* name : {"RemovesTooFew", "RemovesTooMany"}) {
    ChildRun run = RunChild(name);
    ASSERT_TRUE(run.started) << name;
    ASSERT_TRUE(run.ended) << name;
    EXPECT_EQ(run.exitCode, 0xFFFFFFFFu) << name << ": exit code -1";
    int reported = FindLine(run.log, "fatal-report ");
    ASSERT_GE(reported, 0) << name << ": no fatal report";
    EXPECT_EQ(run.log[reported], report) << name;
    EXPECT_EQ(FindLine(run.log, "returned"), -1) << name << ": the call returned to its caller";
    // The child got as far as the call itself.
    EXPECT_GE(FindLine(run.log, "calling"), 0) << name;
  }
}

int RunChildCase(const std::string& name) {
  DllCommandRow row = {"fmtablelib.dll", name.c_str(), nullptr, nullptr};
  void* function = Resolve(row);
  FM_SEAM_RECORD("calling %s", name.c_str());
  DllWord result = CallDllFunction<2>(function, DllWord{40}, DllWord{2});
  FM_SEAM_RECORD("returned %u", static_cast<unsigned>(result));
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
