// The recording's pass statistics and histograms, natively: the real pacer
// runs on a platform whose counter the test sets and whose platformCounter,
// platformFill and platformFlush report to the recording as the recording
// programs' do, each fill and flush one tick after the last call.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "core/pacer.h"
#include "core/settings.h"
#include "measure/pacing/recording.h"
#include "resources/resource.h"

namespace {

int64_t now;
std::map<uint32_t, std::u16string> fields;
int notices;

}  // namespace

void platformFetchFieldText(uint32_t id, char16_t (&buffer)[fieldTextCapacity]) {
  buffer[fields[id].copy(buffer, fieldTextCapacity - 1)] = 0;
}
void platformStoreFieldText(uint32_t, const char16_t*) {}
int32_t platformReportedRefreshRate() { return 60; }
bool platformIsSpace(char16_t) { return false; }
int64_t platformCounter() {
  recordReading(now);
  return now;
}
void* platformAcquireSurface() { return &now; }
void platformReleaseSurface(void*) {}
void platformClientRect(PlatformRect* rect) { *rect = PlatformRect{0, 0, 32, 1080}; }
void platformFill(void*, const PlatformRect&, bool white) { recordFill(++now, white); }
void platformFlush() { recordFlush(++now); }
bool platformFlickerWindowExists() { return true; }
void platformDestroyFlickerWindow() {}
void platformShowNotice(const char16_t*, const char16_t*) { ++notices; }

namespace {

void startAt(int64_t ticks, const char16_t* maxDropFrames, const char16_t* maxConsecutiveDrops) {
  fields[IDC_MAX_DROP_FRAMES] = maxDropFrames;
  fields[IDC_MAX_CONSECUTIVE_DROPS] = maxConsecutiveDrops;
  now = ticks;
  beginRun();
}

void passAt(int64_t ticks) {
  now = ticks;
  runPass();
}

// Records into the given storage at 10 000 ticks a second, with 1000
// toggles a second (500 flashes) on one strip.
template <uint32_t runCount, uint32_t recordCount>
void recordAt10kHz(RecordingRun (&runs)[runCount], RecordingRecord (&records)[recordCount]) {
  startRecording(10000, runs, runCount, records, recordCount);
  pacerState.tickFrequency = 10000;
  fields[IDC_FLASH_RATE] = u"500";
  fields[IDC_STRIP_COUNT] = u"1";
}

// Three runs: Start pressed again during the first; the second stopped by
// its drop limits; the third started after the notice. With 10 000 ticks a
// second and 1000 toggles a second, toggle k is due 10 (k + 1) ticks after
// the start, and a gap counts as a stall above 10 ticks.
TEST(Recording, CountsPassesTurnsAndStallsWithinRunsOnly) {
  RecordingRun runs[4];
  RecordingRecord records[64];
  recordAt10kHz(runs, records);

  startAt(1000, u"10", u"3");
  passAt(1003);  // first pass: 3 ticks after the start
  passAt(1006);  // idle turn of 3
  passAt(1012);  // idle turn of 6; one toggle, flushed 2 ticks after the reading
  passAt(1050);  // four due, painted with readings in between: one pass; gap 36
  passAt(1060);
  startAt(2000, u"0", u"0");  // Start again while drawing
  passAt(2005);
  passAt(2030);  // idle turn of 25, a stall of 25; three due: the limits stop the run
  startAt(3000, u"0", u"0");
  passAt(3002);
  passAt(3004);  // idle turn of 2
  passAt(3012);  // idle turn of 8
  finishRecording();

  EXPECT_EQ(notices, 1);
  const RecordingPasses& p = recording.passes;
  EXPECT_EQ(p.passes, 10u);
  EXPECT_EQ(p.dropping, 2u);
  EXPECT_EQ(p.maxDue, 4u);
  EXPECT_EQ(p.firstPassTicks, 3);
  EXPECT_EQ(p.stalls, 2u);
  EXPECT_EQ(p.stalledTicks, 36 + 25);
  EXPECT_EQ(p.longestStallTicks, 36);
  std::map<uint32_t, uint32_t> idle, costs;
  for (uint32_t i = 0; i < recordingTurnBuckets; ++i) {
    if (recording.idleTurns[i] != 0) idle[i] = recording.idleTurns[i];
    if (recording.toggleCosts[i] != 0) costs[i] = recording.toggleCosts[i];
  }
  EXPECT_EQ(idle, (std::map<uint32_t, uint32_t>{{2, 1}, {3, 1}, {6, 1}, {8, 1}, {25, 1}}));
  EXPECT_EQ(costs, (std::map<uint32_t, uint32_t>{{2, 5}}));

  // Runs open at their first fill; every toggle is one fill and one flush.
  const RecordingHeader& h = recording.header;
  ASSERT_EQ(h.runCount, 3u);
  EXPECT_EQ(h.recordCount, 20u);
  EXPECT_EQ(h.lostRecords, 0u);
  const int64_t starts[] = {1000, 2000, 3000};
  const uint32_t firsts[] = {0, 12, 18};
  for (int r = 0; r < 3; ++r) {
    EXPECT_EQ(runs[r].startTicks, starts[r]);
    EXPECT_EQ(runs[r].firstRecord, firsts[r]);
    EXPECT_EQ(runs[r].toggleRate, 1000000u);
    EXPECT_EQ(runs[r].stripCount, 1u);
  }
  for (uint32_t i = 0; i < 12; ++i) {
    EXPECT_EQ(records[i].toggle, i / 2) << i;
    EXPECT_EQ(records[i].kind, i % 2 == 0 ? 0 : recordingFlushKind) << i;
    EXPECT_EQ(records[i].white, (i / 2) % 2 == 0 ? 1 : 0) << i;
  }
}

// The boundaries: a gap of exactly 1 ms (10 ticks) is no stall, one tick
// more is; one toggle due is no drop, two are. Counted as differences from
// Start on (Start's reading settles what an earlier test left pending), so
// that whatever ran before in this process does not matter.
TEST(Recording, AStallIsAGapAboveOneMillisecondAndADropTwoTogglesDue) {
  RecordingRun runs[2];
  RecordingRecord records[32];
  recordAt10kHz(runs, records);

  startAt(5000, u"10", u"3");
  const RecordingPasses before = recording.passes;
  passAt(5005);  // nothing due yet: toggle 0 is due at 5010
  passAt(5015);  // one due, filled at 5016 and flushed at 5017
  passAt(5027);  // a gap of 10 from that flush; one due, flushed at 5029
  passAt(5040);  // a gap of 11; two due (toggles 2 and 3)
  finishRecording();

  const RecordingPasses& after = recording.passes;
  EXPECT_EQ(after.passes - before.passes, 4u);
  EXPECT_EQ(after.dropping - before.dropping, 1u);
  EXPECT_EQ(after.stalls - before.stalls, 1u);
  EXPECT_EQ(after.stalledTicks - before.stalledTicks, 11);
  EXPECT_GE(after.maxDue, 2u);
}

}  // namespace
