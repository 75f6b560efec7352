#include "scan/scan.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "display/waveform.h"
#include "scan/float32.h"
#include "scan/kernels.h"

namespace {

// The buffer is one fixed area for the whole scan, sized so that a chunk of
// 16-bit stereo (256 KiB) still sits in the core's cache when it is decoded;
// fewer, larger reads cost less than many small ones.
constexpr uint32_t kMostFrameBytes = 8;
alignas(64) unsigned char buffer[kChunkFrames * kMostFrameBytes];

// How the frames of a layout are summed.
enum class Summing {
  kNone,            // not decoded: no level, no peaks
  kInteger8,        // exact integer sums in units of 1
  kInteger16,       // exact integer sums in units of 1/256
  kInteger24,       // exact integer sums in units of 1/65536
  kInteger32,       // exact integer sums in units of 1/2^24
  kFloat,           // sequential double sums of the float magnitudes
  kDoubleFrames24,  // 24-bit blocks too long for exact integer sums
  kDoubleFrames32   // 32-bit blocks too long for exact integer sums
};

// Integer sums are the sequential double sums as long as every partial sum
// is exact in a double: at most 2^53 units.
constexpr uint64_t kMostExactUnits = uint64_t{1} << 53;

Summing ChooseSumming(SampleFormat sampleFormat, uint32_t channelCount, uint32_t resolution) {
  if (channelCount != 1 && channelCount != 2) return Summing::kNone;
  const uint64_t blockSamples = static_cast<uint64_t>(resolution) * channelCount;
  switch (sampleFormat) {
    case SampleFormat::kUnsigned8:
      // A block sum is at most 2^32 frames * 2 channels * 2^7 = 2^40.
      return Summing::kInteger8;
    case SampleFormat::kSigned16:
      // A block sum is at most 2^32 frames * 2 channels * 2^15 units = 2^48,
      // so every partial double sum is exact: integers give the same sums.
      return Summing::kInteger16;
    case SampleFormat::kSigned24:
      // Samples up to 2^23 units: blocks of up to 2^30 samples stay exact.
      // Longer blocks (sample rates over 2^29) round as doubles do.
      return blockSamples <= kMostExactUnits >> 23 ? Summing::kInteger24 : Summing::kDoubleFrames24;
    case SampleFormat::kSigned32:
      // Samples up to 2^31 units: blocks of up to 2^22 samples stay exact.
      // Longer blocks (resolutions over 2^21 frames in stereo, possible at
      // sample rates above that) round as doubles do.
      return blockSamples <= kMostExactUnits >> 31 ? Summing::kInteger32 : Summing::kDoubleFrames32;
    case SampleFormat::kFloat32:
      return Summing::kFloat;
    case SampleFormat::kUndecoded:
      return Summing::kNone;
  }
  return Summing::kNone;
}

// The running state of the current block and of the peaks. Integer layouts
// count in units (the last place of the sample format) and keep peaks as
// magnitudes in units; float layouts keep the block sum as a double and the
// peaks as the largest magnitude bit pattern seen.
struct Totals {
  uint64_t units = 0;
  double sum = 0;
  uint32_t peakL = 0;
  uint32_t peakR = 0;
};

void AddFrames(const Kernels& kernels, Summing summing, const unsigned char* frames, uint32_t count,
               uint32_t channelCount, Totals* totals) {
  switch (summing) {
    case Summing::kNone:
      return;
    case Summing::kInteger8:
      kernels.sumInt8(frames, count, channelCount, &totals->units, &totals->peakL, &totals->peakR);
      return;
    case Summing::kInteger16:
      kernels.sumInt16(frames, count, channelCount, &totals->units, &totals->peakL, &totals->peakR);
      return;
    case Summing::kInteger24:
      kernels.sumInt24(frames, count, channelCount, &totals->units, &totals->peakL, &totals->peakR);
      return;
    case Summing::kInteger32:
      kernels.sumInt32(frames, count, channelCount, &totals->units, &totals->peakL, &totals->peakR);
      return;
    case Summing::kFloat:
      kernels.sumFloat32(frames, count, channelCount, &totals->sum, &totals->peakL, &totals->peakR);
      return;
    case Summing::kDoubleFrames24:
      SumInt24AsDoubles(frames, count, channelCount, &totals->sum, &totals->peakL, &totals->peakR);
      return;
    case Summing::kDoubleFrames32:
      SumInt32AsDoubles(frames, count, channelCount, &totals->sum, &totals->peakL, &totals->peakR);
      return;
  }
}

// The level scale's value of one unit of an integer layout (a power of two,
// so units convert exactly); 0 for the layouts summed as doubles.
double Unit(Summing summing) {
  switch (summing) {
    case Summing::kInteger8:
      return 1;
    case Summing::kInteger16:
      return 0x1p-8;
    case Summing::kInteger24:
    case Summing::kDoubleFrames24:
      return 0x1p-16;
    case Summing::kInteger32:
    case Summing::kDoubleFrames32:
      return 0x1p-24;
    case Summing::kNone:
    case Summing::kFloat:
      return 0;
  }
  return 0;
}

double BlockSum(Summing summing, const Totals& totals) {
  switch (summing) {
    case Summing::kInteger8:
    case Summing::kInteger16:
    case Summing::kInteger24:
    case Summing::kInteger32:
      return static_cast<double>(totals.units) * Unit(summing);
    default:
      return totals.sum;
  }
}

double Peak(Summing summing, uint32_t magnitude, bool anyDecoded) {
  if (summing == Summing::kFloat) return anyDecoded ? Float32Magnitude(magnitude) : 0;
  return magnitude * Unit(summing);
}

// Whole blocks are summed a group at a time where that pays: float blocks
// side by side, as many as a chunk holds, in fours, up to 16 (float sums
// must keep their order within a block, but separate blocks need not wait on
// each other); integer blocks of up to kShortBlock frames up to 256 at a
// time, so that a short block costs no call of its own. 0: no groups.
constexpr uint32_t kShortBlock = 64;
constexpr uint32_t kMostGroupBlocks = 256;

uint32_t GroupBlocks(Summing summing, uint32_t resolution) {
  if (resolution == 0) return 0;
  switch (summing) {
    case Summing::kFloat: {
      const uint32_t fit = kChunkFrames / resolution;
      return (fit < kMostSideBySideBlocks ? fit : kMostSideBySideBlocks) / 4 * 4;
    }
    case Summing::kInteger8:
    case Summing::kInteger16:
    case Summing::kInteger24:
    case Summing::kInteger32:
      return resolution <= kShortBlock ? kMostGroupBlocks : 0;
    default:
      return 0;
  }
}

// Sums `blocks` whole blocks into sums[] and raises the peaks.
void SumBlocks(const Kernels& kernels, Summing summing, const unsigned char* frames,
               uint32_t resolution, uint32_t blocks, uint32_t channelCount, double* sums,
               Totals* totals) {
  switch (summing) {
    case Summing::kFloat:
      kernels.sumFloat32Blocks(frames, resolution, blocks, channelCount, sums, &totals->peakL,
                               &totals->peakR);
      return;
    case Summing::kInteger8:
      SumInt8Blocks(frames, resolution, blocks, channelCount, sums, &totals->peakL, &totals->peakR);
      return;
    case Summing::kInteger16:
      SumInt16Blocks(frames, resolution, blocks, channelCount, sums, &totals->peakL,
                     &totals->peakR);
      return;
    case Summing::kInteger24:
      SumInt24Blocks(frames, resolution, blocks, channelCount, sums, &totals->peakL,
                     &totals->peakR);
      return;
    case Summing::kInteger32:
      SumInt32Blocks(frames, resolution, blocks, channelCount, sums, &totals->peakL,
                     &totals->peakR);
      return;
    default:  // GroupBlocks forms no groups of the other layouts
      return;
  }
}

}  // namespace

