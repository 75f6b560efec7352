// The plain set of loops: portable C++ that the compiler vectorises for the
// target it builds for.
#include <cstddef>
#include <cstdint>

#include "scan/kernel_loops.h"
#include "scan/kernels.h"

namespace {

void SumInt8Plain(const unsigned char* frames, uint32_t count, uint32_t channelCount,
                  uint64_t* units, uint32_t* peakL, uint32_t* peakR) {
  loops::SumInt8Loop(frames, count, channelCount, units, peakL, peakR);
}

void SumInt16Plain(const unsigned char* frames, uint32_t count, uint32_t channelCount,
                   uint64_t* units, uint32_t* peakL, uint32_t* peakR) {
  loops::SumInt16Loop(frames, count, channelCount, units, peakL, peakR);
}

void SumInt24Plain(const unsigned char* frames, uint32_t count, uint32_t channelCount,
                   uint64_t* units, uint32_t* peakL, uint32_t* peakR) {
  loops::SumInt24Loop(frames, count, channelCount, units, peakL, peakR);
}

void SumInt32Plain(const unsigned char* frames, uint32_t count, uint32_t channelCount,
                   uint64_t* units, uint32_t* peakL, uint32_t* peakR) {
  loops::SumInt32Loop(frames, count, channelCount, units, peakL, peakR);
}

void SumFloat32Plain(const unsigned char* frames, uint32_t count, uint32_t channelCount,
                     double* sum, uint32_t* peakL, uint32_t* peakR) {
  loops::SumFloat32Loop(frames, count, channelCount, sum, peakL, peakR);
}

void SumFloat32BlocksPlain(const unsigned char* frames, uint32_t blockFrames, uint32_t blocks,
                           uint32_t channelCount, double* sums, uint32_t* peakL, uint32_t* peakR) {
  loops::SumFloat32BlocksLoop(frames, blockFrames, blocks, channelCount, sums, peakL, peakR);
}

// Short blocks, one after the other: plain loops, as a block of a few
// frames leaves nothing to vectorise. The units of a block stay within 2^53
// (at every width for blocks of up to 2^22 samples; the scan's short blocks
// are far shorter), so its sum on the level scale is exact.
template <size_t Bytes, uint32_t (*Magnitude)(const unsigned char*)>
void SumIntegerBlocks(const unsigned char* frames, uint32_t blockFrames, uint32_t blocks,
                      uint32_t channelCount, double unit, double* sums, uint32_t* peakL,
                      uint32_t* peakR) {
  uint32_t left = *peakL;
  uint32_t right = *peakR;
  const unsigned char* p = frames;
  if (blockFrames == 1) {  // one row per frame: a loop without the inner one
    for (uint32_t b = 0; b < blocks; ++b, p += Bytes * channelCount) {
      const uint32_t l = Magnitude(p);
      const uint32_t r = channelCount == 2 ? Magnitude(p + Bytes) : 0;
      left = loops::Max(left, l);
      right = loops::Max(right, r);
      sums[b] = static_cast<double>(uint64_t{l} + r) * unit;
    }
    *peakL = left;
    *peakR = right;
    return;
  }
  for (uint32_t b = 0; b < blocks; ++b) {
    uint64_t units = 0;
    for (uint32_t i = 0; i < blockFrames; ++i, p += Bytes * channelCount) {
      const uint32_t l = Magnitude(p);
      units += l;
      left = loops::Max(left, l);
      if (channelCount == 2) {
        const uint32_t r = Magnitude(p + Bytes);
        units += r;
        right = loops::Max(right, r);
      }
    }
    sums[b] = static_cast<double>(units) * unit;
  }
  *peakL = left;
  *peakR = right;
}

}  // namespace

Kernels PlainKernels() {
  return {"plain",       SumInt8Plain,    SumInt16Plain,        SumInt24Plain,
          SumInt32Plain, SumFloat32Plain, SumFloat32BlocksPlain};
}

void SumInt8Blocks(const unsigned char* frames, uint32_t blockFrames, uint32_t blocks,
                   uint32_t channelCount, double* sums, uint32_t* peakL, uint32_t* peakR) {
  SumIntegerBlocks<1, loops::Magnitude8>(frames, blockFrames, blocks, channelCount, 1.0, sums,
                                         peakL, peakR);
}

void SumInt16Blocks(const unsigned char* frames, uint32_t blockFrames, uint32_t blocks,
                    uint32_t channelCount, double* sums, uint32_t* peakL, uint32_t* peakR) {
  SumIntegerBlocks<2, loops::Magnitude16>(frames, blockFrames, blocks, channelCount, 1.0 / 256,
                                          sums, peakL, peakR);
}

void SumInt24Blocks(const unsigned char* frames, uint32_t blockFrames, uint32_t blocks,
                    uint32_t channelCount, double* sums, uint32_t* peakL, uint32_t* peakR) {
  SumIntegerBlocks<3, loops::Magnitude24>(frames, blockFrames, blocks, channelCount, 1.0 / 65536,
                                          sums, peakL, peakR);
}

void SumInt32Blocks(const unsigned char* frames, uint32_t blockFrames, uint32_t blocks,
                    uint32_t channelCount, double* sums, uint32_t* peakL, uint32_t* peakR) {
  SumIntegerBlocks<4, loops::Magnitude32>(frames, blockFrames, blocks, channelCount, 0x1p-24, sums,
                                          peakL, peakR);
}

namespace {

// Each magnitude in units times the unit (a power of two: exact), added in
// sample order.
template <size_t Bytes, uint32_t (*Magnitude)(const unsigned char*)>
void SumIntegerAsDoubles(const unsigned char* frames, uint32_t count, uint32_t channelCount,
                         double unit, double* sum, uint32_t* peakL, uint32_t* peakR) {
  double total = *sum;
  for (size_t i = 0; i < count; ++i) {
    const unsigned char* p = frames + i * Bytes * channelCount;
    const uint32_t l = Magnitude(p);
    total += l * unit;
    *peakL = loops::Max(*peakL, l);
    if (channelCount == 2) {
      const uint32_t r = Magnitude(p + Bytes);
      total += r * unit;
      *peakR = loops::Max(*peakR, r);
    }
  }
  *sum = total;
}

}  // namespace

void SumInt24AsDoubles(const unsigned char* frames, uint32_t count, uint32_t channelCount,
                       double* sum, uint32_t* peakL, uint32_t* peakR) {
  SumIntegerAsDoubles<3, loops::Magnitude24>(frames, count, channelCount, 0x1p-16, sum, peakL,
                                             peakR);
}

void SumInt32AsDoubles(const unsigned char* frames, uint32_t count, uint32_t channelCount,
                       double* sum, uint32_t* peakL, uint32_t* peakR) {
  SumIntegerAsDoubles<4, loops::Magnitude32>(frames, count, channelCount, 0x1p-24, sum, peakL,
                                             peakR);
}
