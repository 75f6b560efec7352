#include "display/waveform.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr long kMostDots = 2147483647;  // the dot count is a 32-bit counter

long DotCount(double level) {
  if (!(level >= 1)) return 0;  // below one, and nan, print no dots
  if (level >= static_cast<double>(kMostDots)) return kMostDots;
  return static_cast<long>(level);
}

// Dots go out in runs of this many, not one call per dot.
constexpr size_t kDotRun = 256;

void PrintDots(long count) {
  static char run[kDotRun];
  if (run[0] != '.') std::memset(run, '.', sizeof run);
  while (count > 0) {
    const size_t n = count < static_cast<long>(kDotRun)
                         ? static_cast<size_t>(count)
                         : kDotRun;
    std::fwrite(run, 1, n, stdout);
    count -= static_cast<long>(n);
  }
}

}  // namespace

void Waveform(uint32_t frameIndex, uint32_t sampleRate, double level,
              double interval) {
  const double time =
      static_cast<double>(frameIndex) / static_cast<double>(sampleRate);
  if (interval >= 0.025)
    std::printf("%.2f\t", time);
  else if (interval > 0.001)
    std::printf("%.3f\t", time);
  else
    std::printf("%.3f\t%u\t", time, frameIndex);
  PrintDots(DotCount(level));
  std::putchar('\n');
}
