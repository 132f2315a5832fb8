// The test kit runner's reading of its programs' output and of the kit's
// requirements file.
#include <gtest/gtest.h>

#include "tests/kit/kit_suite.h"

namespace {

const ProgramEnd endedWith0 = {0, false};
const ProgramEnd endedWith1 = {1, false};

TEST(KitVerdictTest, DriverSummaryPassesOnlyWithNoFailureAndExitCode0) {
  const SuiteVerdict passed = judgeOutput("note: started\r\n214 passed, 0 failed\r\n", endedWith0);
  EXPECT_TRUE(passed.passed);
  EXPECT_EQ(passed.summary, "214 passed, 0 failed");
  EXPECT_TRUE(passed.problem.empty());

  const SuiteVerdict failed = judgeOutput(
      "e2e_driver.cpp:12: Test failed: expected \"60\", got \"6\"\n213 passed, 1 failed\n",
      endedWith1);
  EXPECT_FALSE(failed.passed);
  EXPECT_EQ(failed.problem, "1 failed");
  ASSERT_EQ(failed.failures.size(), 1u);
  EXPECT_EQ(failed.failures[0], "e2e_driver.cpp:12: Test failed: expected \"60\", got \"6\"");

  // A summary of no failure from a program that then failed does not pass.
  EXPECT_EQ(judgeOutput("5 passed, 0 failed\n", endedWith1).problem, "it ended with exit code 1");
  EXPECT_EQ(judgeOutput("0 passed, 0 failed\n", endedWith0).problem, "no check ran");
}

TEST(KitVerdictTest, TheLastSummaryLineCountsAndOnlyWholeLinesAreSummaries) {
  // The watchdog's failure and summary come after an earlier passing count.
  const SuiteVerdict late = judgeOutput(
      "3 passed, 0 failed\nTest failed: the run took longer than 1500 s\n3 passed, 1 failed\n",
      endedWith1);
  EXPECT_FALSE(late.passed);
  EXPECT_EQ(late.summary, "3 passed, 1 failed");

  for (const char* notSummary : {"note: 5 passed, 0 failed so far\n", "5 passed, 0 failed.\n",
                                 "5 passed,0 failed\n", "passed, 0 failed\n"}) {
    const SuiteVerdict verdict = judgeOutput(notSummary, endedWith0);
    EXPECT_FALSE(verdict.passed) << notSummary;
    EXPECT_EQ(verdict.summary, "") << notSummary;
    EXPECT_EQ(verdict.problem, "it ended with exit code 0 without a summary line") << notSummary;
  }
}

TEST(KitVerdictTest, ACrashOrTheTimeLimitFailsWhateverWasPrinted) {
  const SuiteVerdict crashed =
      judgeOutput("[ RUN      ] PacerTest.First\n", ProgramEnd{0xC0000005ul, false});
  EXPECT_FALSE(crashed.passed);
  EXPECT_EQ(crashed.problem, "it ended with exit code 3221225477 without a summary line");

  const SuiteVerdict ended = judgeOutput("7 passed, 0 failed\n", ProgramEnd{1, true});
  EXPECT_FALSE(ended.passed);
  EXPECT_EQ(ended.problem, "it reached its time limit and was ended");
  EXPECT_FALSE(judgeOutput("", ProgramEnd{0, false}).passed);
}

TEST(KitVerdictTest, GoogleTestSummaries) {
  const std::string head = "[==========] 95 tests from 9 test suites ran. (20 ms total)\n";
  EXPECT_TRUE(judgeOutput(head + "[  PASSED  ] 95 tests.\n", endedWith0).passed);

  const SuiteVerdict failed =
      judgeOutput(head +
                      "[  PASSED  ] 94 tests.\n[  FAILED  ] 1 test, listed below:\n"
                      "[  FAILED  ] PacerTest.ToggleIndexIsExact\n\n 1 FAILED TEST\n",
                  endedWith1);
  EXPECT_FALSE(failed.passed);
  EXPECT_EQ(failed.summary, "[  PASSED  ] 94 tests.");
  EXPECT_EQ(failed.problem, "it printed failures");
  ASSERT_EQ(failed.failures.size(), 2u);
  EXPECT_EQ(failed.failures[1], "[  FAILED  ] PacerTest.ToggleIndexIsExact");

  EXPECT_EQ(judgeOutput("[  PASSED  ] 0 tests.\n", endedWith0).problem, "no test ran");
}

TEST(KitVerdictTest, RecordDriverSummary) {
  const std::string fields = "summary flashRate=60 seconds=60.0 stops=0 exit=0 failed=";
  EXPECT_TRUE(judgeOutput(fields + "0\n", endedWith0).passed);
  EXPECT_EQ(judgeOutput(fields + "2\n", endedWith1).problem, "2 failed");
  EXPECT_EQ(judgeOutput("summary flashRate=60 stops=0\n", endedWith0).problem,
            "its summary line gives no count of failures");
  EXPECT_EQ(judgeOutput(fields + "0x\n", endedWith0).problem,
            "its summary line gives no count of failures");
}

TEST(KitVerdictTest, FailureLinesAreKeptUpToTheLimitAndCounted) {
  std::string output;
  for (int i = 0; i < maxFailureLines + 5; ++i) {
    output += "stress_driver.cpp:1: Test failed: step " + std::to_string(i) + "\n";
  }
  output += "0 passed, 45 failed\n";
  const SuiteVerdict verdict = judgeOutput(output, endedWith1);
  EXPECT_EQ(verdict.failureLines, maxFailureLines + 5);
  ASSERT_EQ(static_cast<int>(verdict.failures.size()), maxFailureLines);
  EXPECT_EQ(verdict.failures.back(), "stress_driver.cpp:1: Test failed: step 39");
}

TEST(KitRequirementsTest, ReadsSubsystemAndImportLines) {
  std::vector<std::string> problems;
  const std::vector<Requirement> all = parseRequirements(
      "# what the programs need\r\n"
      "\r\n"
      "subsystem core_tests.exe 4.00\r\n"
      "import core_tests.exe KERNEL32.dll GetTickCount64\r\n"
      "import record_driver.exe PSAPI.DLL #5\r\n"
      "subsystem e2e_driver.exe 5.01\r\n",
      &problems);
  EXPECT_TRUE(problems.empty());
  ASSERT_EQ(all.size(), 4u);
  EXPECT_EQ(all[0].program, "core_tests.exe");
  EXPECT_EQ(all[0].dll, "");
  EXPECT_EQ(all[0].major, 4);
  EXPECT_EQ(all[0].minor, 0);
  EXPECT_EQ(all[1].dll, "KERNEL32.dll");
  EXPECT_EQ(all[1].function, "GetTickCount64");
  EXPECT_EQ(all[2].function, "#5");
  EXPECT_EQ(all[3].major, 5);
  EXPECT_EQ(all[3].minor, 1);

  const std::vector<Requirement> core = requirementsOf(all, "CORE_TESTS.EXE");
  ASSERT_EQ(core.size(), 2u);
  EXPECT_EQ(core[1].function, "GetTickCount64");
  EXPECT_TRUE(requirementsOf(all, "core_tests").empty());
}

TEST(KitRequirementsTest, NamesTheLinesItCannotRead) {
  std::vector<std::string> problems;
  const std::vector<Requirement> all = parseRequirements(
      "subsystem a.exe 5\nsubsystem a.exe 5.x\nimport a.exe KERNEL32.dll\n"
      "needs a.exe vista\nsubsystem b.exe 6.0\n",
      &problems);
  ASSERT_EQ(all.size(), 1u);
  EXPECT_EQ(all[0].program, "b.exe");
  ASSERT_EQ(problems.size(), 4u);
  EXPECT_EQ(problems[0], "line 1: cannot read \"subsystem a.exe 5\"");
  EXPECT_EQ(problems[3], "line 4: cannot read \"needs a.exe vista\"");
}

TEST(KitReportFolderTest, NameSortsByTime) {
  EXPECT_EQ(reportFolderName(2026, 1, 2, 3, 4, 5), "report-20260102-030405");
  EXPECT_LT(reportFolderName(2026, 9, 30, 23, 59, 59), reportFolderName(2026, 10, 1, 0, 0, 0));
}

}  // namespace
