// The guide's worked examples as the parser reads them, on small documents
// with one planted fault each, and the real README.md and docs/README.txt.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "resources/resource.h"
#include "tests/e2e/guide_examples.h"

namespace {

// A README.md with the two parts; the developers' part holds an example
// that must be ignored.
std::string markdown(const std::string& japanese, const std::string& english) {
  return "# ルカネミ\n\n## 日本語\n\n" + japanese + "\n## English\n\n" + english +
         "\n# For developers\n\nExample: ② `1` ④ 2.000000\n";
}

std::string plainText(const std::string& japanese, const std::string& english) {
  return "ルカネミ / Lukanemi @VERSION@\n=========\n\n[日本語]\n\n" + japanese + "\n[English]\n\n" +
         english;
}

const char japaneseExample[] =
    "例：Windows の表示が 59.940 Hz のとき。② に `59.900` と入力して Enter を押します。3 周期が\n"
    "75.06 秒なら t = 25.02 秒で、21–30 秒の範囲内です。Esc を押し、③ に `25.02` と入力すると、\n"
    "④ に **59.939968** と表示されます。\n";
const char englishExample[] =
    "Example: Windows shows 59.940 Hz. In ② type `59.900` and press Enter. 3 periods take\n"
    "75.06 s, so t = 25.02 s, inside 21–30 s. Press Esc, in ③ type `25.02`: ④ shows\n"
    "**59.939968**.\n";

// The problems' texts, one per line, for failure messages.
std::string problemList(const ParsedGuide& guide) {
  std::string text;
  for (const GuideProblem& problem : guide.problems) {
    text += "line " + std::to_string(problem.line) + ": " + problem.text + "\n";
  }
  return text;
}

// The one problem the document has; fails unless there is exactly one.
GuideProblem onlyProblem(const ParsedGuide& guide) {
  EXPECT_EQ(guide.problems.size(), 1u) << problemList(guide);
  return guide.problems.empty() ? GuideProblem{-1, ""} : guide.problems[0];
}

TEST(GuideExamplesTest, ReadsFieldsTypedTextsResultAndLinesInBothLanguages) {
  const ParsedGuide guide = parseGuide(
      markdown(std::string("intro\n\n") + japaneseExample, englishExample), guideMarkdown);
  EXPECT_TRUE(guide.problems.empty()) << problemList(guide);
  ASSERT_EQ(guide.japanese.examples.size(), 1u);
  ASSERT_EQ(guide.english.examples.size(), 1u);
  const GuideExample& ja = guide.japanese.examples[0];
  EXPECT_EQ(ja.line, 7);
  ASSERT_EQ(ja.steps.size(), 2u);
  EXPECT_EQ(ja.steps[0].field, IDC_FLASH_RATE);
  EXPECT_EQ(ja.steps[0].text, "59.900");
  EXPECT_EQ(ja.steps[0].line, 7);
  EXPECT_EQ(ja.steps[1].field, IDC_PASS_TIME);
  EXPECT_EQ(ja.steps[1].text, "25.02");
  EXPECT_EQ(ja.steps[1].line, 8);
  EXPECT_EQ(ja.result, "59.939968");
  EXPECT_FALSE(ja.inQuickStart);
  EXPECT_EQ(guide.english.examples[0].line, 13);
  EXPECT_EQ(compareExamples(guide.japanese.examples, "ja", guide.english.examples, "en"), "");
  EXPECT_EQ(describeExample(ja), "② `59.900`, ③ `25.02` → ④ 59.939968 (line 7)");
  const GuideExample unplaced{{{IDC_PASS_TIME, "25", 0}}, "0.040000", 0, false};
  EXPECT_EQ(describeExample(unplaced), "③ `25` → ④ 0.040000");
}

TEST(GuideExamplesTest, OpenersListItemsParagraphsAndWhatIsNotAnExample) {
  const std::string japanese =
      "- 例: ② `60`、③ `25` で ④ は 60.040000。\n"  // ASCII colon, list item
      "- 例：③ `-20` で ④ は 59.950000 です\n"      // a new item: a new example
      "  （2 回の通過に 20.00 秒）。\n"             // its continuation
      "\n"
      "   1. 例：② `1`\n"  // indented numbered item, result on the next line
      "      ④ 1.000000\n"
      "\n"
      "これは例：② `2` ④ 2.000000 ではありません。\n"  // 例 mid-line: not an example
      "\n"
      "Example: ② `3` ④ 3.000000\n";  // the other language's opener
  const ParsedGuide guide = parseGuide(markdown(japanese, ""), guideMarkdown);
  ASSERT_EQ(guide.japanese.examples.size(), 3u) << problemList(guide);
  EXPECT_EQ(describeExample(guide.japanese.examples[0]), "② `60`, ③ `25` → ④ 60.040000 (line 5)");
  EXPECT_EQ(describeExample(guide.japanese.examples[1]), "③ `-20` → ④ 59.950000 (line 6)");
  EXPECT_EQ(describeExample(guide.japanese.examples[2]), "② `1` → ④ 1.000000 (line 9)");
  EXPECT_TRUE(guide.english.examples.empty());  // the developers' part is not read
}

TEST(GuideExamplesTest, QuickStartRunsToTheNextHeadingOfItsLevelOrAbove) {
  const std::string japanese =
      "### クイックスタート（一回で測る）\n\n例：② `59.91` ③ `33.33` ④ 59.940003\n\n"
      "#### 表\n\n例：② `239.964` ③ `27.78` ④ 239.999997\n\n"
      "### 測り方\n\n例：② `60` ③ `25` ④ 60.040000\n";
  const ParsedGuide md = parseGuide(markdown(japanese, ""), guideMarkdown);
  EXPECT_EQ(md.japanese.quickStartLine, 5);
  ASSERT_EQ(md.japanese.examples.size(), 3u) << problemList(md);
  EXPECT_TRUE(md.japanese.examples[0].inQuickStart);
  EXPECT_TRUE(md.japanese.examples[1].inQuickStart);
  EXPECT_FALSE(md.japanese.examples[2].inQuickStart);
  EXPECT_EQ(quickStartExamples(md.japanese).size(), 2u);
  EXPECT_EQ(md.english.quickStartLine, 0);

  const std::string english =
      "Safety\n------\n\nExample: ② `1` ④ 1.000000\n\n"
      "Quick start\n-----------\nExample: ② `59.91` ③ `33.33`\n④ 59.940003\n"
      "How to use\n----------\nExample: ② `60` ③ `25` ④ 60.040000\n";
  const ParsedGuide txt = parseGuide(plainText("", english), guidePlainText);
  EXPECT_EQ(txt.english.quickStartLine, 14);
  ASSERT_EQ(txt.english.examples.size(), 3u) << problemList(txt);
  EXPECT_FALSE(txt.english.examples[0].inQuickStart);
  EXPECT_TRUE(txt.english.examples[1].inQuickStart);
  EXPECT_EQ(txt.english.examples[1].result, "59.940003");  // the heading below ends the paragraph
  EXPECT_FALSE(txt.english.examples[2].inQuickStart);
}

TEST(GuideExamplesTest, EachFaultOfAnExampleIsAProblemAtItsLine) {
  struct Case {
    const char* example;
    int line;
    const char* problem;
  } cases[] = {
      {"Example: type `59.91` into ②, then ③ `33.33`: ④ 59.940003", 8,
       "the code span `59.91` comes before any ② or ③"},
      {"Example: ② `59.91`, ③ `33.33`: ④ shows the rate.", 8,
       "no result in the form 0.000000 after ④"},
      {"Example: ② `60`, ③ `25`: ④ 60.04", 8, "(the first number after it is 60.04)"},
      {"Example: ② `60`, ③ `25`: ④ 60.040000 or 60.0400001\nor 59.950000", 8,
       "2 results after ④: 60.040000 and 59.950000"},
      {"Example: ② `60`, ③ `25`: the result 60.040000", 8, "expected ④ once, found it 0 times"},
      {"Example: ② `60`, ③ `25`: ④ 60.040000 (④ shows it at once)", 8,
       "expected ④ once, found it 2 times"},
      {"Example: ② `60`: ④ 60.040000 after ③ `25`", 8, "the code span `25` comes after ④"},
      {"Example: ② `60\n25`: ④ 60.040000", 8, "runs across lines"},
      {"Example: ② `60, ④ 60.040000", 8, "a code span is never closed"},
      {"Example: ② 60, ③ 25: ④ 60.040000", 8, "nothing to type"},
  };
  for (const Case& c : cases) {
    const ParsedGuide guide = parseGuide(markdown("", c.example), guideMarkdown);
    const GuideProblem problem = onlyProblem(guide);
    EXPECT_EQ(problem.line, c.line) << c.example;
    EXPECT_NE(problem.text.find(c.problem), std::string::npos)
        << c.example << "\nexpected: " << c.problem << "\ngot: " << problem.text;
    EXPECT_NE(problem.text.find("English example at line 8"), std::string::npos) << problem.text;
    EXPECT_TRUE(guide.english.examples.empty()) << c.example;
  }
}

TEST(GuideExamplesTest, MissingPartsAreProblems) {
  const ParsedGuide md = parseGuide("## 日本語\n\n例：② `1` ④ 1.000000\n", guideMarkdown);
  EXPECT_TRUE(md.japanese.found);
  EXPECT_FALSE(md.english.found);
  ASSERT_EQ(md.problems.size(), 2u) << problemList(md);
  EXPECT_NE(problemList(md).find("no line \"# For developers\""), std::string::npos);
  EXPECT_NE(problemList(md).find("no line \"## English\""), std::string::npos);
  EXPECT_EQ(md.japanese.examples.size(), 1u);

  const ParsedGuide txt =
      parseGuide("[English]\r\n\r\nExample: ② `1` ④ 1.000000\r\n", guidePlainText);
  EXPECT_FALSE(txt.japanese.found);
  EXPECT_NE(onlyProblem(txt).text.find("no line \"[日本語]\""), std::string::npos);
  ASSERT_EQ(txt.english.examples.size(), 1u);
  EXPECT_EQ(txt.english.examples[0].steps[0].text, "1");  // CRLF lines read as LF lines
}

// The comparisons the real-file test makes, each failing on one planted
// difference and naming both sides with their lines.
TEST(GuideExamplesTest, ComparisonsFindEachPlantedDifference) {
  const std::string quickStartJa = std::string("### クイックスタート\n\n") + japaneseExample;
  const std::string quickStartEn = std::string("### Quick start\n\n") + englishExample;
  const ParsedGuide md = parseGuide(markdown(quickStartJa, quickStartEn), guideMarkdown);
  ASSERT_TRUE(md.problems.empty()) << problemList(md);
  ASSERT_EQ(quickStartExamples(md.english).size(), 1u);

  // A number changed in one language only.
  std::string changed = englishExample;
  changed.replace(changed.find("`25.02`"), 7, "`25.20`");
  const ParsedGuide oneLanguage =
      parseGuide(markdown(quickStartJa, "### Quick start\n\n" + changed), guideMarkdown);
  EXPECT_EQ(compareExamples(oneLanguage.japanese.examples, "README.md Japanese",
                            oneLanguage.english.examples, "README.md English"),
            "example 1 differs: README.md Japanese has ② `59.900`, ③ `25.02` → ④ 59.939968 "
            "(line 7), README.md English has ② `59.900`, ③ `25.20` → ④ 59.939968 (line 15)");

  // An example only in README.txt.
  const std::string extra = "\nExample: ② `60` ③ `25` ④ 60.040000\n";
  const ParsedGuide txt = parseGuide(
      plainText(japaneseExample, std::string("Quick start\n---\n") + englishExample + extra),
      guidePlainText);
  ASSERT_TRUE(txt.problems.empty()) << problemList(txt);
  EXPECT_EQ(compareExamples(txt.japanese.examples, "README.txt Japanese",
                            quickStartExamples(md.japanese), "README.md quick start (Japanese)"),
            "");
  EXPECT_EQ(compareExamples(txt.english.examples, "README.txt English",
                            quickStartExamples(md.english), "README.md quick start (English)"),
            "README.txt English has 2 examples, README.md quick start (English) 1; the first only "
            "in README.txt English: ② `60`, ③ `25` → ④ 60.040000 (line 18)");

  // A changed result.
  std::string result = japaneseExample;
  result.replace(result.find("59.939968"), 9, "59.939969");
  const ParsedGuide changedResult = parseGuide(plainText(result, englishExample), guidePlainText);
  const std::string difference =
      compareExamples(changedResult.japanese.examples, "README.txt Japanese",
                      quickStartExamples(md.japanese), "README.md quick start (Japanese)");
  EXPECT_NE(difference.find("④ 59.939969 (line 6)"), std::string::npos) << difference;
  EXPECT_NE(difference.find("④ 59.939968 (line 7)"), std::string::npos) << difference;
}

std::string readFile(const char* path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << file.rdbuf();
  return bytes.str();
}

// The real guide: well formed, examples in every part and quick start, the
// two languages alike, and the read-me's examples those of README.md's quick
// start.
TEST(GuideFilesTest, ReadmeAndReadmeTxtAgree) {
  const std::string mdText = readFile(LUKANEMI_GUIDE_MD);
  const std::string txtText = readFile(LUKANEMI_GUIDE_TXT);
  ASSERT_FALSE(mdText.empty()) << "cannot read " << LUKANEMI_GUIDE_MD;
  ASSERT_FALSE(txtText.empty()) << "cannot read " << LUKANEMI_GUIDE_TXT;
  const ParsedGuide md = parseGuide(mdText, guideMarkdown);
  const ParsedGuide txt = parseGuide(txtText, guidePlainText);
  EXPECT_TRUE(md.problems.empty()) << LUKANEMI_GUIDE_MD << ":\n" << problemList(md);
  EXPECT_TRUE(txt.problems.empty()) << LUKANEMI_GUIDE_TXT << ":\n" << problemList(txt);
  const struct {
    const char* name;
    const GuidePart& part;
  } parts[] = {{"README.md Japanese", md.japanese},
               {"README.md English", md.english},
               {"README.txt Japanese", txt.japanese},
               {"README.txt English", txt.english}};
  for (const auto& p : parts) {
    EXPECT_FALSE(p.part.examples.empty()) << p.name << ": no worked example";
    EXPECT_NE(p.part.quickStartLine, 0) << p.name << ": no quick start";
    EXPECT_FALSE(quickStartExamples(p.part).empty()) << p.name << ": no example in the quick start";
  }
  EXPECT_EQ(compareExamples(md.japanese.examples, "README.md Japanese", md.english.examples,
                            "README.md English"),
            "");
  EXPECT_EQ(compareExamples(txt.japanese.examples, "README.txt Japanese", txt.english.examples,
                            "README.txt English"),
            "");
  EXPECT_EQ(compareExamples(txt.japanese.examples, "README.txt Japanese",
                            quickStartExamples(md.japanese), "README.md quick start (Japanese)"),
            "");
  EXPECT_EQ(compareExamples(txt.english.examples, "README.txt English",
                            quickStartExamples(md.english), "README.md quick start (English)"),
            "");
}

}  // namespace
