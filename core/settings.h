// Settings of a flicker run, the text rules of the dialog's numeric fields,
// the settings updates and the refresh-rate formula.
#pragma once

#include <cstdint>
#include <string_view>

struct PacerSettings {
  uint32_t toggleRate;           // colour toggles per rateScale seconds
  uint32_t rateScale;            // always 1000 once toggleRate has been computed
  uint32_t maxDropFrames;        // most toggles due in a pass after a dropping pass
  uint32_t maxConsecutiveDrops;  // most consecutive dropping passes tolerated
  uint32_t stripCount;           // vertical strips per toggle, 1..1024 once set
};

extern PacerSettings pacerSettings;

constexpr uint32_t maxStripCount = 1024;

// A field's text: at most 63 UTF-16 units and a terminator.
struct FieldText {
  char16_t text[64];
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
