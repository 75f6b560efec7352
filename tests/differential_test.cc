// The scan's fast paths (integer sums, vector loops, blocks summed side by
// side, large positioned reads, rows formatted by hand) against the frame by
// frame scan in double arithmetic with printf: the same bytes out, the same
// peaks, on random data of every layout and many resolutions.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iterator>
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

// A RIFX sample: its bytes reversed, then decoded as stored in RIFF.
template <ReferenceDecode Decode, size_t Width>
double Reversed(const unsigned char* b) {
  unsigned char bytes[Width];
  for (size_t i = 0; i < Width; ++i) bytes[i] = b[Width - 1 - i];
  return Decode(bytes);
}

// Every decoded layout, with the decoder of the reference scan, written
// here byte by byte, that the program's loops are held to. A new layout is
// one more row.
struct LayoutRow {
  SampleLayout layout;
  ByteOrder order;
  uint32_t bytesPerSample;
  ReferenceDecode decode;
  // A report counts a sample as clipped from this magnitude up, on the
  // level scale: either extreme code, the G.711 extremes, 1.0 in float.
  double clipLevel;
};

constexpr ByteOrder kLe = ByteOrder::kLittleEndian;
constexpr ByteOrder kBe = ByteOrder::kBigEndian;
const LayoutRow kLayouts[] = {
    {SampleLayout::kUnsigned8, kLe, 1, ReferenceDecode8, 127},
    {SampleLayout::kALaw, kLe, 1, ReferenceDecodeALaw, 32256 / 256.0},
    {SampleLayout::kMuLaw, kLe, 1, ReferenceDecodeMuLaw, 32124 / 256.0},
    {SampleLayout::kSigned16, kLe, 2, ReferenceDecode16, 32767 / 256.0},
    {SampleLayout::kSigned24, kLe, 3, ReferenceDecode24, 8388607 / 65536.0},
    {SampleLayout::kSigned32, kLe, 4, ReferenceDecode32, 2147483647 / 16777216.0},
    {SampleLayout::kFloat32, kLe, 4, ReferenceFloat32, 128},
    {SampleLayout::kFloat64, kLe, 8, ReferenceDecodeFloat64, 128},
    {SampleLayout::kSigned16, kBe, 2, Reversed<ReferenceDecode16, 2>, 32767 / 256.0},
    {SampleLayout::kSigned24, kBe, 3, Reversed<ReferenceDecode24, 3>, 8388607 / 65536.0},
    {SampleLayout::kSigned32, kBe, 4, Reversed<ReferenceDecode32, 4>, 2147483647 / 16777216.0},
    {SampleLayout::kFloat32, kBe, 4, Reversed<ReferenceFloat32, 4>, 128},
    {SampleLayout::kFloat64, kBe, 8, Reversed<ReferenceDecodeFloat64, 8>, 128},
};

// How a file's samples are laid out: the scan is told the layout as the
// probe would give it.
struct Layout {
  uint32_t bytesPerSample, channelCount;
  SampleLayout format;
  ReferenceDecode decode = nullptr;  // none: walked without decoding
  ByteOrder order = kLe;
};

constexpr Layout kFloatStereo{4, 2, SampleLayout::kFloat32, ReferenceFloat32};
constexpr Layout kMono16{2, 1, SampleLayout::kSigned16, ReferenceDecode16};

struct Output {
  std::string rows;
  std::vector<double> peaks;
};

Output ScanFast(const std::string& path, Layout layout, uint32_t sampleRate, uint32_t start,
                uint32_t end, uint32_t resolution, float magnification, LoopSet loopSet) {
  WaveHeader header;
  header.sampleRate = sampleRate;
  header.channelCount = layout.channelCount;
  header.bytesPerSample = layout.bytesPerSample;
  header.layout = layout.format;
  header.byteOrder = layout.order;
  header.dataOffset = 44;
  const ScannedRows scanned =
      ScanToRows(path, header, start, end, resolution, magnification, loopSet);
  EXPECT_EQ(scanned.result.status, 0);
  return {scanned.rows, {scanned.peaks, scanned.peaks + layout.channelCount}};
}

