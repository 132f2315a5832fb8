"""Checks the quick starts of the user's guide: README.md's user part and
docs/README.txt, each in Japanese and English.

- Length: an English quick start has at most 500 words, a Japanese one at most
  1,500 characters, in both documents.
- The one-run table: every row of a quick start equals a row of the table in
  docs/display.md whose header is `| shown D | type F | t window (s) |`, and
  every quick start has at least one row.

Where the parts and quick starts are:
- README.md: Japanese from the line `## 日本語` to `## English`, English from
  there to `# For developers`; the quick start from the heading line that
  starts with `### クイックスタート` or `### Quick start` to the next line that
  starts with `## ` or `### `.
- README.txt: Japanese from `[日本語]` to `[English]`, English from there to
  the end; the quick start from the line that starts with `クイックスタート` or
  `Quick start` and has a line of only `-` below it, to the next heading (a
  line with a line of only `-` or `=` below it) or the end of the part.

How the quick start is counted (its heading line included):
- First dropped: table separator rows (`|---|---:|`), heading underlines
  (lines of only `-` or `=`) and Markdown link and image targets (the
  `(target)` of `[text](target)`).
- English words: whitespace-separated tokens with at least one letter or
  digit ("→", "|" and "–" alone are not words; "21–30", a list number "1."
  and a field mark "②" are one each).
- Japanese characters: characters other than white space and Markdown markup.
  Markup is a heading's leading `#`s, a list marker (`-`, `*`, `+`, `1.`) or
  `>` at the start of a line, and the characters `*`, `` ` ``, `|`, `[`, `]`,
  and `!` right before `[`.

A row of the one-run table is any line of a quick start that holds, in this
order, a number with exactly three decimals (the rate shown, D), another one
(the flash rate to type, F) and a range `A–B` of two whole numbers joined by an
en dash (the window for t in seconds). Rows are compared as (D, F, A, B) text.

Prints the failures, then `guide check: N checks, M failed`, then, last,
`quick start: W English words, J Japanese characters` for README.md. Exit code
1 on any failure.
"""

import argparse
import os
import re
import sys

ENGLISH_WORD_LIMIT = 500
JAPANESE_CHARACTER_LIMIT = 1500
DISPLAY_HEADER = "| shown D | type F | t window (s) |"

LANGUAGES = ("Japanese", "English")
# Part markers of each kind of document: (Japanese, English, end or None).
MARKERS = {
    "md": ("## 日本語", "## English", "# For developers"),
    "txt": ("[日本語]", "[English]", None),
}
QUICK_START_TITLES = {"Japanese": "クイックスタート", "English": "Quick start"}

THREE_DECIMALS = r"(?<![0-9.])([0-9]+\.[0-9]{3})(?![0-9])"
RANGE = r"(?<![0-9.])([0-9]+)\u2013([0-9]+)(?![0-9.])"
ROW = re.compile(THREE_DECIMALS + r".*?" + THREE_DECIMALS + r".*?" + RANGE)
LINK_TARGET = re.compile(r"\]\([^)]*\)")
SEPARATOR_ROW = re.compile(r"\s*\|?(\s*:?-+:?\s*\|)+\s*(:?-+:?\s*)?")
UNDERLINE = re.compile(r"\s*(-+|=+)\s*")
LINE_MARKUP = re.compile(r"^\s*(#+\s|[-*+]\s|[0-9]+\.\s|>\s?)?")
CHARACTER_MARKUP = re.compile(r"!(?=\[)|[*`|\[\]]")


def split_lines(text):
    return text.replace("\r\n", "\n").split("\n")


def is_underline(line, marks="-"):
    stripped = line.strip()
    return bool(stripped) and all(c in marks for c in stripped)


def parts(lines, kind):
    """{language: (first line index, lines)} of the parts the document has."""
    stripped = [line.rstrip() for line in lines]

    def find(marker, start, missing=None):
        return stripped.index(marker, start) if marker in stripped[start:] else missing

    japanese, english, end_marker = MARKERS[kind]
    ja = find(japanese, 0)
    en = find(english, ja or 0)
    end = find(end_marker, en or 0, len(lines))
    found_parts = {}
    if ja is not None:
        found_parts["Japanese"] = (ja + 1, lines[ja + 1:en if en is not None else end])
    if en is not None:
        found_parts["English"] = (en + 1, lines[en + 1:end])
    return found_parts


def quick_start(part_lines, kind, language):
    """(index within the part, lines) of the part's quick start, or None."""
    n = len(part_lines)

    def underlined(i, marks):
        return i + 1 < n and is_underline(part_lines[i + 1], marks)

    def heading(i):
        line = part_lines[i]
        if kind == "md":
            return line.startswith(("## ", "### "))
        return bool(line.strip()) and not is_underline(line, "-=") and underlined(i, "-=")

    title = QUICK_START_TITLES[language]
    for i, line in enumerate(part_lines):
        if kind == "md" and line.startswith("### " + title):
            return i, part_lines[i:next((j for j in range(i + 1, n) if heading(j)), n)]
        if kind == "txt" and line.startswith(title) and underlined(i, "-"):
            return i, part_lines[i:next((j for j in range(i + 2, n) if heading(j)), n)]
    return None


