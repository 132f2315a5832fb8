#include "tests/e2e/guide_examples.h"

#include <cstddef>

#include "resources/resource.h"

namespace {

// The dialog's field marks as UTF-8: ② the flash rate, ③ the time, ④ the
// computed rate.
const char flashRateMark[] = "\xE2\x91\xA1";
const char passTimeMark[] = "\xE2\x91\xA2";
const char resultMark[] = "\xE2\x91\xA3";
constexpr size_t markSize = 3;
constexpr size_t resultDecimals = 6;

std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    start = end + 1;
  }
  if (!lines.empty() && lines.back().empty()) lines.pop_back();
  return lines;
}

bool isSpace(char c) { return c == ' ' || c == '\t'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::string trimRight(const std::string& line) {
  size_t end = line.size();
  while (end > 0 && isSpace(line[end - 1])) --end;
  return line.substr(0, end);
}

bool isBlank(const std::string& line) { return trimRight(line).empty(); }

bool startsWith(const std::string& text, size_t at, const char* prefix) {
  return text.compare(at, std::string(prefix).size(), prefix) == 0;
}

// A line of nothing but `mark` characters (an underline of README.txt).
bool isUnderline(const std::string& line, char mark) {
  const std::string trimmed = trimRight(line);
  if (trimmed.empty()) return false;
  for (char c : trimmed) {
    if (c != mark) return false;
  }
  return true;
}

size_t indentation(const std::string& line) {
  size_t i = 0;
  while (i < line.size() && isSpace(line[i])) ++i;
  return i;
}

// Where the text after a list marker (`- `, `* `, `+ `, `1. `, `1) `) begins,
// or npos when the line does not begin a list item.
size_t afterListMarker(const std::string& line) {
  size_t i = indentation(line);
  if (i < line.size() && (line[i] == '-' || line[i] == '*' || line[i] == '+')) {
    return i + 1 < line.size() && isSpace(line[i + 1]) ? i + 2 : std::string::npos;
  }
  size_t j = i;
  while (j < line.size() && isDigit(line[j])) ++j;
  if (j > i && j + 1 < line.size() && (line[j] == '.' || line[j] == ')') && isSpace(line[j + 1])) {
    return j + 2;
  }
  return std::string::npos;
}

// A heading of the document: `#...` in README.md; in README.txt a line with
// an underline of `-` or `=` below it, or that underline.
bool isHeading(const std::vector<std::string>& lines, size_t i, GuideKind kind) {
  if (kind == guideMarkdown) return startsWith(lines[i], 0, "#");
  if (isUnderline(lines[i], '-') || isUnderline(lines[i], '=')) return true;
  return !isBlank(lines[i]) && i + 1 < lines.size() &&
         (isUnderline(lines[i + 1], '-') || isUnderline(lines[i + 1], '='));
}

// Whether the line begins a worked example of the part's language.
bool opensExample(const std::string& line, bool japanese) {
  size_t at = afterListMarker(line);
  if (at == std::string::npos) at = indentation(line);
  if (japanese) {
    return startsWith(line, at, "\xE4\xBE\x8B\xEF\xBC\x9A") ||  // 例：
           startsWith(line, at, "\xE4\xBE\x8B:");               // 例:
  }
  return startsWith(line, at, "Example:");
}

bool isQuickStartHeading(const std::vector<std::string>& lines, size_t i, GuideKind kind,
                         bool japanese) {
  const char* title = japanese ? "\xE3\x82\xAF\xE3\x82\xA4\xE3\x83\x83\xE3\x82\xAF\xE3\x82\xB9"
                                 "\xE3\x82\xBF\xE3\x83\xBC\xE3\x83\x88"  // クイックスタート
                               : "Quick start";
  if (kind == guideMarkdown) return startsWith(lines[i], 0, (std::string("### ") + title).c_str());
  return startsWith(lines[i], 0, title) && i + 1 < lines.size() && isUnderline(lines[i + 1], '-');
}

// Whether a README.md line ends the quick start that runs before it.
bool endsQuickStart(const std::vector<std::string>& lines, size_t i, GuideKind kind) {
  if (kind == guideMarkdown)
    return startsWith(lines[i], 0, "## ") || startsWith(lines[i], 0, "### ");
  return isHeading(lines, i, kind) && !isUnderline(lines[i], '-') && !isUnderline(lines[i], '=');
}

struct Reader {
  const std::vector<std::string>& lines;
  GuideKind kind;
  std::vector<GuideProblem>* problems;
};

void addProblem(const Reader& reader, int line, const std::string& text) {
  reader.problems->push_back(GuideProblem{line, text});
}

// Reads the example in lines [first, last) of a part.
void readExample(const Reader& reader, size_t first, size_t last, bool inQuickStart,
                 GuidePart* part) {
  std::string text;
  std::vector<size_t> lineStarts;
  for (size_t i = first; i < last; ++i) {
    lineStarts.push_back(text.size());
    text += reader.lines[i];
    text += '\n';
  }
  const auto lineAt = [&](size_t offset) {
    size_t k = 0;
    while (k + 1 < lineStarts.size() && lineStarts[k + 1] <= offset) ++k;
    return static_cast<int>(first + k + 1);
  };
  const std::string where =
      std::string(part->language) + " example at line " + std::to_string(first + 1) + ": ";

  GuideExample example{{}, "", static_cast<int>(first + 1), inQuickStart};
  bool wellFormed = true;
  int field = 0;
  int resultMarks = 0;
  std::vector<std::string> results;
  std::string firstNumberAfterMark;
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] == '`') {
      size_t run = 0;
      while (i + run < text.size() && text[i + run] == '`') ++run;
      const std::string fence(run, '`');
      size_t close = text.find(fence, i + run);
      while (close != std::string::npos && close + run < text.size() && text[close + run] == '`') {
        close = text.find(fence, close + run + 1);
      }
      if (close == std::string::npos) {
        addProblem(reader, lineAt(i), where + "a code span is never closed");
        wellFormed = false;
        i += run;
        continue;
      }
      const std::string typed = text.substr(i + run, close - i - run);
      const int line = lineAt(i);
      if (typed.find('\n') != std::string::npos) {
        addProblem(reader, line, where + "the code span `" + typed + "` runs across lines");
        wellFormed = false;
      } else if (field == 0) {
        addProblem(reader, line,
                   where + "the code span `" + typed + "` comes before any \xE2\x91\xA1 or " +
                       passTimeMark + ", so no field takes it");
        wellFormed = false;
      } else if (resultMarks > 0) {
        addProblem(reader, line,
                   where + "the code span `" + typed + "` comes after " + resultMark +
                       ", once the result is given");
        wellFormed = false;
      } else {
        example.steps.push_back(GuideStep{field, typed, line});
      }
      i = close + run;
    } else if (startsWith(text, i, flashRateMark)) {
      field = IDC_FLASH_RATE;
      i += markSize;
    } else if (startsWith(text, i, passTimeMark)) {
      field = IDC_PASS_TIME;
      i += markSize;
    } else if (startsWith(text, i, resultMark)) {
      ++resultMarks;
      i += markSize;
    } else if (isDigit(text[i])) {
      size_t end = i;
      while (end < text.size() && isDigit(text[end])) ++end;
      size_t decimals = 0;
      if (end + 1 < text.size() && text[end] == '.' && isDigit(text[end + 1])) {
        ++end;
        while (end < text.size() && isDigit(text[end])) {
          ++end;
          ++decimals;
        }
      }
      if (resultMarks > 0) {
        const std::string number = text.substr(i, end - i);
        if (decimals == resultDecimals) results.push_back(number);
        if (firstNumberAfterMark.empty()) firstNumberAfterMark = number;
      }
      i = end;
    } else {
      ++i;
    }
  }

  if (wellFormed && example.steps.empty()) {
    addProblem(reader, example.line,
               where + "nothing to type (no code span after \xE2\x91\xA1 or " +
                   std::string(passTimeMark) + ")");
    wellFormed = false;
  }
  if (resultMarks != 1) {
    addProblem(reader, example.line,
               where + "expected " + resultMark + " once, found it " + std::to_string(resultMarks) +
                   " times");
    wellFormed = false;
  } else if (results.empty()) {
    addProblem(reader, example.line,
               where + "no result in the form 0.000000 after " + resultMark +
                   (firstNumberAfterMark.empty()
                        ? std::string(" (no number after it)")
                        : " (the first number after it is " + firstNumberAfterMark + ")"));
    wellFormed = false;
  } else if (results.size() > 1) {
    addProblem(reader, example.line,
               where + std::to_string(results.size()) + " results after " + resultMark + ": " +
                   results[0] + " and " + results[1] + "; write two outcomes as two examples");
    wellFormed = false;
  }
  if (!wellFormed) return;
  example.result = results[0];
  part->examples.push_back(example);
}

