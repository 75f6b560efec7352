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

// Writes the digits of value, returns the end.
char* PutUnsigned(char* out, uint64_t value) {
  char digits[20];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  while (n > 0) *out++ = digits[--n];
  return out;
}

// Writes frameIndex / sampleRate with `decimals` (2 or 3) places, as printf's
// "%.2f" / "%.3f" prints the double quotient, and returns the end.
//
// printf rounds the double t nearest to f / r; this rounds the exact f / r
// with integers. The two agree except when the exact value sits on a half:
// t * 10^d differs from x = f * 10^d / r by at most x * 2^-53 < 2^-11 (f is
// below 2^32 and 10^d below 2^10), while a fraction of x that is not exactly
// a half lies at least 1 / (2r) from it, and 2^-53 * x < 1 / (2r) because
// f * 10^d < 2^52. So t * 10^d rounds the same way as x; only exact halves,
// where t falls on either side, are left to printf itself.
char* PutTime(char* out, uint32_t frameIndex, uint32_t sampleRate, int decimals) {
  const uint64_t scale = decimals == 2 ? 100 : 1000;
  const uint64_t scaled = frameIndex * scale;
  if (sampleRate == 0 || 2 * (scaled % sampleRate) == sampleRate) {
    const double time = static_cast<double>(frameIndex) / static_cast<double>(sampleRate);
    return out + std::snprintf(out, 32, decimals == 2 ? "%.2f" : "%.3f", time);
  }
  uint64_t rounded = scaled / sampleRate;
  if (2 * (scaled % sampleRate) > sampleRate) ++rounded;
  out = PutUnsigned(out, rounded / scale);
  *out++ = '.';
  uint64_t fraction = rounded % scale;
  for (uint64_t place = scale / 10; place > 0; place /= 10) {
    *out++ = static_cast<char>('0' + fraction / place);
    fraction %= place;
  }
  return out;
}

}  // namespace

namespace {

// Rows are put together in this area and handed to standard output in large
// pieces: one stdio call per row would cost more than the row itself.
char pending[1 << 16];
size_t pendingLength = 0;
// Room for any stamp and a newline, with dots to spare.
constexpr size_t kRowRoom = 512;

}  // namespace

void FlushRows() {
  fwrite_unlocked(pending, 1, pendingLength, stdout);
  pendingLength = 0;
}

void Waveform(uint32_t frameIndex, uint32_t sampleRate, double level, double interval) {
  if (sizeof pending - pendingLength < kRowRoom) FlushRows();
  char* end = pending + pendingLength;
  if (interval >= 0.025) {
    end = PutTime(end, frameIndex, sampleRate, 2);
  } else {
    end = PutTime(end, frameIndex, sampleRate, 3);
    if (!(interval > 0.001)) {
      *end++ = '\t';
      end = PutUnsigned(end, frameIndex);
    }
  }
  *end++ = '\t';
  // Rows longer than the area go out in pieces as they fill it.
  long dots = DotCount(level);
  while (dots > 0) {
    const size_t room = sizeof pending - 1 - static_cast<size_t>(end - pending);
    const size_t run = static_cast<size_t>(dots) < room ? static_cast<size_t>(dots) : room;
    std::memset(end, '.', run);
    end += run;
    dots -= static_cast<long>(run);
    if (dots > 0) {
      pendingLength = static_cast<size_t>(end - pending);
      FlushRows();
      end = pending;
    }
  }
  *end++ = '\n';
  pendingLength = static_cast<size_t>(end - pending);
}
