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

void SumFloat32BlocksPlain(const unsigned char* frames, uint32_t blockFrames, uint32_t channelCount,
                           double sums[kInterleavedBlocks], uint32_t* peakL, uint32_t* peakR) {
  loops::SumFloat32BlocksLoop(frames, blockFrames, channelCount, sums, peakL, peakR);
}

}  // namespace

Kernels PlainKernels() {
  return {"plain", SumInt16Plain, SumInt24Plain, SumFloat32Plain, SumFloat32BlocksPlain};
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
