// The tool's own arithmetic for the display simulation: for every input line
// "FLASH_RATE TIME" (the texts a user would type into the flash-rate and
// pass-time fields) it prints the estimate the dialog would show, computed by
// the core: toggleRateFor on the flash rate, then estimateRefreshRate on the
// time. Output per line: the estimate as a double (%.17g), a tab, and the
// field's text.
#include <cstdio>
#include <cstring>
#include <string>

#include "core/settings.h"

namespace {

std::u16string widen(const char* text) {
  std::u16string out;
  for (; *text != 0; ++text)
    out.push_back(static_cast<char16_t>(static_cast<unsigned char>(*text)));
  return out;
}

std::string narrow(const char16_t* text) {
  std::string out;
  for (; *text != 0; ++text) out.push_back(static_cast<char>(*text));
  return out;
}

}  // namespace

int main() {
  char line[256];
  while (std::fgets(line, sizeof line, stdin) != nullptr) {
    char flashText[128] = {};
    char timeText[128] = {};
    if (std::sscanf(line, "%127s %127s", flashText, timeText) != 2) {
      std::fprintf(stderr, "estimate: expected \"FLASH_RATE TIME\", got: %s", line);
      return 2;
    }
    toggleRateFor(parseRealText(widen(flashText), 0.0));
    const double estimate = estimateRefreshRate(parseRealText(widen(timeText), 0.0));
    std::printf("%.17g\t%s\n", estimate, narrow(formatRealText(estimate).text).c_str());
  }
  return 0;
}
