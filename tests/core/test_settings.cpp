// Settings updates, field operations and the two derived computations.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/settings.h"
#include "resources/resource.h"
#include "tests/core/fake_platform.h"

using fake::platform;

namespace {

class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override { fake::reset(); }
};

TEST_F(SettingsTest, ToggleRateRoundsHalfUpAndTruncatesNegatives) {
  struct Case {
    double flashes;
    uint32_t toggleRate;
  } cases[] = {
      {60, 120000},      {59.94, 119880},    {0, 0},          {0.0003, 1},
      {0.0002, 0},       {0.00225, 5},       {-0.001, 4294967295u},
      {1e300, 0},        {-1e300, 0},
      // The signed 64-bit limit: 2 x 1000 x flashes + 0.5 must stay below 2^63.
      {4.6e15, 2643984384u}, {-4.6e15, 1650982912u}, {4.62e15, 0}, {-4.62e15, 0},
      {4611686018427388.0, 0},  // exactly 2^63 after scaling
  };
  for (const Case& c : cases) {
    pacerSettings.toggleRate = 777;
    toggleRateFor(c.flashes);
    EXPECT_EQ(pacerSettings.rateScale, 1000u) << c.flashes;
    EXPECT_EQ(pacerSettings.toggleRate, c.toggleRate) << "flashes " << c.flashes;
  }
}

TEST_F(SettingsTest, ToggleRateOfNotANumberOrInfinityIsZero) {
  for (double v : {std::numeric_limits<double>::quiet_NaN(),
                   std::numeric_limits<double>::infinity(),
                   -std::numeric_limits<double>::infinity()}) {
    pacerSettings.toggleRate = 1;
    toggleRateFor(v);
    EXPECT_EQ(pacerSettings.toggleRate, 0u) << v;
  }
}

TEST_F(SettingsTest, StripCountIsClampedToOneThrough1024) {
  EXPECT_EQ(clampStripCount(0), 1u);
  EXPECT_EQ(clampStripCount(1), 1u);
  EXPECT_EQ(clampStripCount(4), 4u);
  EXPECT_EQ(clampStripCount(1024), 1024u);
  EXPECT_EQ(clampStripCount(1025), 1024u);
  EXPECT_EQ(clampStripCount(static_cast<uint32_t>(-3)), 1024u);
  EXPECT_EQ(clampStripCount(0x80000000u), 1024u);
}

TEST_F(SettingsTest, StartUpFillsEverySettingThroughTheFieldUpdates) {
  platform.refreshRate = 75;
  writeStartupFields();
  const std::vector<uint32_t> order = {IDC_REPORTED_RATE, IDC_FLASH_RATE, IDC_MAX_DROP_FRAMES,
                                       IDC_MAX_CONSECUTIVE_DROPS, IDC_STRIP_COUNT};
  EXPECT_EQ(platform.storedIds, order);
  // Asked for 1001, for 1002, and by the flash-rate update that 1002 raises.
  EXPECT_EQ(platform.refreshQueries, 3);
  EXPECT_EQ(platform.fields[IDC_REPORTED_RATE], u"75.000000");
  EXPECT_EQ(platform.fields[IDC_FLASH_RATE], u"75.000000");
  EXPECT_EQ(pacerSettings.rateScale, 1000u);
  EXPECT_EQ(pacerSettings.toggleRate, 2u * 1000u * 75u);
  EXPECT_EQ(pacerSettings.maxDropFrames, 10u);
  EXPECT_EQ(pacerSettings.maxConsecutiveDrops, 3u);
  EXPECT_EQ(pacerSettings.stripCount, 4u);
  EXPECT_EQ(platform.fields[IDC_MAX_DROP_FRAMES], u"10");
  EXPECT_EQ(platform.fields[IDC_STRIP_COUNT], u"4");
  // The estimate stays empty until the pass-time field first changes.
  EXPECT_EQ(platform.fields.count(IDC_ESTIMATED_RATE), 0u);
}

