// The table of sample layouts: for each way a sample can be stored, how its
// bytes become a value on the level scale (full scale 128), how magnitudes
// are summed exactly, and the loops that sum them.
//
// Integer layouts count magnitudes in units of their last place on the level
// scale (1 for 8-bit, 1/256 for 16-bit, 1/65536 for 24-bit, 1/2^24 for
// 32-bit) and keep peaks as magnitudes in units. Float layouts add the
// magnitudes to a double one after the other, exactly as a frame-by-frame
// scan would, and keep peaks as the largest magnitude bit pattern (the
// magnitude grows with the pattern).
//
// The loops come in sets built for one kind of processor, the plain one and
// AVX2 where it pays; every set gives the same totals and peaks.
#ifndef OSTREL_SCAN_LAYOUTS_H
#define OSTREL_SCAN_LAYOUTS_H

#include <cstddef>
#include <cstdint>

#include "wavefile/wavefile.h"  // SampleLayout

// The most bytes a frame may have: a run refuses larger frames, and the
// scan's buffer holds a chunk of frames of this size. So a frame holds at
// most eight channels, of one byte each.
constexpr uint32_t kMostFrameBytes = 8;
constexpr uint32_t kMostChannels = kMostFrameBytes;

// The running totals of the current block and the peaks of the scan.
struct Totals {
  uint64_t units = 0;  // integer layouts: the block's magnitudes in units
  double sum = 0;      // float layouts, and integer blocks too long for exact sums
  // The largest magnitude of each channel, in units or as a float magnitude
  // pattern.
  uint32_t peaks[kMostChannels] = {};
};

// What a report wants of each channel beyond its peak; gathered only when it
// is asked for. Integer squares are exact, in units squared; float squares
// are added as doubles one sample after the other.
__extension__ typedef unsigned __int128 SquareUnits;
struct ChannelStatistics {
  SquareUnits squareUnits = 0;      // integer layouts
  double squares = 0;               // float layouts
  uint64_t clipped = 0;             // samples at the layout's largest magnitude
  uint32_t peak = 0;                // the largest magnitude, as the loops keep it
  uint64_t peakFrame = UINT64_MAX;  // where it first occurs; UINT64_MAX: no sample yet
};

// Adds `count` frames, the first of them frame `firstFrame`, to the
// statistics of each channel.
using StatisticsLoop = void (*)(const unsigned char* frames, uint32_t count, uint32_t channelCount,
                                uint64_t firstFrame, ChannelStatistics* channels);

// Adds `count` frames (interleaved, channel 1 first) to the block's totals
// and raises the peaks.
using FramesLoop = void (*)(const unsigned char* frames, uint32_t count, uint32_t channelCount,
                            Totals* totals);
// Sums `blocks` whole blocks of `blockFrames` frames, lying one after the
// other, each from 0 as if alone: sums[b] is block b's sum on the level
// scale. Raises the peaks in *totals; its block sum is left alone.
using BlocksLoop = void (*)(const unsigned char* frames, uint32_t blockFrames, uint32_t blocks,
                            uint32_t channelCount, double* sums, Totals* totals);

// The frames loop and a report's statistics of the same frames in one pass,
// the first of them frame `firstFrame`: the totals of FramesLoop and the
// statistics of StatisticsLoop.
using FramesStatisticsLoop = void (*)(const unsigned char* frames, uint32_t count,
                                      uint32_t channelCount, Totals* totals, uint64_t firstFrame,
                                      ChannelStatistics* channels);

struct Loops {
  FramesLoop frames;
  BlocksLoop blocks;
  StatisticsLoop statistics;  // the same numbers in every set
  // Samples the loops do not read as stored (64-bit floats) are first made,
  // in place, samples they do read (LayoutEntry::loopBytes each); null for
  // the rest.
  void (*narrow)(unsigned char* samples, size_t count);
  // Where a set has it, the scan of a report takes this in place of `frames`
  // and `statistics`, for frames summed frame by frame.
  FramesStatisticsLoop framesStatistics = nullptr;
  // Where a set has it, sums whole blocks of samples as stored, before
  // `narrow`: the scan of a text run then narrows only the frames it sums
  // frame by frame.
  BlocksLoop storedBlocks = nullptr;
};

// How whole blocks are summed a group at a time, where that pays.
enum class Grouping : uint32_t {
  kShortBlocks,  // blocks of up to kShortBlock frames, up to 256 a call
  kSideBySide,   // 4, 8, 12 or 16 blocks of any length, summed side by side
};

struct LayoutEntry {
  const char* name;
  uint32_t bytesPerSample;  // 0: any (the undecoded layout)
  // One sample's bytes as a value on the level scale: the plain reference
  // that every loop is held to, and the way of the rare blocks too long for
  // exact sums.
  double (*decode)(const unsigned char* sample);
  // Exact integer sums count in this unit (a power of two); the largest
  // magnitude is `largest` units, so blocks of up to 2^53 / largest
  // samples sum exactly. A unit of 0: the magnitudes are float patterns,
  // summed as doubles.
  double unit;
  uint32_t largest;
  Grouping grouping;
  Loops plain;
  // Integer blocks too long for exact sums: each magnitude added as a
  // double, one after the other.
  FramesLoop longBlocks;
  // AVX2 and AVX-512 loops where they pay; a null member takes the place
  // of the set below (AVX2's, then the plain loop's).
  Loops avx2;
  Loops avx512;
  uint32_t loopBytes;  // a sample's bytes as the loops read it
};

// The entry for samples of this layout stored in this byte order.
const LayoutEntry& LayoutOf(SampleLayout layout, ByteOrder order);

// Blocks of up to this many integer frames are summed a group at a time.
constexpr uint32_t kShortBlock = 64;
constexpr uint32_t kMostGroupBlocks = 256;
// Float blocks side by side: up to 16 at a time.
constexpr uint32_t kMostSideBySideBlocks = 16;

// The sets of loops, each built for a kind of processor, in the order of
// what they ask of it.
enum class LoopSet : uint32_t { kPlain, kAvx2, kAvx512 };

// The set this run uses: AVX-512 on an x86-64 processor that has the
// extensions its loops take (kernels_avx512.h), else AVX2 where it is at
// hand, the plain loops everywhere else, and always in a build made with
// OSTREL_PLAIN_KERNELS (so that the whole suite can run them).
LoopSet BestLoopSet();

// The loops of `entry` in `set`, which this processor must run.
Loops LoopsOf(const LayoutEntry& entry, LoopSet set = BestLoopSet());

// A kept peak magnitude on the level scale.
double PeakLevel(const LayoutEntry& entry, uint32_t magnitude);

#endif
