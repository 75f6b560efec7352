// The scan's fast paths (integer sums, vector loops, blocks summed side by
// side, large positioned reads, rows formatted by hand) against the frame by
// frame scan in double arithmetic with printf: the same bytes out, the same
// peaks, on random data of every layout and many resolutions.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "examples/wav_writer.h"
#include "scan/float32.h"
#include "scan/layouts.h"
#include "scan/scan.h"
#include "tests/reference_scan.h"
#include "tests/test_files.h"

namespace {

double ReferenceFloat32(const unsigned char* b) {
  return ReferenceFloat32Convert(b[0], b[1], b[2], b[3]);
}

// Every decoded layout, with the decoder of the reference scan, written
// here byte by byte, that the program's loops are held to. A new layout is
// one more row.
struct LayoutRow {
  SampleLayout layout;
  uint32_t bytesPerSample;
  uint16_t formatCode;  // in the files the tests write
  ReferenceDecode decode;
};

const LayoutRow kLayouts[] = {
    {SampleLayout::kUnsigned8, 1, 1, ReferenceDecode8},
    {SampleLayout::kSigned16, 2, 1, ReferenceDecode16},
    {SampleLayout::kSigned24, 3, 1, ReferenceDecode24},
    {SampleLayout::kSigned32, 4, 1, ReferenceDecode32},
    {SampleLayout::kFloat32, 4, 3, ReferenceFloat32},
};

// How a file's samples are laid out: the scan is told the layout as the
// probe would give it.
struct Layout {
  uint32_t bytesPerSample, channelCount;
  SampleLayout format;
  ReferenceDecode decode = nullptr;  // none: walked without decoding
};

constexpr Layout kFloatStereo{4, 2, SampleLayout::kFloat32, ReferenceFloat32};
constexpr Layout kMono16{2, 1, SampleLayout::kSigned16, ReferenceDecode16};

struct Output {
  std::string rows;
  double peakL, peakR;
};

Output ScanFast(const std::string& path, Layout layout, uint32_t sampleRate, uint32_t start,
                uint32_t end, uint32_t resolution, float magnification) {
  WaveHeader header;
  header.sampleRate = sampleRate;
  header.channelCount = layout.channelCount;
  header.bytesPerSample = layout.bytesPerSample;
  header.layout = layout.format;
  header.dataOffset = 44;
  const ScannedRows scanned = ScanToRows(path, header, start, end, resolution, magnification);
  EXPECT_EQ(scanned.result.status, 0);
  return {scanned.rows, scanned.peakL, scanned.peakR};
}

Output ScanReference(const std::string& path, Layout layout, uint32_t sampleRate, uint32_t start,
                     uint32_t end, uint32_t resolution, float magnification) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  Output out{};
  testing::internal::CaptureStdout();
  ReferenceScanFrames(file, 44, layout.bytesPerSample * layout.channelCount, layout.decode,
                      layout.channelCount, sampleRate, start, end, resolution, magnification,
                      static_cast<double>(resolution) / sampleRate, &out.peakL, &out.peakR);
  out.rows = testing::internal::GetCapturedStdout();
  std::fclose(file);
  return out;
}

// Scans frames [start, end) of the file both ways and compares.
void ExpectSameScan(const std::string& path, Layout layout, uint32_t sampleRate, uint32_t start,
                    uint32_t end, uint32_t resolution, float magnification) {
  const Output fast = ScanFast(path, layout, sampleRate, start, end, resolution, magnification);
  const Output slow =
      ScanReference(path, layout, sampleRate, start, end, resolution, magnification);
  EXPECT_EQ(fast.peakL, slow.peakL);
  EXPECT_EQ(fast.peakR, slow.peakR);
  EXPECT_TRUE(fast.rows == slow.rows) << FirstDifference(fast.rows, slow.rows);
}

// The most negative (`negative`) or the largest sample of an integer
// format, written at `at`.
void PutFullScale(SampleLayout format, uint32_t bytesPerSample, bool negative, char* at) {
  if (format == SampleLayout::kUnsigned8) {
    *at = negative ? '\x00' : '\xFF';
    return;
  }
  for (uint32_t b = 0; b + 1 < bytesPerSample; ++b) at[b] = negative ? '\x00' : '\xFF';
  at[bytesPerSample - 1] = negative ? '\x80' : '\x7F';
}

bool IsInteger(SampleLayout format) {
  return format == SampleLayout::kUnsigned8 || format == SampleLayout::kSigned16 ||
         format == SampleLayout::kSigned24 || format == SampleLayout::kSigned32;
}

