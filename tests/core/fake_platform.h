// A fake platform for the core tests: fields are strings, the counter is a
// number the test sets, and every drawing call is recorded.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "core/platform.h"

namespace fake {

struct Fill {
  PlatformRect rect;
  bool white;
};

struct Platform {
  // Dialog fields by id. A store raises the same settings update as the
  // dialog's change notification would, unless notify is false.
  std::map<uint32_t, std::u16string> fields;
  std::vector<uint32_t> storedIds;
  bool notify = true;

  int32_t refreshRate = 60;
  int refreshQueries = 0;

  // Counter: each read returns `counter`, then adds `counterStepPerRead`.
  int64_t counter = 0;
  int64_t counterStepPerRead = 0;
  int counterReads = 0;

  // Flicker window and its drawing surface.
  bool windowExists = true;
  PlatformRect client{0, 0, 32, 1080};
  int surfacesHeld = 0;
  int acquires = 0;
  int releases = 0;
  bool recordFills = true;
  std::vector<Fill> fills;
  uint64_t fillCount = 0;
  uint64_t flushes = 0;
  bool lastFillWhite = false;
  int destroys = 0;

  std::vector<std::u16string> notices;
  std::vector<std::u16string> noticeCaptions;
  bool windowExistedAtNotice = false;
  bool surfaceHeldAtDestroy = false;

  // Order of the calls that matter for a stop: A acquire, R release,
  // D destroy, N notice, F flush.
  std::string trace;

  // Characters above U+00FF that count as white space.
  static bool isSpace(char16_t c);
};

extern Platform platform;

// Zeroes the core's three records and the fake.
void reset();

// Sets a field's text as the user's typing would, raising the change update.
void type(uint32_t id, const std::u16string& text);

}  // namespace fake
