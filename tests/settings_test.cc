#include "driver/settings.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

namespace {

std::string Format(const char* format, float value) {
  char text[64];
  std::snprintf(text, sizeof text, format, static_cast<double>(value));
  return text;
}

TEST(FrameAtTime, TruncatesTheRateTimesTheTimeTextRoundedToFloat) {
  struct Case {
    const char* time;
    uint32_t rate;
    uint64_t frame;
  } const cases[] = {
      {"0.7", 44100, 30869},  // 0.699999988... s, not 30870
      // Read as a double this is the midpoint of two floats, and rounds to
      // the even one above (445.0000087 frames); read straight to float it
      // would round to the one below (444.9999676 frames).
      {"0.010090702679008245", 44100, 445},
      {"  1.5xyz", 1000, 1500},
      {"0x10", 1000, 16000},
      {"abc", 44100, 0},
      {"1", 44100, 44100},
      {"0.5", 48000, 24000},
      {"-1", 44100, 4294967296u - 44100},  // wraps modulo 2^32
      {"-0.00001", 44100, 0},              // truncates toward zero
      {"100000", 44100, 4410000000u},      // past 2^32: as it is, never wrapped
      // Exact where a double product would round: rate near 2^32.
      {"16777215", 4294967295u, 4294967295ull * 16777215ull},
      // The signed 64-bit range: 2^31 x 2^32 = 2^63 does not fit;
      // (2^32 - 1) x (2^31 - 128) just does, on either side of zero.
      {"4294967296", 2147483648u, 0},
      {"2147483520", 4294967295u, 4294967295ull * 2147483520ull},
      {"-2147483520", 4294967295u, static_cast<uint32_t>(0 - 4294967295ull * 2147483520ull)},
      {"3e9", 4294967295u, 0},
      {"inf", 44100, 0},
      {"-inf", 44100, 0},
      {"nan", 44100, 0},
      {"12", 0, 0},
  };
  for (const Case& c : cases)
    EXPECT_EQ(FrameAtTime(c.rate, ParseTime(c.time)), c.frame) << c.rate << " Hz, " << c.time;
}

TEST(PeakDb, PrintsAsTheSummaryShowsIt) {
  EXPECT_EQ(Format("%.1f", PeakDb(128.0)), "0.0");
  EXPECT_EQ(Format("%.1f", PeakDb(127.99609375)), "-0.0");
  EXPECT_EQ(Format("%.1f", PeakDb(0.0)), "-inf");
  EXPECT_EQ(Format("%.1f", PeakDb(std::ldexp(1.0, -120))), "-764.6");
  EXPECT_EQ(Format("%.1f", PeakDb(5.0)), "-28.2");
  EXPECT_EQ(Format("%.1f", PeakDb(10.0)), "-22.1");
  EXPECT_EQ(Format("%.1f", PeakDb(2.0)), "-36.1");
}

}  // namespace
