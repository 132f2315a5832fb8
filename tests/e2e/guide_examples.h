// Reads the worked examples of the user's guide (README.md's user part and
// docs/README.txt) as the guide writes them: each example's typed texts, the
// field each goes into, and the result field 4 must then show. Plain C++17 on
// UTF-8 text, shared by the end-to-end driver (which types the examples into
// the real program) and the native tests (which compare the documents).
#pragma once

#include <string>
#include <vector>

// Which document the text is: README.md (parts `## 日本語` / `## English`,
// Markdown headings) or README.txt (parts `[日本語]` / `[English]`,
// underlined headings).
enum GuideKind { guideMarkdown, guidePlainText };

// One thing the user types: `text` into field `field` (1002, the flash rate,
// or 1003, the time), at line `line`.
struct GuideStep {
  int field;
  std::string text;
  int line;
};

// A worked example: its steps in order and the text field 4 shows after the
// last one (six decimals, as the program writes it).
struct GuideExample {
  std::vector<GuideStep> steps;
  std::string result;
  int line;  // the example's first line
  bool inQuickStart;
};

// One language's part of a document.
struct GuidePart {
  const char* language;  // "Japanese" or "English"
  bool found;
  int quickStartLine;                  // the quick start's heading line, 0 when there is none
  std::vector<GuideExample> examples;  // every well-formed example, in order
};

// Something in the document that breaks the guide's format.
struct GuideProblem {
  int line;
  std::string text;
};

struct ParsedGuide {
  GuidePart japanese;
  GuidePart english;
  std::vector<GuideProblem> problems;
};

ParsedGuide parseGuide(const std::string& utf8, GuideKind kind);

// The examples of a part's quick start.
std::vector<GuideExample> quickStartExamples(const GuidePart& part);

// Same typed fields and texts in the same order, and the same result.
bool sameExample(const GuideExample& a, const GuideExample& b);

// An example on one line: "② `59.91`, ③ `33.33` → ④ 59.940003 (line 12)"
// (no line when it is 0).
std::string describeExample(const GuideExample& example);

// Empty when the two lists hold the same examples in the same order;
// otherwise the first difference, naming both lists (`aName`, `bName`, e.g.
// "README.md Japanese") with the line of each example involved.
std::string compareExamples(const std::vector<GuideExample>& a, const std::string& aName,
                            const std::vector<GuideExample>& b, const std::string& bName);
