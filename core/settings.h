// Settings of a flicker run, the text rules of the dialog's numeric fields,
// the settings updates and the refresh-rate formula.
#pragma once

#include <cstdint>
#include <string_view>

#include "core/platform.h"

// The formulas need every double operation rounded to double precision; on
// 32-bit x86 only SSE2 arithmetic gives that (x87 keeps 80-bit
// intermediates and rounds twice).
#if defined(__GNUC__) || defined(__clang__)
#if defined(__i386__) && !defined(__SSE2_MATH__)
#error "32-bit x86 builds need SSE2 double arithmetic: -msse2 -mfpmath=sse"
#endif
#elif defined(_M_IX86) && (!defined(_M_IX86_FP) || _M_IX86_FP < 2)
#error "32-bit x86 builds need SSE2 double arithmetic: /arch:SSE2"
#endif

struct PacerSettings {
  uint32_t toggleRate;           // colour toggles per rateScale seconds
  uint32_t rateScale;            // always 1000 once toggleRate has been computed
  uint32_t maxDropFrames;        // most toggles due in a pass after a dropping pass
  uint32_t maxConsecutiveDrops;  // most consecutive dropping passes tolerated
  uint32_t stripCount;           // vertical strips per toggle, 1..1024 once set
};

extern PacerSettings pacerSettings;

constexpr uint32_t maxStripCount = 1024;

// The option fields' start-up values, also Start's fallbacks for a field
// that holds no number.
constexpr int32_t defaultMaxDropFrames = 10;
constexpr int32_t defaultMaxConsecutiveDrops = 3;
constexpr int32_t defaultStripCount = 4;

// Formatted text for a field: at most 63 UTF-16 units and a terminator.
struct FieldText {
  char16_t text[fieldTextCapacity];
};

// Text rules.
int32_t parseIntText(std::u16string_view text, int32_t fallback);
double parseRealText(std::u16string_view text, double fallback);
FieldText formatRealText(double value);
FieldText formatIntText(int32_t value);

// Field operations.
int32_t readIntField(uint32_t id, int32_t fallback);
double readRealField(uint32_t id, double fallback);
void writeRealField(uint32_t id, double value);
void writeIntField(uint32_t id, int32_t value);
double reportedRefreshRate();

// Derived computations.
void toggleRateFor(double flashes);
uint32_t clampStripCount(uint32_t v);
double estimateRefreshRate(double passTime);

// Settings updates, one per trigger; fieldChanged routes a field's change
// notification to its update (none for the two read-only fields).
void flashRateChanged();
void passTimeChanged();
void maxDropFramesChanged();
void maxConsecutiveDropsChanged();
void stripCountChanged();
void applyStartSettings();
void fieldChanged(uint32_t id);

// The program's start-up writes: the reported rate into fields 1001 and
// 1002, then the defaults above into the three option fields. Each
// write raises the field's change notification, so the settings are filled
// through the same updates as typing.
void writeStartupFields();