TEST_F(SettingsTest, EstimateFollowsThePassTimeField) {
  writeStartupFields();
  fake::type(IDC_FLASH_RATE, u"60");
  struct Case {
    std::u16string passTime, estimate;
  } cases[] = {
      {u"0", u"0.000000"},   {u"10", u"60.100000"}, {u"-10", u"59.900000"},
      {u"", u"60.000000"},   {u"1,5", u"61.000000"}, {u"abc", u"60.000000"},
      {u"-0", u"0.000000"},  {u"0.5", u"62.000000"}, {u"1e-3", u"1060.000000"},
  };
  for (const Case& c : cases) {
    fake::type(IDC_PASS_TIME, c.passTime);
    EXPECT_EQ(platform.fields[IDC_ESTIMATED_RATE], c.estimate) << "pass time '"
        << std::string(c.passTime.begin(), c.passTime.end()) << "'";
  }
}

TEST_F(SettingsTest, EditingTheFlashRateAloneDoesNotRecomputeTheEstimate) {
  writeStartupFields();
  fake::type(IDC_FLASH_RATE, u"60");
  fake::type(IDC_PASS_TIME, u"10");
  ASSERT_EQ(platform.fields[IDC_ESTIMATED_RATE], u"60.100000");
  fake::type(IDC_FLASH_RATE, u"144");
  EXPECT_EQ(pacerSettings.toggleRate, 288000u);
  EXPECT_EQ(platform.fields[IDC_ESTIMATED_RATE], u"60.100000");
  // The next change of the pass time uses the toggle rate of that moment.
  fake::type(IDC_PASS_TIME, u"-10");
  EXPECT_EQ(platform.fields[IDC_ESTIMATED_RATE], u"143.900000");
}

TEST_F(SettingsTest, EstimateUsesTheFlashRateAsRoundedIntoTheToggleRate) {
  writeStartupFields();
  fake::type(IDC_FLASH_RATE, u"0.00225");  // toggleRate 5: 0.0025 flashes per second
  EXPECT_DOUBLE_EQ(estimateRefreshRate(4), 0.25 + 0.0025);
  EXPECT_EQ(estimateRefreshRate(0), 0.0);
  EXPECT_EQ(estimateRefreshRate(-0.0), 0.0);
}

TEST_F(SettingsTest, FlashRateWithoutANumberStandsForTheReportedRateWhileEditing) {
  platform.refreshRate = 144;
  writeStartupFields();
  const int queries = platform.refreshQueries;
  fake::type(IDC_FLASH_RATE, u"");
  EXPECT_EQ(pacerSettings.toggleRate, 288000u);
  fake::type(IDC_FLASH_RATE, u"６０");  // full-width digits are no real number
  EXPECT_EQ(pacerSettings.toggleRate, 288000u);
  fake::type(IDC_FLASH_RATE, u"50");
  EXPECT_EQ(pacerSettings.toggleRate, 100000u);
  // The display is asked on every change, with or without a number.
  EXPECT_EQ(platform.refreshQueries, queries + 3);
}

TEST_F(SettingsTest, IntegerFieldsFollowTheTextRulesAndKeepTheirValueWithoutANumber) {
  writeStartupFields();
  struct Case {
    std::u16string text;
    uint32_t value;
  } cases[] = {
      {u"5x", 5},    {u"  7", 7},      {u"0x1F", 31},    {u"017", 15},
      {u"08", 0},    {u"１０", 10},    {u"0x", 0},       {u"", 0},
      {u"abc", 0},   {u"-1", 4294967295u},
      {u"99999999999", 2147483647u},   {u"-99999999999", 2147483648u},
  };
  for (uint32_t id : {IDC_MAX_DROP_FRAMES, IDC_MAX_CONSECUTIVE_DROPS}) {
    uint32_t& setting = id == IDC_MAX_DROP_FRAMES ? pacerSettings.maxDropFrames
                                                  : pacerSettings.maxConsecutiveDrops;
    for (const Case& c : cases) {
      setting = 42;
      fake::type(id, c.text);
      const bool noNumber = c.text == u"0x" || c.text.empty() || c.text == u"abc";
      EXPECT_EQ(setting, noNumber ? 42u : c.value)
          << "field " << id << " text '" << std::string(c.text.begin(), c.text.end()) << "'";
    }
  }
}