Output ScanReference(const std::string& path, Layout layout, uint32_t sampleRate, uint32_t start,
                     uint32_t end, uint32_t resolution, float magnification) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  Output out{};
  out.peaks.resize(layout.channelCount);
  testing::internal::CaptureStdout();
  ReferenceScanFrames(file, 44, layout.bytesPerSample, layout.decode, layout.channelCount,
                      sampleRate, start, end, resolution, magnification,
                      static_cast<double>(resolution) / sampleRate, out.peaks.data());
  out.rows = testing::internal::GetCapturedStdout();
  std::fclose(file);
  return out;
}

// Scans frames [start, end) of the file both ways, the fast one with every
// set of loops this processor runs, and compares.
void ExpectSameScan(const std::string& path, Layout layout, uint32_t sampleRate, uint32_t start,
                    uint32_t end, uint32_t resolution, float magnification) {
  const Output slow =
      ScanReference(path, layout, sampleRate, start, end, resolution, magnification);
  for (const LoopSet set : LoopSetsHere()) {
    SCOPED_TRACE(testing::Message() << "loop set " << static_cast<int>(set));
    const Output fast =
        ScanFast(path, layout, sampleRate, start, end, resolution, magnification, set);
    EXPECT_EQ(fast.peaks, slow.peaks);
    EXPECT_TRUE(fast.rows == slow.rows) << FirstDifference(fast.rows, slow.rows);
  }
}

bool IsFloat(SampleLayout format) {
  return format == SampleLayout::kFloat32 || format == SampleLayout::kFloat64;
}

// Random samples of every layout, little-endian, then reversed for RIFX.
// Integer samples are either anything, with full scale both ways among
// them, or mostly quiet (levels within a few units of 0); float samples keep
// sane magnitudes (below 16 on the level scale, so rows stay short) but
// include zeros, subnormals and both signs; 64-bit floats also fall between
// floats, on halfway points and below the smallest float.
std::string RandomSamples(std::mt19937* random, Layout layout, size_t samples, bool quiet) {
  const uint32_t width = layout.bytesPerSample;
  std::string bytes;
  bytes.reserve(samples * width);
  std::uniform_int_distribution<uint32_t> any;
  for (size_t i = 0; i < samples; ++i) {
    uint32_t word = any(*random);
    uint64_t wide = uint64_t{any(*random)} << 32 | word;
    switch (layout.format) {
      case SampleLayout::kFloat32:
        wide = (word & 0x807FFFFF) | (word % 97 == 0 ? 0 : 100 + (word >> 8) % 31) << 23;
        break;
      case SampleLayout::kFloat64: {
        // Exponents around the float's (bias 1023 - 127 = 896): normal,
        // subnormal and beneath; some with 29 low bits of a halfway point.
        const uint64_t exponent =
            word % 97 == 0 ? 0 : 896 + (word % 7 == 0 ? -30 : 100) + (word >> 8) % 31;
        wide = (wide & 0x800FFFFFFFFFFFFFu) | exponent << 52;
        if (word % 5 == 0) wide = (wide & ~uint64_t{0x1FFFFFFF}) | 0x10000000;
        break;
      }
      case SampleLayout::kUnsigned8:
        if (quiet) wide = 128 + word % 9 - 4;  // levels -4 to 4
        break;
      case SampleLayout::kMuLaw:
        if (quiet) wide = 0x70 + word % 16 + (word & 0x80);  // the two lowest segments
        break;
      case SampleLayout::kALaw:
        if (quiet) wide = (word % 32) ^ 0x55 ^ (word & 0x80);
        break;
      case SampleLayout::kSigned32:
        if (quiet)
          wide = static_cast<uint32_t>(static_cast<int32_t>(word % (1u << 27)) - (1 << 26));
        break;
      case SampleLayout::kSigned16:
      case SampleLayout::kSigned24:
        if (quiet) wide = static_cast<uint32_t>(static_cast<int32_t>(word % 513) - 256);
        break;
      case SampleLayout::kUndecoded:
        break;
    }
    for (uint32_t b = 0; b < width; ++b) bytes.push_back(static_cast<char>(wide >> (8 * b)));
  }
  // Full scale both ways, two samples of each: in stereo every other time
  // both of one frame (7919 is odd). 0x00 and 0xFF are u8's and G.711's
  // extremes too.
  if (!quiet && !IsFloat(layout.format)) {
    for (size_t i = 5; i + 3 < samples; i += 7919) {
      for (size_t k = 0; k < 4; ++k) {
        char* at = &bytes[(i + k) * width];
        for (uint32_t b = 0; b + 1 < width; ++b) at[b] = k < 2 ? '\x00' : '\xFF';
        at[width - 1] = width == 1 ? (k < 2 ? '\x00' : '\xFF') : (k < 2 ? '\x80' : '\x7F');
      }
    }
  }
  if (layout.order == kBe) {
    for (size_t i = 0; i < samples; ++i)
      std::reverse(bytes.begin() + static_cast<long>(i * width),
                   bytes.begin() + static_cast<long>((i + 1) * width));
  }
  return bytes;
}

