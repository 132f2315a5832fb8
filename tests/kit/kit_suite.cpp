#include "tests/kit/kit_suite.h"

#include <cstdio>

namespace {

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    size_t stop = end;
    if (stop > start && text[stop - 1] == '\r') --stop;
    lines.push_back(text.substr(start, stop - start));
    start = end + 1;
  }
  return lines;
}

bool startsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

// Reads a whole number of decimal digits at `*at`, moving past it; false
// when there is none or it overflows an int.
bool readNumber(const std::string& text, size_t* at, int* value) {
  const size_t begin = *at;
  long long number = 0;
  while (*at < text.size() && text[*at] >= '0' && text[*at] <= '9') {
    number = number * 10 + (text[*at] - '0');
    if (number > 1000000000) return false;
    ++*at;
  }
  *value = static_cast<int>(number);
  return *at > begin;
}

// "N passed, M failed", the whole line: the two counts.
bool checksSummary(const std::string& line, int* passed, int* failed) {
  size_t at = 0;
  if (!readNumber(line, &at, passed) || line.compare(at, 9, " passed, ") != 0) return false;
  at += 9;
  if (!readNumber(line, &at, failed)) return false;
  return line.compare(at, std::string::npos, " failed") == 0;
}

const char googleTestPassed[] = "[  PASSED  ] ";
const char googleTestFailed[] = "[  FAILED  ] ";
const char recordSummary[] = "summary ";

bool isSummary(const std::string& line) {
  int passed = 0, failed = 0;
  return checksSummary(line, &passed, &failed) || startsWith(line, googleTestPassed) ||
         startsWith(line, recordSummary);
}

// What a summary line reports: the failures it counts, or a problem when
// it shows that nothing ran or gives no count.
int failuresInSummary(const std::string& line, std::string* problem) {
  int passed = 0, failed = 0;
  if (checksSummary(line, &passed, &failed)) {
    if (passed + failed == 0) *problem = "no check ran";
    return failed;
  }
  if (startsWith(line, googleTestPassed)) {
    size_t at = sizeof googleTestPassed - 1;
    if (!readNumber(line, &at, &passed) || passed == 0) *problem = "no test ran";
    return 0;
  }
  const size_t at = line.rfind(" failed=");
  size_t digits = at == std::string::npos ? line.size() : at + 8;
  if (!readNumber(line, &digits, &failed) || digits != line.size()) {
    *problem = "its summary line gives no count of failures";
  }
  return failed;
}

bool isFailureLine(const std::string& line) {
  return line.find("Test failed") != std::string::npos || startsWith(line, googleTestFailed);
}

std::string lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

}  // namespace

SuiteVerdict judgeOutput(const std::string& output, const ProgramEnd& end) {
  SuiteVerdict verdict = {false, "", {}, 0, ""};
  for (const std::string& line : linesOf(output)) {
    if (isSummary(line)) verdict.summary = line;
    if (isFailureLine(line)) {
      if (verdict.failureLines < maxFailureLines) verdict.failures.push_back(line);
      ++verdict.failureLines;
    }
  }
  std::string counted;
  const int failed = verdict.summary.empty() ? 0 : failuresInSummary(verdict.summary, &counted);
  char text[160];
  if (end.timedOut) {
    verdict.problem = "it reached its time limit and was ended";
  } else if (verdict.summary.empty()) {
    snprintf(text, sizeof text, "it ended with exit code %lu without a summary line", end.exitCode);
    verdict.problem = text;
  } else if (!counted.empty()) {
    verdict.problem = counted;
  } else if (failed > 0) {
    snprintf(text, sizeof text, "%d failed", failed);
    verdict.problem = text;
  } else if (verdict.failureLines > 0) {
    verdict.problem = "it printed failures";
  } else if (end.exitCode != 0) {
    snprintf(text, sizeof text, "it ended with exit code %lu", end.exitCode);
    verdict.problem = text;
  }
  verdict.passed = verdict.problem.empty();
  return verdict;
}

std::vector<Requirement> parseRequirements(const std::string& text,
                                           std::vector<std::string>* problems) {
  std::vector<Requirement> found;
  int number = 0;
  for (const std::string& line : linesOf(text)) {
    ++number;
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> words;
    size_t at = 0;
    while (at < line.size()) {
      const size_t begin = line.find_first_not_of(" \t", at);
      if (begin == std::string::npos) break;
      at = line.find_first_of(" \t", begin);
      if (at == std::string::npos) at = line.size();
      words.push_back(line.substr(begin, at - begin));
    }
    Requirement requirement = {"", "", "", 0, 0};
    bool read = false;
    if (words.size() == 3 && words[0] == "subsystem") {
      const std::string& version = words[2];
      size_t dot = 0, end = 0;
      read = readNumber(version, &dot, &requirement.major) && dot < version.size() &&
             version[dot] == '.';
      end = dot + 1;
      read = read && readNumber(version, &end, &requirement.minor) && end == version.size();
    } else if (words.size() == 4 && words[0] == "import") {
      requirement.dll = words[2];
      requirement.function = words[3];
      read = true;
    }
    if (!read) {
      problems->push_back("line " + std::to_string(number) + ": cannot read \"" + line + "\"");
      continue;
    }
    requirement.program = words[1];
    found.push_back(requirement);
  }
  return found;
}

std::vector<Requirement> requirementsOf(const std::vector<Requirement>& all,
                                        const std::string& program) {
  std::vector<Requirement> chosen;
  for (const Requirement& requirement : all) {
    if (lower(requirement.program) == lower(program)) chosen.push_back(requirement);
  }
  return chosen;
}

std::string reportFolderName(int year, int month, int day, int hour, int minute, int second) {
  char name[64];
  snprintf(name, sizeof name, "report-%04d%02d%02d-%02d%02d%02d", year, month, day, hour, minute,
           second);
  return name;
}
