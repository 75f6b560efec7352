// The plain set of loops: portable C++ that the compiler vectorises for the
// target it builds for.
#include <cstddef>
#include <cstdint>

#include "scan/kernel_loops.h"
#include "scan/kernels.h"

namespace {

void SumInt16Plain(const unsigned char* frames, uint32_t count, uint32_t channelCount,
                   uint64_t* units, uint32_t* peakL, uint32_t* peakR) {
  loops::SumInt16Loop(frames, count, channelCount, units, peakL, peakR);
}

void SumInt24Plain(const unsigned char* frames, uint32_t count, uint32_t channelCount,
                   uint64_t* units, uint32_t* peakL, uint32_t* peakR) {
  loops::SumInt24Loop(frames, count, channelCount, units, peakL, peakR);
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
// frames leaves nothing to vectorise. The units of a block of up to 2^30
// samples stay below 2^53, so its sum on the level scale is exact.
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
      sums[b] = static_cast<double>(l + r) * unit;
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
  return {"plain", SumInt16Plain, SumInt24Plain, SumFloat32Plain, SumFloat32BlocksPlain};
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

void SumInt24AsDoubles(const unsigned char* frames, uint32_t count, uint32_t channelCount,
                       double* sum, uint32_t* peakL, uint32_t* peakR) {
  double total = *sum;
  for (size_t i = 0; i < count; ++i) {
    const unsigned char* p = frames + i * 3 * channelCount;
    const uint32_t l = loops::Magnitude24(p);
    total += l / 65536.0;
    *peakL = loops::Max(*peakL, l);
    if (channelCount == 2) {
      const uint32_t r = loops::Magnitude24(p + 3);
      total += r / 65536.0;
      *peakR = loops::Max(*peakR, r);
    }
  }
  *sum = total;
}
