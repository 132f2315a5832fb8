#include "tests/fuzz/fuzz_support.h"

#include <clocale>
#include <cstdio>
#include <cstdlib>

#include "core/platform.h"

namespace {

// Characters above U+00FF that the stand-in platform classifies as space.
bool isWideSpace(char16_t c) {
  return c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F ||
         c == 0x205F || c == 0x3000;
}

}  // namespace

// The stand-in for the platform's character classification. It also answers
// true for U+001C..U+001F and U+0085, which the text rules do not count as
// white space: a parser that asked the platform about characters up to U+00FF
// instead of using the fixed set would skip them, and the oracle would notice.
bool platformIsSpace(char16_t c) { return isWideSpace(c) || (c >= 0x1C && c <= 0x1F) || c == 0x85; }

bool oracleIsSpace(char16_t c) {
  switch (c) {
    case u'\t':
    case u'\n':
    case u'\v':
    case u'\f':
    case u'\r':
    case u' ':
    case 0x00A0: return true;
    default: return isWideSpace(c);
  }
}

void fuzzSetUp() { std::setlocale(LC_ALL, "C"); }

std::u16string unitsFromBytes(const uint8_t* data, size_t size) {
  std::u16string text;
  for (size_t i = 0; i + 1 < size; i += 2) {
    text.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
  }
  return text;
}

std::u16string unitsFromAlphabet(const uint8_t* data, size_t size, std::u16string_view alphabet) {
  std::u16string text;
  for (size_t i = 0; i < size; ++i) text.push_back(alphabet[data[i] % alphabet.size()]);
  return text;
}

std::string describeUnits(std::u16string_view text) {
  std::string s = "(" + std::to_string(text.size()) + " units) \"";
  for (char16_t c : text) {
    if (c >= 0x20 && c < 0x7F && c != u'\\' && c != u'"') {
      s += static_cast<char>(c);
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04X", static_cast<unsigned>(c));
      s += escaped;
    }
  }
  return s + "\"";
}

void reportMismatch(const char* rule, const uint8_t* data, size_t size, const std::string& text,
                    const std::string& expected, const std::string& got) {
  std::fprintf(stderr, "\nMISMATCH in %s\ninput (%zu bytes):", rule, size);
  for (size_t i = 0; i < size; ++i) std::fprintf(stderr, "%s%02x", i % 32 ? "" : "\n  ", data[i]);
  std::fprintf(stderr, "\n");
  if (!text.empty()) std::fprintf(stderr, "text: %s\n", text.c_str());
  std::fprintf(stderr, "expected: %s\ngot:      %s\n", expected.c_str(), got.c_str());
  std::abort();
}
