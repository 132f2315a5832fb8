// Text rules of the dialog's numeric fields: UTF-16 text to numbers and back.
// Everything here is independent of the locale and of the C runtime's wide
// conversions, which accept other digits, markers and special forms.

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string_view>
#include <system_error>

#include "core/platform.h"
#include "core/settings.h"

namespace {

bool isSpaceChar(char16_t c) {
  if (c <= 0xFF) {
    return c == u'\t' || c == u'\n' || c == u'\v' || c == u'\f' || c == u'\r' || c == u' ' ||
           c == 0x00A0;
  }
  return platformIsSpace(c);
}

size_t skipSpace(std::u16string_view text) {
  size_t i = 0;
  while (i < text.size() && isSpaceChar(text[i])) ++i;
  return i;
}

// The zero of every block of decimal digits that integer fields accept.
constexpr char16_t decimalZeros[] = {
    0x0030, 0x0660, 0x06F0, 0x0966, 0x09E6, 0x0A66, 0x0AE6, 0x0B66, 0x0C66,
    0x0CE6, 0x0D66, 0x0E50, 0x0ED0, 0x0F20, 0x1040, 0x17E0, 0x1810, 0xFF10,
};

constexpr int notDigit = 99;

// Digit value 0..35 of `c` in an integer field, or notDigit.
int digitValue(char16_t c) {
  for (char16_t zero : decimalZeros) {
    if (c >= zero && c <= zero + 9) return c - zero;
  }
  if (c >= u'a' && c <= u'z') return c - u'a' + 10;
  if (c >= u'A' && c <= u'Z') return c - u'A' + 10;
  return notDigit;
}

bool isAsciiDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// Significant decimal digits kept for conversion. A midpoint between two
// adjacent doubles has at most 767 significant digits, so cutting after more
// than that and marking a non-zero remainder with one extra non-zero digit
// keeps the correctly rounded result.
constexpr int keptDigits = 780;

// Exponents are read saturated here; anything larger is far outside the
// double range whatever the digits.
constexpr int64_t exponentLimit = 1000000000;

// With the value written as 0.d1d2... x 10^E (d1 non-zero), every value with
// E above this is beyond the largest double (1e309 > 1.8e308) ...
constexpr int64_t overflowDecade = 309;
// ... and every value with E below this is under half the smallest subnormal
// (1e-324 < 2.47e-324), so it rounds to zero.
constexpr int64_t underflowDecade = -323;

void copyAscii(const char* first, const char* last, FieldText& out) {
  int n = 0;
  for (const char* p = first; p != last && n + 1 < fieldTextCapacity; ++p) {
    out.text[n++] = static_cast<char16_t>(static_cast<unsigned char>(*p));
  }
  out.text[n] = 0;
}

// Skips leading white space and an optional sign; gives the index after them.
size_t skipSpaceAndSign(std::u16string_view text, bool* negative) {
  size_t i = skipSpace(text);
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
    *negative = text[i] == u'-';
    ++i;
  }
  return i;
}

}  // namespace

int32_t parseIntText(std::u16string_view text, int32_t fallback) {
  bool negative = false;
  size_t i = skipSpaceAndSign(text, &negative);

  int base = 10;
  if (i < text.size() && digitValue(text[i]) == 0) {
    if (i + 1 < text.size() && (text[i + 1] == u'x' || text[i + 1] == u'X')) {
      base = 16;
      i += 2;
    } else {
      base = 8;
    }
  }

  // The magnitude stops growing once it passes 2^31, the largest magnitude
  // any result can have; the digits are still consumed.
  constexpr uint64_t cap = uint64_t{1} << 31;
  uint64_t magnitude = 0;
  bool anyDigit = false;
  for (; i < text.size(); ++i) {
    int d = digitValue(text[i]);
    if (d >= base) break;
    anyDigit = true;
    if (magnitude <= cap) {
      magnitude = magnitude * static_cast<uint64_t>(base) + static_cast<uint64_t>(d);
    }
  }
  if (!anyDigit) return fallback;

  if (negative) {
    if (magnitude >= cap) return std::numeric_limits<int32_t>::min();
    return -static_cast<int32_t>(magnitude);
  }
  if (magnitude >= cap) return std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(magnitude);
}

