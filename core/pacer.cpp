#include "core/pacer.h"

#include <cstdint>
#include <limits>

#include "core/settings.h"

PacerState pacerState;

namespace {

// Unsigned 128-bit value for the rare toggle index whose intermediate product
// does not fit 64 bits (runs of months, or fast counters).
struct Wide {
  uint64_t hi, lo;
};

Wide multiply(uint64_t a, uint32_t b) {
  const uint64_t low = (a & 0xFFFFFFFFu) * b;
  const uint64_t high = (a >> 32) * b;  // contributes from bit 32 up
  Wide r;
  r.lo = low + (high << 32);
  r.hi = (high >> 32) + (r.lo < low ? 1 : 0);
  return r;
}

// Truncating division by a nonzero divisor, one bit at a time.
Wide divide(Wide x, uint64_t d) {
  Wide q{0, 0};
  uint64_t rem = 0;
  for (int bit = 127; bit >= 0; --bit) {
    const bool top = (rem >> 63) != 0;
    const uint64_t in = bit >= 64 ? (x.hi >> (bit - 64)) & 1 : (x.lo >> bit) & 1;
    rem = (rem << 1) | in;
    if (top || rem >= d) {
      rem -= d;
      if (bit >= 64) {
        q.hi |= uint64_t{1} << (bit - 64);
      } else {
        q.lo |= uint64_t{1} << bit;
      }
    }
  }
  return q;
}

// Paints `due` toggles in a row. A pass may paint for about 100 ms at most:
// past that, the toggles in between are counted without being painted and
// only the last one is painted, so the colour on screen is still the one the
// schedule calls for and the loop gets back to its messages.
void paintToggles(void* surface, const PlatformRect* strips, uint32_t n, uint32_t due,
                  int64_t passTicks) {
  const int64_t deadline = passTicks + pacerState.tickFrequency / 10;
  for (uint32_t painted = 0; painted < due;) {
    paintToggle(surface, strips, n);
    ++painted;
    if (painted + 1 < due && platformCounter() - deadline > 0) {
      pacerState.toggleCount += due - painted - 1;
      paintToggle(surface, strips, n);
      return;
    }
  }
}

}  // namespace

int64_t toggleIndex(int64_t elapsed) {
  const uint32_t rate = pacerSettings.toggleRate;
  const uint32_t scale = pacerSettings.rateScale;
  const int64_t frequency = pacerState.tickFrequency;
  // Without a counter frequency (or before any rate was set) nothing is due.
  if (scale == 0 || frequency <= 0) return 0;

  // Both divisions truncate toward zero, so the index of -t is minus that of t.
  const bool negative = elapsed < 0;
  const uint64_t magnitude =
      negative ? uint64_t{0} - static_cast<uint64_t>(elapsed) : static_cast<uint64_t>(elapsed);
  uint64_t index;
  constexpr uint64_t signedMax = std::numeric_limits<int64_t>::max();
  if (rate == 0 || magnitude <= signedMax / rate) {
    index = magnitude * rate / scale / static_cast<uint64_t>(frequency);
  } else {
    // (a div s) div f equals a div (s * f) for positive divisors; done in
    // 128 bits so that the product cannot overflow.
    const Wide q = divide(divide(multiply(magnitude, rate), scale),
                          static_cast<uint64_t>(frequency));
    // An index beyond 64 bits (more than 2^63 toggles) saturates.
    index = (q.hi != 0 || q.lo > signedMax) ? signedMax : q.lo;
  }
  return negative ? -static_cast<int64_t>(index) : static_cast<int64_t>(index);
}

void layoutStrips(const PlatformRect& client, uint32_t n, PlatformRect* strips) {
  const uint32_t width = static_cast<uint32_t>(client.right);
  strips[0] = client;
  for (uint32_t k = 1; k < n; ++k) {
    strips[k].left = static_cast<int32_t>(k * width / n);
    strips[k].top = client.top;
    strips[k].right = static_cast<int32_t>((k + 1) * width / n);
    strips[k].bottom = client.bottom;
  }
  strips[0].right = static_cast<int32_t>(width / n);
}

void beginRun() {
  pacerState.drawing = 1;
  pacerState.toggleCount = 0;
  pacerState.consecutiveDrops = 0;
  applyStartSettings();
  pacerState.startTicks = platformCounter();
  pacerState.prevElapsedTicks = 0;
}

void runPass() {
  void* surface = platformAcquireSurface();

  PlatformRect strips[maxStripCount];
  const uint32_t n = layoutFlickerStrips(strips);

  const int64_t now = platformCounter();
  const int64_t elapsed = now - pacerState.startTicks;
  const int64_t previous = toggleIndex(pacerState.prevElapsedTicks);
  const int64_t current = toggleIndex(elapsed);
  pacerState.prevElapsedTicks = elapsed;
  const uint32_t due =
      static_cast<uint32_t>(static_cast<uint64_t>(current) - static_cast<uint64_t>(previous));

  // A pass after a dropping pass may not have too many toggles due.
  const bool tooManyDue =
      pacerState.consecutiveDrops != 0 && due > pacerSettings.maxDropFrames;
  if (!tooManyDue) {
    if (due <= 1) {
      pacerState.consecutiveDrops = 0;
    } else {
      ++pacerState.consecutiveDrops;
    }
    paintToggles(surface, strips, n, due, now);
  }

  // The surface is released before a stop destroys the window it belongs to.
  platformReleaseSurface(surface);
  if (tooManyDue) stopDrawing();
  if (pacerState.consecutiveDrops > pacerSettings.maxConsecutiveDrops) stopDrawing();
}

void stopDrawing() {
  pacerState.drawing = 0;
  if (platformFlickerWindowExists()) platformDestroyFlickerWindow();
  platformShowNotice(u"フレームドロップが制限に達したため描画を中止します。", u"情報");
}
