#include "display/waveform.h"

#include <cstdio>
#include <cstring>

#include "display/output.h"

namespace {

constexpr long kMostDots = 2147483647;  // the dot count is a 32-bit counter

long DotCount(double level) {
  if (!(level >= 1)) return 0;  // below one, and nan, print no dots
  if (level >= static_cast<double>(kMostDots)) return kMostDots;
  return static_cast<long>(level);
}

// The eight decimal digits of value (below 10^8), one to a byte, the first
// in the lowest byte, as numbers 0 ... 9. The digits come from multiplies
// on several lanes of one 64-bit word at once: the two halves of
// value / 10^4 and value % 10^4 in 32-bit lanes, then four pairs of digits in
// 16-bit lanes, then the eight digits in bytes. n * 10486 >> 20 is n / 100
// for n below 10^4, and n * 103 >> 10 is n / 10 for n below 100; no lane
// overflows into the next.
uint64_t EightDigits(uint32_t value) {
  const uint64_t halves = value / 10000 | static_cast<uint64_t>(value % 10000) << 32;
  const uint64_t hundreds = (halves * 10486 >> 20) & 0x0000007F0000007F;
  const uint64_t pairs = hundreds | (halves - 100 * hundreds) << 16;
  const uint64_t tens = (pairs * 103 >> 10) & 0x000F000F000F000F;
  return tens | (pairs - 10 * tens) << 8;
}

constexpr uint64_t kZeros = 0x3030303030303030;  // '0' in every byte

// Up to 16 bytes of a row, the first in the lowest byte of `low`, held in
// two words so that they go out in two 8-byte stores. Writing digits one by
// one and copying them on would read back bytes just stored, which the CPU
// cannot forward to a wider load and so stalls on.
struct Text {
  uint64_t low = 0, high = 0;
  unsigned length = 0;
};

// Appends the first `count` bytes of `bytes` (the rest zero); the text
// stays within 16 bytes.
inline __attribute__((always_inline)) void Append(Text* text, uint64_t bytes, unsigned count) {
  const unsigned at = text->length;
  if (at == 0) {
    text->low = bytes;
  } else if (at < 8) {
    text->low |= bytes << (8 * at);
    text->high |= bytes >> (64 - 8 * at);
  } else {
    text->high |= bytes << (8 * (at - 8));
  }
  text->length += count;
}

// Appends the digits of value, below 10^16.
void AppendDigits(Text* text, uint64_t value) {
  constexpr uint64_t kEight = 100000000;
  if (value >= kEight) {
    AppendDigits(text, value / kEight);
    Append(text, EightDigits(static_cast<uint32_t>(value % kEight)) + kZeros, 8);
    return;
  }
  const uint64_t digits = EightDigits(static_cast<uint32_t>(value));
  const unsigned leading = digits == 0 ? 7 : static_cast<unsigned>(__builtin_ctzll(digits)) / 8;
  Append(text, (digits + kZeros) >> (8 * leading), 8 - leading);
}

// Writes the text and returns its end; up to 16 bytes from `out` are written.
char* Put(char* out, const Text& text) {
  std::memcpy(out, &text.low, sizeof text.low);
  std::memcpy(out + 8, &text.high, sizeof text.high);
  return out + text.length;
}

// The texts of the fractions a stamp has, "." and its digits, the first
// byte lowest.
struct FractionTexts {
  uint32_t hundredths[100];
  uint32_t thousandths[1000];
};

constexpr FractionTexts MakeFractionTexts() {
  FractionTexts texts{};
  for (uint32_t f = 0; f < 100; ++f)
    texts.hundredths[f] = '.' | ('0' + f / 10) << 8 | ('0' + f % 10) << 16;
  for (uint32_t f = 0; f < 1000; ++f)
    texts.thousandths[f] =
        '.' | ('0' + f / 100) << 8 | ('0' + f / 10 % 10) << 16 | ('0' + f % 10) << 24;
  return texts;
}

constexpr FractionTexts kFractions = MakeFractionTexts();

// The text of units / 10^decimals with `decimals` (2 or 3) places, kept from
// the last row: at short blocks many rows in a row share their stamp, and at
// the usual ones many share its whole part, whose digits are kept too.
struct UnitsText {
  uint64_t units = 0;
  int decimals = 0;
  Text text;
  uint64_t whole = UINT64_MAX;
  Text wholeText;
};

// A new text is written from the registers it was made in: read back from
// where it was just stored, as two words stored apart read as one, it would
// wait on the stores.
inline char* PutUnits(char* out, UnitsText* last, uint64_t units, int decimals) {
  if (units == last->units && decimals == last->decimals) return Put(out, last->text);
  const uint64_t whole = decimals == 2 ? units / 100 : units / 1000;
  const auto fraction = static_cast<uint32_t>(units - whole * (decimals == 2 ? 100 : 1000));
  if (whole != last->whole) {
    Text digits;
    AppendDigits(&digits, whole);
    last->whole = whole;
    last->wholeText = digits;
  }
  Text text = last->wholeText;
  Append(&text, decimals == 2 ? kFractions.hundredths[fraction] : kFractions.thousandths[fraction],
         1 + static_cast<unsigned>(decimals));
  last->units = units;
  last->decimals = decimals;
  last->text = text;
  return Put(out, text);
}

// The text of the last row's frame index, moved on in its last digit when
// the next row is at most 9 frames on and that digit does not carry.
struct IndexText {
  uint32_t frameIndex = 0;
  Text text;
};

// (No pointer into the text is taken here: the caller's copy of it can then
// stay in registers.)
inline char* PutIndex(char* out, IndexText* last, uint32_t frameIndex) {
  const uint32_t step = frameIndex - last->frameIndex;
  Text& text = last->text;
  const unsigned lastDigit = text.length - 1;
  const bool inHigh = lastDigit >= 8;
  const unsigned shift = 8 * (lastDigit % 8);
  if (text.length != 0 && step < 10 &&
      (((inHigh ? text.high : text.low) >> shift) & 0xFF) + step <= '9') {
    const uint64_t add = static_cast<uint64_t>(step) << shift;
    if (inHigh)
      text.high += add;
    else
      text.low += add;
  } else {
    Text digits;
    AppendDigits(&digits, frameIndex);
    text = digits;
  }
  last->frameIndex = frameIndex;
  return Put(out, text);
}

// frameIndex * scale / sampleRate as quotient and remainder, carried from
// row to row: the rows of a scan step by the same number of frames, so the
// quotient moves on by the step's quotient, and the remainders add up with
// one carry at most. Only a new step, rate or scale, or a step back, divides.
struct Stamp {
  uint32_t frameIndex = 0, sampleRate = 0, step = 0;
  uint64_t scale = 0, units = 0, remainder = 0, stepUnits = 0, stepRemainder = 0;
};

inline void CarryStamp(Stamp* last, uint32_t frameIndex, uint32_t sampleRate, uint64_t scale) {
  if (sampleRate != last->sampleRate || scale != last->scale || frameIndex < last->frameIndex) {
    const uint64_t scaled = frameIndex * scale;
    *last = Stamp{frameIndex, sampleRate, 0, scale, scaled / sampleRate, scaled % sampleRate, 0, 0};
    return;
  }
  const uint32_t step = frameIndex - last->frameIndex;
  if (step != last->step) {
    last->step = step;
    last->stepUnits = step * scale / sampleRate;
    last->stepRemainder = step * scale % sampleRate;
  }
  last->frameIndex = frameIndex;
  last->units += last->stepUnits;
  last->remainder += last->stepRemainder;
  if (last->remainder >= sampleRate) {
    last->remainder -= sampleRate;
    ++last->units;
  }
}

// What the rows of one call carry over to the next: the stamp and the
// texts of the last row.
struct RowState {
  Stamp stamp;
  UnitsText units;
  IndexText index;
};
RowState lastRow;

// Writes frameIndex / sampleRate with `decimals` (2 or 3) places, as printf's
// "%.2f" / "%.3f" prints the double quotient, and returns the end; up to 7
// bytes past the end are overwritten.
//
// printf rounds the double t nearest to f / r; this rounds the exact f / r
// with integers. The two agree except when the exact value sits on a half:
// t * 10^d differs from x = f * 10^d / r by at most x * 2^-53 < 2^-11 (f is
// below 2^32 and 10^d below 2^10), while a fraction of x that is not exactly
// a half lies at least 1 / (2r) from it, and 2^-53 * x < 1 / (2r) because
// f * 10^d < 2^52. So t * 10^d rounds the same way as x; only exact halves,
// where t falls on either side, are left to printf itself.
inline char* PutTime(char* out, RowState* row, uint32_t frameIndex, uint32_t sampleRate,
                     int decimals) {
  if (sampleRate != 0) {
    Stamp& stamp = row->stamp;
    CarryStamp(&stamp, frameIndex, sampleRate, decimals == 2 ? 100 : 1000);
    if (2 * stamp.remainder != sampleRate)
      return PutUnits(out, &row->units, stamp.units + (2 * stamp.remainder > sampleRate), decimals);
  }
  const double time = static_cast<double>(frameIndex) / static_cast<double>(sampleRate);
  return out + std::snprintf(out, 32, decimals == 2 ? "%.2f" : "%.3f", time);
}

// Rows are put together in this area and handed to standard output in large
// pieces: one stdio call per row would cost more than the row itself.
char pending[1 << 16];
size_t pendingLength = 0;
// Room for any stamp and a newline, with dots to spare.
constexpr size_t kRowRoom = 512;
// Rows of up to this many dots are written 16 at a time, the last run
// reaching past the row's end; the rest run into the area's end and on.
constexpr long kShortDots = 256;
constexpr char kDots[16] = {'.', '.', '.', '.', '.', '.', '.', '.',
                            '.', '.', '.', '.', '.', '.', '.', '.'};

// Writes `dots` dots, more than kShortDots, and returns their end. Rows
// longer than the area go out in pieces as they fill it; once a piece cannot
// be written, the rest of the row is not made.
char* PutLongDots(char* end, long dots) {
  while (dots > 0 && OutputError() == 0) {
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
  return end;
}

// Writes the dots for level and returns their end.
inline char* PutDots(char* end, double level) {
  const long dots = DotCount(level);
  if (dots <= kShortDots) {
    for (long done = 0; done < dots; done += 16) {
      std::memcpy(end + done, kDots, sizeof kDots);
    }
    return end + dots;
  }
  return PutLongDots(end, dots);
}

}  // namespace

bool FlushRows() {
  const size_t length = pendingLength;
  pendingLength = 0;
  return WriteOutput(pending, length);
}

bool WaveformRows(uint32_t frameIndex, uint32_t step, uint32_t count, uint32_t sampleRate,
                  const double* levels, double interval) {
  const int decimals = interval >= 0.025 ? 2 : 3;
  const bool withIndex = decimals == 3 && !(interval > 0.001);
  // The carried state is worked on in a local copy: the row bytes written
  // below cannot touch a local, so it stays in registers from row to row.
  RowState row = lastRow;
  char* end = pending + pendingLength;
  for (uint32_t r = 0; r < count; ++r, frameIndex += step) {
    if (static_cast<size_t>(end - pending) > sizeof pending - kRowRoom) {
      pendingLength = static_cast<size_t>(end - pending);
      FlushRows();
      end = pending;
    }
    end = PutTime(end, &row, frameIndex, sampleRate, decimals);
    *end++ = '\t';
    if (withIndex) {
      end = PutIndex(end, &row.index, frameIndex);
      *end++ = '\t';
    }
    end = PutDots(end, levels[r]);
    *end++ = '\n';
  }
  lastRow = row;
  // Rows that can no longer be written are dropped, not left for a later
  // write.
  pendingLength = OutputError() == 0 ? static_cast<size_t>(end - pending) : 0;
  return OutputError() == 0;
}

bool Waveform(uint32_t frameIndex, uint32_t sampleRate, double level, double interval) {
  return WaveformRows(frameIndex, 0, 1, sampleRate, &level, interval);
}
