"""Tests of tools/check_guide.py on small documents, each with one planted fault."""

import contextlib
import io
import os
import sys
import tempfile
import unittest

TOOLS = os.environ.get("CHECK_GUIDE_DIR",
                       os.path.join(os.path.dirname(__file__), "..", "..", "tools"))
sys.path.insert(0, TOOLS)
import check_guide  # noqa: E402

DISPLAY = """# What the display shows

| shown D | type F | t window (s) |
|---:|---:|---:|
| 59.940 | 59.900 | 21–30 |
| 143.963 | 143.923 | 21–30 |

After the table.
"""

# 13 words: the link's target, the separator row and the lone "|" are not.
EN_QUICK = """### Quick start

See [the table](docs/display.md#a-target-with-many-words-in-it).

| shown | type | t |
|---:|---:|---:|
| 59.940 Hz | `59.900` | 21–30 s |
"""
# 45 characters: クイックスタート（一回で測る） 15, 表の行： 4, 表示入力t 5, the row 20 (59.940Hz
# 59.900 21–30秒), the image's 図 1; no markup, no link target.
JA_QUICK = """### クイックスタート（一回で測る）

- 表の行：

| 表示 | 入力 | t |
|---:|---:|---:|
| 59.940 Hz | `59.900` | 21–30 秒 |

![図](docs/screenshot-strip.png)
"""
TXT_JA_QUICK = "  59.940 Hz → `59.900`、t は 21–30 秒\n"
TXT_EN_QUICK = "  59.940 Hz shown -> type `59.900`, t in 21–30 s\n"


def readme(ja_quick=JA_QUICK, en_quick=EN_QUICK):
    # After each quick start, a line that would be a wrong row: it is not
    # in the quick start, so it is not checked.
    return ("# ルカネミ\n\n## 日本語\n\n" + ja_quick + "\n### 測り方\n\n59.940 → 59.999, 1–2\n\n"
            "## English\n\n" + en_quick + "\n### How to measure\n\n59.940 → 59.999, 1–2\n\n"
            "# For developers\n\n" + "word " * 600 + "\n")


def readme_txt(ja_quick=TXT_JA_QUICK, en_quick=TXT_EN_QUICK):
    return ("ルカネミ / Lukanemi @VERSION@\n=========\n\n[日本語]\n\nクイックスタート\n--------\n" +
            ja_quick + "\n安全のために\n------\n" + "長" * 2000 + "\n59.940 → 59.999, 1–2\n\n"
            "[English]\n\nQuick start\n-----------\n" + en_quick + "\nSafety\n------\n" +
            "word " * 600 + "\n59.940 → 59.999, 1–2\n")


def run_check(md=None, txt=None, display=DISPLAY):
    documents = {"README.md": ("md", readme() if md is None else md),
                 "README.txt": ("txt", readme_txt() if txt is None else txt)}
    return check_guide.check(documents, display)


