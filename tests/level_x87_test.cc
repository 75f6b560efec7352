// The level rule and the frame rule against the x87 80-bit arithmetic they
// were first written in: on x86-64 only, where long double is that format.
#include "tests/level_x87.h"

#include <gtest/gtest.h>

#if defined(__x86_64__)

#include <cmath>
#include <cstdint>
#include <limits>

namespace {

TEST(LevelRule, MatchesX87OnTheEdges) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const double largestSum = 0x1.fffffep135 * 4294967295.0 * 2;  // 2^32 - 1 stereo frames
  const LevelInput cases[] = {
      {23, 1, 5, 100},  // exactly 460, where doubles give 459.99999999999994
      {46, 2, 5, 100},
      {6.9, 1, 3, 100},
      {1, 1, 3, 3},                     // the rounded third times 3 ties at 64 bits: 1 exactly
      {2, 1, 3, 1.5},                   // the same tie
      {0x1.0000000000001p52, 1, 1, 3},  // 3 * an odd 53-bit sum: a tie at the last rounding
      {0x1.0000000000003p52, 1, 1, 3},  // the tie the other way
      {largestSum, 2, 1, 256},
      {largestSum, 2, 4294967295u, 256},
      {largestSum, 1, 1, 1e-45f},
      {23, 1, 5, 1e-45f},
      {0x1p-120, 1, 4294967295u, 1e-45f},  // digital silence at the smallest magnification
      {23, 1, 5, nan},
      {23, 1, 5, -nan},
      {0, 1, 5, nan},
      {0, 2, 44100, 256},
      {0.5, 1, 1, 1},
      {0x1.0000000000001p52, 2, 4, 1},                           // whole-block quotients
      {std::numeric_limits<double>::denorm_min() * 3, 1, 2, 1},  // rounded once, below
      {12345.678, 1, 4294967295u, 256},
      {std::numeric_limits<double>::max(), 1, 1, 256},                      // beyond double: inf
      {std::numeric_limits<double>::denorm_min(), 1, 4294967295u, 1e-45f},  // below: 0
      {0x1p-1060, 1, 3, 0.7f},                                              // a subnormal level
      // Three channels and more: one quotient by channels x resolution.
      {69, 3, 5, 100},  // exactly 460
      {6.9 * 3, 3, 3, 100},
      {1, 3, 1, 9},  // the rounded third times 9
      {0x1.0000000000001p52, 3, 1, 3},
      {0x1.0000000000001p52, 8, 4, 1},
      {largestSum * 4, 8, 4294967295u, 256},  // 2^32 - 1 frames of eight channels
      {0x1p-120, 5, 4294967295u, 1e-45f},
      {std::numeric_limits<double>::denorm_min() * 7, 7, 1, 1},
      {std::numeric_limits<double>::max(), 8, 1, 256},
      {12345.678, 6, 4294967295u, 1.1661647f},
      {23, 4, 5, nan},
      {0, 3, 44100, 256},
  };
  for (const LevelInput& c : cases) {
    bool quick = false;
    EXPECT_TRUE(LevelAgrees(c, &quick))
        << std::hexfloat << c.blockSum << ", " << c.channelCount << " channels, resolution "
        << c.resolution << ", magnification " << c.magnification;
  }
}

TEST(LevelRule, MatchesX87OnDrawnInputs) {
  // Sums of every kind, resolutions and magnifications from the common to
  // the extreme, levels that are whole and levels at ties; the long run of
  // the same check is build/tests/level_x87_check.
  const Tally tally = CheckLevels(20261208, 2000000);
  EXPECT_EQ(tally.mismatches, 0u);
  // Both ways are held: most levels of one and two channels come the quick
  // way, some hundred thousand the exact one; three channels and more, some
  // of every hundred inputs, take the exact way alone.
  const uint64_t fewChannels = tally.inputs - tally.manyChannels;
  EXPECT_GT(tally.quick, fewChannels * 3 / 4);
  EXPECT_GT(fewChannels - tally.quick, fewChannels / 20);
  EXPECT_GT(tally.manyChannels, tally.inputs / 20);
}

TEST(FrameRule, MatchesX87OnDrawnInputs) {
  EXPECT_EQ(CheckFrames(20261208, 1000000).mismatches, 0u);
}

}  // namespace

#endif