// Random sample bytes. Integer samples are either anything, full scale both
// ways among them, or mostly quiet (levels within a few units of 0); float
// samples keep sane magnitudes (below 16 on the level scale, so rows stay
// short) but include zeros, subnormals and both signs.
std::string RandomSamples(std::mt19937* random, Layout layout, size_t samples, bool quiet) {
  const uint32_t width = layout.bytesPerSample;
  std::string bytes;
  bytes.reserve(samples * width);
  std::uniform_int_distribution<uint32_t> any;
  for (size_t i = 0; i < samples; ++i) {
    uint32_t word = any(*random);
    if (layout.format == SampleLayout::kFloat32) {
      const uint32_t exponent = word % 97 == 0 ? 0 : 100 + (word >> 8) % 31;
      word = (word & 0x807FFFFF) | exponent << 23;
    } else if (quiet && layout.format == SampleLayout::kUnsigned8) {
      word = 128 + word % 9 - 4;  // levels -4 to 4
    } else if (quiet && layout.format == SampleLayout::kSigned32) {
      word = static_cast<uint32_t>(static_cast<int32_t>(word % (1u << 27)) - (1 << 26));
    } else if (quiet) {
      const int32_t small = static_cast<int32_t>(word % 513) - 256;
      word = static_cast<uint32_t>(small);
    }
    const uint64_t wide = uint64_t{any(*random)} << 32 | word;  // for 5 to 8 bytes
    for (uint32_t b = 0; b < width; ++b) bytes.push_back(static_cast<char>(wide >> (8 * b)));
  }
  // Full scale both ways, two samples of each: in stereo every other time
  // both of one frame (7919 is odd).
  if (!quiet && IsInteger(layout.format)) {
    for (size_t i = 5; i + 3 < samples; i += 7919) {
      for (size_t k = 0; k < 4; ++k)
        PutFullScale(layout.format, width, k < 2, &bytes[(i + k) * width]);
    }
  }
  return bytes;
}

TEST(FastScan, MatchesTheFrameByFrameScanOnEveryLayout) {
  // Every layout in mono and stereo; frames walked without decoding: 8 and
  // 1 bytes mono, four 16-bit and three 8-bit channels.
  std::vector<Layout> layouts = {{8, 1, SampleLayout::kUndecoded},
                                 {1, 1, SampleLayout::kUndecoded},
                                 {2, 4, SampleLayout::kSigned16},
                                 {1, 3, SampleLayout::kUnsigned8}};
  for (const LayoutRow& row : kLayouts) {
    for (uint32_t channels : {1u, 2u})
      layouts.push_back({row.bytesPerSample, channels, row.layout, row.decode});
  }
  const uint32_t resolutions[] = {1,    2,    3,    7,    64,    65,    441,   2205,
                                  4095, 4096, 4097, 7001, 13107, 30000, 65536, 70001};
  std::mt19937 random(20261208);
  int file = 0;
  for (const Layout& layout : layouts) {
    for (bool quiet : {false, true}) {
      const uint32_t frames = 150000;
      const std::string samples =
          RandomSamples(&random, layout, size_t{frames} * layout.channelCount, quiet);
      const uint16_t code = IsInteger(layout.format) ? 1 : 3;
      const std::string path =
          WriteTemp("diff" + std::to_string(++file) + ".wav",
                    WavFile(WavFormat{code, static_cast<uint16_t>(layout.channelCount), 44100,
                                      static_cast<uint16_t>(layout.bytesPerSample * 8)},
                            samples));
      for (uint32_t resolution : resolutions) {
        // Start off the chunk grid and run past the end of the data, so
        // blocks straddle chunks and the last read comes back short.
        const uint32_t start = resolution % 3 == 0 ? 0 : 4093;
        const float magnification = resolution % 2 == 0 ? 1.0f : 2.5f;
        SCOPED_TRACE(testing::Message()
                     << layout.bytesPerSample << " bytes x " << layout.channelCount << ", format "
                     << static_cast<int>(layout.format) << ", resolution " << resolution
                     << (quiet ? ", quiet" : ""));
        ExpectSameScan(path, layout, 44100, start, frames + 10, resolution, magnification);
      }
    }
  }
}