class CheckGuideTest(unittest.TestCase):
    def test_documents_in_the_format_pass_with_exact_counts(self):
        failures, checks, lengths = run_check()
        self.assertEqual(failures, [])
        # The table, then per quick start: part, quick start, length, has a row, one row.
        self.assertEqual(checks, 1 + 4 * 5)
        self.assertEqual(lengths, (13, 45))

    def test_a_quick_start_over_its_limit_fails(self):
        at_limit = EN_QUICK + "word " * (500 - 13)
        self.assertEqual(run_check(md=readme(en_quick=at_limit))[0], [])
        failures = run_check(md=readme(en_quick=at_limit + "one"))[0]
        self.assertEqual(failures, ["README.md English quick start (line 21): 501 words, more than 500"])

        at_limit = JA_QUICK + "あ" * (1500 - 45)
        self.assertEqual(run_check(md=readme(ja_quick=at_limit))[0], [])
        failures = run_check(md=readme(ja_quick=at_limit + "い"))[0]
        self.assertEqual(failures,
                         ["README.md Japanese quick start (line 5): 1501 characters, more than 1500"])

        failures = run_check(txt=readme_txt(en_quick=TXT_EN_QUICK + "a " * 490))[0]
        self.assertEqual(failures,
                         ["README.txt English quick start (line 17): 501 words, more than 500"])

    def test_a_changed_table_row_fails_where_it_stands(self):
        failures = run_check(txt=readme_txt(ja_quick=TXT_JA_QUICK.replace("59.900", "59.910")))[0]
        self.assertEqual(failures, [
            "README.txt line 8: the row 59.940 / 59.910 / 21–30 is not a row of docs/display.md's "
            "table (59.940 / 59.900 / 21–30, 143.963 / 143.923 / 21–30)"])
        failures = run_check(md=readme(en_quick=EN_QUICK.replace("21–30 s", "21–31 s")))[0]
        self.assertEqual(len(failures), 1)
        self.assertTrue(failures[0].startswith("README.md line 27: the row 59.940 / 59.900 / 21–31 "),
                        failures[0])

    def test_a_missing_table_or_row_fails(self):
        failures = run_check(display=DISPLAY.replace("t window (s)", "t (s)"))[0]
        self.assertEqual(failures[0], "docs/display.md: no table with the header "
                                      "| shown D | type F | t window (s) |")
        self.assertEqual(len(failures), 5)  # and then no row of any quick start is in it
        self.assertTrue(all(f.endswith("table (none)") for f in failures[1:]), failures)

        failures = run_check(display=DISPLAY.replace("| 59.940 | 59.900 |", "| 59.94 | 59.900 |"))[0]
        self.assertEqual(failures[0], "docs/display.md line 5: expected a row | D.ddd | F.ddd | A–B |, "
                                      "found | 59.94 | 59.900 | 21–30 |")

        failures = run_check(txt=readme_txt(en_quick="  Type 59.900 and time t.\n"))[0]
        self.assertEqual(failures,
                         ["README.txt English quick start (line 17): no row of the one-run table "
                          "(D, F, A–B)"])

    def test_a_missing_quick_start_or_part_fails(self):
        failures = run_check(md=readme(ja_quick="### まず\n"))[0]
        self.assertEqual(failures, ["README.md Japanese: no quick start"])
        failures = run_check(txt=readme_txt().replace("[English]", "English"))[0]
        self.assertEqual(failures, ["README.txt English: the part is missing"])

    def test_a_quick_start_opens_at_its_heading_and_ends_with_its_part(self):
        # The English part ends at the developers' part, whose row is not checked.
        md = ("## 日本語\n\n" + JA_QUICK + "\n## English\n\n" + EN_QUICK +
              "\n# For developers\n\n59.940 → 59.999, 1–2\n")
        self.assertEqual(run_check(md=md)[0], [])
        # A line that starts like the heading but has no underline opens nothing.
        txt = readme_txt().replace("[English]\n\n", "[English]\n\nQuick start notes.\n\n")
        self.assertEqual(run_check(txt=txt)[0], [])

    def test_output_ends_with_the_summary_and_the_quick_start_line(self):
        with tempfile.TemporaryDirectory() as folder:
            paths = {}
            for name, text in (("README.md", readme(en_quick=EN_QUICK + "word " * 600)),
                               ("README.txt", readme_txt()), ("display.md", DISPLAY)):
                paths[name] = os.path.join(folder, name)
                with open(paths[name], "w", encoding="utf-8") as file:
                    file.write(text)
            output = io.StringIO()
            with contextlib.redirect_stdout(output):
                status = check_guide.main(["--readme", paths["README.md"], "--readme-txt",
                                           paths["README.txt"], "--display", paths["display.md"]])
        self.assertEqual(status, 1)
        self.assertEqual(output.getvalue().splitlines(), [
            "FAILED: README.md English quick start (line 21): 613 words, more than 500",
            "guide check: 21 checks, 1 failed",
            "quick start: 613 English words, 45 Japanese characters"])


if __name__ == "__main__":
    unittest.main()
