// The recorder's own platformFill and platformFlush. Defined here, they are
// linked in place of the front end's (each lives alone in the platform
// library), so sim_recorder is the shipped program plus a timestamp of the
// counter right after every strip fill and every toggle's flush.
//
// With LUKANEMI_RECORDING naming a file (a Windows path), the storage is
// taken and touched before WinMain and the recording is written at exit:
//   header:  "LKREC1\0\0", int64 tickFrequency, uint32 runCount,
//            uint32 recordCount, uint32 lostRecords, uint32 0
//   runs:    int64 startTicks, uint32 toggleRate, uint32 rateScale,
//            uint32 firstRecord, uint32 stripCount
//   records: int64 ticks, uint32 toggle, uint16 kind, uint16 white
// all little-endian and packed. A fill's kind is its strip index, a flush's
// 0xFFFF; records past the storage are only counted, as lost. Without the
// variable the program runs as shipped and writes nothing.
#include <cstring>

#include "core/pacer.h"
#include "core/platform.h"
#include "core/settings.h"
#include "frontend/win32.h"

namespace {

struct Header {
  char magic[8];
  int64_t tickFrequency;
  uint32_t runCount;
  uint32_t recordCount;
  uint32_t lostRecords;
  uint32_t reserved;
};

struct Run {
  int64_t startTicks;
  uint32_t toggleRate;
  uint32_t rateScale;
  uint32_t firstRecord;
  uint32_t stripCount;
};

struct Record {
  int64_t ticks;
  uint32_t toggle;
  uint16_t kind;
  uint16_t white;
};

static_assert(sizeof(Header) == 32 && sizeof(Run) == 24 && sizeof(Record) == 16,
              "the file's layout is the structures' memory layout");

constexpr uint32_t recordCapacity = 4194304;  // 64 MB
constexpr uint32_t runCapacity = 65536;       // 1.5 MB
constexpr uint16_t flushKind = 0xFFFF;

// Storage is one committed block, runs after records. Every page is written
// once at start-up, so the working set does not grow while recording.
struct Recording {
  wchar_t path[MAX_PATH];
  Record* records = nullptr;
  Run* runs = nullptr;
  uint32_t recordCount = 0;
  uint32_t runCount = 0;
  uint32_t lost = 0;
  uint16_t fillsSinceFlush = 0;
  uint16_t lastWhite = 0;

  Recording() {
    const DWORD length = GetEnvironmentVariableW(L"LUKANEMI_RECORDING", path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    const size_t bytes = recordCapacity * sizeof(Record) + runCapacity * sizeof(Run);
    char* block =
        static_cast<char*>(VirtualAlloc(nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    if (block == nullptr) return;
    for (size_t offset = 0; offset < bytes; offset += 4096) block[offset] = 0;
    records = reinterpret_cast<Record*>(block);
    runs = reinterpret_cast<Run*>(block + recordCapacity * sizeof(Record));
  }

  ~Recording() {
    if (records == nullptr) return;
    Header header = {};
    memcpy(header.magic, "LKREC1\0\0", 8);
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    header.tickFrequency = frequency.QuadPart;
    header.runCount = runCount;
    header.recordCount = recordCount;
    header.lostRecords = lost;
    HANDLE file =
        CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written;
    WriteFile(file, &header, sizeof header, &written, nullptr);
    WriteFile(file, runs, runCount * static_cast<DWORD>(sizeof(Run)), &written, nullptr);
    WriteFile(file, records, recordCount * static_cast<DWORD>(sizeof(Record)), &written, nullptr);
    CloseHandle(file);
  }

  // A new start reading means Start began a new run: its entry opens here.
  void add(int64_t ticks, uint16_t kind, uint16_t white) {
    if (records == nullptr) return;
    if (runCount == 0 || runs[runCount - 1].startTicks != pacerState.startTicks) {
      if (runCount == runCapacity) {
        ++lost;
        return;
      }
      runs[runCount++] = Run{pacerState.startTicks, pacerSettings.toggleRate,
                             pacerSettings.rateScale, recordCount, pacerSettings.stripCount};
    }
    if (recordCount == recordCapacity) {
      ++lost;
      return;
    }
    records[recordCount++] = Record{ticks, pacerState.toggleCount, kind, white};
  }
};

Recording recording;

int64_t counterNow() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now.QuadPart;
}

}  // namespace

void platformFill(void* surface, const PlatformRect& rect, bool white) {
  FillRect(static_cast<HDC>(surface), reinterpret_cast<const RECT*>(&rect),
           static_cast<HBRUSH>(GetStockObject(white ? WHITE_BRUSH : BLACK_BRUSH)));
  const int64_t ticks = counterNow();
  recording.lastWhite = white ? 1 : 0;
  recording.add(ticks, recording.fillsSinceFlush++, recording.lastWhite);
}

void platformFlush() {
  GdiFlush();
  const int64_t ticks = counterNow();
  recording.add(ticks, flushKind, recording.lastWhite);
  recording.fillsSinceFlush = 0;
}