def counted_lines(lines):
    """The lines that are counted, link targets dropped."""
    return [LINK_TARGET.sub("]", line) for line in lines
            if not SEPARATOR_ROW.fullmatch(line) and not UNDERLINE.fullmatch(line)]


def english_words(lines):
    return sum(1 for line in counted_lines(lines) for token in line.split()
               if any(c.isalnum() for c in token))


def japanese_characters(lines):
    total = 0
    for line in counted_lines(lines):
        line = CHARACTER_MARKUP.sub("", LINE_MARKUP.sub("", line, count=1))
        total += sum(1 for c in line if not c.isspace())
    return total


def table_rows(lines):
    """[(line index, (D, F, A, B))] of the lines that are rows of a one-run table."""
    return [(i, match.groups()) for i, match in enumerate(map(ROW.search, lines)) if match]


def display_rows(text):
    """The (D, F, A, B) rows of docs/display.md's table, or None without the
    table, and the failures of rows that do not read as such."""
    lines = split_lines(text)
    stripped = [line.strip() for line in lines]
    if DISPLAY_HEADER not in stripped:
        return None, []
    start = stripped.index(DISPLAY_HEADER) + 1
    rows, failures = [], []
    for i in range(start, len(lines)):
        line = stripped[i]
        if not line.startswith("|"):
            break
        if SEPARATOR_ROW.fullmatch(line):
            continue
        cells = [cell.strip() for cell in line.strip("|").split("|")]
        match = re.fullmatch(r"([0-9]+\.[0-9]{3})\|([0-9]+\.[0-9]{3})\|([0-9]+)\u2013([0-9]+)",
                             "|".join(cells))
        if match:
            rows.append(match.groups())
        else:
            failures.append(f"docs/display.md line {i + 1}: expected a row "
                            f"| D.ddd | F.ddd | A–B |, found {line}")
    return rows, failures


def row_text(row):
    return f"{row[0]} / {row[1]} / {row[2]}–{row[3]}"


def check(documents, display_text):
    """Checks the documents: {name: (kind, text)}. Returns (failures, number
    of checks, README.md's (English words, Japanese characters))."""
    failures = []
    checks = 0

    def expect(ok, message):
        nonlocal checks
        checks += 1
        if not ok:
            failures.append(message)
        return ok

    allowed, row_failures = display_rows(display_text)
    expect(allowed is not None, f"docs/display.md: no table with the header {DISPLAY_HEADER}")
    for failure in row_failures:
        expect(False, failure)
    allowed = allowed or []

    lengths = {}
    for name, (kind, text) in documents.items():
        found_parts = parts(split_lines(text), kind)
        for language in LANGUAGES:
            where = f"{name} {language}"
            if not expect(language in found_parts, f"{where}: the part is missing"):
                continue
            first, part_lines = found_parts[language]
            found = quick_start(part_lines, kind, language)
            if not expect(found is not None, f"{where}: no quick start"):
                continue
            at, lines = found
            heading_line = first + at + 1
            where = f"{name} {language} quick start (line {heading_line})"
            if language == "English":
                size, limit, unit = english_words(lines), ENGLISH_WORD_LIMIT, "words"
            else:
                size, limit, unit = japanese_characters(lines), JAPANESE_CHARACTER_LIMIT, "characters"
            lengths[(name, language)] = size
            expect(size <= limit, f"{where}: {size} {unit}, more than {limit}")
            rows = table_rows(lines)
            expect(rows, f"{where}: no row of the one-run table (D, F, A–B)")
            for i, row in rows:
                expect(row in allowed,
                       f"{name} line {heading_line + i}: the row {row_text(row)} is not a row of "
                       f"docs/display.md's table ({', '.join(map(row_text, allowed)) or 'none'})")
    readme = next(iter(documents))
    return failures, checks, (lengths.get((readme, "English"), 0),
                              lengths.get((readme, "Japanese"), 0))


def main(arguments=None):
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    parser = argparse.ArgumentParser(description="Checks the quick starts of the user's guide.")
    parser.add_argument("--readme", default=os.path.join(root, "README.md"))
    parser.add_argument("--readme-txt", default=os.path.join(root, "docs", "README.txt"))
    parser.add_argument("--display", default=os.path.join(root, "docs", "display.md"))
    options = parser.parse_args(arguments)

    def read(path):
        with open(path, encoding="utf-8") as file:
            return file.read()

    documents = {"README.md": ("md", read(options.readme)),
                 "README.txt": ("txt", read(options.readme_txt))}
    failures, checks, (words, characters) = check(documents, read(options.display))
    for failure in failures:
        print(f"FAILED: {failure}")
    print(f"guide check: {checks} checks, {len(failures)} failed")
    print(f"quick start: {words} English words, {characters} Japanese characters")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