// Scans every layout in `layouts`, in files of random samples, loud and
// quiet, both ways at each resolution.
void ExpectSameScans(const std::vector<Layout>& layouts, const std::vector<uint32_t>& resolutions,
                     uint32_t frames, uint32_t seed) {
  std::mt19937 random(seed);
  int file = 0;
  for (const Layout& layout : layouts) {
    for (bool quiet : {false, true}) {
      const std::string samples =
          RandomSamples(&random, layout, size_t{frames} * layout.channelCount, quiet);
      const uint16_t code = IsFloat(layout.format) ? 3 : 1;
      const std::string path =
          WriteTemp("diff" + std::to_string(seed) + "-" + std::to_string(++file) + ".wav",
                    WavFile(WavFormat{code, static_cast<uint16_t>(layout.channelCount), 44100,
                                      static_cast<uint16_t>(layout.bytesPerSample * 8)},
                            samples));
      for (uint32_t resolution : resolutions) {
        // Start off the chunk grid and run past the end of the data, so
        // blocks straddle chunks and the last read comes back short.
        const uint32_t start = resolution % 3 == 0 ? 0 : 4093;
        const float magnification = resolution % 2 == 0 ? 1.0f : 2.5f;
        SCOPED_TRACE(testing::Message()
                     << LayoutOf(layout.format, layout.order).name << " x " << layout.channelCount
                     << ", resolution " << resolution << (quiet ? ", quiet" : ""));
        ExpectSameScan(path, layout, 44100, start, frames + 10, resolution, magnification);
      }
    }
  }
}

TEST(FastScan, MatchesTheFrameByFrameScanOnEveryLayout) {
  std::vector<Layout> layouts;
  for (const LayoutRow& row : kLayouts) {
    for (uint32_t channels = 1; channels <= 2 && channels * row.bytesPerSample <= kMostFrameBytes;
         ++channels) {
      if (row.order == kLe)
        layouts.push_back({row.bytesPerSample, channels, row.layout, row.decode});
    }
  }
  ExpectSameScans(
      layouts, {1, 2, 3, 7, 64, 65, 441, 2205, 4095, 4096, 4097, 7001, 13107, 30000, 65536, 70001},
      150000, 20261208);
}

