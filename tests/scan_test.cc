#include "scan/scan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "examples/wav_writer.h"
#include "scan/kernels.h"
#include "tests/test_files.h"

using namespace std::string_literals;

namespace {

struct Layout {
  uint32_t bytesPerSample, channelCount, sampleRate;
};

struct ScanResult {
  std::string rows;
  double peakL, peakR;
};

// Scans frames [start, end) of `frames`, stored after a 6-byte lead-in that
// stands for the header, with the rows captured.
ScanResult Scan(const std::string& frames, Layout layout, uint32_t start, uint32_t end,
                uint32_t resolution, float magnification = 1.0f) {
  static int files = 0;
  const std::string path = WriteTemp("scan" + std::to_string(++files) + ".raw", "header" + frames);
  WaveInput input;
  EXPECT_TRUE(OpenWaveInput(path.c_str(), &input));
  ScanResult result{};
  testing::internal::CaptureStdout();
  ScanFrames(&input, 6, layout.bytesPerSample * layout.channelCount, layout.bytesPerSample,
             layout.channelCount, layout.sampleRate, start, end, resolution, magnification,
             static_cast<double>(resolution) / layout.sampleRate, &result.peakL, &result.peakR);
  result.rows = testing::internal::GetCapturedStdout();
  CloseWaveInput(&input);
  return result;
}

std::string Mono16(std::initializer_list<int32_t> values) {
  std::string out;
  for (int32_t v : values) Append16(&out, v);
  return out;
}

TEST(CheckPeak, RaisesThePeakToTheMagnitude) {
  struct Case {
    double value, before, after;
  } const cases[] = {
      {3, 2, 3}, {-3, 2, 3}, {1, 2, 2}, {-1, 2, 2}, {-128, 0, 128}, {0, 0, 0},
  };
  for (const Case& c : cases) {
    double peak = c.before;
    CheckPeak(c.value, &peak);
    EXPECT_EQ(peak, c.after) << c.value << " over " << c.before;
  }
}

TEST(IntegerLoops, TakeSampleMagnitudesInUnitsOfTheLastPlace) {
  struct Case {
    std::string bytes;
    uint32_t units;
  } const cases16[] = {{"\x00\x80"s, 32768},
                       {"\xFF\x7F"s, 32767},
                       {"\x01\x00"s, 1},
                       {"\xFF\xFF"s, 1}},
          cases24[] = {{"\x00\x00\x80"s, 8388608},
                       {"\xFF\xFF\x7F"s, 8388607},
                       {"\x01\x00\x00"s, 1},
                       {"\x34\x12\xFE"s, 0x20000 - 0x1234}};
#ifdef OSTREL_PLAIN_KERNELS
  EXPECT_STREQ(ChooseKernels().name, "plain");  // so the whole suite runs the plain loops
#endif
  // The plain loops and the set this run uses (on an AVX2 processor, the
  // AVX2 set: so both are held here whatever the build).
  for (const Kernels& kernels : {PlainKernels(), ChooseKernels()}) {
    SCOPED_TRACE(kernels.name);
    for (const Case& c : cases16) {
      uint64_t units = 0;
      uint32_t peakL = 0, peakR = 0;
      kernels.sumInt16(reinterpret_cast<const unsigned char*>(c.bytes.data()), 1, 1, &units, &peakL,
                       &peakR);
      EXPECT_EQ(units, c.units);
      EXPECT_EQ(peakL, c.units);
    }
    for (const Case& c : cases24) {
      uint64_t units = 0;
      uint32_t peakL = 0, peakR = 0;
      kernels.sumInt24(reinterpret_cast<const unsigned char*>(c.bytes.data()), 1, 1, &units, &peakL,
                       &peakR);
      EXPECT_EQ(units, c.units);
      EXPECT_EQ(peakL, c.units);
    }
  }
}

TEST(BlockLevel, IsFormedInExtendedPrecisionAndRoundedOnce) {
  // Plain double arithmetic loses a dot here.
  ASSERT_EQ(23.0 / 5 * 100, 459.99999999999994);
  EXPECT_EQ(BlockLevel(23, 1, 5, 100), 460.0);
  EXPECT_EQ(BlockLevel(46, 2, 5, 100), 460.0);  // stereo sums are halved first
  EXPECT_EQ(BlockLevel(8, 2, 4, 1), 1.0);
  EXPECT_EQ(BlockLevel(7.5, 1, 1, 1), 7.5);
  EXPECT_TRUE(std::isnan(BlockLevel(3, 1, 4, std::nanf(""))));
}

TEST(ScanFrames, PrintsARowPerCompleteBlock) {
  const ScanResult r = Scan(Mono16({256, 256, 256, 256, 512, -512, 512, -512, 300, 300, 300, 300}),
                            {2, 1, 1000}, 0, 12, 4);
  EXPECT_EQ(r.rows, "0.002\t.\n0.006\t..\n0.010\t.\n");
  EXPECT_EQ(r.peakL, 2.0);
  EXPECT_EQ(r.peakR, 0.0);
}

TEST(ScanFrames, StereoLevelIsMeanOfBothChannels) {
  std::string frames;
  for (int i = 0; i < 8; ++i) {
    Append16(&frames, 1280);
    Append16(&frames, -2560);
  }
  const ScanResult r = Scan(frames, {2, 2, 1000}, 0, 8, 4);
  EXPECT_EQ(r.rows, "0.002\t.......\n0.006\t.......\n");
  EXPECT_EQ(r.peakL, 5.0);
  EXPECT_EQ(r.peakR, 10.0);
}

TEST(ScanFrames, Decodes24BitAndFloatSamples) {
  std::string frames24;
  for (int i = 0; i < 4; ++i) {
    Append24(&frames24, 3 * 65536 + 32768);  // 3.5
    Append24(&frames24, -65536);             // -1
  }
  const ScanResult r24 = Scan(frames24, {3, 2, 1000}, 0, 4, 2, 2.0f);
  EXPECT_EQ(r24.rows, "0.001\t....\n0.003\t....\n");  // (3.5 + 1) / 2 * 2
  EXPECT_EQ(r24.peakL, 3.5);
  EXPECT_EQ(r24.peakR, 1.0);

  std::string floats;
  for (int i = 0; i < 4; ++i) {
    AppendFloat(&floats, 0.5f);
    AppendFloat(&floats, -0.25f);
  }
  const ScanResult rf = Scan(floats, {4, 2, 1000}, 0, 4, 4);
  EXPECT_EQ(rf.rows, "0.002\t" + std::string(48, '.') + "\n");
  EXPECT_EQ(rf.peakL, 64.0);
  EXPECT_EQ(rf.peakR, 32.0);
}

TEST(ScanFrames, BlocksRunOnAcrossBufferRefills) {
  // 16-bit stereo from frame 7: left 2.0 throughout; right 0 but for marks on
  // the last and first frames of each chunk of 4096 and in the partial block
  // at the end, which counts for the peaks only.
  const uint32_t start = 7, end = start + 10000;
  std::string frames;
  for (uint32_t f = 0; f < end; ++f) {
    int32_t right = 0;
    if (f == start + 4095) right = 100 * 256;
    if (f == start + 4096) right = -50 * 256;
    if (f == start + 8191) right = 30 * 256;
    if (f == start + 8192) right = -64 * 256;
    if (f == start + 9500) right = -120 * 256;
    Append16(&frames, 512);
    Append16(&frames, right);
  }
  const ScanResult r = Scan(frames, {2, 2, 10000}, start, end, 3000, 100.0f);
  // Levels (6000 + marks) / 2 / 3000 * 100: 100, 102.5, 101.5666...
  EXPECT_EQ(r.rows, "0.15\t" + std::string(100, '.') + "\n0.45\t" + std::string(102, '.') +
                        "\n0.75\t" + std::string(101, '.') + "\n");
  EXPECT_EQ(r.peakL, 2.0);
  EXPECT_EQ(r.peakR, 120.0);
}

TEST(ScanFrames, ResolutionOneStampsEachFrameWithTheNextIndex) {
  const ScanResult r = Scan(Mono16({256, -512, 0}), {2, 1, 8000}, 0, 3, 1);
  EXPECT_EQ(r.rows, "0.000\t1\t.\n0.000\t2\t..\n0.000\t3\t\n");
}

TEST(ScanFrames, WalksUndecodedLayoutsWithoutLevels) {
  const std::string loud(64, '\x7F');
  const Layout layouts[] = {{1, 1, 1000}, {1, 2, 1000}, {8, 1, 1000},
                            {5, 1, 1000}, {2, 4, 1000}, {1, 3, 1000}};
  for (const Layout& layout : layouts) {
    const uint32_t frames = 64 / (layout.bytesPerSample * layout.channelCount);
    const ScanResult r = Scan(loud, layout, 0, frames, 2);
    EXPECT_EQ(r.peakL, 0.0);
    EXPECT_EQ(r.peakR, 0.0);
    EXPECT_EQ(std::count(r.rows.begin(), r.rows.end(), '\n'), frames / 2);
    EXPECT_EQ(r.rows.find("\t."), std::string::npos) << "no row has dots";
  }
}

TEST(ScanFrames, EndsTheDataAtAShortReadWithoutDecodingStaleBytes) {
  // Fill the scan's buffer with loud frames first, so that stale contents
  // would show as dots or peaks.
  std::string loud;
  for (int i = 0; i < 9000; ++i) Append16(&loud, -32768);
  Scan(loud, {2, 1, 1000}, 0, 9000, 1000);

  // 10 frames present, 16 asked for: two rows, the partial block of frames 8
  // and 9 prints none, frames 10 to 15 are never decoded.
  const ScanResult inChunk =
      Scan(Mono16({256, 256, 256, 256, 256, 256, 256, 256, 256, 256}), {2, 1, 1000}, 0, 16, 4);
  EXPECT_EQ(inChunk.rows, "0.002\t.\n0.006\t.\n");
  EXPECT_EQ(inChunk.peakL, 1.0);

  // The second chunk comes back short: 5000 frames present, 9000 asked for.
  std::string quiet;
  for (int i = 0; i < 5000; ++i) Append16(&quiet, 256);
  const ScanResult laterChunk = Scan(quiet + "\x01", {2, 1, 1000}, 0, 9000, 1000);
  EXPECT_EQ(laterChunk.rows, "0.50\t.\n1.50\t.\n2.50\t.\n3.50\t.\n4.50\t.\n");
  EXPECT_EQ(laterChunk.peakL, 1.0);
}

}  // namespace