TEST(FastScan, MatchesTheFrameByFrameScanAtOtherRatesAndMagnifications) {
  std::mt19937 random(7);
  const std::string path = WriteTemp(
      "rates.wav",
      WavFile(WavFormat{3, 2, 96000, 32}, RandomSamples(&random, kFloatStereo, 40000, false)));
  const std::string path16 =
      WriteTemp("rates16.wav",
                WavFile(WavFormat{1, 1, 8000, 16}, RandomSamples(&random, kMono16, 40000, true)));
  struct Case {
    uint32_t rate, resolution;
    float magnification;
  } const cases[] = {
      {96000, 48, 1}, {96000, 96, 0.001f}, {48000, 1200, 256}, {48000, 48, 3},       {8000, 1, 1},
      {8000, 8, 100}, {7, 1, 1},           {1, 1, 0.5f},       {4294967295u, 17, 1},
  };
  for (const Case& c : cases) {
    for (const std::string& file : {path, path16}) {
      SCOPED_TRACE(testing::Message() << c.rate << " Hz, resolution " << c.resolution);
      ExpectSameScan(file, file == path ? kFloatStereo : kMono16, c.rate, 5, 20000, c.resolution,
                     c.magnification);
    }
  }
  // Samples of whole levels make whole block sums; at resolution 5 and
  // magnification 100 about one level in twenty is a whole number that plain
  // double arithmetic would miss by one ulp, and with it a dot.
  std::string whole;
  for (int i = 0; i < 20000; ++i)
    Append16(&whole, (static_cast<int32_t>(random() % 256) - 128) * 256);
  ExpectSameScan(WriteTemp("whole16.wav", WavFile(WavFormat{1, 1, 8000, 16}, whole)), kMono16, 8000,
                 0, 20000, 5, 100);
}

TEST(FastScan, LongIntegerBlocksKeepTheirPeaks) {
  // Blocks too long for exact integer sums (over 2^30 samples of 24 bits,
  // over 2^22 of 32) are added as doubles; they never complete here, but
  // their samples still count for the peaks.
  const struct {
    Layout layout;
    uint32_t resolution;
  } cases[] = {{{3, 2, SampleLayout::kSigned24, ReferenceDecode24}, 1u << 30},
               {{4, 2, SampleLayout::kSigned32, ReferenceDecode32}, (1u << 21) + 1}};
  std::mt19937 random(3);
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.layout.bytesPerSample << " bytes");
    const std::string path = WriteTemp(
        "long" + std::to_string(c.layout.bytesPerSample) + ".wav",
        WavFile(WavFormat{1, 2, 44100, static_cast<uint16_t>(8 * c.layout.bytesPerSample)},
                RandomSamples(&random, c.layout, 20000, false)));
    ExpectSameScan(path, c.layout, 44100, 0, 10000, c.resolution, 1);
    EXPECT_GT(ScanFast(path, c.layout, 44100, 0, 10000, c.resolution, 1).peakL, 100.0);
  }
}

// Block levels bit for bit against the exactly rounded reference: integer
// sums in units of 16- and 24-bit samples and float sums of any size, over
// resolutions and magnifications of every size, whole levels among them.
TEST(FastScan, BlockLevelsEqualTheExactlyRoundedReference) {
  std::mt19937_64 random(13);
  const float magnifications[] = {1, 2.5f, 100, 256, 0.001f, 1.1661647f};
  for (int i = 0; i < 100000; ++i) {
    const uint64_t word = random();
    const uint32_t channels = 1 + (word & 1);
    const auto resolution = static_cast<uint32_t>(1 + (random() >> (32 + word % 32)));
    const float magnification =
        word % 7 < 6 ? magnifications[word % 7] : std::ldexp(static_cast<float>(word >> 40), -20);
    const uint64_t units = random() >> (11 + (word >> 8) % 40);
    double sum = 0;
    switch (word >> 16 & 3) {
      case 0:
        sum = static_cast<double>(units) / 256;
        break;
      case 1:
        sum = static_cast<double>(units) / 65536;
        break;
      case 2:
        sum = std::ldexp(static_cast<double>(units), static_cast<int>(word >> 24 & 255) - 160);
        break;
      default:  // sums whose quotient by the block length is exact
        sum = static_cast<double>(units % 4096) * resolution * channels / 4;
        break;
    }
    SCOPED_TRACE(testing::Message() << sum << " over " << resolution << " x" << channels
                                    << ", magnification " << magnification);
    ASSERT_EQ(DoubleBits(BlockLevel(sum, channels, resolution, magnification)),
              DoubleBits(ReferenceBlockLevel(sum, channels, resolution, magnification)));
  }
}

