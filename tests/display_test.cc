#include "display/waveform.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

std::string Row(uint32_t frameIndex, uint32_t sampleRate, double level, double interval) {
  testing::internal::CaptureStdout();
  Waveform(frameIndex, sampleRate, level, interval);
  return testing::internal::GetCapturedStdout();
}

TEST(Waveform, StampPrecisionFollowsTheBlockLength) {
  struct Case {
    uint32_t frame, rate;
    double level, interval;
    const char* row;
  } const cases[] = {
      {1103, 44100, 3.2, 0.05, "0.03\t...\n"},
      {1103, 44100, 3.2, 0.0005, "0.025\t1103\t...\n"},
      {1103, 44100, 3.2, 441 / 44100.0, "0.025\t...\n"},
      {22, 44100, 0.0, 44 / 44100.0, "0.000\t22\t\n"},
      {600, 48000, 1.0, 1200 / 48000.0, "0.01\t.\n"},   // exactly 0.025: two decimals
      {24, 48000, 1.0, 48 / 48000.0, "0.001\t24\t.\n"},  // exactly 0.001: with the index
      {25, 48000, 1.0, 49 / 48000.0, "0.001\t.\n"},
      // Correct rounding of the stamp: 0.125 and 0.0625 are exact halves.
      {1, 8, 1.0, 0.05, "0.12\t.\n"},
      {1, 16, 1.0, 0.002, "0.062\t.\n"},
      {3, 8, 1.0, 0.05, "0.38\t.\n"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(Row(c.frame, c.rate, c.level, c.interval), c.row) << c.frame << "/" << c.rate;
}

TEST(Waveform, PrintsOneDotPerWholeLevelUnit) {
  EXPECT_EQ(Row(10, 100, 0.99, 0.05), "0.10\t\n");
  EXPECT_EQ(Row(10, 100, 1.0, 0.05), "0.10\t.\n");
  EXPECT_EQ(Row(10, 100, 3.7, 0.05), "0.10\t...\n");
  EXPECT_EQ(Row(10, 100, -5.0, 0.05), "0.10\t\n");
  EXPECT_EQ(Row(10, 100, std::nan(""), 0.05), "0.10\t\n");
  EXPECT_EQ(Row(10, 100, 1000.5, 0.05), "0.10\t" + std::string(1000, '.') + "\n");
}

TEST(Waveform, StampsIndexesBeyond2To31WithTheirTrueValue) {
  EXPECT_EQ(Row(3000000000u, 1000000, 0.0, 0.0005), "3000.000\t3000000000\t\n");
}

}  // namespace
