// The core's own numbers for the analyses: for every input line
// "FLASH_RATE TIME" (the texts a user would type into the flash-rate and
// pass-time fields) it runs toggleRateFor on the flash rate and
// estimateRefreshRate on the time, and prints, tab-separated: the estimate
// as a double (%.17g), the estimate's field text, and pacerSettings'
// toggleRate and rateScale as toggleRateFor left them.
#include <cstdio>
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
      std::fprintf(stderr, "core_numbers: expected \"FLASH_RATE TIME\", got: %s", line);
      return 2;
    }
    toggleRateFor(parseRealText(widen(flashText), 0.0));
    const double estimate = estimateRefreshRate(parseRealText(widen(timeText), 0.0));
    std::printf("%.17g\t%s\t%u\t%u\n", estimate, narrow(formatRealText(estimate).text).c_str(),
                static_cast<unsigned>(pacerSettings.toggleRate),
                static_cast<unsigned>(pacerSettings.rateScale));
  }
  return 0;
}
