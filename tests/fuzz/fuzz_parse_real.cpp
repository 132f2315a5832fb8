// Differential fuzzer for parseRealText. The oracle scans the accepted ASCII
// prefix itself, turns a "d"/"D" exponent marker into "e" and converts with
// strtod under the "C" locale; the doubles must agree bit for bit.
//
// Every input is checked three ways: as raw UTF-16 (pairs of bytes), as a text
// spelled from an alphabet of the characters that matter, and, from its first
// eight bytes, as a long decimal text at or next to the midpoint between two
// adjacent doubles, where only correctly rounded conversion gets every bit.

#include <cfloat>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "core/settings.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

// A NaN-free value that no accepted text can produce by accident.
constexpr double realFallback = -12345.678;

bool isAsciiDigitAt(std::u16string_view t, size_t i) {
  return i < t.size() && t[i] >= u'0' && t[i] <= u'9';
}

// The accepted number as ASCII text for strtod, or "" when nothing is accepted.
std::string acceptedNumber(std::u16string_view t) {
  size_t i = 0;
  while (i < t.size() && oracleIsSpace(t[i])) ++i;
  std::string number;
  if (i < t.size() && (t[i] == u'+' || t[i] == u'-')) number += static_cast<char>(t[i++]);
  size_t mantissaDigits = 0;
  while (isAsciiDigitAt(t, i)) {
    number += static_cast<char>(t[i++]);
    ++mantissaDigits;
  }
  if (i < t.size() && t[i] == u'.') {
    number += '.';
    ++i;
    while (isAsciiDigitAt(t, i)) {
      number += static_cast<char>(t[i++]);
      ++mantissaDigits;
    }
  }
  if (mantissaDigits == 0) return "";

  if (i < t.size() && (t[i] == u'e' || t[i] == u'E' || t[i] == u'd' || t[i] == u'D')) {
    size_t j = i + 1;
    std::string exponent = "e";
    if (j < t.size() && (t[j] == u'+' || t[j] == u'-')) exponent += static_cast<char>(t[j++]);
    if (isAsciiDigitAt(t, j)) {
      while (isAsciiDigitAt(t, j)) exponent += static_cast<char>(t[j++]);
      number += exponent;
    }
  }
  return number;
}

std::string describeDouble(double v) {
  uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  char s[96];
  std::snprintf(s, sizeof s, "%a (%.17g, bits 0x%016" PRIx64 ")", v, v, bits);
  return s;
}

void check(std::u16string_view text, const uint8_t* data, size_t size) {
  const std::string number = acceptedNumber(text);
  double expected = realFallback;
  if (!number.empty()) {
    char* end = nullptr;
    expected = std::strtod(number.c_str(), &end);
    if (end != number.c_str() + number.size()) {
      reportMismatch("parseRealText oracle (strtod stopped early)", data, size, describeUnits(text),
                     number, std::string(end));
    }
  }
  const double got = parseRealText(text, realFallback);
  if (std::memcmp(&expected, &got, sizeof got) != 0) {
    reportMismatch("parseRealText", data, size, describeUnits(text),
                   describeDouble(expected) + " from \"" + number + "\"", describeDouble(got));
  }
}

std::u16string toUnits(const std::string& ascii) {
  return std::u16string(ascii.begin(), ascii.end());
}

// Subtracts one unit in the last place from a string of decimal digits.
void decrementDigits(std::string& digits) {
  for (size_t k = digits.size(); k-- > 0;) {
    if (digits[k] != '0') {
      --digits[k];
      return;
    }
    digits[k] = '9';
  }
}

// A long decimal text at or next to the midpoint between |x| and the next
// double up (for the largest double, the midpoint towards 2^1024), written
// out exactly. Byte 8 of the input chooses the text, byte 9 sign and marker.
void checkMidpoint(const uint8_t* data, size_t size) {
  double x;
  std::memcpy(&x, data, sizeof x);
  x = std::fabs(x);
  if (!std::isfinite(x)) return;
  const long double up = x == DBL_MAX ? static_cast<long double>(x) + std::ldexp(1.0L, 971)
                                      : static_cast<long double>(std::nextafter(x, INFINITY));
  const long double mid = (static_cast<long double>(x) + up) / 2;  // exact in 64 bits

  // "d.ddd...de+XX" with 800 decimals: every midpoint has at most 767
  // significant digits, so this is exact and ends in zeros.
  char buffer[900];
  std::snprintf(buffer, sizeof buffer, "%.800Le", mid);
  const std::string text = buffer;
  const size_t e = text.find('e');
  std::string digits = text.substr(0, 1) + text.substr(2, e - 2);  // 801 digits
  const long exponent = std::strtol(text.c_str() + e + 1, nullptr, 10);
  if (digits.back() != '0') {
    reportMismatch("the midpoint oracle (digits not exact)", data, size, "", "a last digit 0",
                   text);
  }

  const unsigned choice = size > 8 ? data[8] : 0;
  const unsigned style = size > 9 ? data[9] : 0;
  switch (choice % 3) {
    case 0: break;                            // the midpoint itself: a tie
    case 1: digits.back() = '1'; break;       // just above it
    default: decrementDigits(digits); break;  // just below it
  }
  const std::string sign = style & 1 ? "-" : style & 2 ? "+" : "";
  const std::string marker = style & 4 ? "D" : style & 8 ? "E" : "e";
  std::string number;
  switch (choice / 3 % 4) {
    case 0:  // d.ddd...eX
      number = digits.substr(0, 1) + "." + digits.substr(1) + marker + std::to_string(exponent);
      break;
    case 1:  // every digit before the point
      number = digits + marker + std::to_string(exponent - 800);
      break;
    case 2:  // every digit after "0."
      number = "0." + digits + marker + std::to_string(exponent + 1);
      break;
    default:  // plain fixed notation, with the leading zeros written out
      number = exponent < 0 ? "." + std::string(-exponent - 1, '0') + digits
                            : digits.substr(0, exponent + 1) + "." + digits.substr(exponent + 1);
      break;
  }
  check(toUnits(sign + number), data, size);
}

// The characters that matter to the rule, digits weighted up.
const std::u16string alphabet = [] {
  std::u16string a = u"0123456789012345678901234567890123456789..eEdD+-+- \t\n\v\f\rxXinfa,";
  a += u"\u00A0\u3000\u2000\u200A\u1680\u205F\u0085\u001C\u001F\u2212\uFF10\uFF11\u0660\uFF0E";
  a += u"\u200B\uFEFF";
  a.push_back(0xD800);
  a.push_back(0xDC00);
  a.push_back(0);
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
  if (size >= 8) checkMidpoint(data, size);
  return 0;
}
