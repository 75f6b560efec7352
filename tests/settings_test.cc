#include "driver/settings.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

namespace {

std::string Format(const char* format, float value) {
  char text[64];
  std::snprintf(text, sizeof text, format, static_cast<double>(value));
  return text;
}

TEST(ParseTime, RoundsStrtodToFloat) {
  EXPECT_EQ(ParseTime("0.7"), 0.7f);
  EXPECT_EQ(ParseTime("  1.5xyz"), 1.5f);
  EXPECT_EQ(ParseTime("abc"), 0.0f);
  EXPECT_EQ(ParseTime("0x10"), 16.0f);
  EXPECT_TRUE(std::isinf(ParseTime("inf")));
  EXPECT_TRUE(std::isnan(ParseTime("nan")));
}

TEST(FrameAtTime, TruncatesTheExactProductOfRateAndFloatTime) {
  struct Case {
    uint32_t rate;
    float seconds;
    uint32_t frame;
  } const cases[] = {
      {44100, ParseTime("0.7"), 30869},  // 0.699999988... s, not 30870
      {44100, 1.0f, 44100},
      {48000, 0.5f, 24000},
      {44100, -1.0f, 4294967296u - 44100},  // wraps modulo 2^32
      {44100, -0.00001f, 0},                // truncates toward zero
      {44100, 100000.0f, 4410000000u - 4294967296u},
      // Exact where a double product would round: rate near 2^32.
      {4294967295u, 16777215.0f, static_cast<uint32_t>(4294967295ull * 16777215ull)},
      {4294967295u, 3e9f, 0},  // beyond the signed 64-bit range
      {44100, std::numeric_limits<float>::infinity(), 0},
      {44100, -std::numeric_limits<float>::infinity(), 0},
      {44100, std::numeric_limits<float>::quiet_NaN(), 0},
      {0, 12.0f, 0},
  };
  for (const Case& c : cases)
    EXPECT_EQ(FrameAtTime(c.rate, c.seconds), c.frame) << c.rate << " Hz, " << c.seconds << " s";
}

TEST(FrameAtTime, HoldsAtTheEdgesOfTheSigned64BitRange) {
  // 2^31 * 2^32 = 2^63 does not fit; (2^32 - 1) * (2^31 - 128) just does, on
  // either side of zero.
  const int64_t nearLimit = static_cast<int64_t>(4294967295ull * 2147483520ull);
  EXPECT_EQ(FrameAtTime(2147483648u, 4294967296.0f), 0u);
  EXPECT_EQ(FrameAtTime(4294967295u, 2147483520.0f), static_cast<uint32_t>(nearLimit));
  EXPECT_EQ(FrameAtTime(4294967295u, -2147483520.0f), static_cast<uint32_t>(-nearLimit));
}

TEST(ParseResolution, ClampsToTheSigned32BitRange) {
  EXPECT_EQ(ParseResolution("441"), 441);
  EXPECT_EQ(ParseResolution("  -7abc"), -7);
  EXPECT_EQ(ParseResolution("abc"), 0);
  EXPECT_EQ(ParseResolution("0x20"), 0);  // base 10 only
  EXPECT_EQ(ParseResolution("4294967297"), 2147483647);
  EXPECT_EQ(ParseResolution("99999999999999999999999"), 2147483647);
  EXPECT_EQ(ParseResolution("-2147483649"), -2147483647 - 1);
}

TEST(ParseMagnification, KeepsOnlyValuesAbove0UpTo256) {
  EXPECT_EQ(ParseMagnification("256"), 256.0f);
  EXPECT_EQ(ParseMagnification("256.00001"), 256.0f);  // rounds to 256 as a float
  EXPECT_EQ(ParseMagnification("0.5"), 0.5f);
  EXPECT_EQ(ParseMagnification("256.1"), 1.0f);
  EXPECT_EQ(ParseMagnification("0"), 1.0f);
  EXPECT_EQ(ParseMagnification("-3"), 1.0f);
  EXPECT_EQ(ParseMagnification("inf"), 1.0f);
  EXPECT_EQ(ParseMagnification("junk"), 1.0f);
  EXPECT_TRUE(std::isnan(ParseMagnification("nan")));
}

TEST(SettleResolution, FallsBackToOneTwentiethOfTheRate) {
  EXPECT_EQ(SettleResolution(false, 0, 44100), 2205u);
  EXPECT_EQ(SettleResolution(true, 0, 44100), 2205u);
  EXPECT_EQ(SettleResolution(true, -1, 44100), 2205u);
  EXPECT_EQ(SettleResolution(true, 44101, 44100), 2205u);
  EXPECT_EQ(SettleResolution(true, 44100, 44100), 44100u);
  EXPECT_EQ(SettleResolution(true, 1, 44100), 1u);
  EXPECT_EQ(SettleResolution(false, 0, 19), 0u);
  EXPECT_EQ(SettleResolution(true, -1, 4294967295u), 4294967295u);  // not above the rate
}

TEST(BlockInterval, IsResolutionOverRate) {
  EXPECT_EQ(BlockInterval(2205, 44100), 0.05);
  EXPECT_EQ(BlockInterval(1200, 48000), 0.025);
  EXPECT_EQ(BlockInterval(48, 48000), 0.001);
  EXPECT_EQ(BlockInterval(0, 0), 0.0);
}

TEST(ThresholdDb, PrintsAsTheSummaryShowsIt) {
  EXPECT_EQ(Format("%.0f", ThresholdDb(1.0f)), "-48");
  EXPECT_EQ(Format("%.0f", ThresholdDb(0.5f)), "-42");
  EXPECT_EQ(Format("%.0f", ThresholdDb(256.0f)), "-96");
  EXPECT_EQ(Format("%.0f", ThresholdDb(0.00390625f)), "-0");
  EXPECT_EQ(Format("%.0f", ThresholdDb(std::nanf(""))), "nan");
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
