#include "display/waveform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace {

std::string Row(uint32_t frameIndex, uint32_t sampleRate, double level, double interval) {
  testing::internal::CaptureStdout();
  Waveform(frameIndex, sampleRate, level, interval);
  FlushRows();
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
      {600, 48000, 1.0, 1200 / 48000.0, "0.01\t.\n"},    // exactly 0.025: two decimals
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

// Stamps are put together with integer arithmetic, carried from row to row;
// printf of the double quotient is what they must equal, on every stamp of
// long runs at common and odd rates, in steps of one frame and of whole
// blocks, and on indexes spread over the whole 32-bit range, in each of the
// three row forms. Runs of rows go out through WaveformRows in batches of
// several sizes, single indexes through Waveform; now and then a row is
// longer than the batch's room, so a batch also flushes in its middle.
TEST(Waveform, StampsEqualPrintfOfTheQuotient) {
  const uint32_t rates[] = {1,     3,     7,     8000,   11025,  22050,      44100,
                            48000, 88200, 96000, 192000, 999983, 4294967295u};
  struct Form {
    double interval;
    const char* row;  // printf's form of the row for (time, index), no dots
  } const forms[] = {{0.05, "%.2f\t"}, {0.01, "%.3f\t"}, {0.0005, "%.3f\t%u\t"}};
  struct Run {
    uint32_t first, step, count;
  };
  std::vector<Run> runs = {{0, 1, 100000}, {1102, 2205, 10000}, {2046, 4093, 10000}};
  std::mt19937 random(5);
  for (int i = 0; i < 20000; ++i) runs.push_back({static_cast<uint32_t>(random()), 0, 1});
  const auto level = [](uint32_t index) { return index % 97 == 0 ? 300.5 : 0.5; };
  const uint32_t batches[] = {1, 5, 256, 37};
  for (uint32_t rate : rates) {
    for (const Form& form : forms) {
      std::string expected;
      char text[64];
      for (const Run& run : runs) {
        for (uint32_t i = 0, index = run.first; i < run.count; ++i, index += run.step) {
          std::snprintf(text, sizeof text, form.row, static_cast<double>(index) / rate, index);
          expected += text;
          expected += std::string(index % 97 == 0 ? 300 : 0, '.') + "\n";
        }
      }
      testing::internal::CaptureStdout();
      size_t batch = 0;
      std::vector<double> levels;
      for (const Run& run : runs) {
        if (run.count == 1) {
          Waveform(run.first, rate, level(run.first), form.interval);
          continue;
        }
        for (uint32_t done = 0; done < run.count;) {
          const uint32_t count = std::min(batches[batch++ % 4], run.count - done);
          const uint32_t first = run.first + done * run.step;
          levels.clear();
          for (uint32_t i = 0; i < count; ++i) levels.push_back(level(first + i * run.step));
          WaveformRows(first, run.step, count, rate, levels.data(), form.interval);
          done += count;
        }
      }
      FlushRows();
      ASSERT_EQ(testing::internal::GetCapturedStdout(), expected)
          << rate << " Hz, " << form.interval;
    }
  }
}

}  // namespace