// Row output shows only whole dots, so a sum one rounding off would rarely
// show there: the loops' sums are compared bit for bit as well, against
// magnitudes added one after the other in double arithmetic, for the plain
// loops and for the set this run uses (AVX2 where the processor has it).
TEST(FastScan, LoopSumsEqualSequentialDoubleSums) {
  std::mt19937 random(11);
  for (const LayoutRow& row : kLayouts) {
    const LayoutEntry& entry = LayoutOf(row.layout);
    const uint32_t width = row.bytesPerSample;
    for (uint32_t channels : {1u, 2u}) {
      const uint32_t frames = 3 * 4099;
      const size_t samples = size_t{frames} * channels;
      // Full scale both ways on each channel among the integer samples.
      std::string bytes = RandomSamples(&random, {width, channels, row.layout}, samples, false);
      if (entry.unit == 0) {
        // Float patterns at the ends of the exponent range: infinity, a NaN,
        // the largest finite, negative zero, a subnormal.
        const uint32_t extremes[] = {0x7F800000, 0xFFFFFFFF, 0x7F7FFFFF, 0x80000000, 0x00000001};
        for (size_t k = 0; k < 5; ++k) std::memcpy(&bytes[4 * (3 + 1111 * k)], &extremes[k], 4);
      }
      const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
      const auto magnitude = [&](size_t i) { return std::fabs(row.decode(data + width * i)); };
      double expected = 0;
      double expectedPeaks[2] = {0, 0};
      for (size_t i = 0; i < size_t{4099} * channels; ++i) {
        expected += magnitude(i);
        CheckPeak(magnitude(i), &expectedPeaks[i % channels]);
      }
      for (const Loops& loops : {entry.plain, LoopsOf(entry)}) {
        SCOPED_TRACE(testing::Message()
                     << entry.name << " x " << channels << ", "
                     << (loops.frames == entry.plain.frames ? "plain" : "fast") << " frames");
        Totals totals;
        loops.frames(data, 4099, channels, &totals);
        EXPECT_EQ(DoubleBits(static_cast<double>(totals.units) * entry.unit + totals.sum),
                  DoubleBits(expected));
        EXPECT_EQ(PeakLevel(entry, totals.peakL), expectedPeaks[0]);
        if (channels == 2) {
          EXPECT_EQ(PeakLevel(entry, totals.peakR), expectedPeaks[1]);
        }

        // Whole blocks, each summed from 0: on blocks of whole rounds of
        // four samples and on blocks that end part way through one. Side by
        // side in the groups the scan forms (4, 8, 12 or 16 blocks) and in
        // others, which must be summed all the same without a read past the
        // blocks: the bytes are copied to exactly their length, so that
        // AddressSanitizer sees any such read. Short integer blocks up to 9 at
        // a time.
        const bool sideBySide = entry.grouping == Grouping::kSideBySide;
        for (uint32_t blocks : {4u, 8u, 12u, 16u, 1u, 5u, 9u, 15u}) {
          for (uint32_t blockFrames : {1u, 2u, 3u, 5u, 7u, 767u}) {
            if (!sideBySide && (blockFrames > kShortBlock || blocks > 9)) continue;
            SCOPED_TRACE(testing::Message() << blocks << " blocks of " << blockFrames);
            const size_t blockSamples = size_t{blockFrames} * channels;
            const std::vector<unsigned char> exact(data,
                                                   data + size_t{width} * blocks * blockSamples);
            double sums[kMostGroupBlocks];
            Totals blockTotals;
#ifndef NDEBUG
            // A debug build of the AVX2 loop stops at a group the scan never forms.
            if (sideBySide && blocks % 4 != 0 && loops.blocks != entry.plain.blocks) {
              EXPECT_DEATH(
                  loops.blocks(exact.data(), blockFrames, blocks, channels, sums, &blockTotals),
                  "groups of 4");
              continue;
            }
#endif
            loops.blocks(exact.data(), blockFrames, blocks, channels, sums, &blockTotals);
            for (uint32_t b = 0; b < blocks; ++b) {
              double blockwise = 0;
              for (size_t i = b * blockSamples; i < (b + 1) * blockSamples; ++i)
                blockwise += magnitude(i);
              EXPECT_EQ(DoubleBits(sums[b]), DoubleBits(blockwise)) << b;
            }
            Totals all;
            loops.frames(data, blocks * blockFrames, channels, &all);
            EXPECT_EQ(blockTotals.peakL, all.peakL);
            EXPECT_EQ(blockTotals.peakR, all.peakR);
          }
        }
      }
      // Integer blocks too long for exact sums, added as doubles onto a sum
      // so large (2^40) that nearly every addition rounds: the roundings of
      // a sequential double sum, which an integer sum would not make.
      if (entry.unit != 0) {
        double rounded = 0x1p40;
        for (size_t i = 0; i < samples; ++i) rounded += magnitude(i);
        Totals totals;
        totals.sum = 0x1p40;
        entry.longBlocks(data, frames, channels, &totals);
        EXPECT_EQ(DoubleBits(totals.sum), DoubleBits(rounded)) << entry.name;
      }
    }
  }
}

}  // namespace