// Reads the part in lines [begin, end): its quick start and its examples.
void readPart(const Reader& reader, size_t begin, size_t end, GuidePart* part) {
  const bool japanese = std::string(part->language) == "Japanese";
  const std::vector<std::string>& lines = reader.lines;
  size_t quickStartEnd = 0;
  size_t i = begin;
  while (i < end) {
    if (isQuickStartHeading(lines, i, reader.kind, japanese)) {
      if (part->quickStartLine != 0) {
        addProblem(reader, static_cast<int>(i + 1),
                   std::string(part->language) +
                       " part: a second quick start (the first is at line " +
                       std::to_string(part->quickStartLine) + ")");
      } else {
        part->quickStartLine = static_cast<int>(i + 1);
        quickStartEnd = end;
        for (size_t j = i + 1; j < end; ++j) {
          if (endsQuickStart(lines, j, reader.kind)) {
            quickStartEnd = j;
            break;
          }
        }
      }
    }
    if (isBlank(lines[i]) || isHeading(lines, i, reader.kind)) {
      ++i;
      continue;
    }
    // A paragraph: consecutive non-blank lines; a list item or a heading
    // begins a new one.
    size_t last = i + 1;
    while (last < end && !isBlank(lines[last]) &&
           afterListMarker(lines[last]) == std::string::npos &&
           !isHeading(lines, last, reader.kind)) {
      ++last;
    }
    if (opensExample(lines[i], japanese)) {
      const bool inQuickStart = part->quickStartLine != 0 &&
                                static_cast<int>(i) >= part->quickStartLine && i < quickStartEnd;
      readExample(reader, i, last, inQuickStart, part);
    }
    i = last;
  }
}

