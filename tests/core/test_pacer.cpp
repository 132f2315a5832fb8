// The flicker pacer on a fake counter: strip layout, toggle schedule, drop
// rules, stops, and the bounds of a pass.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <random>
#include <string>

#include "core/pacer.h"
#include "core/settings.h"
#include "resources/resource.h"
#include "tests/core/fake_platform.h"

using fake::platform;

namespace {

constexpr int64_t tenMHz = 10'000'000;
constexpr int64_t startTicks = 123'456'789;
const std::u16string noticeText = u"フレームドロップが制限に達したため描画を中止します。";

class PacerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fake::reset();
    pacerState.tickFrequency = tenMHz;
  }

  // Fills the fields as the user would and presses Start.
  void start(const std::u16string& flashes, const std::u16string& maxDrop = u"10",
             const std::u16string& maxConsecutive = u"3", const std::u16string& strips = u"4") {
    platform.fields[IDC_FLASH_RATE] = flashes;
    platform.fields[IDC_MAX_DROP_FRAMES] = maxDrop;
    platform.fields[IDC_MAX_CONSECUTIVE_DROPS] = maxConsecutive;
    platform.fields[IDC_STRIP_COUNT] = strips;
    platform.counter = startTicks;
    beginRun();
  }

  // Runs one pass `elapsed` ticks after Start; gives the toggles it painted.
  uint64_t passAt(int64_t elapsed) {
    const uint64_t flushes = platform.flushes;
    platform.counter = startTicks + elapsed;
    runPass();
    return platform.flushes - flushes;
  }

  // Ticks at which toggle k falls due at `flashes` per second.
  static int64_t dueAt(int64_t k, int64_t flashes) {
    return (k * tenMHz + 2 * flashes - 1) / (2 * flashes);
  }
};

TEST_F(PacerTest, StripsTileTheClientAreaLeftToRight) {
  PlatformRect strips[maxStripCount];
  for (int32_t width : {0, 1, 7, 32, 33, 1920, 2560}) {
    for (uint32_t n : {1u, 2u, 3u, 4u, 7u, 100u, 1024u}) {
      const PlatformRect client{0, 0, width, 1080};
      layoutStrips(client, n, strips);
      int32_t narrowest = width, widest = 0;
      for (uint32_t k = 0; k < n; ++k) {
        const PlatformRect& s = strips[k];
        ASSERT_EQ(s.top, 0);
        ASSERT_EQ(s.bottom, 1080);
        ASSERT_EQ(s.left, k == 0 ? 0 : strips[k - 1].right) << "W " << width << " n " << n;
        narrowest = std::min(narrowest, s.right - s.left);
        widest = std::max(widest, s.right - s.left);
      }
      EXPECT_EQ(strips[n - 1].right, width) << "W " << width << " n " << n;
      EXPECT_LE(widest - narrowest, 1) << "W " << width << " n " << n;
    }
  }
  const PlatformRect client{0, 0, 32, 1080};
  layoutStrips(client, 4, strips);
  EXPECT_EQ(strips[1].left, 8);
  EXPECT_EQ(strips[3].left, 24);
}

TEST_F(PacerTest, BeginRunClearsTheCountersAndReadsTheFields) {
  pacerState.toggleCount = 9;
  pacerState.consecutiveDrops = 2;
  pacerState.prevElapsedTicks = 77;
  start(u"60", u"5", u"6", u"8");
  EXPECT_EQ(pacerState.drawing, 1u);
  EXPECT_EQ(pacerState.toggleCount, 0u);
  EXPECT_EQ(pacerState.consecutiveDrops, 0u);
  EXPECT_EQ(pacerState.prevElapsedTicks, 0);
  EXPECT_EQ(pacerState.startTicks, startTicks);
  EXPECT_EQ(pacerSettings.toggleRate, 120000u);
  EXPECT_EQ(pacerSettings.maxDropFrames, 5u);
  EXPECT_EQ(pacerSettings.maxConsecutiveDrops, 6u);
  EXPECT_EQ(pacerSettings.stripCount, 8u);
}