// RIFX, and three channels and more, with uneven means at odd resolutions,
// through the other loops' edges: a row a frame, short blocks, a group,
// blocks across reads.
TEST(FastScan, MatchesTheFrameByFrameScanInRifxAndInManyChannels) {
  std::vector<Layout> layouts;
  for (const LayoutRow& row : kLayouts) {
    for (uint32_t channels = 1; channels * row.bytesPerSample <= kMostFrameBytes; ++channels) {
      if (row.order == kBe || channels > 2)
        layouts.push_back({row.bytesPerSample, channels, row.layout, row.decode, row.order});
    }
  }
  ExpectSameScans(layouts, {1, 3, 7, 65, 2205, 4097, 70001}, 60000, 20261209);
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
    EXPECT_GT(ScanFast(path, c.layout, 44100, 0, 10000, c.resolution, 1, BestLoopSet()).peaks[0],
              100.0);
  }
}

// Block levels bit for bit against the exactly rounded reference, both the
// level a scan takes here and the integer way every platform has: integer
// sums in units of 16- and 24-bit samples and float sums of any size, over
// resolutions and magnifications of every size, whole levels among them.
TEST(FastScan, BlockLevelsEqualTheExactlyRoundedReference) {
  std::mt19937_64 random(13);
  const float magnifications[] = {1, 2.5f, 100, 256, 0.001f, 1.1661647f};
  for (int i = 0; i < 100000; ++i) {
    const uint64_t word = random();
    const auto channels = static_cast<uint32_t>(1 + (word >> 61));
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
    const uint64_t expected =
        DoubleBits(ReferenceBlockLevel(sum, channels, resolution, magnification));
    ASSERT_EQ(DoubleBits(BlockLevel(sum, channels, resolution, magnification)), expected);
    ASSERT_EQ(DoubleBits(PortableBlockLevel(sum, channels, resolution, magnification)), expected);
  }
}

