// The bodies of the per-frame loops, shared by every set of them: each set
// instantiates them in functions built for its processor, and they are
// inlined there, so the compiler vectorises each copy for that processor.
// These run once per sample of the whole span: speed beats brevity here.
//
// Mono and stereo, nearly every file, have loops of their own; three
// channels and more take a loop over the channels of each frame.
#ifndef OSTREL_SCAN_KERNEL_LOOPS_H
#define OSTREL_SCAN_KERNEL_LOOPS_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "scan/float32.h"
#include "scan/layouts.h"

// A loop body, inlined into every build of its loop.
#define OSTREL_LOOP inline __attribute__((always_inline))

namespace loops {

// An unsigned byte less its middle, 128: magnitudes 0 to 128.
OSTREL_LOOP uint32_t Magnitude8(const unsigned char* p) {
  const int32_t v = static_cast<int32_t>(p[0]) - 128;
  return static_cast<uint32_t>(v < 0 ? -v : v);
}

// G.711 codes expanded to 16-bit linear magnitudes (units of 1/256), by the
// expansion every common audio tool uses: mu-law up to 32124, A-law up to
// 32256. The sign bit does not change the magnitude.
constexpr OSTREL_LOOP uint32_t MagnitudeMuLaw(const unsigned char* p) {
  const uint32_t u = ~static_cast<uint32_t>(p[0]) & 0xFF;
  return ((((u & 0x0F) << 3) + 0x84) << ((u >> 4) & 7)) - 0x84;
}

constexpr OSTREL_LOOP uint32_t MagnitudeALaw(const unsigned char* p) {
  const uint32_t a = static_cast<uint32_t>(p[0]) ^ 0x55;
  const uint32_t segment = (a >> 4) & 7;
  const uint32_t t = ((a & 0x0F) << 4) + (segment == 0 ? 8 : 0x108);
  return segment > 1 ? t << (segment - 1) : t;
}

// The stored bytes of a sample as an unsigned word, in the file's byte order.
template <bool BigEndian>
OSTREL_LOOP uint16_t Word16(const unsigned char* p) {
  uint16_t v;
  std::memcpy(&v, p, sizeof v);
  return BigEndian ? __builtin_bswap16(v) : v;
}

template <bool BigEndian>
OSTREL_LOOP uint32_t Bits32(const unsigned char* p) {
  uint32_t v;
  std::memcpy(&v, p, sizeof v);
  return BigEndian ? __builtin_bswap32(v) : v;
}

template <bool BigEndian>
OSTREL_LOOP uint32_t Magnitude16(const unsigned char* p) {
  const int32_t wide = static_cast<int16_t>(Word16<BigEndian>(p));
  return static_cast<uint32_t>(wide < 0 ? -wide : wide);
}

template <bool BigEndian>
OSTREL_LOOP uint32_t Magnitude24(const unsigned char* p) {
  const uint32_t low = p[BigEndian ? 2 : 0], middle = p[1], high = p[BigEndian ? 0 : 2];
  const int32_t v = static_cast<int32_t>(low << 8 | middle << 16 | high << 24) >> 8;
  return static_cast<uint32_t>(v < 0 ? -v : v);
}

// A float sample's magnitude pattern: its word without the sign bit.
template <bool BigEndian>
OSTREL_LOOP uint32_t FloatPattern(const unsigned char* p) {
  return Bits32<BigEndian>(p) & 0x7FFFFFFF;
}

// The magnitude of a signed 32-bit sample, taken as an unsigned word so that
// -2^31 gives 2^31 without overflow.
template <bool BigEndian>
OSTREL_LOOP uint32_t Magnitude32(const unsigned char* p) {
  const uint32_t v = Bits32<BigEndian>(p);
  return v >> 31 != 0 ? 0u - v : v;
}

OSTREL_LOOP uint32_t Max(uint32_t a, uint32_t b) { return a > b ? a : b; }

// Integer magnitudes of `Bytes`-byte samples, summed in `Part` pieces of
// `Piece` samples that cannot overflow (2^24 magnitudes of at most 2^7
// units, 2^16 of at most 2^15, or 2^8 of at most 2^23 stay below 2^32; 32-bit
// magnitudes, up to 2^31 each, take 64-bit pieces) and added to the 64-bit
// total between pieces.
template <size_t Bytes, typename Part, uint32_t Piece, uint32_t (*Magnitude)(const unsigned char*)>
OSTREL_LOOP void SumIntegerLoop(const unsigned char* frames, uint32_t count, uint32_t channelCount,
                                Totals* totals) {
  uint64_t total = totals->units;
  if (channelCount > 2) {
    // Pieces of whole frames: at most 8 channels, so a frame's magnitudes
    // fit a piece of 1/8 of the samples.
    const size_t frameSize = Bytes * channelCount;
    for (uint32_t done = 0; done < count;) {
      const uint32_t n = count - done < Piece / 8 ? count - done : Piece / 8;
      const unsigned char* p = frames + done * frameSize;
      Part part = 0;
      for (size_t i = 0; i < n; ++i, p += frameSize) {
        for (uint32_t c = 0; c < channelCount; ++c) {
          const uint32_t v = Magnitude(p + Bytes * c);
          part += v;
          totals->peaks[c] = Max(totals->peaks[c], v);
        }
      }
      total += part;
      done += n;
    }
    totals->units = total;
    return;
  }
  uint32_t left = totals->peaks[0];
  uint32_t right = totals->peaks[1];
  const size_t frameSize = Bytes * channelCount;
  const uint32_t piece = channelCount == 2 ? Piece / 2 : Piece;
  for (uint32_t done = 0; done < count;) {
    const uint32_t n = count - done < piece ? count - done : piece;
    const unsigned char* p = frames + done * frameSize;
    Part part = 0;
    if (channelCount == 2) {
      for (size_t i = 0; i < n; ++i) {
        const uint32_t l = Magnitude(p + 2 * Bytes * i);
        const uint32_t r = Magnitude(p + 2 * Bytes * i + Bytes);
        part += Part{l} + r;
        left = Max(left, l);
        right = Max(right, r);
      }
    } else {
      for (size_t i = 0; i < n; ++i) {
        const uint32_t v = Magnitude(p + Bytes * i);
        part += v;
        left = Max(left, v);
      }
    }
    total += part;
    done += n;
  }
  totals->units = total;
  totals->peaks[0] = left;
  totals->peaks[1] = right;
}

// The loop of each integer layout: the piece sizes follow the largest
// magnitude.
template <uint32_t (*Magnitude)(const unsigned char*)>
OSTREL_LOOP void SumInt8Loop(const unsigned char* frames, uint32_t count, uint32_t channelCount,
                             Totals* totals) {
  SumIntegerLoop<1, uint32_t, 1u << 16, Magnitude>(frames, count, channelCount, totals);
}

template <bool BigEndian>
OSTREL_LOOP void SumInt16Loop(const unsigned char* frames, uint32_t count, uint32_t channelCount,
                              Totals* totals) {
  SumIntegerLoop<2, uint32_t, 1u << 16, Magnitude16<BigEndian>>(frames, count, channelCount,
                                                                totals);
}

template <bool BigEndian>
OSTREL_LOOP void SumInt24Loop(const unsigned char* frames, uint32_t count, uint32_t channelCount,
                              Totals* totals) {
  SumIntegerLoop<3, uint32_t, 1u << 8, Magnitude24<BigEndian>>(frames, count, channelCount, totals);
}

template <bool BigEndian>
OSTREL_LOOP void SumInt32Loop(const unsigned char* frames, uint32_t count, uint32_t channelCount,
                              Totals* totals) {
  SumIntegerLoop<4, uint64_t, 1u << 16, Magnitude32<BigEndian>>(frames, count, channelCount,
                                                                totals);
}

// Float samples (one or two channels: a frame holds at most two).
template <bool BigEndian>
OSTREL_LOOP void SumFloat32Loop(const unsigned char* frames, uint32_t count, uint32_t channelCount,
                                Totals* totals) {
  constexpr uint32_t kMagnitude = 0x7FFFFFFF;
  uint32_t left = totals->peaks[0];
  uint32_t right = totals->peaks[1];
  double total = totals->sum;
  if (channelCount == 2) {
    for (size_t i = 0; i < count; ++i) {
      const uint32_t l = Bits32<BigEndian>(frames + 8 * i) & kMagnitude;
      const uint32_t r = Bits32<BigEndian>(frames + 8 * i + 4) & kMagnitude;
      total += Float32Magnitude(l);
      total += Float32Magnitude(r);
      left = Max(left, l);
      right = Max(right, r);
    }
  } else {
    for (size_t i = 0; i < count; ++i) {
      const uint32_t v = Bits32<BigEndian>(frames + 4 * i) & kMagnitude;
      total += Float32Magnitude(v);
      left = Max(left, v);
    }
  }
  totals->sum = total;
  totals->peaks[0] = left;
  totals->peaks[1] = right;
}

// Float blocks side by side, any number of them, sample by sample across the
// blocks: each block's sum still grows in its own sample order.
template <bool BigEndian>
OSTREL_LOOP void SumFloat32BlocksLoop(const unsigned char* frames, uint32_t blockFrames,
                                      uint32_t blocks, uint32_t channelCount, double* sums,
                                      Totals* totals) {
  constexpr uint32_t kMagnitude = 0x7FFFFFFF;
  const size_t blockSamples = size_t{blockFrames} * channelCount;
  for (uint32_t b = 0; b < blocks; ++b) sums[b] = 0;
  for (size_t k = 0; k < blockSamples; ++k) {
    uint32_t* peak = &totals->peaks[k % channelCount];
    for (uint32_t b = 0; b < blocks; ++b) {
      const uint32_t m = Bits32<BigEndian>(frames + 4 * (b * blockSamples + k)) & kMagnitude;
      sums[b] += Float32Magnitude(m);
      *peak = Max(*peak, m);
    }
  }
}

// Short integer blocks, one after the other: plain loops, as a block of a
// few frames leaves nothing to vectorise. The units of a block stay within
// 2^53 (at every width for blocks of up to 2^22 samples; short blocks are
// far shorter), so its sum on the level scale is exact. Units are
// 2^-UnitBits.
template <size_t Bytes, uint32_t (*Magnitude)(const unsigned char*), int UnitBits>
void SumIntegerBlocks(const unsigned char* frames, uint32_t blockFrames, uint32_t blocks,
                      uint32_t channelCount, double* sums, Totals* totals) {
  constexpr double kUnit = 1.0 / static_cast<double>(uint64_t{1} << UnitBits);
  const unsigned char* p = frames;
  if (channelCount > 2) {
    for (uint32_t b = 0; b < blocks; ++b) {
      uint64_t units = 0;
      for (uint32_t i = 0; i < blockFrames; ++i) {
        for (uint32_t c = 0; c < channelCount; ++c, p += Bytes) {
          const uint32_t v = Magnitude(p);
          units += v;
          totals->peaks[c] = Max(totals->peaks[c], v);
        }
      }
      sums[b] = static_cast<double>(units) * kUnit;
    }
    return;
  }
  uint32_t left = totals->peaks[0];
  uint32_t right = totals->peaks[1];
  if (blockFrames == 1) {  // one row per frame: a loop without the inner one
    for (uint32_t b = 0; b < blocks; ++b, p += Bytes * channelCount) {
      const uint32_t l = Magnitude(p);
      const uint32_t r = channelCount == 2 ? Magnitude(p + Bytes) : 0;
      left = Max(left, l);
      right = Max(right, r);
      sums[b] = static_cast<double>(uint64_t{l} + r) * kUnit;
    }
  } else {
    for (uint32_t b = 0; b < blocks; ++b) {
      uint64_t units = 0;
      for (uint32_t i = 0; i < blockFrames; ++i, p += Bytes * channelCount) {
        const uint32_t l = Magnitude(p);
        units += l;
        left = Max(left, l);
        if (channelCount == 2) {
          const uint32_t r = Magnitude(p + Bytes);
          units += r;
          right = Max(right, r);
        }
      }
      sums[b] = static_cast<double>(units) * kUnit;
    }
  }
  totals->peaks[0] = left;
  totals->peaks[1] = right;
}

// Integer magnitudes added to the block's double sum one after the other,
// each times the unit (a power of two: exact), for blocks whose sum leaves
// the range where doubles add integers exactly. Peaks in units.
template <size_t Bytes, uint32_t (*Magnitude)(const unsigned char*), int UnitBits>
void SumIntegerAsDoubles(const unsigned char* frames, uint32_t count, uint32_t channelCount,
                         Totals* totals) {
  constexpr double kUnit = 1.0 / static_cast<double>(uint64_t{1} << UnitBits);
  double total = totals->sum;
  const unsigned char* p = frames;
  for (size_t i = 0; i < count; ++i) {
    for (uint32_t c = 0; c < channelCount; ++c, p += Bytes) {
      const uint32_t v = Magnitude(p);
      total += v * kUnit;
      totals->peaks[c] = Max(totals->peaks[c], v);
    }
  }
  totals->sum = total;
}

// Frames whose integer squares fit a 64-bit sum: squares of up to 2^30 units
// (8 and 16 bits) 2^16 at a time, of 2^46 (24 bits) 2^8, of 2^62 one.
constexpr uint32_t StatisticsPiece(size_t bytes) {
  return bytes == 4 ? 1 : bytes == 3 ? 1u << 8 : 1u << 16;
}

// One channel's statistics while a call runs: kept in locals so that the
// loop below can be vectorised.
struct ChannelRun {
  uint64_t squares = 0;  // integer squares of this call's samples
  double floatSquares;   // float squares, on from the channel's total
  uint64_t clipped = 0;
  uint32_t most = 0;
};

template <uint32_t (*Magnitude)(const unsigned char*), uint32_t ClipAt, bool Float>
OSTREL_LOOP void AddStatistic(const unsigned char* p, ChannelRun* run) {
  const uint32_t m = Magnitude(p);
  if (Float) {
    const double value = Float32Magnitude(m);
    run->floatSquares += value * value;
  } else {
    run->squares += uint64_t{m} * m;
  }
  run->clipped += m >= ClipAt ? 1 : 0;
  run->most = Max(run->most, m);
}

// The statistics of `count` frames: squares added up (integers exactly,
// floats as doubles in sample order), the samples at `ClipAt` or above, and
// the first frame of a new peak, looked for again only in the rare calls
// that raise it. Integer squares take 64-bit sums of at most `Piece` frames,
// then the channel's 128-bit total.
template <size_t Bytes, uint32_t (*Magnitude)(const unsigned char*), uint32_t Piece,
          uint32_t ClipAt, bool Float>
OSTREL_LOOP void SumStatistics(const unsigned char* frames, uint32_t count, uint32_t channelCount,
                               uint64_t firstFrame, ChannelStatistics* channels) {
  const size_t frameSize = Bytes * channelCount;
  ChannelRun runs[kMostChannels];
  for (uint32_t c = 0; c < channelCount; ++c) runs[c].floatSquares = channels[c].squares;
  for (uint32_t done = 0; done < count;) {
    const uint32_t n = count - done < Piece ? count - done : Piece;
    const unsigned char* p = frames + done * frameSize;
    ChannelRun left = runs[0], right = runs[1];
    left.squares = right.squares = 0;
    if (channelCount == 1) {
      for (size_t i = 0; i < n; ++i) AddStatistic<Magnitude, ClipAt, Float>(p + Bytes * i, &left);
    } else if (channelCount == 2) {
      for (size_t i = 0; i < n; ++i) {
        AddStatistic<Magnitude, ClipAt, Float>(p + 2 * Bytes * i, &left);
        AddStatistic<Magnitude, ClipAt, Float>(p + 2 * Bytes * i + Bytes, &right);
      }
    } else {
      for (uint32_t c = 0; c < channelCount; ++c) runs[c].squares = 0;
      for (size_t i = 0; i < n; ++i) {
        for (uint32_t c = 0; c < channelCount; ++c)
          AddStatistic<Magnitude, ClipAt, Float>(p + frameSize * i + Bytes * c, &runs[c]);
      }
      left = runs[0];
      right = runs[1];
    }
    runs[0] = left;
    runs[1] = right;
    for (uint32_t c = 0; c < channelCount; ++c) channels[c].squareUnits += runs[c].squares;
    done += n;
  }
  for (uint32_t c = 0; c < channelCount; ++c) {
    ChannelStatistics& channel = channels[c];
    channel.squares = runs[c].floatSquares;
    channel.clipped += runs[c].clipped;
    if (count != 0 && (runs[c].most > channel.peak || channel.peakFrame == UINT64_MAX)) {
      uint32_t i = 0;
      while (Magnitude(frames + frameSize * i + Bytes * c) != runs[c].most) ++i;
      channel.peak = runs[c].most;
      channel.peakFrame = firstFrame + i;
    }
  }
}

// 64-bit float samples made the 32-bit floats nearest to them, in place:
// sample i's four bytes go to bytes 4i ... 4i + 3, little-endian, where the
// float loops read them. The conversion is the processor's (round to
// nearest even, overflow to infinity, a NaN kept quiet with its sign and the
// top of its fraction), with flush-to-zero off as a process starts.
template <bool BigEndian>
OSTREL_LOOP float NarrowDouble(const unsigned char* p) {
  uint64_t bits;
  std::memcpy(&bits, p, sizeof bits);
  if (BigEndian) bits = __builtin_bswap64(bits);
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return static_cast<float>(value);
}

// Four at a time through locals, so that the vectoriser sees no overlap
// between what is read and what is written.
template <bool BigEndian>
void NarrowDoubles(unsigned char* samples, size_t count) {
  size_t i = 0;
  for (; i + 4 <= count; i += 4) {
    float narrow[4];
    for (size_t k = 0; k < 4; ++k) narrow[k] = NarrowDouble<BigEndian>(samples + 8 * (i + k));
    std::memcpy(samples + 4 * i, narrow, sizeof narrow);
  }
  for (; i < count; ++i) {
    const float narrow = NarrowDouble<BigEndian>(samples + 8 * i);
    std::memcpy(samples + 4 * i, &narrow, sizeof narrow);
  }
}

}  // namespace loops

#endif