TEST_F(PacerTest, FirstToggleIsWhiteAndFallsDueAfterOneSlot) {
  start(u"60");
  EXPECT_EQ(passAt(0), 0u);
  EXPECT_EQ(passAt(dueAt(1, 60) - 1), 0u) << "nothing is painted before the first toggle";
  EXPECT_EQ(platform.fillCount, 0u);
  EXPECT_EQ(passAt(dueAt(1, 60)), 1u);
  ASSERT_EQ(platform.fills.size(), 4u);
  for (const fake::Fill& f : platform.fills) EXPECT_TRUE(f.white);
  EXPECT_EQ(platform.fills[0].rect.right, 8);
  EXPECT_EQ(platform.fills[3].rect.right, 32);
  EXPECT_EQ(passAt(dueAt(2, 60)), 1u);
  EXPECT_FALSE(platform.fills.back().white) << "the second toggle is black";
  EXPECT_EQ(pacerState.toggleCount, 2u);
  EXPECT_EQ(platform.acquires, 4);
  EXPECT_EQ(platform.releases, 4);
  EXPECT_EQ(platform.trace, "ARARAFRAFR") << "one surface per pass, one flush per toggle";
}

TEST_F(PacerTest, OneStripIsOneFillOfTheWholeClientArea) {
  platform.client = {0, 0, 1920, 1080};
  start(u"60", u"10", u"3", u"1");
  passAt(dueAt(1, 60));
  ASSERT_EQ(platform.fills.size(), 1u);
  EXPECT_EQ(platform.fills[0].rect.right, 1920);
  EXPECT_EQ(platform.fills[0].rect.bottom, 1080);
}

TEST_F(PacerTest, NarrowWindowWithManyStripsStillFillsEveryStrip) {
  start(u"60", u"10", u"3", u"100");
  passAt(dueAt(1, 60));
  EXPECT_EQ(platform.fills.size(), 100u);
  int empty = 0;
  for (const fake::Fill& f : platform.fills) empty += f.rect.left == f.rect.right;
  EXPECT_EQ(empty, 68);
}

TEST_F(PacerTest, LatePassAfterGoodPassesPaintsEveryMissedToggle) {
  start(u"60");
  passAt(dueAt(1, 60));
  EXPECT_EQ(passAt(dueAt(51, 60)), 50u) << "the drop-size rule does not apply yet";
  EXPECT_EQ(pacerState.consecutiveDrops, 1u);
  EXPECT_EQ(pacerState.drawing, 1u);
  EXPECT_TRUE(platform.notices.empty());
  EXPECT_TRUE(platform.lastFillWhite) << "51 toggles: the last one is white";
}

TEST_F(PacerTest, ExactlyOneOrNoToggleDueEndsASeriesOfDrops) {
  start(u"60");
  passAt(dueAt(3, 60));
  EXPECT_EQ(pacerState.consecutiveDrops, 1u);
  passAt(dueAt(4, 60));
  EXPECT_EQ(pacerState.consecutiveDrops, 0u);
  passAt(dueAt(6, 60));
  EXPECT_EQ(pacerState.consecutiveDrops, 1u);
  passAt(dueAt(6, 60) + 1);
  EXPECT_EQ(pacerState.consecutiveDrops, 0u);
}

TEST_F(PacerTest, DropSizeRuleStopsWithoutPaintingAndReleasesTheSurface) {
  start(u"60");
  passAt(dueAt(2, 60));  // a dropping pass
  const uint64_t fills = platform.fillCount;
  platform.trace.clear();
  EXPECT_EQ(passAt(dueAt(13, 60)), 0u) << "11 due after a dropping pass: over the limit of 10";
  EXPECT_EQ(platform.fillCount, fills);
  EXPECT_EQ(pacerState.drawing, 0u);
  EXPECT_EQ(platform.acquires, platform.releases);
  EXPECT_EQ(platform.trace, "ARDN") << "released, then the window destroyed, then the notice";
  EXPECT_FALSE(platform.surfaceHeldAtDestroy);
  EXPECT_FALSE(platform.windowExistedAtNotice);
  ASSERT_EQ(platform.notices.size(), 1u);
  EXPECT_EQ(platform.notices[0], noticeText);
  EXPECT_EQ(platform.noticeCaptions[0], u"情報");
  // A stop leaves the counters as they were.
  EXPECT_EQ(pacerState.toggleCount, 2u);
  EXPECT_EQ(pacerState.consecutiveDrops, 1u);
  EXPECT_EQ(pacerState.prevElapsedTicks, dueAt(13, 60));
}

