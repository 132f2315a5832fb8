// Pieces shared by the text-rule fuzzers: the white-space set that both the
// platform stand-in and the oracles use, input decoding and the mismatch
// report.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// White space as the text rules define it, from the oracle's own lists: the
// fixed set up to U+00FF and the stand-in platform's set above it.
bool oracleIsSpace(char16_t c);

// Puts the process in the "C" locale, in which strtod and snprintf are the
// exact references the oracles rely on.
void fuzzSetUp();

// The input as UTF-16: each pair of bytes is one unit, low byte first; an
// odd last byte is dropped. Any unit may result, unpaired surrogates included.
std::u16string unitsFromBytes(const uint8_t* data, size_t size);

// The input as UTF-16 through `alphabet`: each byte picks one unit, so short
// inputs already make texts full of the characters that matter.
std::u16string unitsFromAlphabet(const uint8_t* data, size_t size, std::u16string_view alphabet);

// A text as (N units) "...", printable ASCII as itself and every other unit
// as \uXXXX.
std::string describeUnits(std::u16string_view text);

// Prints the rule, the fuzz input in hex, the text (if any), the expected and
// the actual result on stderr, then aborts so that libFuzzer keeps the input.
[[noreturn]] void reportMismatch(const char* rule, const uint8_t* data, size_t size,
                                 const std::string& text, const std::string& expected,
                                 const std::string& got);
