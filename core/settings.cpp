#include "core/settings.h"

#include <cmath>

#include "core/platform.h"
#include "resources/resource.h"

PacerSettings pacerSettings;

// The pass-time fallback: the largest finite double, so that a field without
// a number gives an estimate equal to the flash rate.
static constexpr double noPassTime = 1.7976931348623157e308;

int32_t readIntField(uint32_t id, int32_t fallback) {
  char16_t buffer[fieldTextCapacity];
  platformFetchFieldText(id, buffer);
  return parseIntText(buffer, fallback);
}

double readRealField(uint32_t id, double fallback) {
  char16_t buffer[fieldTextCapacity];
  platformFetchFieldText(id, buffer);
  return parseRealText(buffer, fallback);
}

void writeRealField(uint32_t id, double value) {
  platformStoreFieldText(id, formatRealText(value).text);
}

void writeIntField(uint32_t id, int32_t value) {
  platformStoreFieldText(id, formatIntText(value).text);
}

double reportedRefreshRate() { return platformReportedRefreshRate(); }

void toggleRateFor(double flashes) {
  pacerSettings.rateScale = 1000;
  double scaled = 2.0 * flashes;
  scaled = scaled * static_cast<double>(pacerSettings.rateScale);
  scaled = scaled + 0.5;
  // Conversion to a signed 64-bit integer truncating toward zero; values it
  // cannot hold give 0. The low 32 bits are kept.
  constexpr double limit = 9223372036854775808.0;  // 2^63
  int64_t whole = 0;
  if (std::isfinite(scaled) && scaled < limit && scaled >= -limit) {
    whole = static_cast<int64_t>(scaled);
  }
  pacerSettings.toggleRate = static_cast<uint32_t>(static_cast<uint64_t>(whole));
}

uint32_t clampStripCount(uint32_t v) {
  if (v > maxStripCount) return maxStripCount;
  if (v == 0) return 1;
  return v;
}

double estimateRefreshRate(double passTime) {
  if (passTime == 0) return 0;
  double flashRate = static_cast<double>(pacerSettings.toggleRate) * 0.5;
  flashRate = flashRate / static_cast<double>(pacerSettings.rateScale);
  return 1 / passTime + flashRate;
}

void flashRateChanged() { toggleRateFor(readRealField(IDC_FLASH_RATE, reportedRefreshRate())); }

void passTimeChanged() {
  writeRealField(IDC_ESTIMATED_RATE, estimateRefreshRate(readRealField(IDC_PASS_TIME, noPassTime)));
}

void maxDropFramesChanged() {
  pacerSettings.maxDropFrames = static_cast<uint32_t>(
      readIntField(IDC_MAX_DROP_FRAMES, static_cast<int32_t>(pacerSettings.maxDropFrames)));
}

void maxConsecutiveDropsChanged() {
  pacerSettings.maxConsecutiveDrops = static_cast<uint32_t>(readIntField(
      IDC_MAX_CONSECUTIVE_DROPS, static_cast<int32_t>(pacerSettings.maxConsecutiveDrops)));
}

void stripCountChanged() {
  pacerSettings.stripCount = clampStripCount(static_cast<uint32_t>(
      readIntField(IDC_STRIP_COUNT, static_cast<int32_t>(pacerSettings.stripCount))));
}

void applyStartSettings() {
  toggleRateFor(readRealField(IDC_FLASH_RATE, 0.0));
  pacerSettings.maxDropFrames =
      static_cast<uint32_t>(readIntField(IDC_MAX_DROP_FRAMES, defaultMaxDropFrames));
  pacerSettings.maxConsecutiveDrops =
      static_cast<uint32_t>(readIntField(IDC_MAX_CONSECUTIVE_DROPS, defaultMaxConsecutiveDrops));
  pacerSettings.stripCount =
      clampStripCount(static_cast<uint32_t>(readIntField(IDC_STRIP_COUNT, defaultStripCount)));
}

void writeStartupFields() {
  writeRealField(IDC_REPORTED_RATE, reportedRefreshRate());
  writeRealField(IDC_FLASH_RATE, reportedRefreshRate());
  writeIntField(IDC_MAX_DROP_FRAMES, defaultMaxDropFrames);
  writeIntField(IDC_MAX_CONSECUTIVE_DROPS, defaultMaxConsecutiveDrops);
  writeIntField(IDC_STRIP_COUNT, defaultStripCount);
}

void fieldChanged(uint32_t id) {
  switch (id) {
    case IDC_FLASH_RATE: flashRateChanged(); break;
    case IDC_PASS_TIME: passTimeChanged(); break;
    case IDC_MAX_DROP_FRAMES: maxDropFramesChanged(); break;
    case IDC_MAX_CONSECUTIVE_DROPS: maxConsecutiveDropsChanged(); break;
    case IDC_STRIP_COUNT: stripCountChanged(); break;
    default: break;
  }
}