TEST_F(PacerTest, DropSizeAtTheLimitStillPaints) {
  start(u"60");
  passAt(dueAt(2, 60));
  EXPECT_EQ(passAt(dueAt(12, 60)), 10u);
  EXPECT_EQ(pacerState.drawing, 1u);
  EXPECT_EQ(pacerState.consecutiveDrops, 2u);
}

TEST_F(PacerTest, ConsecutiveRuleStopsAfterPaintingTheFourthDroppingPass) {
  start(u"60");
  for (int pass = 1; pass <= 3; ++pass) {
    EXPECT_EQ(passAt(dueAt(2 * pass, 60)), 2u);
    EXPECT_EQ(pacerState.drawing, 1u) << "pass " << pass;
  }
  platform.trace.clear();
  EXPECT_EQ(passAt(dueAt(8, 60)), 2u) << "the fourth dropping pass paints, then stops";
  EXPECT_EQ(pacerState.consecutiveDrops, 4u);
  EXPECT_EQ(pacerState.drawing, 0u);
  EXPECT_EQ(platform.trace, "AFFRDN");
  EXPECT_EQ(platform.notices.size(), 1u);
}

TEST_F(PacerTest, MaxConsecutiveDropsZeroStopsOnTheFirstDroppingPass) {
  start(u"60", u"10", u"0");
  passAt(dueAt(1, 60));
  EXPECT_EQ(pacerState.drawing, 1u);
  EXPECT_EQ(passAt(dueAt(3, 60)), 2u);
  EXPECT_EQ(pacerState.drawing, 0u);
  EXPECT_EQ(platform.notices.size(), 1u);
  EXPECT_EQ(platform.destroys, 1);
}

TEST_F(PacerTest, MaxDropFramesZeroStopsOnAnyToggleAfterADroppingPass) {
  start(u"60", u"0", u"5");
  passAt(dueAt(2, 60));
  EXPECT_EQ(passAt(dueAt(2, 60) + 1), 0u) << "nothing due: no stop";
  EXPECT_EQ(pacerState.drawing, 1u);
  EXPECT_EQ(pacerState.consecutiveDrops, 0u);
  passAt(dueAt(4, 60));
  EXPECT_EQ(passAt(dueAt(5, 60)), 0u) << "one due after a dropping pass: over the limit of 0";
  EXPECT_EQ(pacerState.drawing, 0u);
  EXPECT_EQ(platform.notices.size(), 1u);
}

TEST_F(PacerTest, BothRulesFiringShowTheNoticeTwice) {
  start(u"60", u"10", u"5");
  passAt(dueAt(2, 60));
  passAt(dueAt(4, 60));
  pacerSettings.maxConsecutiveDrops = 1;  // lowered during the run
  passAt(dueAt(20, 60));
  EXPECT_EQ(platform.notices.size(), 2u);
  EXPECT_EQ(platform.trace.substr(platform.trace.size() - 4), "RDNN")
      << "the window is destroyed once";
}