TEST_F(SettingsTest, StripCountFieldIsClampedAndKeepsItsValueWithoutANumber) {
  writeStartupFields();
  fake::type(IDC_STRIP_COUNT, u"0");
  EXPECT_EQ(pacerSettings.stripCount, 1u);
  fake::type(IDC_STRIP_COUNT, u"1024");
  EXPECT_EQ(pacerSettings.stripCount, 1024u);
  fake::type(IDC_STRIP_COUNT, u"100000");
  EXPECT_EQ(pacerSettings.stripCount, 1024u);
  fake::type(IDC_STRIP_COUNT, u"7");
  fake::type(IDC_STRIP_COUNT, u"");
  EXPECT_EQ(pacerSettings.stripCount, 7u);
  fake::type(IDC_STRIP_COUNT, u"-3");
  EXPECT_EQ(pacerSettings.stripCount, 1024u);
}

TEST_F(SettingsTest, StartUsesFixedFallbacksForFieldsWithoutANumber) {
  writeStartupFields();
  fake::type(IDC_MAX_DROP_FRAMES, u"25");
  fake::type(IDC_MAX_CONSECUTIVE_DROPS, u"8");
  fake::type(IDC_STRIP_COUNT, u"16");
  platform.notify = false;  // emptied without updates reaching the settings
  fake::type(IDC_FLASH_RATE, u"");
  fake::type(IDC_MAX_DROP_FRAMES, u"x");
  fake::type(IDC_MAX_CONSECUTIVE_DROPS, u"");
  fake::type(IDC_STRIP_COUNT, u"0x");
  applyStartSettings();
  EXPECT_EQ(pacerSettings.toggleRate, 0u) << "a flash rate without a number is 0 at Start";
  EXPECT_EQ(pacerSettings.rateScale, 1000u);
  EXPECT_EQ(pacerSettings.maxDropFrames, 10u);
  EXPECT_EQ(pacerSettings.maxConsecutiveDrops, 3u);
  EXPECT_EQ(pacerSettings.stripCount, 4u);
}

TEST_F(SettingsTest, StartRereadsEveryField) {
  writeStartupFields();
  platform.notify = false;
  fake::type(IDC_FLASH_RATE, u"6d1");
  fake::type(IDC_MAX_DROP_FRAMES, u"0");
  fake::type(IDC_MAX_CONSECUTIVE_DROPS, u"-1");
  fake::type(IDC_STRIP_COUNT, u"2000");
  applyStartSettings();
  EXPECT_EQ(pacerSettings.toggleRate, 120000u);
  EXPECT_EQ(pacerSettings.maxDropFrames, 0u);
  EXPECT_EQ(pacerSettings.maxConsecutiveDrops, 4294967295u);
  EXPECT_EQ(pacerSettings.stripCount, 1024u);
}

TEST_F(SettingsTest, FieldTextIsReadAsItsFirst62Characters) {
  writeStartupFields();
  // 61 spaces, then "7", then "5": only the "7" is within the first 62.
  fake::type(IDC_STRIP_COUNT, std::u16string(61, u' ') + u"75");
  EXPECT_EQ(pacerSettings.stripCount, 7u);
  fake::type(IDC_STRIP_COUNT, std::u16string(60, u' ') + u"75");
  EXPECT_EQ(pacerSettings.stripCount, 75u);
  // A pass time of 62 digits ends where the field's text is cut.
  fake::type(IDC_FLASH_RATE, u"60");
  fake::type(IDC_PASS_TIME, u"0." + std::u16string(59, u'0') + u"1" + u"999");
  EXPECT_EQ(platform.fields[IDC_ESTIMATED_RATE], u"1.000000e+60");
}

}  // namespace