double parseRealText(std::u16string_view text, double fallback) {
  bool negative = false;
  size_t i = skipSpaceAndSign(text, &negative);

  // The mantissa as 0.d1d2... x 10^decade: its significant digits from the
  // first non-zero one, at most keptDigits of them, and whether a non-zero
  // digit was dropped after those.
  char digits[keptDigits + 1];
  int digitCount = 0;
  bool droppedNonZero = false;
  int64_t decade = 0;
  bool anyDigit = false;
  auto takeDigit = [&](char16_t c, bool integerPart) {
    anyDigit = true;
    if (digitCount == 0 && c == u'0') {
      if (!integerPart) --decade;
      return;
    }
    if (integerPart) ++decade;
    if (digitCount < keptDigits) {
      digits[digitCount++] = static_cast<char>(c);
    } else if (c != u'0') {
      droppedNonZero = true;
    }
  };
  for (; i < text.size() && isAsciiDigit(text[i]); ++i) takeDigit(text[i], true);
  if (i < text.size() && text[i] == u'.') {
    ++i;
    for (; i < text.size() && isAsciiDigit(text[i]); ++i) takeDigit(text[i], false);
  }
  if (!anyDigit) return fallback;

  // An exponent counts only with at least one digit after the marker and sign.
  if (i < text.size() &&
      (text[i] == u'e' || text[i] == u'E' || text[i] == u'd' || text[i] == u'D')) {
    size_t j = i + 1;
    bool negativeExponent = false;
    if (j < text.size() && (text[j] == u'+' || text[j] == u'-')) {
      negativeExponent = text[j] == u'-';
      ++j;
    }
    if (j < text.size() && isAsciiDigit(text[j])) {
      int64_t exponent = 0;
      for (; j < text.size() && isAsciiDigit(text[j]); ++j) {
        exponent = exponent * 10 + (text[j] - u'0');
        if (exponent > exponentLimit) exponent = exponentLimit;
      }
      decade += negativeExponent ? -exponent : exponent;
    }
  }

  const double zero = negative ? -0.0 : 0.0;
  const double infinity =
      negative ? -std::numeric_limits<double>::infinity() : std::numeric_limits<double>::infinity();
  if (digitCount == 0) return zero;
  if (decade > overflowDecade) return infinity;
  if (decade < underflowDecade) return zero;

  // "0.<digits>[1]e<decade>" in ASCII; the decade has at most three digits here.
  // Short mantissas are padded with zeros to more than 19 digits: with fewer,
  // from_chars may take a fast path that multiplies or divides two doubles,
  // which the 32-bit Windows build of the C++ library does in x87 registers,
  // rounding twice. With more digits it works on integers only.
  constexpr int minDigits = 24;
  char buffer[2 + keptDigits + 16];
  char* p = buffer;
  *p++ = '0';
  *p++ = '.';
  for (int k = 0; k < digitCount; ++k) *p++ = digits[k];
  if (droppedNonZero) *p++ = '1';
  for (int k = digitCount; k < minDigits; ++k) *p++ = '0';
  *p++ = 'e';
  p = std::to_chars(p, buffer + sizeof buffer, decade).ptr;

  double value = 0.0;
  std::from_chars_result r = std::from_chars(buffer, p, value, std::chars_format::general);
  if (r.ec == std::errc::result_out_of_range) return decade > 0 ? infinity : zero;
  if (r.ec != std::errc()) return fallback;  // not reached: the buffer is a valid number
  return negative ? -value : value;
}

FieldText formatRealText(double value) {
  FieldText out{};
  // Wide enough for the fixed text of the largest double: 309 integer digits,
  // a sign, the point and six decimals.
  char buffer[330];
  char* const end = buffer + sizeof buffer;
  constexpr ptrdiff_t maxLength = fieldTextCapacity - 1;

  if (value != value) {
    const char nan[] = "nan";
    copyAscii(nan, nan + 3, out);
    return out;
  }
  std::to_chars_result r = std::to_chars(buffer, end, value, std::chars_format::fixed, 6);
  if (r.ec != std::errc() || r.ptr - buffer > maxLength) {
    // Too long for the field in fixed notation: the "%e" text, which always
    // fits; infinities give "inf" and "-inf" either way.
    r = std::to_chars(buffer, end, value, std::chars_format::scientific, 6);
  }
  copyAscii(buffer, r.ptr, out);
  return out;
}

FieldText formatIntText(int32_t value) {
  FieldText out{};
  char buffer[16] = {};
  std::to_chars_result r = std::to_chars(buffer, buffer + sizeof buffer, value);
  copyAscii(buffer, r.ptr, out);
  return out;
}