TEST_F(PacerTest, ZeroToggleRatePaintsNothingUntilTheRateIsEdited) {
  start(u"");  // no number at Start: rate 0
  EXPECT_EQ(pacerSettings.toggleRate, 0u);
  for (int64_t t = 0; t < 100 * tenMHz; t += tenMHz / 3) passAt(t);
  EXPECT_EQ(platform.fillCount, 0u);
  EXPECT_EQ(pacerState.consecutiveDrops, 0u);
  EXPECT_EQ(pacerState.drawing, 1u);
  fake::type(IDC_FLASH_RATE, u"60");  // edited during the run
  const int64_t last = pacerState.prevElapsedTicks;
  EXPECT_LE(passAt(last + tenMHz / 1000), 1u) << "the new rate applies to both indices: no burst";
  for (int64_t t = last + 2 * tenMHz / 1000; t < last + tenMHz; t += tenMHz / 1000) {
    EXPECT_LE(passAt(t), 1u);
  }
  ASSERT_GT(platform.fills.size(), 0u);
  EXPECT_TRUE(platform.fills[0].white);
}

TEST_F(PacerTest, RateEditedDuringARunCausesNoBurstAndKeepsAlternating) {
  start(u"60");
  for (int k = 1; k <= 120; ++k) passAt(dueAt(k, 60));
  ASSERT_EQ(pacerState.toggleCount, 120u);
  fake::type(IDC_FLASH_RATE, u"61");
  uint64_t most = 0;
  for (int64_t t = tenMHz; t < 2 * tenMHz; t += tenMHz / 1000) most = std::max(most, passAt(t));
  EXPECT_EQ(most, 1u);
  EXPECT_EQ(pacerState.consecutiveDrops, 0u);
  EXPECT_EQ(pacerState.drawing, 1u);
  const uint32_t count = pacerState.toggleCount;
  EXPECT_EQ(count, 120 + toggleIndex(pacerState.prevElapsedTicks) - 122);
  EXPECT_EQ(platform.lastFillWhite, (count & 1) == 1) << "colours alternate without a jump";
}

TEST_F(PacerTest, ToggleCountFollowsTheScheduleOverALongIrregularRun) {
  start(u"59.94", u"4294967295", u"4294967295");
  platform.recordFills = false;
  std::mt19937_64 random(20261208);
  int64_t t = 0;
  for (int pass = 0; pass < 200000; ++pass) {
    // Mostly quick passes, now and then a stall of up to half a second.
    t += random() % 64 == 0 ? static_cast<int64_t>(random() % (tenMHz / 2))
                            : static_cast<int64_t>(random() % 40000);
    passAt(t);
    ASSERT_EQ(pacerState.toggleCount, static_cast<uint32_t>(toggleIndex(pacerState.prevElapsedTicks)))
        << "pass " << pass << " at " << t;
    if (pacerState.toggleCount > 0) {
      ASSERT_EQ(platform.lastFillWhite, (pacerState.toggleCount & 1) == 1) << "pass " << pass;
    }
  }
  EXPECT_EQ(pacerState.drawing, 1u);
  EXPECT_GT(pacerState.toggleCount, 100000u);
}

TEST_F(PacerTest, StoppedRunKeepsItsCountersUntilTheNextStart) {
  start(u"60", u"10", u"0");
  passAt(dueAt(5, 60));
  ASSERT_EQ(pacerState.drawing, 0u);
  const PacerState stopped = pacerState;
  // The main loop runs no pass after a stop; the counters stay.
  EXPECT_EQ(pacerState.toggleCount, 5u);
  EXPECT_EQ(stopped.consecutiveDrops, 1u);
  platform.windowExists = true;
  start(u"60");
  EXPECT_EQ(pacerState.toggleCount, 0u);
  EXPECT_EQ(pacerState.consecutiveDrops, 0u);
  EXPECT_EQ(pacerState.prevElapsedTicks, 0);
}

// The index computed independently: t = q * f + r, so
// floor(R t / (S f)) = floor(R q / S) + floor(((R q mod S) f + R r) / (S f)).
int64_t referenceIndex(uint32_t rate, int64_t t, int64_t f) {
  const uint64_t q = static_cast<uint64_t>(t / f), r = static_cast<uint64_t>(t % f);
  const uint64_t rq = q * rate;  // q is small enough in these cases
  const uint64_t rest = (rq % 1000) * static_cast<uint64_t>(f) + r * rate;
  return static_cast<int64_t>(rq / 1000 + rest / (1000 * static_cast<uint64_t>(f)));
}

