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
#include "scan/kernels.h"
#include "scan/scan.h"
#include "tests/reference_scan.h"
#include "tests/test_files.h"

namespace {

// How a file's samples are laid out: the scan is told the format as the
// probe would give it.
struct Layout {
  uint32_t bytesPerSample, channelCount;
  SampleFormat format;
};

constexpr Layout kFloatStereo{4, 2, SampleFormat::kFloat32};
constexpr Layout kMono16{2, 1, SampleFormat::kSigned16};

struct Output {
  std::string rows;
  double peakL, peakR;
};

Output ScanFast(const std::string& path, Layout layout, uint32_t sampleRate, uint32_t start,
                uint32_t end, uint32_t resolution, float magnification) {
  WaveInput input;
  EXPECT_TRUE(OpenWaveInput(path.c_str(), &input));
  Output out{};
  testing::internal::CaptureStdout();
  ScanFrames(&input, 44, layout.bytesPerSample * layout.channelCount, layout.format,
             layout.channelCount, sampleRate, start, end, resolution, magnification,
             static_cast<double>(resolution) / sampleRate, &out.peakL, &out.peakR);
  out.rows = testing::internal::GetCapturedStdout();
  CloseWaveInput(&input);
  return out;
}

Output ScanReference(const std::string& path, Layout layout, uint32_t sampleRate, uint32_t start,
                     uint32_t end, uint32_t resolution, float magnification) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  Output out{};
  testing::internal::CaptureStdout();
  ReferenceScanFrames(file, 44, layout.bytesPerSample * layout.channelCount, layout.format,
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
void PutFullScale(SampleFormat format, uint32_t bytesPerSample, bool negative, char* at) {
  if (format == SampleFormat::kUnsigned8) {
    *at = negative ? '\x00' : '\xFF';
    return;
  }
  for (uint32_t b = 0; b + 1 < bytesPerSample; ++b) at[b] = negative ? '\x00' : '\xFF';
  at[bytesPerSample - 1] = negative ? '\x80' : '\x7F';
}

bool IsInteger(SampleFormat format) {
  return format == SampleFormat::kUnsigned8 || format == SampleFormat::kSigned16 ||
         format == SampleFormat::kSigned24 || format == SampleFormat::kSigned32;
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
    if (layout.format == SampleFormat::kFloat32) {
      const uint32_t exponent = word % 97 == 0 ? 0 : 100 + (word >> 8) % 31;
      word = (word & 0x807FFFFF) | exponent << 23;
    } else if (quiet && layout.format == SampleFormat::kUnsigned8) {
      word = 128 + word % 9 - 4;  // levels -4 to 4
    } else if (quiet && layout.format == SampleFormat::kSigned32) {
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
  const Layout layouts[] = {{2, 1, SampleFormat::kSigned16},  {2, 2, SampleFormat::kSigned16},
                            {3, 1, SampleFormat::kSigned24},  {3, 2, SampleFormat::kSigned24},
                            {4, 1, SampleFormat::kFloat32},   {4, 2, SampleFormat::kFloat32},
                            {1, 1, SampleFormat::kUnsigned8}, {1, 2, SampleFormat::kUnsigned8},
                            {4, 1, SampleFormat::kSigned32},  {4, 2, SampleFormat::kSigned32},
                            {8, 1, SampleFormat::kUndecoded}, {1, 1, SampleFormat::kUndecoded},
                            {2, 4, SampleFormat::kSigned16},  {1, 3, SampleFormat::kUnsigned8}};
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
  } cases[] = {{{3, 2, SampleFormat::kSigned24}, 1u << 30},
               {{4, 2, SampleFormat::kSigned32}, (1u << 21) + 1}};
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
  for (const Kernels& kernels : {PlainKernels(), ChooseKernels()}) {
    SCOPED_TRACE(kernels.name);
    std::mt19937 random(11);
    for (uint32_t channels : {1u, 2u}) {
      const uint32_t frames = 3 * 4099;
      std::string floats = RandomSamples(&random, {4, channels, SampleFormat::kFloat32},
                                         size_t{frames} * channels, false);
      // A few patterns at the ends of the exponent range: infinity, a NaN, the
      // largest finite, negative zero, a subnormal.
      const uint32_t extremes[] = {0x7F800000, 0xFFFFFFFF, 0x7F7FFFFF, 0x80000000, 0x00000001};
      for (size_t k = 0; k < 5; ++k) std::memcpy(&floats[4 * (3 + 1111 * k)], &extremes[k], 4);
      const auto* bytes = reinterpret_cast<const unsigned char*>(floats.data());
      double sequential[3] = {0, 0, 0};
      for (size_t i = 0; i < size_t{frames} * channels; ++i) {
        const unsigned char* p = bytes + 4 * i;
        sequential[i / channels / 4099] += std::fabs(Float32Convert(p[0], p[1], p[2], p[3]));
      }
      double sum = 0;
      uint32_t peakL = 0, peakR = 0;
      kernels.sumFloat32(bytes, 4099, channels, &sum, &peakL, &peakR);
      EXPECT_EQ(sum, sequential[0]);
      // The side-by-side sums, on blocks of whole rounds of four samples and
      // on blocks that end part way through one; in the groups the scan
      // forms (4, 8, 12 or 16 blocks) and in others, which must be summed
      // all the same without a read past the blocks: the bytes are copied to
      // exactly their length, so that AddressSanitizer sees any such read.
      for (uint32_t blocks : {4u, 8u, 12u, 16u, 1u, 5u, 15u}) {
        for (uint32_t blockFrames : {1u, 2u, 3u, 5u, 767u}) {
          SCOPED_TRACE(testing::Message() << blocks << " blocks of " << blockFrames);
          const size_t blockSamples = size_t{blockFrames} * channels;
          const std::vector<unsigned char> exact(bytes, bytes + size_t{4} * blocks * blockSamples);
          double sums[kMostSideBySideBlocks];
          uint32_t blockPeakL = 0, blockPeakR = 0;
#ifndef NDEBUG
          // A debug build of the AVX2 set stops at a group the scan never forms.
          if (blocks % 4 != 0 && std::strcmp(kernels.name, "avx2") == 0) {
            EXPECT_DEATH(kernels.sumFloat32Blocks(exact.data(), blockFrames, blocks, channels, sums,
                                                  &blockPeakL, &blockPeakR),
                         "groups of 4");
            continue;
          }
#endif
          kernels.sumFloat32Blocks(exact.data(), blockFrames, blocks, channels, sums, &blockPeakL,
                                   &blockPeakR);
          for (uint32_t b = 0; b < blocks; ++b) {
            double blockwise = 0;
            for (size_t i = b * blockSamples; i < (b + 1) * blockSamples; ++i) {
              const unsigned char* p = bytes + 4 * i;
              blockwise += std::fabs(Float32Convert(p[0], p[1], p[2], p[3]));
            }
            EXPECT_EQ(DoubleBits(sums[b]), DoubleBits(blockwise)) << b;
          }
          double all = 0;
          peakL = peakR = 0;
          kernels.sumFloat32(bytes, blocks * blockFrames, channels, &all, &peakL, &peakR);
          EXPECT_EQ(blockPeakL, peakL);
          EXPECT_EQ(blockPeakR, peakR);
        }
      }

      // Each integer width: the loop of this set, the short blocks, and for
      // the widths whose long blocks are added as doubles, that loop too.
      const struct {
        SampleFormat format;
        uint32_t width;
        IntegerLoop Kernels::*loop;
        decltype(&SumInt16Blocks) blocks;
        FloatLoop asDoubles;
        double (*decode)(const unsigned char*);
        double unit;
      } integers[] = {
          {SampleFormat::kUnsigned8, 1, &Kernels::sumInt8, SumInt8Blocks, nullptr, ReferenceDecode8,
           1},
          {SampleFormat::kSigned16, 2, &Kernels::sumInt16, SumInt16Blocks, nullptr,
           ReferenceDecode16, 0x1p-8},
          {SampleFormat::kSigned24, 3, &Kernels::sumInt24, SumInt24Blocks, SumInt24AsDoubles,
           ReferenceDecode24, 0x1p-16},
          {SampleFormat::kSigned32, 4, &Kernels::sumInt32, SumInt32Blocks, SumInt32AsDoubles,
           ReferenceDecode32, 0x1p-24},
      };
      for (const auto& w : integers) {
        SCOPED_TRACE(testing::Message() << w.width << " bytes x " << channels);
        // Full scale both ways on each channel among them.
        const std::string ints =
            RandomSamples(&random, {w.width, channels, w.format}, size_t{frames} * channels, false);
        const auto* intBytes = reinterpret_cast<const unsigned char*>(ints.data());
        const auto magnitude = [&](size_t i) {
          return std::fabs(w.decode(intBytes + w.width * i));
        };
        double expected = 0;
        double expectedPeaks[2] = {0, 0};
        for (size_t i = 0; i < size_t{frames} * channels; ++i) {
          expected += magnitude(i);
          CheckPeak(magnitude(i), &expectedPeaks[i % channels]);
        }
        uint64_t units = 0;
        peakL = peakR = 0;
        (kernels.*w.loop)(intBytes, frames, channels, &units, &peakL, &peakR);
        EXPECT_EQ(static_cast<double>(units) * w.unit, expected);
        EXPECT_EQ(peakL * w.unit, expectedPeaks[0]);
        EXPECT_EQ(peakR * w.unit, channels == 2 ? expectedPeaks[1] : 0);
        // Short blocks one after the other, each summed from 0.
        double sums[9];
        w.blocks(intBytes, 7, 9, channels, sums, &peakL, &peakR);
        for (size_t b = 0; b < 9; ++b) {
          double blockwise = 0;
          for (size_t i = b * 7 * channels; i < (b + 1) * 7 * channels; ++i)
            blockwise += magnitude(i);
          EXPECT_EQ(sums[b], blockwise) << b;
        }
        // Added as doubles onto a sum so large (2^40) that nearly every
        // addition rounds: the roundings of a sequential double sum, which
        // an integer sum would not make.
        if (w.asDoubles != nullptr) {
          double rounded = 0x1p40;
          for (size_t i = 0; i < size_t{frames} * channels; ++i) rounded += magnitude(i);
          double sum = 0x1p40;
          peakL = peakR = 0;
          w.asDoubles(intBytes, frames, channels, &sum, &peakL, &peakR);
          EXPECT_EQ(DoubleBits(sum), DoubleBits(rounded));
          EXPECT_EQ(peakL * w.unit, expectedPeaks[0]);
          EXPECT_EQ(peakR * w.unit, channels == 2 ? expectedPeaks[1] : 0);
        }
      }
    }
  }
}

}  // namespace