int ScanFrames(WaveInput* input, uint32_t dataOffset, uint32_t frameSize, SampleFormat sampleFormat,
               uint32_t channelCount, uint32_t sampleRate, uint32_t startFrame, uint32_t endFrame,
               uint32_t resolution, float magnification, double interval, double* peakL,
               double* peakR) {
  const Summing summing = ChooseSumming(sampleFormat, channelCount, resolution);
  const Kernels kernels = ChooseKernels();
  const uint32_t half = resolution / 2;
  const uint32_t group = GroupBlocks(summing, resolution);
  // Side-by-side float sums take whole groups, integer groups any number of
  // blocks. Chunks are cut at whole groups or blocks, so that every chunk of
  // a file starts on a block and all but the last few blocks of the span are
  // summed in groups. (Stream reads come as they come; blocks that they cut
  // take the frame-by-frame way.)
  const uint32_t cut = summing == Summing::kFloat ? group * resolution : resolution;
  const uint32_t chunkFrames = group != 0 ? kChunkFrames - kChunkFrames % cut : kChunkFrames;
  Totals totals;
  uint32_t blockCount = 0;
  // Bytes of a frame that a stream read cut in two, kept at the front of the
  // buffer until the rest arrives.
  uint32_t carried = 0;

  uint32_t current = startFrame;
  while (current < endFrame) {
    const uint32_t remaining = endFrame - current;
    const uint32_t wanted = remaining < chunkFrames ? remaining : chunkFrames;
    size_t read = 0;
    const int error =
        ReadWaveInput(input, dataOffset + static_cast<uint64_t>(frameSize) * current + carried,
                      buffer + carried, size_t{wanted} * frameSize - carried, &read);
    if (error != 0) return error;
    if (read == 0) break;  // the data ended early: a partial frame is dropped
    const size_t bytes = carried + read;
    const uint32_t got = static_cast<uint32_t>(bytes / frameSize);
    // The chunk is cut at block ends; blocks run on across chunks.
    const unsigned char* frames = buffer;
    for (uint32_t left = got; left > 0;) {
      if (group != 0 && blockCount == 0 && left >= cut) {
        const uint32_t whole = left / resolution;
        const uint32_t blocks = summing == Summing::kFloat || whole > group ? group : whole;
        double sums[kMostGroupBlocks];
        SumBlocks(kernels, summing, frames, resolution, blocks, channelCount, sums, &totals);
        double* levels = sums;  // each level replaces its sum
        for (uint32_t b = 0; b < blocks; ++b)
          levels[b] = BlockLevel(sums[b], channelCount, resolution, magnification);
        WaveformRows(current + resolution - half, resolution, blocks, sampleRate, levels, interval);
        current += blocks * resolution;
        frames += static_cast<size_t>(blocks) * resolution * frameSize;
        left -= blocks * resolution;
        continue;
      }
      const uint32_t toBlockEnd = resolution == 0 ? left : resolution - blockCount;
      const uint32_t count = left < toBlockEnd ? left : toBlockEnd;
      AddFrames(kernels, summing, frames, count, channelCount, &totals);
      frames += static_cast<size_t>(count) * frameSize;
      left -= count;
      current += count;
      blockCount += count;
      if (blockCount == resolution) {
        Waveform(current - half, sampleRate,
                 BlockLevel(BlockSum(summing, totals), channelCount, resolution, magnification),
                 interval);
        blockCount = 0;
        totals.units = 0;
        totals.sum = 0;
      }
    }
    carried = static_cast<uint32_t>(bytes - size_t{got} * frameSize);
    std::memmove(buffer, buffer + size_t{got} * frameSize, carried);
    // Rows keep coming as the scan goes, a chunk at a time. Once standard
    // output has failed (a full disk, a pipe closed with SIGPIPE ignored),
    // the rest of the span is not worth reading: the run ends at once.
    FlushRows();
    if (std::ferror(stdout)) std::exit(2);
  }
  // A float peak of pattern 0 is still 2^-120 once any frame was decoded.
  const bool anyDecoded = current != startFrame;
  *peakL = Peak(summing, totals.peakL, anyDecoded);
  *peakR = channelCount == 2 ? Peak(summing, totals.peakR, anyDecoded) : 0;
  return 0;
}
