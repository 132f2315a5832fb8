// Differential fuzzer for parseIntText against a plain model of the rule:
// white space, an optional sign, the base chosen from the first digit's value,
// digits of that base from a lookup table of every accepted digit, and
// saturation to the signed 32-bit range.
//
// Every input is checked as raw UTF-16 (pairs of bytes) and as a text spelled
// from an alphabet of the characters that matter to the rule.

#include <cstdint>
#include <string>
#include <string_view>

#include "core/settings.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

constexpr int32_t intFallback = -770077;  // no digit-free text may produce it

constexpr int noDigit = -1;

// Digit value of every UTF-16 unit, noDigit for the rest.
struct DigitTable {
  signed char value[0x10000];
};

const DigitTable& digitTable() {
  static const DigitTable table = [] {
    DigitTable t;
    for (signed char& v : t.value) v = noDigit;
    // Zero of ASCII and of the 17 further decimal blocks: Arabic-Indic,
    // Extended Arabic-Indic, Devanagari, Bengali, Gurmukhi, Gujarati, Oriya,
    // Telugu, Kannada, Malayalam, Thai, Lao, Tibetan, Myanmar, Khmer,
    // Mongolian, fullwidth.
    const unsigned zeros[] = {0x30,  0x660, 0x6F0, 0x966, 0x9E6, 0xA66,  0xAE6,  0xB66,  0xC66,
                              0xCE6, 0xD66, 0xE50, 0xED0, 0xF20, 0x1040, 0x17E0, 0x1810, 0xFF10};
    for (unsigned zero : zeros) {
      for (int d = 0; d < 10; ++d) t.value[zero + d] = static_cast<signed char>(d);
    }
    for (int k = 0; k < 26; ++k) {
      t.value['a' + k] = static_cast<signed char>(10 + k);
      t.value['A' + k] = static_cast<signed char>(10 + k);
    }
    return t;
  }();
  return table;
}

int digitOf(std::u16string_view t, size_t i) {
  return i < t.size() ? digitTable().value[t[i]] : noDigit;
}

int32_t modelParseInt(std::u16string_view t, int32_t fallback) {
  size_t i = 0;
  while (i < t.size() && oracleIsSpace(t[i])) ++i;
  bool negative = false;
  if (i < t.size() && (t[i] == u'+' || t[i] == u'-')) negative = t[i++] == u'-';

  int base = 10;
  if (digitOf(t, i) == 0) {
    if (i + 1 < t.size() && (t[i + 1] == u'x' || t[i + 1] == u'X')) {
      base = 16;
      i += 2;
    } else {
      base = 8;
    }
  }

  // Beyond 2^32 the exact magnitude no longer matters: hold it at 2^32.
  constexpr uint64_t hold = uint64_t{1} << 32;
  uint64_t magnitude = 0;
  int count = 0;
  for (; digitOf(t, i) != noDigit && digitOf(t, i) < base; ++i, ++count) {
    magnitude = magnitude * base + digitOf(t, i);
    if (magnitude > hold) magnitude = hold;
  }
  if (count == 0) return fallback;

  const int64_t value =
      negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(value);
}

void check(std::u16string_view text, const uint8_t* data, size_t size) {
  const int32_t expected = modelParseInt(text, intFallback);
  const int32_t got = parseIntText(text, intFallback);
  if (expected != got) {
    reportMismatch("parseIntText", data, size, describeUnits(text), std::to_string(expected),
                   std::to_string(got));
  }
}

// The characters that matter to the rule: ASCII and block digits (zeros,
// nines, neighbours just outside a block), letters around the base limits,
// signs and white space of both kinds, with ASCII digits weighted up.
const std::u16string alphabet = [] {
  std::u16string a = u"0123456789000111777888999xXxX+-+- \t\n\v\f\r";
  a += u"aAfFgGzZ.";
  for (char16_t zero : {0x0660, 0x06F0, 0x0966, 0x09E6, 0x0A66, 0x0AE6, 0x0B66, 0x0C66, 0x0CE6,
                        0x0D66, 0x0E50, 0x0ED0, 0x0F20, 0x1040, 0x17E0, 0x1810, 0xFF10}) {
    a.push_back(zero);
    a.push_back(zero + 7);
    a.push_back(zero + 9);
  }
  for (char16_t c : {0x002F, 0x003A, 0x0040, 0x005B, 0x0060, 0x007B, 0x065F, 0x066A, 0xFF0F, 0xFF1A,
                     0xFF21, 0xFF41, 0x00A0, 0x3000, 0x2000, 0x200A, 0x200B, 0x1680, 0x0085, 0x001C,
                     0x001F, 0x2212, 0xFF0B, 0xFF0D, 0xFF58, 0xD800, 0xDFFF, 0x0000}) {
    a.push_back(c);
  }
  return a;
}();

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzSetUp();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  check(unitsFromBytes(data, size), data, size);
  check(unitsFromAlphabet(data, size, alphabet), data, size);
  return 0;
}
