// What the test kit's runner reads as text: a suite's verdict from its
// program's output, and the requirements of the kit's programs that
// tools/windows-kit.sh recorded when it built the kit. Plain C++, tested
// natively (test_kit_suite.cpp); the runner (kit_runner.cpp) does the Windows
// side.
#pragma once

#include <string>
#include <vector>

// How a suite's program ended.
struct ProgramEnd {
  unsigned long exitCode;
  bool timedOut;  // the runner ended it at its time limit
};

// A suite's verdict. It passed when its program ended by itself with exit
// code 0 and printed a summary line that reports no failure.
struct SuiteVerdict {
  bool passed;
  std::string summary;                // the last summary line, or empty
  std::vector<std::string> failures;  // the first maxFailureLines failure lines
  int failureLines;                   // how many failure lines there were
  std::string problem;                // why it did not pass (empty when it passed)
};

constexpr int maxFailureLines = 40;

// The summary lines the kit's programs print last:
//   "N passed, M failed"        the drivers (harness/harness.h's endChecks)
//   "[  PASSED  ] N tests."     GoogleTest, with "[  FAILED  ] ..." lines on failure
//   "summary ... failed=M"      the record driver
// and the failure lines: the drivers' "...Test failed: ..." and GoogleTest's
// "[  FAILED  ] ..." lines. Line ends may be CRLF or LF.
SuiteVerdict judgeOutput(const std::string& output, const ProgramEnd& end);

// One requirement of a program of the kit, a line of the kit's
// requirements file:
//   subsystem PROGRAM MAJOR.MINOR      the Windows version its header asks for
//   import PROGRAM DLL FUNCTION        an import beyond the shipped program's
//                                      list (FUNCTION may be #ORDINAL)
// '#' at the start of a line begins a comment.
struct Requirement {
  std::string program;
  std::string dll;       // empty for a subsystem line
  std::string function;  // the import's name, or "#N" for an ordinal
  int major;             // subsystem lines only
  int minor;
};

// Reads the file's text; each line it cannot read is named in `problems`.
std::vector<Requirement> parseRequirements(const std::string& text,
                                           std::vector<std::string>* problems);

// The requirements of one program (its file name, compared without case).
std::vector<Requirement> requirementsOf(const std::vector<Requirement>& all,
                                        const std::string& program);

// The name of a report folder started at this local time:
// "report-YYYYMMDD-HHMMSS".
std::string reportFolderName(int year, int month, int day, int hour, int minute, int second);
