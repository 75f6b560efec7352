// The long check of the level and frame rules against x87 arithmetic, run by
// hand (x86-64 only):
//
//   build/tests/level_x87_check [LEVELS [SEED]]
//
// LEVELS drawn levels (default 10^9, a few minutes on one core) and a tenth
// as many frames. Prints the counts; exits 1 if any result differs.
#include <cstdio>
#include <cstdlib>

#include "tests/level_x87.h"

int main(int argc, char** argv) {
  const uint64_t levels = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1000000000;
  const uint64_t seed = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 1;
  const Tally level = CheckLevels(seed, levels);
  std::printf("levels: %llu inputs, %llu the quick way, %llu differ from x87\n",
              static_cast<unsigned long long>(level.inputs),
              static_cast<unsigned long long>(level.quick),
              static_cast<unsigned long long>(level.mismatches));
  const Tally frame = CheckFrames(seed, levels / 10);
  std::printf("frames: %llu inputs, %llu differ from x87\n",
              static_cast<unsigned long long>(frame.inputs),
              static_cast<unsigned long long>(frame.mismatches));
  return level.mismatches == 0 && frame.mismatches == 0 ? 0 : 1;
}