size_t findLine(const std::vector<std::string>& lines, const char* wanted, size_t from) {
  for (size_t i = from; i < lines.size(); ++i) {
    if (trimRight(lines[i]) == wanted) return i;
  }
  return std::string::npos;
}

}  // namespace

ParsedGuide parseGuide(const std::string& utf8, GuideKind kind) {
  ParsedGuide guide{{"Japanese", false, 0, {}}, {"English", false, 0, {}}, {}};
  const std::vector<std::string> lines = splitLines(utf8);
  const Reader reader{lines, kind, &guide.problems};
  const bool markdown = kind == guideMarkdown;
  const char* japaneseMarker = markdown ? "## \xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E"  // ## 日本語
                                        : "[\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E]";  // [日本語]
  const char* englishMarker = markdown ? "## English" : "[English]";
  const size_t japanese = findLine(lines, japaneseMarker, 0);
  const size_t english =
      findLine(lines, englishMarker, japanese == std::string::npos ? 0 : japanese);
  size_t end = lines.size();
  if (markdown) {
    end = findLine(lines, "# For developers", english == std::string::npos ? 0 : english);
    if (end == std::string::npos) {
      addProblem(reader, 0, "no line \"# For developers\" ends the user part");
      end = lines.size();
    }
  }
  if (japanese == std::string::npos) {
    addProblem(reader, 0,
               std::string("no line \"") + japaneseMarker + "\" begins the Japanese part");
  }
  if (english == std::string::npos) {
    addProblem(reader, 0, std::string("no line \"") + englishMarker + "\" begins the English part");
  }
  if (japanese != std::string::npos) {
    guide.japanese.found = true;
    readPart(reader, japanese + 1, english == std::string::npos ? end : english, &guide.japanese);
  }
  if (english != std::string::npos) {
    guide.english.found = true;
    readPart(reader, english + 1, end, &guide.english);
  }
  return guide;
}

std::vector<GuideExample> quickStartExamples(const GuidePart& part) {
  std::vector<GuideExample> found;
  for (const GuideExample& example : part.examples) {
    if (example.inQuickStart) found.push_back(example);
  }
  return found;
}

bool sameExample(const GuideExample& a, const GuideExample& b) {
  if (a.result != b.result || a.steps.size() != b.steps.size()) return false;
  for (size_t i = 0; i < a.steps.size(); ++i) {
    if (a.steps[i].field != b.steps[i].field || a.steps[i].text != b.steps[i].text) return false;
  }
  return true;
}

std::string describeExample(const GuideExample& example) {
  std::string text;
  for (const GuideStep& step : example.steps) {
    text += step.field == IDC_FLASH_RATE ? flashRateMark : passTimeMark;
    text += " `" + step.text + "`, ";
  }
  if (!text.empty()) text.resize(text.size() - 2);
  text += std::string(" \xE2\x86\x92 ") + resultMark + " " + example.result;
  return example.line > 0 ? text + " (line " + std::to_string(example.line) + ")" : text;
}

std::string compareExamples(const std::vector<GuideExample>& a, const std::string& aName,
                            const std::vector<GuideExample>& b, const std::string& bName) {
  const size_t common = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < common; ++i) {
    if (!sameExample(a[i], b[i])) {
      return "example " + std::to_string(i + 1) + " differs: " + aName + " has " +
             describeExample(a[i]) + ", " + bName + " has " + describeExample(b[i]);
    }
  }
  if (a.size() == b.size()) return "";
  const bool aLonger = a.size() > b.size();
  const GuideExample& extra = aLonger ? a[common] : b[common];
  return aName + " has " + std::to_string(a.size()) + " examples, " + bName + " " +
         std::to_string(b.size()) + "; the first only in " + (aLonger ? aName : bName) + ": " +
         describeExample(extra);
}
