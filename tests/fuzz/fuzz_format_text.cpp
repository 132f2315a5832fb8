// Differential fuzzer for formatRealText and formatIntText against snprintf
// under the "C" locale.
//
// formatRealText must give the "%f" text when it is at most 63 characters,
// otherwise the "%e" text (six digits, such as 1.000000e+60); infinities are
// "inf" and "-inf" (which is also their "%f" text) and every NaN, whatever its
// sign bit or payload, is "nan". formatIntText must give the "%d" text. Both
// must be terminated within the 64 units of FieldText.
//
// From each input: the double of its first eight bytes (every bit pattern);
// the same significand and sign with the exponent moved to 2^-40..2^190, which
// covers rounding to six decimals and the 63-character limit near 1e56 and
// -1e55; a dyadic fraction n / 2^k, whose decimal digits end in 5 and so
// test ties at the sixth decimal; and two 32-bit integers.

#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/settings.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

constexpr size_t maxTextLength = 63;

std::string expectedRealText(double v) {
  if (std::isnan(v)) return "nan";
  char buffer[400];
  const int n = std::snprintf(buffer, sizeof buffer, "%f", v);
  if (n >= 0 && static_cast<size_t>(n) <= maxTextLength) return buffer;
  std::snprintf(buffer, sizeof buffer, "%e", v);
  return buffer;
}

// The text of a FieldText as ASCII, with any non-ASCII unit as "\uXXXX", or a
// note when it has no terminator.
std::string textOf(const FieldText& f) {
  std::string s;
  for (char16_t c : f.text) {
    if (c == 0) return s;
    if (c < 0x80) {
      s += static_cast<char>(c);
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04X", static_cast<unsigned>(c));
      s += escaped;
    }
  }
  return s + " <no terminator within 64 units>";
}

void checkReal(double v, const uint8_t* data, size_t size) {
  const std::string expected = expectedRealText(v);
  const std::string got = textOf(formatRealText(v));
  if (expected != got) {
    uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    char value[80];
    std::snprintf(value, sizeof value, "value %a (bits 0x%016" PRIx64 ")", v, bits);
    reportMismatch("formatRealText", data, size, value, "\"" + expected + "\"", "\"" + got + "\"");
  }
}

void checkInt(int32_t v, const uint8_t* data, size_t size) {
  char expected[16];
  std::snprintf(expected, sizeof expected, "%d", static_cast<int>(v));
  const std::string got = textOf(formatIntText(v));
  if (got != expected) {
    reportMismatch("formatIntText", data, size, "value " + std::to_string(v),
                   "\"" + std::string(expected) + "\"", "\"" + got + "\"");
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzzSetUp();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  uint8_t bytes[16] = {};
  std::memcpy(bytes, data, size < sizeof bytes ? size : sizeof bytes);

  uint64_t bits;
  std::memcpy(&bits, bytes, sizeof bits);
  double raw;
  std::memcpy(&raw, &bits, sizeof raw);
  checkReal(raw, data, size);

  // Biased exponent 1023-40 .. 1023+190, chosen by the top exponent bits.
  const uint64_t exponent = 1023 - 40 + ((bits >> 52) & 0x7FF) % 231;
  const uint64_t movedBits = (bits & 0x800FFFFFFFFFFFFFull) | (exponent << 52);
  double moved;
  std::memcpy(&moved, &movedBits, sizeof moved);
  checkReal(moved, data, size);

  int32_t first;
  int32_t second;
  std::memcpy(&first, bytes + 8, sizeof first);
  std::memcpy(&second, bytes + 12, sizeof second);
  checkReal(std::ldexp(static_cast<double>(first), -(bytes[12] % 40)), data, size);

  checkInt(first, data, size);
  checkInt(second, data, size);
  checkInt(static_cast<int32_t>(bits), data, size);
  return 0;
}
