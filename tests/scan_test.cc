#include "scan/scan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "examples/wav_writer.h"
#include "scan/layouts.h"
#include "tests/reference_scan.h"
#include "tests/test_files.h"

using namespace std::string_literals;

namespace {

struct Layout {
  uint32_t bytesPerSample, channelCount, sampleRate;
  // As a header gives them: bits per sample (0: all the bits of the bytes)
  // and the format code, float unless it says otherwise.
  uint32_t bitsPerSample = 0;
  uint32_t formatCode = 3;
};

// Scans frames [start, end) of `frames`, stored after a 6-byte lead-in that
// stands for the header, with the rows captured.
ScannedRows Scan(const std::string& frames, Layout layout, uint32_t start, uint32_t end,
                 uint32_t resolution, float magnification = 1.0f) {
  static int files = 0;
  const std::string path = WriteTemp("scan" + std::to_string(++files) + ".raw", "header" + frames);
  WaveHeader header;
  header.sampleRate = layout.sampleRate;
  header.channelCount = layout.channelCount;
  header.bytesPerSample = layout.bytesPerSample;
  header.layout =
      SampleLayoutOf(layout.bitsPerSample != 0 ? layout.bitsPerSample : 8 * layout.bytesPerSample,
                     layout.formatCode);
  header.dataOffset = 6;
  ScannedRows result = ScanToRows(path, header, start, end, resolution, magnification);
  EXPECT_EQ(result.result.status, 0);
  return result;
}

// The number of dots on each row: what follows the row's last tab.
std::vector<size_t> DotsPerRow(const std::string& rows) {
  std::vector<size_t> dots;
  for (size_t end = 0; (end = rows.find('\n', end)) != std::string::npos; ++end)
    dots.push_back(end - rows.rfind('\t', end) - 1);
  return dots;
}

// One sample of the given width at `level` on the level scale.
void AppendLevel(std::string* out, uint32_t bytesPerSample, double level) {
  if (bytesPerSample == 2) Append16(out, static_cast<int32_t>(level * 256));
  if (bytesPerSample == 3) Append24(out, static_cast<int32_t>(level * 65536));
  if (bytesPerSample == 4) AppendFloat(out, static_cast<float>(level / 128));
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
  // The long runs of full scale: the loops sum in pieces, which must reach
  // the 64-bit total before they overflow.
  struct Case {
    std::string bytes;
    uint32_t samples, peak;
    uint64_t units;
  };
  const struct {
    SampleLayout layout;
    std::vector<Case> cases;
  } widths[] = {
      {SampleLayout::kUnsigned8,
       {{"\x00"s, 1, 128, 128},
        {"\xFF"s, 1, 127, 127},
        {"\x80"s, 1, 0, 0},
        {"\x7F"s, 1, 1, 1},
        {"\x00"s, 200000, 128, 200000ull * 128}}},
      {SampleLayout::kSigned16,
       {{"\x00\x80"s, 1, 32768, 32768},
        {"\xFF\x7F"s, 1, 32767, 32767},
        {"\x01\x00"s, 1, 1, 1},
        {"\xFF\xFF"s, 1, 1, 1},
        {"\x00\x80"s, 200000, 32768, 200000ull * 32768}}},
      {SampleLayout::kSigned24,
       {{"\x00\x00\x80"s, 1, 8388608, 8388608},
        {"\xFF\xFF\x7F"s, 1, 8388607, 8388607},
        {"\x01\x00\x00"s, 1, 1, 1},
        {"\x34\x12\xFE"s, 1, 0x20000 - 0x1234, 0x20000 - 0x1234},
        {"\x00\x00\x80"s, 5000, 8388608, 5000ull * 8388608}}},
      {SampleLayout::kSigned32,
       {{"\x00\x00\x00\x80"s, 1, 0x80000000, 0x80000000},
        {"\xFF\xFF\xFF\x7F"s, 1, 0x7FFFFFFF, 0x7FFFFFFF},
        {"\x01\x00\x00\x00"s, 1, 1, 1},
        {"\xFF\xFF\xFF\xFF"s, 1, 1, 1},
        {"\x00\x00\x00\x80"s, 5000, 0x80000000, 5000ull << 31}}},
  };
#ifdef OSTREL_PLAIN_KERNELS
  EXPECT_EQ(BestLoopSet(), LoopSet::kPlain);  // so the whole suite runs the plain loops
#endif
  // Every set of loops this processor runs, whatever the build.
  for (const auto& width : widths) {
    const LayoutEntry& entry = LayoutOf(width.layout, ByteOrder::kLittleEndian);
    for (const LoopSet set : LoopSetsHere()) {
      const Loops loops = LoopsOf(entry, set);
      for (const Case& c : width.cases) {
        std::string run;
        for (uint32_t i = 0; i < c.samples; ++i) run += c.bytes;
        Totals totals;
        loops.frames(reinterpret_cast<const unsigned char*>(run.data()), c.samples, 1, &totals);
        SCOPED_TRACE(testing::Message() << entry.name << " x " << c.samples);
        EXPECT_EQ(totals.units, c.units);
        EXPECT_EQ(totals.peaks[0], c.peak);
      }
    }
  }
}

TEST(BlockLevel, IsFormedInExtendedPrecisionAndRoundedOnce) {
  struct Case {
    double sum;
    uint32_t channels, resolution;
    float magnification;
    double level;
  } const cases[] = {
      {23, 1, 5, 100, 460},  // plain double arithmetic gives 459.99999999999994
      {46, 2, 5, 100, 460},  // stereo sums are halved first
      {8, 2, 4, 1, 1},
      {7.5, 1, 1, 1, 7.5},
  };
  for (const Case& c : cases)
    EXPECT_EQ(BlockLevel(c.sum, c.channels, c.resolution, c.magnification), c.level) << c.sum;
  EXPECT_TRUE(std::isnan(BlockLevel(3, 1, 4, std::nanf(""))));
}

TEST(ScanFrames, RowsAndPeaksOfEachDecodedLayout) {
  std::string stereo16, stereo24, stereoFloat, stereo32;
  for (int i = 0; i < 8; ++i) stereo16 += Pcm16({1280, -2560});  // 5 and -10
  for (int i = 0; i < 4; ++i) {
    Append24(&stereo24, 3 * 65536 + 32768);  // 3.5
    Append24(&stereo24, -65536);             // -1
    AppendFloat(&stereoFloat, 0.5f);         // 64
    AppendFloat(&stereoFloat, -0.25f);       // -32
  }
  // Full scale, left -128 and right 127.99999994, then left 1 and right -2.
  for (uint32_t word : {0x80000000u, 0x7FFFFFFFu, 1u << 24, 0u - (2u << 24)})
    Append32(&stereo32, word);
  struct Case {
    const char* name;
    std::string frames;
    Layout layout;
    uint32_t resolution;
    float magnification;
    std::string rows;
    double peakL, peakR;
  } const cases[] = {
      {"16-bit mono, levels 1, 2 and 1.17",
       Pcm16({256, 256, 256, 256, 512, -512, 512, -512, 300, 300, 300, 300}),
       {2, 1, 1000},
       4,
       1,
       "0.002\t.\n0.006\t..\n0.010\t.\n",
       2,
       0},
      {"16-bit stereo, the mean of both channels: 7.5",
       stereo16,
       {2, 2, 1000},
       4,
       1,
       "0.002\t.......\n0.006\t.......\n",
       5,
       10},
      {"24-bit stereo, (3.5 + 1) / 2 x 2",
       stereo24,
       {3, 2, 1000},
       2,
       2,
       "0.001\t....\n0.003\t....\n",
       3.5,
       1},
      {"float stereo, (64 + 32) / 2",
       stereoFloat,
       {4, 2, 1000},
       4,
       1,
       "0.002\t" + std::string(48, '.') + "\n",
       64,
       32},
      {"8-bit stereo, bytes 255 and 1 left, 0 and 128 right: (127 + 127 + 128 + 0) / 4",
       "\xFF\x00\x01\x80"s,
       {1, 2, 1000},
       2,
       1,
       "0.001\t" + std::string(95, '.') + "\n",
       127,
       128},
      {"32-bit stereo, (128 + 127.99999994 + 1 + 2) / 4 = 64.74999999",
       stereo32,
       {4, 2, 1000, 32, 1},
       2,
       1,
       "0.001\t" + std::string(64, '.') + "\n",
       128,
       0x1p7 - 0x1p-24},
      {"resolution 1 stamps each frame with the next index",
       Pcm16({256, -512, 0}),
       {2, 1, 8000},
       1,
       1,
       "0.000\t1\t.\n0.000\t2\t..\n0.000\t3\t\n",
       2,
       0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const uint32_t frames =
        static_cast<uint32_t>(c.frames.size()) / c.layout.bytesPerSample / c.layout.channelCount;
    const ScannedRows r = Scan(c.frames, c.layout, 0, frames, c.resolution, c.magnification);
    EXPECT_EQ(r.rows, c.rows);
    EXPECT_EQ(r.peakL, c.peakL);
    EXPECT_EQ(r.peakR, c.peakR);
  }
}

TEST(ScanFrames, BlocksRunOnAcrossReads) {
  // Stereo from frame 7, resolution 3000, over three reads: left 2.0
  // throughout; right 0 but for marks on the last and first frames of each
  // read and on the last frame, in the partial block at the end, which counts
  // for the peaks only. 3000 does not divide the read length, so the marks
  // on either side of a read boundary fall in one block.
  constexpr uint32_t kResolution = 3000;
  static_assert(kChunkFrames % kResolution != 0 && 2 * kChunkFrames % kResolution != 0);
  const uint32_t start = 7;
  const uint32_t rows = 2 * kChunkFrames / kResolution + 1;
  const uint32_t end = start + rows * kResolution + 1000;
  // Levels (6000 + marks) / 2 / 3000 x 100: 100 without marks, 102.5 for
  // the first boundary's block and 101.5666... for the second's.
  std::vector<size_t> dots(rows, 100);
  dots[kChunkFrames / kResolution] = 102;
  dots[2 * kChunkFrames / kResolution] = 101;
  for (uint32_t bytes : {2u, 3u, 4u}) {
    SCOPED_TRACE(std::to_string(bytes) + "-byte samples");
    std::string frames;
    for (uint32_t f = 0; f < end; ++f) {
      double right = 0;
      if (f == start + kChunkFrames - 1) right = 100;
      if (f == start + kChunkFrames) right = -50;
      if (f == start + 2 * kChunkFrames - 1) right = 30;
      if (f == start + 2 * kChunkFrames) right = -64;
      if (f == end - 1) right = -120;
      AppendLevel(&frames, bytes, 2);
      AppendLevel(&frames, bytes, right);
    }
    const ScannedRows r = Scan(frames, {bytes, 2, 10000}, start, end, kResolution, 100.0f);
    EXPECT_EQ(DotsPerRow(r.rows), dots);
    EXPECT_EQ(r.peakL, 2.0);
    EXPECT_EQ(r.peakR, 120.0);
  }
}

TEST(ScanFrames, KeepsAPeakForEveryChannelOfManyChannels) {
  // Two blocks of two equal frames each, resolution 2 at 1000 Hz; the level
  // is the sum over every channel of the block over channels x resolution.
  std::string quad16;  // 1, -2, 0 and 3: (1 + 2 + 0 + 3) / 4 x 2 = 3
  for (int i = 0; i < 4; ++i) quad16 += Pcm16({256, -512, 0, 768});
  std::string three8;  // bytes 255, 128 and 0: 127, 0 and 128, mean 85
  for (int i = 0; i < 4; ++i) three8 += "\xFF\x80\x00"s;
  // Mu-law codes of G.711's table: 0x00 and 0x80 are -32124 and 32124, 0xFF
  // and 0x7F both 0, 0xFE and 0x7E 8 and -8, 0xF0 120 and 0x8F 16764; on
  // the level scale over 256. Their mean, 39.62..., gives 39 dots.
  std::string eightMuLaw;
  for (int i = 0; i < 4; ++i) eightMuLaw += "\x00\x80\xFF\x7F\xFE\x7E\xF0\x8F"s;
  struct Case {
    const char* name;
    std::string frames;
    Layout layout;
    float magnification;
    std::string rows;
    std::vector<double> peaks;
  } const cases[] = {
      {"16-bit x4", quad16, {2, 4, 1000}, 2, "0.001\t...\n0.003\t...\n", {1, 2, 0, 3}},
      {"8-bit x3",
       three8,
       {1, 3, 1000},
       1,
       "0.001\t" + std::string(85, '.') + "\n0.003\t" + std::string(85, '.') + "\n",
       {127, 0, 128}},
      {"mu-law x8",
       eightMuLaw,
       {1, 8, 1000, 8, 7},
       1,
       "0.001\t" + std::string(39, '.') + "\n0.003\t" + std::string(39, '.') + "\n",
       {125.484375, 125.484375, 0, 0, 0.03125, 0.03125, 0.46875, 65.484375}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ScannedRows r = Scan(c.frames, c.layout, 0, 4, 2, c.magnification);
    EXPECT_EQ(r.rows, c.rows);
    EXPECT_EQ(std::vector<double>(r.peaks, r.peaks + c.layout.channelCount), c.peaks);
  }
}

TEST(ScanFrames, EndsTheDataAtAShortReadWithoutDecodingStaleBytes) {
  // Fill the scan's buffer with loud frames first, so that stale contents
  // would show as dots or peaks.
  Scan(Pcm16Run(-32768, 9000), {2, 1, 1000}, 0, 9000, 1000);

  // 10 frames present, 16 asked for: two rows, the partial block of frames 8
  // and 9 prints none, frames 10 to 15 are never decoded.
  const ScannedRows inChunk = Scan(Pcm16Run(256, 10), {2, 1, 1000}, 0, 16, 4);
  EXPECT_EQ(inChunk.rows, "0.002\t.\n0.006\t.\n");
  EXPECT_EQ(inChunk.peakL, 1.0);

  // No float frame at all: nothing was decoded, so the peaks are 0, not the
  // 2^-120 of a float zero.
  const ScannedRows nothing = Scan("", {4, 2, 1000}, 0, 16, 4);
  EXPECT_EQ(nothing.rows, "");
  EXPECT_EQ(nothing.peakL, 0.0);
  EXPECT_EQ(nothing.peakR, 0.0);

  // The second read comes back short: 5000 of 9000 frames. The first read's
  // frames 5000 to 8999, still in the buffer, are at 2.0; all others at 1.0.
  static_assert(kChunkFrames > 9000, "the first read holds the frames at 2.0");
  const std::string frames = Pcm16Run(256, 5000) + Pcm16Run(512, 4000) +
                             Pcm16Run(256, kChunkFrames - 9000 + 5000) + "\x01";
  const ScannedRows laterRead = Scan(frames, {2, 1, 1000}, 0, kChunkFrames + 9000, 1000);
  std::vector<size_t> dots((kChunkFrames + 5000) / 1000, 1);
  std::fill(dots.begin() + 5, dots.begin() + 9, 2);
  EXPECT_EQ(DotsPerRow(laterRead.rows), dots);
  EXPECT_EQ(laterRead.peakL, 2.0);
}

}  // namespace