TEST_F(PacerTest, ToggleIndexIsExactOverAHundredDays) {
  pacerSettings.rateScale = 1000;
  const int64_t day = 86400;
  for (int64_t frequency : {int64_t{10'000'000}, int64_t{3'000'000'000}, int64_t{3'579'545}}) {
    pacerState.tickFrequency = frequency;
    for (uint32_t rate : {120000u, 119880u, 2000000u, 4294967295u}) {
      pacerSettings.toggleRate = rate;
      for (int64_t t : {100 * day * frequency, 100 * day * frequency + 12345,
                        100 * day * frequency - 1, 7 * day * frequency + frequency / 3}) {
        EXPECT_EQ(toggleIndex(t), referenceIndex(rate, t, frequency))
            << "rate " << rate << " t " << t << " f " << frequency;
        EXPECT_EQ(toggleIndex(-t), -toggleIndex(t));
      }
    }
  }
  // 100 days at 60 flashes per second, 3 GHz: 120 toggles a second.
  pacerState.tickFrequency = 3'000'000'000;
  pacerSettings.toggleRate = 120000;
  EXPECT_EQ(toggleIndex(100 * day * 3'000'000'000), 100 * day * 120);
}

TEST_F(PacerTest, ToggleIndexSaturatesBeyondSixtyFourBits) {
  pacerSettings.rateScale = 1000;
  pacerSettings.toggleRate = 4294967295u;
  pacerState.tickFrequency = 1;
  EXPECT_EQ(toggleIndex(INT64_MAX), INT64_MAX);
  EXPECT_EQ(toggleIndex(-INT64_MAX), -INT64_MAX);
  EXPECT_EQ(toggleIndex(INT64_MIN), -INT64_MAX);
  EXPECT_EQ(toggleIndex(2147483648000), 2147483648000 / 1000 * 4294967295);
}

TEST_F(PacerTest, ZeroCounterFrequencyPaintsNothingAndNeverDivides) {
  pacerState.tickFrequency = 0;
  start(u"60");
  for (int64_t t = 0; t < 1'000'000'000; t += 1'000'000) EXPECT_EQ(passAt(t), 0u);
  EXPECT_EQ(pacerState.drawing, 1u);
  EXPECT_EQ(platform.acquires, platform.releases);
}

TEST_F(PacerTest, AnExtremeBacklogIsCountedButPaintedForAbout100MsOnly) {
  // A negative rate and limits: about 4.3 million toggles a second, no stop.
  start(u"-0.001", u"-1", u"-1");
  ASSERT_EQ(pacerSettings.toggleRate, 4294967295u);
  platform.recordFills = false;
  platform.counterStepPerRead = tenMHz / 100;  // every reading is 10 ms later
  const int64_t t = 60 * tenMHz;
  const uint64_t painted = passAt(t);
  const uint32_t expected = static_cast<uint32_t>(toggleIndex(t));
  const double passMs =
      static_cast<double>(platform.counter - (startTicks + t)) * 1000.0 / tenMHz;
  std::printf("largest pass: %.0f ms of simulated time, %llu of %u due toggles painted\n", passMs,
              static_cast<unsigned long long>(painted), expected);
  EXPECT_LE(passMs, 130.0);
  EXPECT_EQ(pacerState.toggleCount, expected) << "the count advances by the full due";
  EXPECT_LE(painted, 12u) << "painting ends about 100 ms after the pass began";
  EXPECT_GE(painted, 10u);
  EXPECT_EQ(platform.lastFillWhite, (expected & 1) == 1) << "the scheduled colour is last";
  EXPECT_EQ(pacerState.drawing, 1u);
}

TEST_F(PacerTest, BacklogsWithinTheDefaultsArePaintedToggleByToggle) {
  start(u"240");
  platform.counterStepPerRead = 1;  // fast painting
  platform.recordFills = false;
  EXPECT_EQ(passAt(tenMHz * 2), 960u) << "two seconds of toggles, each painted";
  EXPECT_EQ(platform.fillCount, 960u * 4);
}

}  // namespace
