// The recording programs' own platformCounter, platformFill and
// platformFlush, linked in place of the front end's: they do what those do,
// then report the call to the recording with a reading of the counter taken
// directly, which is no pass.
//
// With LUKANEMI_RECORDING naming a file (a Windows path), the storage is
// taken and touched before main or WinMain, so that the working set does
// not grow while recording, and the file is written at exit.
#include "core/platform.h"
#include "frontend/win32_platform.h"
#include "measure/pacing/recording.h"

namespace {

constexpr uint32_t recordCapacity = 4194304;  // 64 MB
constexpr uint32_t runCapacity = 65536;       // 1.5 MB

struct RecordingFile {
  wchar_t path[MAX_PATH];

  RecordingFile() {
    const DWORD length = GetEnvironmentVariableW(L"LUKANEMI_RECORDING", path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    const size_t recordBytes = recordCapacity * sizeof(RecordingRecord);
    const size_t bytes = recordBytes + runCapacity * sizeof(RecordingRun);
    char* block =
        static_cast<char*>(VirtualAlloc(nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    if (block == nullptr) return;
    for (size_t offset = 0; offset < bytes; offset += 4096) block[offset] = 0;
    startRecording(readCounterFrequency(), reinterpret_cast<RecordingRun*>(block + recordBytes),
                   runCapacity, reinterpret_cast<RecordingRecord*>(block), recordCapacity);
  }

  ~RecordingFile() {
    if (recording.runs == nullptr) return;
    finishRecording();
    HANDLE file =
        CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    const RecordingHeader& header = recording.header;
    const struct {
      const void* data;
      size_t size;
    } parts[] = {{&header, sizeof header},
                 {recording.runs, header.runCount * sizeof(RecordingRun)},
                 {recording.records, header.recordCount * sizeof(RecordingRecord)},
                 {&recording.passes, sizeof recording.passes},
                 {recording.idleTurns, sizeof recording.idleTurns},
                 {recording.toggleCosts, sizeof recording.toggleCosts}};
    DWORD written;
    for (const auto& part : parts) {
      WriteFile(file, part.data, static_cast<DWORD>(part.size), &written, nullptr);
    }
    CloseHandle(file);
  }
};

RecordingFile recordingFile;

}  // namespace

int64_t platformCounter() {
  const int64_t now = readCounter();
  recordReading(now);
  return now;
}

void platformFill(void* surface, const PlatformRect& rect, bool white) {
  fillWhiteOrBlack(surface, rect, white);
  recordFill(readCounter(), white);
}

void platformFlush() {
  GdiFlush();
  recordFlush(readCounter());
}