// Row output shows only whole dots, so a sum one rounding off would rarely
// show there: the loops' sums are compared bit for bit as well, against
// magnitudes added one after the other in double arithmetic, for the plain
// loops and for the set this run uses (AVX2 where the processor has it).
TEST(FastScan, LoopSumsEqualSequentialDoubleSums) {
  std::mt19937 random(11);
  for (const LayoutRow& row : kLayouts) {
    const LayoutEntry& entry = LayoutOf(row.layout, row.order);
    const uint32_t width = row.bytesPerSample;
    for (uint32_t channels = 1; channels <= 3 && channels * width <= kMostFrameBytes; ++channels) {
      const uint32_t frames = 3 * 4099;
      const size_t samples = size_t{frames} * channels;
      // Full scale both ways on each channel among the integer samples.
      std::string bytes = RandomSamples(
          &random, {width, channels, row.layout, row.decode, row.order}, samples, false);
      if (row.layout == SampleLayout::kFloat32 && row.order == kLe) {
        // Float patterns at the ends of the exponent range: infinity, a NaN,
        // the largest finite, negative zero, a subnormal.
        const uint32_t extremes[] = {0x7F800000, 0xFFFFFFFF, 0x7F7FFFFF, 0x80000000, 0x00000001};
        for (size_t k = 0; k < 5; ++k) std::memcpy(&bytes[4 * (3 + 1111 * k)], &extremes[k], 4);
      }
      const auto* stored = reinterpret_cast<const unsigned char*>(bytes.data());
      const auto magnitude = [&](size_t i) { return std::fabs(row.decode(stored + width * i)); };
      // The loops read samples as the scan hands them over: 64-bit floats
      // narrowed first.
      std::vector<unsigned char> narrowed(stored, stored + bytes.size());
      if (entry.plain.narrow != nullptr) entry.plain.narrow(narrowed.data(), samples);
      const unsigned char* data = narrowed.data();
      const uint32_t loopWidth = entry.loopBytes;
      double expected = 0;
      std::vector<double> expectedPeaks(channels);
      for (size_t i = 0; i < size_t{4099} * channels; ++i) {
        expected += magnitude(i);
        CheckPeak(magnitude(i), &expectedPeaks[i % channels]);
      }
      for (const LoopSet set : LoopSetsHere()) {
        const Loops loops = LoopsOf(entry, set);
        SCOPED_TRACE(testing::Message()
                     << entry.name << " x " << channels << ", loop set " << static_cast<int>(set));
        if (loops.narrow != nullptr) {
          std::vector<unsigned char> again(stored, stored + bytes.size());
          loops.narrow(again.data(), samples);
          EXPECT_TRUE(std::equal(again.begin(), again.begin() + 4 * samples, narrowed.begin()));
        }
        // Exactly the frames summed, so that AddressSanitizer sees a read
        // past them.
        const std::vector<unsigned char> head(data, data + size_t{loopWidth} * 4099 * channels);
        Totals totals;
        loops.frames(head.data(), 4099, channels, &totals);
        EXPECT_EQ(DoubleBits(static_cast<double>(totals.units) * entry.unit + totals.sum),
                  DoubleBits(expected));
        for (uint32_t c = 0; c < channels; ++c)
          EXPECT_EQ(PeakLevel(entry, totals.peaks[c]), expectedPeaks[c]) << "channel " << c;

        // A report's statistics of the same frames, the first of them frame
        // 1000: the squares (exact integers in units, or float squares
        // added in sample order), the clipped samples and each peak's first
        // frame, from the decoder here.
        std::vector<ChannelStatistics> statistics(channels);
        loops.statistics(head.data(), 4099, channels, 1000, statistics.data());
        for (uint32_t c = 0; c < channels; ++c) {
          SquareUnits units = 0;
          double squares = 0;
          uint64_t clipped = 0;
          uint64_t peakFrame = UINT64_MAX;
          for (uint32_t i = 0; i < 4099; ++i) {
            const double m = magnitude(size_t{i} * channels + c);
            if (entry.unit != 0) {
              const auto inUnits = static_cast<uint64_t>(m / entry.unit);
              units += SquareUnits{inUnits} * inUnits;
            } else {
              squares += m * m;
            }
            clipped += m >= row.clipLevel ? 1 : 0;
            if (peakFrame == UINT64_MAX && m == expectedPeaks[c]) peakFrame = 1000 + i;
          }
          EXPECT_TRUE(statistics[c].squareUnits == units) << "channel " << c;
          EXPECT_EQ(DoubleBits(statistics[c].squares), DoubleBits(squares)) << "channel " << c;
          EXPECT_EQ(statistics[c].clipped, clipped) << "channel " << c;
          EXPECT_EQ(statistics[c].peakFrame, peakFrame) << "channel " << c;
        }
        // Both in one pass, where the set has a loop for it: the same totals
        // and statistics.
        if (loops.framesStatistics != nullptr) {
          Totals together;
          std::vector<ChannelStatistics> alongside(channels);
          loops.framesStatistics(head.data(), 4099, channels, &together, 1000, alongside.data());
          EXPECT_EQ(together.units, totals.units);
          for (uint32_t c = 0; c < channels; ++c) {
            EXPECT_EQ(together.peaks[c], totals.peaks[c]) << "channel " << c;
            EXPECT_TRUE(alongside[c].squareUnits == statistics[c].squareUnits) << "channel " << c;
            EXPECT_EQ(alongside[c].clipped, statistics[c].clipped) << "channel " << c;
            EXPECT_EQ(alongside[c].peakFrame, statistics[c].peakFrame) << "channel " << c;
          }
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
            // The plain integer loop takes short blocks alone; a set's own
            // blocks loop takes any.
            if (!sideBySide && loops.blocks == entry.plain.blocks &&
                (blockFrames > kShortBlock || blocks > 9))
              continue;
            SCOPED_TRACE(testing::Message() << blocks << " blocks of " << blockFrames);
            const size_t blockSamples = size_t{blockFrames} * channels;
            const std::vector<unsigned char> exact(
                data, data + size_t{loopWidth} * blocks * blockSamples);
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
            Totals all;
            loops.frames(data, blocks * blockFrames, channels, &all);
            const auto check = [&](const double* got, const Totals& gotTotals) {
              for (uint32_t b = 0; b < blocks; ++b) {
                double blockwise = 0;
                for (size_t i = b * blockSamples; i < (b + 1) * blockSamples; ++i)
                  blockwise += magnitude(i);
                EXPECT_EQ(DoubleBits(got[b]), DoubleBits(blockwise)) << b;
              }
              for (uint32_t c = 0; c < channels; ++c) EXPECT_EQ(gotTotals.peaks[c], all.peaks[c]);
            };
            check(sums, blockTotals);
            // The same blocks as stored, where the set sums them so.
            if (loops.storedBlocks != nullptr) {
              const std::vector<unsigned char> asStored(
                  stored, stored + size_t{width} * blocks * blockSamples);
              Totals storedTotals;
              loops.storedBlocks(asStored.data(), blockFrames, blocks, channels, sums,
                                 &storedTotals);
              check(sums, storedTotals);
            }
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

// ---------------------------------------------------------------------------
// G.711 codes and 64-bit floats, value by value

double ReferenceG711(SampleLayout law, uint8_t code) {
  return law == SampleLayout::kMuLaw ? ReferenceDecodeMuLaw(&code) : ReferenceDecodeALaw(&code);
}

TEST(G711, EveryCodeExpandsAsTheTablesOfTheStandardSay) {
  constexpr SampleLayout kMu = SampleLayout::kMuLaw;
  constexpr SampleLayout kA = SampleLayout::kALaw;
  // 16-bit values from the tables of G.711: the extremes, the two zeros of
  // mu-law, the smallest steps, and the first code of a segment.
  const struct {
    SampleLayout law;
    uint8_t code;
    int linear;
  } anchors[] = {
      {kMu, 0x00, -32124}, {kMu, 0x80, 32124}, {kMu, 0x7F, 0},    {kMu, 0xFF, 0},
      {kMu, 0xFE, 8},      {kMu, 0x7E, -8},    {kMu, 0xF0, 120},  {kMu, 0x8F, 16764},
      {kA, 0xD5, 8},       {kA, 0x55, -8},     {kA, 0xAA, 32256}, {kA, 0x2A, -32256},
      {kA, 0xD4, 24},      {kA, 0xD0, 88},     {kA, 0xC5, 264},   {kA, 0x45, -264},
  };
  for (const auto& a : anchors) {
    SCOPED_TRACE(testing::Message() << std::hex << "code " << int{a.code});
    EXPECT_EQ(ReferenceG711(a.law, a.code) * 256, a.linear);
    EXPECT_EQ(LayoutOf(a.law, kLe).decode(&a.code) * 256, a.linear);
  }
  for (const SampleLayout law : {kMu, kA}) {
    // Positive codes: mu-law 0xFF down to 0x80, A-law 0x80 ... 0xFF with
    // every other bit inverted; each negative code is its positive twin
    // without the sign bit. Magnitudes grow with every step.
    const auto positive = [law](uint32_t k) {
      return static_cast<uint8_t>(law == kMu ? 0xFF - k : (0x80 | k) ^ 0x55);
    };
    for (uint32_t k = 0; k < 128; ++k) {
      SCOPED_TRACE(testing::Message() << (law == kMu ? "mu-law" : "A-law") << " step " << k);
      EXPECT_EQ(ReferenceG711(law, static_cast<uint8_t>(positive(k) & 0x7F)),
                -ReferenceG711(law, positive(k)));
      if (k > 0) {
        EXPECT_GT(ReferenceG711(law, positive(k)), ReferenceG711(law, positive(k - 1)));
      }
    }
    // The program's decode of every code, in both byte orders (one byte has
    // no order), is the reference's.
    for (uint32_t code = 0; code < 256; ++code) {
      const auto byte = static_cast<uint8_t>(code);
      SCOPED_TRACE(testing::Message() << std::hex << "code " << code);
      EXPECT_EQ(DoubleBits(LayoutOf(law, kLe).decode(&byte)), DoubleBits(ReferenceG711(law, byte)));
      EXPECT_EQ(DoubleBits(LayoutOf(law, kBe).decode(&byte)), DoubleBits(ReferenceG711(law, byte)));
      // The writer's coder gives each expanded value its own code back,
      // but mu-law's negative zero, which is coded as 0.
      const auto linear = static_cast<int16_t>(ReferenceG711(law, byte) * 256);
      const uint8_t back = law == kMu ? LinearToMuLaw(linear) : LinearToALaw(linear);
      EXPECT_EQ(int{back}, law == kMu && code == 0x7F ? 0xFF : int{byte});
    }
    // Every 16-bit value is coded as a level next to it: none lies between
    // the value and its code's.
    std::vector<double> levels;
    for (uint32_t code = 0; code < 256; ++code)
      levels.push_back(ReferenceG711(law, static_cast<uint8_t>(code)) * 256);
    std::sort(levels.begin(), levels.end());
    int skipped = 0;
    for (int32_t v = -32768; v <= 32767; ++v) {
      const auto linear = static_cast<int16_t>(v);
      const double coded =
          ReferenceG711(law, law == kMu ? LinearToMuLaw(linear) : LinearToALaw(linear)) * 256;
      const double low = std::min<double>(v, coded);
      const double high = std::max<double>(v, coded);
      // The first level above `low` comes before the first at or above `high`.
      if (std::upper_bound(levels.begin(), levels.end(), low) <
              std::lower_bound(levels.begin(), levels.end(), high) &&
          ++skipped <= 5)
        ADD_FAILURE() << v << " is coded as " << coded << ", past a nearer level";
    }
  }
}

TEST(Float64, EachSampleIsReadAsItsNearestFloat) {
  // Doubles and the float a cast gives: to nearest, ties to even; beyond the
  // float range infinity; below it float subnormals and zeros of either
  // sign; a NaN keeps its sign and the top 22 bits of its fraction, and is
  // made quiet.
  const struct {
    const char* name;
    uint64_t bits;
    uint32_t floatBits;
  } cases[] = {
      {"0", 0x0000000000000000, 0x00000000},
      {"-0", 0x8000000000000000, 0x80000000},
      {"0.5", 0x3FE0000000000000, 0x3F000000},
      {"-0.25", 0xBFD0000000000000, 0xBE800000},
      {"1 + 2^-24, a tie: to 1", 0x3FF0000010000000, 0x3F800000},
      {"1 + 3 x 2^-24, a tie: to 1 + 2^-22", 0x3FF0000030000000, 0x3F800002},
      {"-(1 + 2^-24), a tie: to -1", 0xBFF0000010000000, 0xBF800000},
      {"just above a tie", 0x3FF0000010000001, 0x3F800001},
      {"just below a tie", 0x3FF000000FFFFFFF, 0x3F800000},
      {"the largest float", 0x47EFFFFFE0000000, 0x7F7FFFFF},
      {"just below halfway to 2^128", 0x47EFFFFFEFFFFFFF, 0x7F7FFFFF},
      {"halfway to 2^128: infinity", 0x47EFFFFFF0000000, 0x7F800000},
      {"2^128", 0x47F0000000000000, 0x7F800000},
      {"the largest double", 0x7FEFFFFFFFFFFFFF, 0x7F800000},
      {"the most negative double", 0xFFEFFFFFFFFFFFFF, 0xFF800000},
      {"infinity", 0x7FF0000000000000, 0x7F800000},
      {"-infinity", 0xFFF0000000000000, 0xFF800000},
      {"a quiet NaN", 0x7FF8000000000000, 0x7FC00000},
      {"a negative quiet NaN, low payload", 0xFFF8000000000001, 0xFFC00000},
      {"a NaN of every fraction bit", 0x7FFFFFFFFFFFFFFF, 0x7FFFFFFF},
      {"a signalling NaN, low payload", 0x7FF0000000000001, 0x7FC00000},
      {"a signalling NaN, payload in the float's bits", 0x7FF4000000000000, 0x7FE00000},
      {"2^-149, the smallest float", 0x36A0000000000000, 0x00000001},
      {"2^-150, a tie: to 0", 0x3690000000000000, 0x00000000},
      {"just above 2^-150", 0x3690000000000001, 0x00000001},
      {"3 x 2^-150, a tie: to 2 x 2^-149", 0x36A8000000000000, 0x00000002},
      {"the largest subnormal float", 0x380FFFFFC0000000, 0x007FFFFF},
      {"just below 2^-126: to 2^-126", 0x380FFFFFF0000000, 0x00800000},
      {"the smallest double", 0x0000000000000001, 0x00000000},
      {"the smallest negative double", 0x8000000000000001, 0x80000000},
  };
  // All the doubles side by side too, as a chunk of the scan holds them.
  std::string le, be;
  for (const auto& c : cases) {
    le += Le64(c.bits);
    be += Be64(c.bits);
  }
  // Narrowed by every set of loops here.
  std::vector<std::vector<unsigned char>> narrowedLe, narrowedBe;
  for (const LoopSet set : LoopSetsHere()) {
    narrowedLe.emplace_back(le.begin(), le.end());
    narrowedBe.emplace_back(be.begin(), be.end());
    LoopsOf(LayoutOf(SampleLayout::kFloat64, kLe), set)
        .narrow(narrowedLe.back().data(), std::size(cases));
    LoopsOf(LayoutOf(SampleLayout::kFloat64, kBe), set)
        .narrow(narrowedBe.back().data(), std::size(cases));
  }
  size_t i = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    double value;
    std::memcpy(&value, &c.bits, sizeof value);
    const auto cast = static_cast<float>(value);
    uint32_t castBits;
    std::memcpy(&castBits, &cast, sizeof castBits);
    EXPECT_EQ(castBits, c.floatBits) << "a cast";
    const std::string narrow = Le32(c.floatBits);
    const auto* f = reinterpret_cast<const unsigned char*>(narrow.data());
    const uint64_t wanted = DoubleBits(ReferenceFloat32Convert(f[0], f[1], f[2], f[3]));
    for (const ByteOrder order : {kLe, kBe}) {
      const std::string stored = order == kLe ? Le64(c.bits) : Be64(c.bits);
      EXPECT_EQ(DoubleBits(LayoutOf(SampleLayout::kFloat64, order)
                               .decode(reinterpret_cast<const unsigned char*>(stored.data()))),
                wanted);
      for (const auto& narrowed : order == kLe ? narrowedLe : narrowedBe)
        EXPECT_EQ(std::string(&narrowed[4 * i], &narrowed[4 * (i + 1)]), narrow);
    }
    // A file of the double prints what a file of its float prints, in RIFF
    // and RIFX; a row where the level is short enough to print.
    const std::string f32 = WriteTemp("nearest.f32.wav", WavFile({3, 1, 1000, 32}, narrow));
    const std::string f64 = WriteTemp("nearest.f64.wav", WavFile({3, 1, 1000, 64}, Le64(c.bits)));
    const std::string rifx =
        WriteTemp("nearest.rifx.wav", WavFile({3, 1, 1000, 64, true}, Be64(c.bits)));
    const bool row = std::fabs(cast) < 1e6f;
    const std::vector<std::string> span = {"0", "1", row ? "1" : "2"};
    const ToolRun wanted32 = RunTool({f32, span[0], span[1], span[2]});
    ASSERT_EQ(wanted32.status, 0);
    ExpectRun({f64, span[0], span[1], span[2]}, wanted32.out, 0);
    ExpectRun({rifx, span[0], span[1], span[2]}, wanted32.out, 0);
    ++i;
  }
}

}  // namespace
