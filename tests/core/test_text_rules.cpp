// Text rules of the numeric fields: integer and real parsing of UTF-16 text,
// and the texts written back for reals and integers.
//
// Reals are checked bit for bit against strtod and snprintf of the same ASCII
// text under the "C" locale, the references for correct rounding.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <string_view>

#include "core/settings.h"
#include "tests/core/fake_platform.h"

namespace {

constexpr int32_t intMax = std::numeric_limits<int32_t>::max();
constexpr int32_t intMin = std::numeric_limits<int32_t>::min();
constexpr int32_t intFallback = -777;
constexpr double realFallback = -12345.25;
const double infinity = std::numeric_limits<double>::infinity();

// The decimal zeros of the eighteen digit blocks integer fields accept.
constexpr char16_t digitZeros[] = {
    0x0030, 0x0660, 0x06F0, 0x0966, 0x09E6, 0x0A66, 0x0AE6, 0x0B66, 0x0C66,
    0x0CE6, 0x0D66, 0x0E50, 0x0ED0, 0x0F20, 0x1040, 0x17E0, 0x1810, 0xFF10,
};

std::u16string u16(std::string_view ascii) {
  std::u16string s;
  for (char c : ascii) s.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
  return s;
}

int32_t parseInt(std::u16string_view text) { return parseIntText(text, intFallback); }
double parseReal(std::u16string_view text) { return parseRealText(text, realFallback); }
double parseReal(std::string_view ascii) { return parseReal(u16(ascii)); }

uint64_t bitsOf(double v) {
  uint64_t b;
  std::memcpy(&b, &v, sizeof b);
  return b;
}

double fromBits(uint64_t b) {
  double v;
  std::memcpy(&v, &b, sizeof v);
  return v;
}

double oracle(const std::string& ascii) { return std::strtod(ascii.c_str(), nullptr); }

// Expects parseRealText to give exactly strtod's double for an ASCII text.
void expectSameAsStrtod(const std::string& ascii) {
  double expected = oracle(ascii);
  double actual = parseReal(ascii);
  EXPECT_EQ(bitsOf(actual), bitsOf(expected))
      << "text " << ascii << ": got " << actual << ", strtod gives " << expected;
}

// The text of a FieldText, which must be terminated within its 64 units and
// hold only ASCII.
std::string textOf(const FieldText& f) {
  std::string s;
  size_t n = 0;
  while (n < 64 && f.text[n] != 0) {
    EXPECT_LT(static_cast<int>(f.text[n]), 0x80) << "non-ASCII unit at " << n;
    s.push_back(static_cast<char>(f.text[n]));
    ++n;
  }
  EXPECT_LT(n, 64u) << "text not terminated";
  return s;
}

std::string printfText(const char* format, double v) {
  int n = std::snprintf(nullptr, 0, format, v);
  std::string text(static_cast<size_t>(n) + 1, '\0');
  std::snprintf(&text[0], text.size(), format, v);
  text.resize(static_cast<size_t>(n));
  return text;
}

// Exact decimal text of a double in fixed notation with 1100 decimals, which
// holds every double exactly.
std::string exactDecimal(double v) { return printfText("%.1100f", v); }

// Sum of two non-negative fixed-point decimal texts with equally long
// integer and fraction parts.
std::string addDecimal(const std::string& a, const std::string& b) {
  std::string padA = a, padB = b;
  size_t pointA = padA.find('.'), pointB = padB.find('.');
  if (pointA < pointB) padA.insert(0, pointB - pointA, '0');
  if (pointB < pointA) padB.insert(0, pointA - pointB, '0');
  EXPECT_EQ(padA.size(), padB.size());
  std::string sum(padA.size(), '0');
  int carry = 0;
  for (size_t k = padA.size(); k-- > 0;) {
    if (padA[k] == '.') {
      sum[k] = '.';
      continue;
    }
    int d = (padA[k] - '0') + (padB[k] - '0') + carry;
    sum[k] = static_cast<char>('0' + d % 10);
    carry = d / 10;
  }
  if (carry) sum.insert(0, 1, '1');
  return sum;
}

// Half of a non-negative fixed-point decimal text, exact (one more decimal).
std::string halveDecimal(const std::string& a) {
  std::string digits = a + "0";
  std::string half;
  int remainder = 0;
  for (char c : digits) {
    if (c == '.') {
      half.push_back('.');
      continue;
    }
    int d = remainder * 10 + (c - '0');
    half.push_back(static_cast<char>('0' + d / 2));
    remainder = d % 2;
  }
  return half;
}

// Exact text of the point halfway between two non-negative doubles' texts.
std::string midpoint(const std::string& exactA, const std::string& exactB) {
  return halveDecimal(addDecimal(exactA, exactB));
}

// --- parseIntText -----------------------------------------------------------

TEST(ParseIntTextBasics, ReadsDecimalAndIgnoresTrailingText) {
  EXPECT_EQ(parseInt(u"5x"), 5);
  EXPECT_EQ(parseInt(u"42"), 42);
  EXPECT_EQ(parseInt(u"-3"), -3);
  EXPECT_EQ(parseInt(u"+3"), 3);
  EXPECT_EQ(parseInt(u"1,5"), 1);
  EXPECT_EQ(parseInt(u"12 34"), 12);
  EXPECT_EQ(parseInt(u"1.9"), 1);
  EXPECT_EQ(parseInt(u"1a"), 1);  // "a" is worth 10, not a decimal digit
}

TEST(ParseIntTextBasics, TextWithoutDigitsGivesFallback) {
  EXPECT_EQ(parseInt(u""), intFallback);
  EXPECT_EQ(parseInt(u"   "), intFallback);
  EXPECT_EQ(parseInt(u"abc"), intFallback);
  EXPECT_EQ(parseInt(u"x"), intFallback);
  EXPECT_EQ(parseInt(u"+"), intFallback);
  EXPECT_EQ(parseInt(u"-"), intFallback);
  EXPECT_EQ(parseInt(u"+-1"), intFallback);
  EXPECT_EQ(parseInt(u"-+1"), intFallback);
  EXPECT_EQ(parseInt(u"--1"), intFallback);
  EXPECT_EQ(parseInt(u"- 1"), intFallback);
  EXPECT_EQ(parseInt(u".5"), intFallback);
  // The fallback is handed back unchanged, whatever it is.
  EXPECT_EQ(parseIntText(u"", intMin), intMin);
  EXPECT_EQ(parseIntText(u"-", 10), 10);
  EXPECT_EQ(parseIntText(u"0x", 0), 0);
}

TEST(ParseIntTextBasics, ReadsOnlyTheGivenView) {
  std::u16string text = u"123";
  EXPECT_EQ(parseInt(std::u16string_view(text.data(), 2)), 12);
  EXPECT_EQ(parseInt(std::u16string_view(text.data(), 0)), intFallback);
  const char16_t withNul[] = {u'1', 0, u'2'};
  EXPECT_EQ(parseInt(std::u16string_view(withNul, 3)), 1);
}

TEST(ParseIntTextWhiteSpace, SkipsLatin1WhiteSpace) {
  const char16_t spaces[] = {u'\t', u'\n', u'\v', u'\f', u'\r', u' ', 0x00A0};
  for (char16_t s : spaces) {
    std::u16string text{s};
    text += u"7";
    EXPECT_EQ(parseInt(text), 7) << "space U+" << std::hex << int{s};
    EXPECT_EQ(parseInt(std::u16string(3, s) + u"-7"), -7) << "space U+" << std::hex << int{s};
  }
  EXPECT_EQ(parseInt(u" \t\r\n\u00A0\v\f 7"), 7);
}

TEST(ParseIntTextWhiteSpace, OtherLatin1CharactersAreNotWhiteSpace) {
  // Includes U+0085 (next line) and the C0 separators U+001C..U+001F, which
  // some C libraries class as space.
  for (char16_t c = 0; c <= 0xFF; ++c) {
    bool space = c == u'\t' || c == u'\n' || c == u'\v' || c == u'\f' || c == u'\r' || c == u' ' ||
                 c == 0x00A0;
    if (space || (c >= u'0' && c <= u'9') || c == u'+' || c == u'-') continue;
    std::u16string text{c};
    text += u"7";
    EXPECT_EQ(parseInt(text), intFallback) << "U+" << std::hex << int{c};
  }
}

TEST(ParseIntTextWhiteSpace, AboveLatin1AsksThePlatform) {
  const char16_t platformSpaces[] = {0x1680, 0x2000, 0x2005, 0x200A, 0x2028,
                                     0x2029, 0x202F, 0x205F, 0x3000};
  for (char16_t s : platformSpaces) {
    ASSERT_TRUE(fake::Platform::isSpace(s));
    std::u16string text{s};
    text += u"7";
    EXPECT_EQ(parseInt(text), 7) << "U+" << std::hex << int{s};
  }
  EXPECT_EQ(parseInt(u"\u3000\u3000 \u300012"), 12);
  const char16_t notSpaces[] = {0x0100, 0x200B, 0x2060, 0x3001, 0xFEFF, 0xFFFF};
  for (char16_t c : notSpaces) {
    ASSERT_FALSE(fake::Platform::isSpace(c));
    std::u16string text{c};
    text += u"7";
    EXPECT_EQ(parseInt(text), intFallback) << "U+" << std::hex << int{c};
  }
}

TEST(ParseIntTextWhiteSpace, OnlyBeforeTheSign) {
  EXPECT_EQ(parseInt(u"\u3000-7"), -7);
  EXPECT_EQ(parseInt(u"-\u30007"), intFallback);
  EXPECT_EQ(parseInt(u"- 7"), intFallback);
}

TEST(ParseIntTextBase, HexadecimalAfterZeroX) {
  EXPECT_EQ(parseInt(u"0x1F"), 31);
  EXPECT_EQ(parseInt(u"0X1f"), 31);
  EXPECT_EQ(parseInt(u"0xabcdef"), 0xABCDEF);
  EXPECT_EQ(parseInt(u"0xABCDEF"), 0xABCDEF);
  EXPECT_EQ(parseInt(u"-0x10"), -16);
  EXPECT_EQ(parseInt(u"+0x10"), 16);
  EXPECT_EQ(parseInt(u"  0x7fffffff"), intMax);
  EXPECT_EQ(parseInt(u"0x00010"), 16);
}

TEST(ParseIntTextBase, GStopsHexadecimal) {
  EXPECT_EQ(parseInt(u"0x1g"), 1);
  EXPECT_EQ(parseInt(u"0xfG0"), 15);
  EXPECT_EQ(parseInt(u"0xg"), intFallback);
}

TEST(ParseIntTextBase, ZeroXWithoutHexDigitGivesFallback) {
  EXPECT_EQ(parseInt(u"0x"), intFallback);
  EXPECT_EQ(parseInt(u"0X"), intFallback);
  EXPECT_EQ(parseInt(u"-0x"), intFallback);
  EXPECT_EQ(parseInt(u"0x "), intFallback);
  EXPECT_EQ(parseInt(u"0x-1"), intFallback);
  EXPECT_EQ(parseInt(u"\uFF10x"), intFallback);
}

TEST(ParseIntTextBase, OctalAfterLeadingZero) {
  EXPECT_EQ(parseInt(u"017"), 15);
  EXPECT_EQ(parseInt(u"-017"), -15);
  EXPECT_EQ(parseInt(u"08"), 0);
  EXPECT_EQ(parseInt(u"0"), 0);
  EXPECT_EQ(parseInt(u"-0"), 0);
  EXPECT_EQ(parseInt(u"0777"), 511);
  EXPECT_EQ(parseInt(u"0a"), 0);  // letters are never octal digits
  EXPECT_EQ(parseInt(u"00x1"), 0);
}

TEST(ParseIntTextBase, SelectedByDigitValueInAnyBlock) {
  // Full-width zero and ASCII x: hexadecimal, both skipped.
  EXPECT_EQ(parseInt(u"\uFF10x1F"), 31);
  EXPECT_EQ(parseInt(u"\uFF10X1f"), 31);
  EXPECT_EQ(parseInt(u"\u0660x10"), 16);
  // Hexadecimal digits may themselves come from any block.
  EXPECT_EQ(parseInt(u"0x\uFF11\uFF10"), 16);
  // A zero of any block selects octal and is itself a digit.
  EXPECT_EQ(parseInt(u"\uFF1017"), 15);
  EXPECT_EQ(parseInt(u"\u0E50\u0E51\u0E57"), 15);
  EXPECT_EQ(parseInt(u"0\uFF18"), 0);
  // Only ASCII x marks hexadecimal; a full-width x is no digit.
  EXPECT_EQ(parseInt(u"0\uFF581F"), 0);
}

TEST(ParseIntTextDigits, FullWidthDecimal) {
  EXPECT_EQ(parseInt(u"\uFF11\uFF10"), 10);
  EXPECT_EQ(parseInt(u"-\uFF13"), -3);
}

TEST(ParseIntTextDigits, EveryBlockZeroToNine) {
  for (char16_t zero : digitZeros) {
    SCOPED_TRACE(testing::Message() << "block zero U+" << std::hex << int{zero});
    EXPECT_EQ(parseInt(std::u16string{zero}), 0);
    EXPECT_EQ(parseInt(std::u16string{static_cast<char16_t>(zero + 9)}), 9);
    // 1234567890: every value of the block, in decimal.
    std::u16string all;
    for (int d = 1; d <= 9; ++d) all.push_back(static_cast<char16_t>(zero + d));
    all.push_back(zero);
    EXPECT_EQ(parseInt(all), 1234567890);
    EXPECT_EQ(parseInt(u"-" + all), -1234567890);
  }
}

TEST(ParseIntTextDigits, CharacterAfterNineIsNoDigit) {
  for (char16_t zero : digitZeros) {
    SCOPED_TRACE(testing::Message() << "block zero U+" << std::hex << int{zero});
    const char16_t afterNine = static_cast<char16_t>(zero + 10);
    const char16_t beforeZero = static_cast<char16_t>(zero - 1);
    EXPECT_EQ(parseInt(std::u16string{afterNine}), intFallback);
    EXPECT_EQ(parseInt(std::u16string{u'4', afterNine, u'4'}), 4);
    // Not even in base 16, where a digit value of 10 would be taken.
    EXPECT_EQ(parseInt(std::u16string{u'0', u'x', u'1', afterNine}), 1);
    EXPECT_EQ(parseInt(std::u16string{beforeZero}), intFallback);
    EXPECT_EQ(parseInt(std::u16string{u'4', beforeZero, u'4'}), 4);
  }
}

TEST(ParseIntTextDigits, OtherDecimalDigitsAreNotAccepted) {
  // Decimal digits of blocks outside the list: N'Ko, Sinhala Lith, Limbu,
  // mathematical bold, superscripts and circled digits.
  const char16_t others[] = {0x07C1, 0x0DE7, 0x1947, 0x00B9, 0x00B2, 0x2460, 0xFF21};
  for (char16_t c : others) {
    EXPECT_EQ(parseInt(std::u16string{c}), intFallback) << "U+" << std::hex << int{c};
  }
}

TEST(ParseIntTextDigits, MixedBlocks) {
  // 1 (ASCII), 2 (Arabic-Indic), 3 (full-width), 4 (Devanagari), 5 (Thai).
  EXPECT_EQ(parseInt(u"1\u0662\uFF13\u096A\u0E55"), 12345);
  EXPECT_EQ(parseInt(u"\u17E9\u1819\u1049"), 999);
  EXPECT_EQ(parseInt(u"\u0F21\u0ED0\u0D67\u0CE6\u0C67\u0B66\u0AE7\u0A66\u09E7"), 101010101);
}

TEST(ParseIntTextDigits, LettersAreDigitsOnlyBelowTheBase) {
  EXPECT_EQ(parseInt(u"0xaA"), 170);
  EXPECT_EQ(parseInt(u"0xFfz"), 255);
  EXPECT_EQ(parseInt(u"0x\uFF21"), intFallback);  // full-width A is not a digit
  EXPECT_EQ(parseInt(u"19z"), 19);
  EXPECT_EQ(parseInt(u"07z"), 7);
}

TEST(ParseIntTextRange, SaturatesAtTheBoundaries) {
  EXPECT_EQ(parseInt(u"2147483647"), intMax);
  EXPECT_EQ(parseInt(u"2147483646"), intMax - 1);
  EXPECT_EQ(parseInt(u"2147483648"), intMax);
  EXPECT_EQ(parseInt(u"-2147483647"), intMin + 1);
  EXPECT_EQ(parseInt(u"-2147483648"), intMin);
  EXPECT_EQ(parseInt(u"-2147483649"), intMin);
}

TEST(ParseIntTextRange, NoWrapAroundForLongNumbers) {
  EXPECT_EQ(parseInt(u"4294967296"), intMax);            // 2^32
  EXPECT_EQ(parseInt(u"4294967297"), intMax);            // 2^32 + 1
  EXPECT_EQ(parseInt(u"-4294967295"), intMin);           // -(2^32 - 1)
  EXPECT_EQ(parseInt(u"18446744073709551617"), intMax);  // 2^64 + 1
  EXPECT_EQ(parseInt(u"-18446744073709551617"), intMin);
  EXPECT_EQ(parseInt(std::u16string(62, u'9')), intMax);
  EXPECT_EQ(parseInt(u"-" + std::u16string(61, u'9')), intMin);
  EXPECT_EQ(parseInt(std::u16string(5000, u'9') + u"x"), intMax);
  EXPECT_EQ(parseInt(u"\uFF19\uFF19\uFF19\uFF19\uFF19\uFF19\uFF19\uFF19\uFF19\uFF19"), intMax);
}

TEST(ParseIntTextRange, SaturatesInOtherBases) {
  EXPECT_EQ(parseInt(u"0x7FFFFFFF"), intMax);
  EXPECT_EQ(parseInt(u"0x80000000"), intMax);
  EXPECT_EQ(parseInt(u"-0x80000000"), intMin);
  EXPECT_EQ(parseInt(u"-0x7FFFFFFF"), intMin + 1);
  EXPECT_EQ(parseInt(u"-0x80000001"), intMin);
  EXPECT_EQ(parseInt(u"0xFFFFFFFFFFFFFFFFFFFFFFFF"), intMax);
  EXPECT_EQ(parseInt(u"017777777777"), intMax);
  EXPECT_EQ(parseInt(u"020000000000"), intMax);
  EXPECT_EQ(parseInt(u"-020000000000"), intMin);
  EXPECT_EQ(parseInt(u"-017777777777"), intMin + 1);
}

TEST(ParseIntTextRange, AgreesWithSnprintfOverManyValues) {
  std::mt19937 rng(20240611u);
  for (int k = 0; k < 20000; ++k) {
    int32_t v = static_cast<int32_t>(rng());
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%d", v);
    ASSERT_EQ(parseInt(u16(buffer)), v) << buffer;
    std::snprintf(buffer, sizeof buffer, "%s0x%X", v < 0 ? "-" : "",
                  v < 0 ? 0u - static_cast<uint32_t>(v) : static_cast<uint32_t>(v));
    ASSERT_EQ(parseInt(u16(buffer)), v) << buffer;
    std::snprintf(buffer, sizeof buffer, "%s0%o", v < 0 ? "-" : "",
                  v < 0 ? 0u - static_cast<uint32_t>(v) : static_cast<uint32_t>(v));
    ASSERT_EQ(parseInt(u16(buffer)), v) << buffer;
  }
}

// --- parseRealText ----------------------------------------------------------

TEST(ParseRealTextForms, FieldExamples) {
  EXPECT_EQ(parseReal(u"\uFF16\uFF10"), realFallback);
  EXPECT_EQ(parseReal(u"6d1"), 60.0);
  EXPECT_EQ(parseReal(u".5"), 0.5);
  EXPECT_EQ(parseReal(u"1+5"), 1.0);
  EXPECT_EQ(parseReal(u"inf"), realFallback);
  EXPECT_EQ(parseReal(u"0x10"), 0.0);
  EXPECT_EQ(parseReal(u"1,5"), 1.0);
  EXPECT_EQ(parseReal(u"60"), 60.0);
  EXPECT_EQ(parseReal(u"10"), 10.0);
  EXPECT_EQ(parseReal(u"-10"), -10.0);
}

TEST(ParseRealTextForms, MantissaShapes) {
  EXPECT_EQ(parseReal(u"5."), 5.0);
  EXPECT_EQ(parseReal(u"+.25"), 0.25);
  EXPECT_EQ(parseReal(u"-.25"), -0.25);
  EXPECT_EQ(parseReal(u"007.500"), 7.5);
  EXPECT_EQ(parseReal(u"1.2.3"), 1.2);
  EXPECT_EQ(parseReal(u"3 4"), 3.0);
  EXPECT_EQ(parseReal(u"."), realFallback);
  EXPECT_EQ(parseReal(u"+."), realFallback);
  EXPECT_EQ(parseReal(u"-.e5"), realFallback);
  EXPECT_EQ(parseReal(u""), realFallback);
  EXPECT_EQ(parseReal(u"+"), realFallback);
  EXPECT_EQ(parseReal(u"-"), realFallback);
  EXPECT_EQ(parseReal(u"+-1"), realFallback);
  EXPECT_EQ(parseReal(u"e5"), realFallback);
  EXPECT_EQ(parseReal(u"d5"), realFallback);
}

TEST(ParseRealTextForms, ExponentMarkers) {
  EXPECT_EQ(parseReal(u"6e1"), 60.0);
  EXPECT_EQ(parseReal(u"6E1"), 60.0);
  EXPECT_EQ(parseReal(u"6D1"), 60.0);
  EXPECT_EQ(parseReal(u"1.5d-3"), oracle("1.5e-3"));
  EXPECT_EQ(parseReal(u"1.5D+3"), 1500.0);
  EXPECT_EQ(parseReal(u"5e-1"), 0.5);
  EXPECT_EQ(parseReal(u".5e1"), 5.0);
  EXPECT_EQ(parseReal(u"5.e1"), 50.0);
  // Only e, E, d and D mark an exponent.
  EXPECT_EQ(parseReal(u"6f1"), 6.0);
  EXPECT_EQ(parseReal(u"6q1"), 6.0);
  EXPECT_EQ(parseReal(u"6p1"), 6.0);
}

TEST(ParseRealTextForms, ExponentMarkerWithoutDigitsIsNotPartOfTheNumber) {
  EXPECT_EQ(parseReal(u"1e"), 1.0);
  EXPECT_EQ(parseReal(u"1e+"), 1.0);
  EXPECT_EQ(parseReal(u"2d-"), 2.0);
  EXPECT_EQ(parseReal(u"1.5E"), 1.5);
  EXPECT_EQ(parseReal(u"3e 2"), 3.0);
  EXPECT_EQ(parseReal(u"3e+-2"), 3.0);
  EXPECT_EQ(parseReal(u"3ee2"), 3.0);
  EXPECT_EQ(parseReal(u"3e\uFF12"), 3.0);
  EXPECT_EQ(parseReal(u"3e2e2"), 300.0);
  EXPECT_EQ(parseReal(u"3e2.5"), 300.0);
}

TEST(ParseRealTextForms, SignAfterDigitsStartsNoExponent) {
  EXPECT_EQ(parseReal(u"1-5"), 1.0);
  EXPECT_EQ(parseReal(u"2.5+1"), 2.5);
  EXPECT_EQ(parseReal(u"-2-2"), -2.0);
}

TEST(ParseRealTextForms, NothingElseIsANumber) {
  const char16_t* noNumbers[] = {u"inf",      u"INF",     u"infinity", u"-inf",   u"nan",
                                 u"NaN",      u"-nan",    u"x10",      u"abc",    u"\u0665",
                                 u"\u0660.5", u"\uFF0E5", u"\uFF0B1",  u"\u22121"};
  for (const char16_t* t : noNumbers) {
    EXPECT_EQ(parseReal(std::u16string_view(t)), realFallback);
  }
  EXPECT_EQ(parseReal(u"0x1p3"), 0.0);
  EXPECT_EQ(parseReal(u"-0x10"), 0.0);
  EXPECT_EQ(parseReal(u"1\u0665"), 1.0);
  EXPECT_EQ(parseReal(u"2\uFF0E5"), 2.0);  // full-width full stop is no point
  // The fallback is handed back unchanged, whatever it is.
  EXPECT_EQ(bitsOf(parseRealText(u"", 1.7976931348623157e308)),
            bitsOf(std::numeric_limits<double>::max()));
  EXPECT_TRUE(std::isnan(parseRealText(u"x", std::nan(""))));
}

TEST(ParseRealTextForms, WhiteSpaceAsForIntegers) {
  const char16_t spaces[] = {u'\t', u'\n', u'\v', u'\f', u'\r', u' ', 0x00A0, 0x3000, 0x2003};
  for (char16_t s : spaces) {
    std::u16string text{s, s};
    text += u"-2.5";
    EXPECT_EQ(parseReal(text), -2.5) << "U+" << std::hex << int{s};
  }
  const char16_t notSpaces[] = {0x0085, 0x001F, 0x200B, 0xFEFF};
  for (char16_t c : notSpaces) {
    std::u16string text{c};
    text += u"2.5";
    EXPECT_EQ(parseReal(text), realFallback) << "U+" << std::hex << int{c};
  }
}

TEST(ParseRealTextForms, SignedZero) {
  EXPECT_FALSE(std::signbit(parseReal(u"0")));
  EXPECT_TRUE(std::signbit(parseReal(u"-0")));
  EXPECT_TRUE(std::signbit(parseReal(u"-0.000e5")));
  EXPECT_TRUE(std::signbit(parseReal(u"-1e-999")));
  EXPECT_EQ(parseReal(u"-0"), 0.0);
}

TEST(ParseRealTextRange, OverflowGivesInfinityOfTheSign) {
  EXPECT_EQ(parseReal(u"1e309"), infinity);
  EXPECT_EQ(parseReal(u"-1e309"), -infinity);
  EXPECT_EQ(parseReal(u"1.8e308"), infinity);
  EXPECT_EQ(parseReal(u"99999e99999"), infinity);
  EXPECT_EQ(parseReal(u"-0.00001e400"), -infinity);
  EXPECT_EQ(parseReal(u"1e99999999999999999999"), infinity);
  EXPECT_EQ(parseReal(u"-1e99999999999999999999"), -infinity);
  EXPECT_EQ(parseReal("1" + std::string(400, '0')), infinity);
}

TEST(ParseRealTextRange, LargestFiniteAndSmallestOverflowingValue) {
  const double max = std::numeric_limits<double>::max();
  EXPECT_EQ(parseReal(u"1.7976931348623157e308"), max);
  EXPECT_EQ(parseReal(u"-1.7976931348623157e308"), -max);
  EXPECT_EQ(parseReal(u"1.7976931348623158e308"), max);
  EXPECT_EQ(parseReal(u"1.7976931348623159e308"), infinity);

  // The point halfway between the largest double and 2^1024 rounds to even,
  // which is 2^1024: the smallest text that gives infinity.
  std::string exactMax = exactDecimal(max);
  std::string twoTo1024 = addDecimal(exactMax, exactDecimal(std::ldexp(1.0, 971)));
  std::string tie = midpoint(exactMax, twoTo1024);
  ASSERT_EQ(tie.substr(0, 17), "17976931348623158");
  EXPECT_EQ(parseReal(tie), infinity);
  EXPECT_EQ(parseReal("-" + tie), -infinity);
  expectSameAsStrtod(tie);
  // Anything below it, however little, is the largest double.
  std::string below = tie;
  size_t point = below.find('.');
  below = below.substr(0, point);  // the integer part ends in ...792
  ASSERT_EQ(below.back(), '2');
  below.back() = '1';
  // (strtod of the Windows C runtime misreads this with a much longer tail.)
  expectSameAsStrtod(below + ".9999999999");
  below += "." + std::string(900, '9');
  EXPECT_EQ(parseReal(below), max);
  EXPECT_EQ(parseReal(tie + std::string(900, '0') + "1"), infinity);
}

TEST(ParseRealTextRange, UnderflowGivesZero) {
  EXPECT_EQ(parseReal(u"1e-400"), 0.0);
  EXPECT_TRUE(std::signbit(parseReal(u"-1e-400")));
  EXPECT_EQ(parseReal(u"2e-324"), 0.0);
  EXPECT_EQ(parseReal(u"2.4703282292062327e-324"), 0.0);
  EXPECT_EQ(parseReal(u"1e-99999999999999999"), 0.0);
  EXPECT_EQ(parseReal("0." + std::string(400, '0') + "1"), 0.0);
}

TEST(ParseRealTextRange, SubnormalsAreKept) {
  const double denormMin = std::numeric_limits<double>::denorm_min();
  const double largestSubnormal = std::numeric_limits<double>::min() - denormMin;
  EXPECT_EQ(parseReal(u"4.9406564584124654e-324"), denormMin);
  EXPECT_EQ(parseReal(u"-4.9406564584124654e-324"), -denormMin);
  EXPECT_EQ(parseReal(u"2.4703282292062328e-324"), denormMin);
  EXPECT_EQ(parseReal(u"2.2250738585072009e-308"), largestSubnormal);
  EXPECT_EQ(parseReal(u"2.2250738585072014e-308"), std::numeric_limits<double>::min());
  EXPECT_EQ(parseReal(u"1e-320"), std::ldexp(1.0, -1074) * 2024.0);
  for (const char* t : {"4.9406564584124654e-324", "2.2250738585072009e-308", "1e-320",
                        "9.8813129168249309e-324", "1.5e-323", "3e-310", "2.2250738585072011e-308",
                        "2.2250738585072012e-308", "8.5e-322", "-7.4e-323"}) {
    expectSameAsStrtod(t);
  }
  EXPECT_EQ(std::fpclassify(parseReal(u"3e-310")), FP_SUBNORMAL);
}

TEST(ParseRealTextRange, SmallestSubnormalBoundary) {
  // Half the smallest subnormal rounds to even, which is zero; anything above
  // it, even in the 900th digit, rounds to the smallest subnormal.
  const double denormMin = std::numeric_limits<double>::denorm_min();
  std::string tie = midpoint(exactDecimal(0.0), exactDecimal(denormMin));
  ASSERT_EQ(tie.find("247032822920623"), 325u);
  EXPECT_EQ(bitsOf(parseReal(tie)), bitsOf(0.0));
  expectSameAsStrtod(tie);
  std::string above = tie + std::string(900, '0') + "1";
  EXPECT_EQ(parseReal(above), denormMin);
  expectSameAsStrtod(above);
  EXPECT_EQ(parseReal("-" + above), -denormMin);
}

TEST(ParseRealTextExponent, LongExponentDigitStrings) {
  EXPECT_EQ(parseReal(u"1e0000000000000000000000000000000000000005"), 1e5);
  EXPECT_EQ(parseReal(u"1e-000000000000000000000000000000000000005"), 1e-5);
  EXPECT_EQ(parseReal(u"0e999999999999"), 0.0);
  EXPECT_EQ(parseReal(u"0e-999999999999"), 0.0);
  EXPECT_EQ(parseReal("0." + std::string(50, '0') + "e999999999999999999999"), 0.0);
  EXPECT_EQ(parseReal(u"1e-99999999999999999"), 0.0);
  EXPECT_EQ(parseReal(u"1e99999999999999999999"), infinity);
  // Digits and exponent that cancel out.
  EXPECT_EQ(parseReal("0." + std::string(1000, '0') + "15e1002"), 15.0);
  EXPECT_EQ(parseReal("15" + std::string(1000, '0') + "e-1001"), 1.5);
  EXPECT_EQ(parseReal("1" + std::string(2000, '0') + "e-2000"), 1.0);
}

TEST(ParseRealTextRounding, HardCasesAgreeWithStrtod) {
  const char* hard[] = {
      "9007199254740993",
      "9007199254740992.5",
      "9007199254740993.0000000000000000000000000000001",
      "9007199254740991.4999999999999999999999999999999995",
      "1e23",
      "8.589973e9",
      "7.038531e-26",
      "9214843084008499",
      "30078505129381147446200",
      "1777820000000000000001",
      "0.500000000000000166533453693773481063544750213623046875",
      "0.500000000000000166533453693773481063544750213623046876",
      "0.500000000000000166533453693773481063544750213623046874",
      "3.518437208883201171875e13",
      "62.5364939768271845828",
      "8.10109172351e-10",
      "1.50000000000000011102230246251565404236316680908203125",
      "1.50000000000000011102230246251565404236316680908203124",
      "1.00000000000000011102230246251565404236316680908203125",
      "1.00000000000000011102230246251565404236316680908203126",
      "123456789012345678901234567890",
      "0.1",
      "0.3",
      "2.2250738585072011e-308",
      "4.4501477170144023e-308",
      "1.448997445238699",
      "4.3587e-295",
      "5.9604644775390625e-8",
      "1.7976931348623157e308",
      // Short mantissas whose product or quotient with a power of ten rounds
      // twice when computed in x87 registers.
      "1.892821043169593e+21",
      "982e-8",
      "59895e-18",
      "80054972798963e-12",
      "40488692189e18",
      "998176403846014e-9",
  };
  for (const char* t : hard) {
    expectSameAsStrtod(t);
    expectSameAsStrtod(std::string("-") + t);
  }
}

TEST(ParseRealTextRounding, TiesAtAdjacentDoublesRoundToEven) {
  // Each value and its successor, then the successor and the one after, so
  // that both an even and an odd lower neighbour are covered.
  const double lows[] = {1.0, 0.1, 1e300, 3e-310, 123456.789, 1e-5, 4503599627370496.0};
  for (double low : lows) {
    for (int step = 0; step < 2; ++step) {
      double a = low;
      for (int s = 0; s < step; ++s) a = std::nextafter(a, infinity);
      double b = std::nextafter(a, infinity);
      double even = (bitsOf(a) & 1) == 0 ? a : b;
      SCOPED_TRACE(testing::Message() << "between " << a << " and " << b);
      std::string tie = midpoint(exactDecimal(a), exactDecimal(b));
      EXPECT_EQ(bitsOf(parseReal(tie)), bitsOf(even));
      expectSameAsStrtod(tie);
      // A non-zero digit far beyond the tie decides for the upper neighbour.
      std::string above = tie + std::string(900, '0') + "1";
      EXPECT_EQ(bitsOf(parseReal(above)), bitsOf(b));
      expectSameAsStrtod(above);
      // Just under the tie goes to the lower neighbour: the last non-zero
      // digit one less, every digit after it 9, and 900 more nines.
      std::string under = tie;
      size_t last = under.find_last_not_of("0.");
      under[last] = static_cast<char>(under[last] - 1);
      for (size_t k = last + 1; k < under.size(); ++k) {
        if (under[k] != '.') under[k] = '9';
      }
      under += std::string(900, '9');
      EXPECT_EQ(bitsOf(parseReal(under)), bitsOf(a));
      expectSameAsStrtod(under);
    }
  }
}

TEST(ParseRealTextRounding, RandomDoublesRoundTripAndAgreeWithStrtod) {
  std::mt19937_64 rng(0x5EEDu);
  const char* formats[] = {"%.17g", "%.16g", "%.15g", "%.9e", "%.25e", "%.1e", "%.40g"};
  for (int k = 0; k < 20000; ++k) {
    double v = fromBits(rng());
    if (!std::isfinite(v)) continue;
    char buffer[80];
    std::snprintf(buffer, sizeof buffer, "%.17g", v);
    ASSERT_EQ(bitsOf(parseReal(std::string(buffer))), bitsOf(v)) << buffer;
    for (const char* f : formats) {
      std::snprintf(buffer, sizeof buffer, f, v);
      std::string text = buffer;
      double expected = oracle(text);
      ASSERT_EQ(bitsOf(parseReal(text)), bitsOf(expected)) << text;
      // The same number with the d marker.
      size_t e = text.find('e');
      if (e != std::string::npos) {
        text[e] = 'd';
        ASSERT_EQ(bitsOf(parseReal(text)), bitsOf(expected)) << text;
      }
    }
  }
}

TEST(ParseRealTextRounding, RandomDecimalTextsAgreeWithStrtod) {
  std::mt19937 rng(7u);
  for (int k = 0; k < 20000; ++k) {
    std::string text;
    if (rng() % 4 == 0) text += (rng() % 2) ? "-" : "+";
    int digits = 1 + static_cast<int>(rng() % 45);
    int point = static_cast<int>(rng() % static_cast<unsigned>(digits + 1));
    for (int d = 0; d < digits; ++d) {
      if (d == point) text += '.';
      text += static_cast<char>('0' + rng() % 10);
    }
    text += 'e';
    text += std::to_string(static_cast<int>(rng() % 700) - 360);
    ASSERT_EQ(bitsOf(parseReal(text)), bitsOf(oracle(text))) << text;
  }
}

TEST(ParseRealTextRounding, ShortDecimalsAgreeWithStrtod) {
  // Up to 15 digits and powers of ten up to 22, exact as doubles both; their
  // product or quotient must still be rounded only once.
  std::mt19937_64 rng(11u);
  for (int k = 0; k < 20000; ++k) {
    uint64_t mantissa = rng() % 1000000000000000u;
    mantissa /= uint64_t{1} << (rng() % 48);
    int exponent = static_cast<int>(rng() % 45) - 22;
    std::string text = std::to_string(mantissa) + "e" + std::to_string(exponent);
    ASSERT_EQ(bitsOf(parseReal(text)), bitsOf(oracle(text))) << text;
  }
}

TEST(ParseRealTextRounding, ReadsSixtyTwoUnitFieldTexts) {
  // The longest text a field gives, filled with significant digits.
  std::string digits62 = "1234567890123456789012345678901234567890123456789012345678901.";
  ASSERT_EQ(digits62.size(), 62u);
  expectSameAsStrtod(digits62);
  std::string fraction62 = "0." + std::string(55, '3') + "e-300";
  ASSERT_EQ(fraction62.size(), 62u);
  expectSameAsStrtod(fraction62);
}

// --- formatRealText ---------------------------------------------------------

TEST(FormatRealText, FixedTexts) {
  EXPECT_EQ(textOf(formatRealText(60.0)), "60.000000");
  EXPECT_EQ(textOf(formatRealText(0.0)), "0.000000");
  EXPECT_EQ(textOf(formatRealText(-0.0)), "-0.000000");
  EXPECT_EQ(textOf(formatRealText(60.1)), "60.100000");
  EXPECT_EQ(textOf(formatRealText(59.9)), "59.900000");
  EXPECT_EQ(textOf(formatRealText(-2.5)), "-2.500000");
}

TEST(FormatRealText, RoundsLikePrintf) {
  const double values[] = {0.0000005,      0.0000015, 0.0000025, -0.0000005, -0.0000015, 1e-7,
                           -1e-7,          -1e-300,   0.1,       0.3,        2.675,      1.0000005,
                           999999.9999995, 0.9999995, 1.4999995, 0.0078125,  0.0234375};
  for (double v : values) {
    EXPECT_EQ(textOf(formatRealText(v)), printfText("%f", v)) << "value " << v;
  }
}

TEST(FormatRealText, AgreesWithSnprintfOverManyValues) {
  std::mt19937_64 rng(99u);
  int checked = 0;
  for (int k = 0; k < 20000; ++k) {
    // Random bit patterns within the fixed-notation range.
    double v = fromBits(rng());
    if (!std::isfinite(v) || std::fabs(v) >= 1e54) continue;
    ASSERT_EQ(textOf(formatRealText(v)), printfText("%f", v)) << std::hexfloat << v;
    ++checked;
  }
  for (int k = -20000; k <= 20000; ++k) {
    // Binary fractions whose seventh decimal is an exact tie, and neighbours.
    double v = k / 128.0;
    ASSERT_EQ(textOf(formatRealText(v)), printfText("%f", v)) << v;
    double w = k / 1048576.0;
    ASSERT_EQ(textOf(formatRealText(w)), printfText("%f", w)) << w;
    double x = k * 1e-7;
    ASSERT_EQ(textOf(formatRealText(x)), printfText("%f", x)) << x;
    double y = 60.0 + k * 3.3e-6;
    ASSERT_EQ(textOf(formatRealText(y)), printfText("%f", y)) << y;
    checked += 4;
  }
  EXPECT_GT(checked, 100000);
}

// The double at which "%f" grows past 63 characters, on the side of `sign`.
double firstTooLong(double sign) {
  uint64_t lo = bitsOf(1e50), hi = bitsOf(1e60);  // fits at lo, not at hi
  while (hi - lo > 1) {
    uint64_t mid = lo + (hi - lo) / 2;
    if (printfText("%f", sign * fromBits(mid)).size() > 63) {
      hi = mid;
    } else {
      lo = mid;
    }
  }
  return sign * fromBits(hi);
}

TEST(FormatRealText, SixtyThreeCharacterBoundary) {
  for (double sign : {1.0, -1.0}) {
    double tooLong = firstTooLong(sign);
    double longest = std::nextafter(tooLong, 0.0);
    SCOPED_TRACE(testing::Message() << "first too long " << printfText("%f", tooLong));
    std::string fits = printfText("%f", longest);
    ASSERT_EQ(fits.size(), 63u);
    EXPECT_EQ(textOf(formatRealText(longest)), fits);
    EXPECT_EQ(textOf(formatRealText(tooLong)), printfText("%e", tooLong));
    EXPECT_EQ(textOf(formatRealText(sign * 1e300)), printfText("%e", sign * 1e300));
  }
  // The boundaries are the doubles nearest 1e56 and -1e55.
  EXPECT_EQ(firstTooLong(1.0), 1e56);
  EXPECT_EQ(firstTooLong(-1.0), -1e55);
  EXPECT_EQ(textOf(formatRealText(1e55)), printfText("%f", 1e55));
  EXPECT_EQ(textOf(formatRealText(-1e54)), printfText("%f", -1e54));
}

TEST(FormatRealText, LargeValuesGiveExponentText) {
  EXPECT_EQ(textOf(formatRealText(1e300)), "1.000000e+300");
  EXPECT_EQ(textOf(formatRealText(-1e300)), "-1.000000e+300");
  EXPECT_EQ(textOf(formatRealText(1e56)), "1.000000e+56");
  EXPECT_EQ(textOf(formatRealText(-1e55)), "-1.000000e+55");
  const double max = std::numeric_limits<double>::max();
  EXPECT_EQ(textOf(formatRealText(max)), printfText("%e", max));
  EXPECT_EQ(textOf(formatRealText(-max)), printfText("%e", -max));
  // The exponent text reads back as the value rounded to seven digits.
  for (double v : {1e56, 3.14159265e77, -2.7182818e200, max}) {
    std::string text = textOf(formatRealText(v));
    EXPECT_EQ(parseReal(text), oracle(printfText("%.6e", v))) << text;
  }
}

TEST(FormatRealText, NonFiniteValues) {
  EXPECT_EQ(textOf(formatRealText(infinity)), "inf");
  EXPECT_EQ(textOf(formatRealText(-infinity)), "-inf");
  EXPECT_EQ(textOf(formatRealText(std::numeric_limits<double>::quiet_NaN())), "nan");
  EXPECT_EQ(textOf(formatRealText(-std::numeric_limits<double>::quiet_NaN())), "nan");
  EXPECT_EQ(textOf(formatRealText(fromBits(0x7FF0000000000001u))), "nan");
}

TEST(FormatRealText, FixedTextReadsBackAsItsValue) {
  for (double v : {60.1, -59.9, 1e-7, 123456.654321, 1e40}) {
    std::string text = textOf(formatRealText(v));
    EXPECT_EQ(bitsOf(parseReal(text)), bitsOf(oracle(text))) << text;
    EXPECT_NEAR(parseReal(text), v, 5e-7 + std::fabs(v) * 1e-15) << text;
  }
}

// --- formatIntText ----------------------------------------------------------

TEST(FormatIntText, Extremes) {
  EXPECT_EQ(textOf(formatIntText(intMin)), "-2147483648");
  EXPECT_EQ(textOf(formatIntText(intMax)), "2147483647");
  EXPECT_EQ(textOf(formatIntText(0)), "0");
  EXPECT_EQ(textOf(formatIntText(-1)), "-1");
  EXPECT_EQ(textOf(formatIntText(10)), "10");
}

TEST(FormatIntText, AgreesWithSnprintfAndReadsBack) {
  std::mt19937 rng(3u);
  for (int k = 0; k < 20000; ++k) {
    int32_t v = static_cast<int32_t>(rng() >> (rng() % 32));
    if (k % 2) v = static_cast<int32_t>(0u - static_cast<uint32_t>(v));
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%d", v);
    FieldText f = formatIntText(v);
    ASSERT_EQ(textOf(f), buffer);
    ASSERT_EQ(parseIntText(f.text, intFallback), v);
  }
}

}  // namespace
