// x86-64 only: the level rule (BlockLevel and its two ways) and the frame
// rule (FrameAtTime) against the 80-bit x87 arithmetic they were first
// written in, on inputs drawn from a seed. Shared by the suite's short check
// and the long one run by hand (level_x87_check).
#ifndef OSTREL_TESTS_LEVEL_X87_H
#define OSTREL_TESTS_LEVEL_X87_H

#include <cstdint>

struct LevelInput {
  double blockSum;
  uint32_t channelCount;
  uint32_t resolution;
  float magnification;
};

// The level as it was formed in long double, the x87 80-bit format: the sum
// (halved for two channels) over the resolution, or, for three channels and
// more, the sum over channels x resolution; then times the magnification.
double X87Level(const LevelInput& input);

// The frame as it was formed in long double, under the rule for negative
// and positive products.
uint64_t X87FrameAtTime(uint32_t sampleRate, float seconds);

// The two ways RoundedLevel takes (scan/level.cc), held here to x87. The quick one answers (and
// returns true) for finite sums in [2^-800, 2^800] and finite magnifications
// above 0, unless the level lies within 1/128 of a last place of halfway
// between two doubles (exact ties it answers when the resolution is a power
// of two). The exact one answers for every sum, resolution and
// magnification, zero, infinities and nan included.
bool QuickLevel(double sum, uint32_t resolution, float magnification, double* level);

// Compares BlockLevel, PortableBlockLevel, QuickLevel (where it answers; never for three channels
// and more) and ExactLevel with X87Level bit for bit; true when all agree.
bool LevelAgrees(const LevelInput& input, bool* quick);

struct Tally {
  uint64_t inputs = 0;
  uint64_t quick = 0;         // levels the quick way answered
  uint64_t manyChannels = 0;  // inputs of three channels and more
  uint64_t mismatches = 0;    // inputs where a result differs from x87's
};

// `count` drawn inputs through LevelAgrees, the first few mismatches printed
// to standard error.
Tally CheckLevels(uint64_t seed, uint64_t count);

// `count` drawn rates and times through FrameAtTime and X87FrameAtTime.
Tally CheckFrames(uint64_t seed, uint64_t count);

#endif
