#include "wavefile/wavefile.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <string>

#include "examples/wav_writer.h"
#include "tests/test_files.h"

using namespace std::string_literals;

namespace {

struct Attributes {
  uint32_t sampleRate, bytesPerSample, channelCount, dataOffset, frameCount;
  // The layout the bits and the format code choose, and the byte order of
  // the fields and samples: little-endian unless the row says otherwise.
  SampleLayout layout;
  ByteOrder order = ByteOrder::kLittleEndian;
  bool operator==(const Attributes& o) const {
    return sampleRate == o.sampleRate && bytesPerSample == o.bytesPerSample &&
           channelCount == o.channelCount && dataOffset == o.dataOffset &&
           frameCount == o.frameCount && layout == o.layout && order == o.order;
  }
};

std::ostream& operator<<(std::ostream& out, const Attributes& a) {
  return out << "{rate " << a.sampleRate << ", bytes " << a.bytesPerSample << ", channels "
             << a.channelCount << ", offset " << a.dataOffset << ", frames " << a.frameCount
             << ", layout " << static_cast<uint32_t>(a.layout) << ", "
             << (a.order == ByteOrder::kBigEndian ? "big" : "little") << "-endian}";
}

// The header probed from the file at `path`, and how the probe ended.
Attributes ProbePath(const std::string& path, Result* result = nullptr) {
  WaveInput input;
  EXPECT_TRUE(OpenWaveInput(path.c_str(), &input));
  WaveHeader header;
  const Result probe = GetAttributes(&input, &header);
  CloseWaveInput(&input);
  if (result != nullptr) {
    *result = probe;
  } else {
    EXPECT_EQ(probe.status, 0) << probe.message;
  }
  return {header.sampleRate, header.bytesPerSample, header.channelCount, header.dataOffset,
          header.frameCount, header.layout,         header.byteOrder};
}

Attributes Probe(const std::string& bytes) {
  static int files = 0;
  const std::string path = WriteTemp("probe" + std::to_string(++files) + ".wav", bytes);
  return ProbePath(path);
}

const WavFormat kStereo16{1, 2, 44100, 16};
const std::string kTenFrames(40, '\x01');  // ten 16-bit stereo frames
// The chunks after an RF64 file's ds64 chunk: the format, then the data tag
// and the size that defers to ds64.
const std::string kRf64Chunks = FormatChunk(kStereo16) + "data" + Le32(0xFFFFFFFF);

TEST(Assem, AssemblesLittleEndianUnsignedValues) {
  const unsigned char bytes[] = {0xFE, 0xFF, 0x80, 0x81};
  EXPECT_EQ(Assem2(bytes), 0xFFFEu);
  EXPECT_EQ(Assem2(bytes + 2), 0x8180u);
  EXPECT_EQ(Assem4(bytes), 0x8180FFFEu);
}

struct HeaderCase {
  const char* name;
  std::string file;
  Attributes expected;
};

TEST(GetAttributes, FindsTheFieldsAtTheirDistancesFromTheTags) {
  constexpr SampleLayout kS16 = SampleLayout::kSigned16;
  constexpr ByteOrder kBe = ByteOrder::kBigEndian;
  const WavFormat mono24{1, 1, 48000, 24};
  const WavFormat float2{3, 2, 96000, 32};
  // RIFX: every field big-endian, so a little-endian reading would find a
  // rate of 0x44AC0000, 512 channels and 4096 bits.
  const WavFormat rifx16{1, 2, 44100, 16, true};
  const HeaderCase cases[] = {
      {"canonical 44-byte header", WavFile(kStereo16, kTenFrames), {44100, 2, 2, 44, 10, kS16}},
      {"18-byte format chunk",
       RiffWave(FormatChunk(mono24, 18) + Chunk("data", std::string(30, '\0'))),
       {48000, 3, 1, 46, 10, SampleLayout::kSigned24}},
      {"extensible 40-byte format chunk",
       RiffWave(FormatChunk(float2, 40) + Chunk("data", std::string(80, '\0'))),
       {96000, 4, 2, 68, 10, SampleLayout::kFloat32}},
      {"extensible, subformat 7: mu-law",
       RiffWave(FormatChunk({7, 2, 8000, 8}, 40) + Chunk("data", kTenFrames)),
       {8000, 1, 2, 68, 20, SampleLayout::kMuLaw}},
      {"LIST chunk between format and data",
       RiffWave(FormatChunk(kStereo16) + Chunk("LIST", "INFOISFT\x06\0\0\0ostrel"s) +
                Chunk("data", kTenFrames)),
       {44100, 2, 2, 44 + 26, 10, kS16}},
      {"data letters inside an earlier chunk win",
       RiffWave(FormatChunk(kStereo16) + Chunk("LIST", "xxdata\x04\0\0\0zzzz"s) +
                Chunk("data", kTenFrames)),
       {44100, 2, 2, 54, 1, kS16}},
      {"data size larger than the file keeps the whole frames present",
       RiffWave(FormatChunk(kStereo16) + "data" + Le32(4000) + kTenFrames + "\x01\x02"),
       {44100, 2, 2, 44, 10, kS16}},
      {"a trailing partial frame is dropped",
       RiffWave(FormatChunk(kStereo16) + "data" + Le32(43) + kTenFrames + "abc"),
       {44100, 2, 2, 44, 10, kS16}},
      {"data size cut off by the end of the file is an empty chunk",
       RiffWave(FormatChunk(kStereo16) + "data\x10\x00"s),
       {44100, 2, 2, 44, 0, kS16}},
      {"bits below 8 give no frames and no layout",
       RiffWave(FormatChunk(WavFormat{1, 2, 8000, 4}) + Chunk("data", kTenFrames)),
       {8000, 0, 2, 44, 0, SampleLayout::kUndecoded}},
      {"no channels give no frames",
       RiffWave(FormatChunk(WavFormat{1, 0, 8000, 16}) + Chunk("data", kTenFrames)),
       {8000, 2, 0, 44, 0, kS16}},
      // Bits beyond a whole byte take the next whole byte.
      {"12-bit samples take two bytes",
       WavFile(WavFormat{1, 1, 8000, 12}, kTenFrames),
       {8000, 2, 1, 44, 20, kS16}},
      {"20-bit samples take three bytes",
       WavFile(WavFormat{1, 1, 8000, 20}, kTenFrames),
       {8000, 3, 1, 44, 13, SampleLayout::kSigned24}},
      {"28-bit integer samples take four bytes",
       WavFile(WavFormat{1, 1, 8000, 28}, kTenFrames),
       {8000, 4, 1, 44, 10, SampleLayout::kSigned32}},
      {"40-bit samples take five bytes and are not decoded",
       WavFile(WavFormat{1, 1, 8000, 40}, kTenFrames),
       {8000, 5, 1, 44, 8, SampleLayout::kUndecoded}},
      // 0xFFFFFFFF is a size the writer did not know: the data runs to the
      // end of the file.
      {"unknown data size",
       RiffWave(FormatChunk(kStereo16) + "data" + Le32(0xFFFFFFFF) + kTenFrames + "abc"),
       {44100, 2, 2, 44, 10, kS16}},
      {"RIFX canonical header", WavFile(rifx16, kTenFrames), {44100, 2, 2, 44, 10, kS16, kBe}},
      // 8 read little-endian would be 2^27, cut to the 10 frames present.
      {"RIFX data size big-endian",
       RiffWave(FormatChunk(rifx16) + "data" + Be32(8) + kTenFrames, true),
       {44100, 2, 2, 44, 2, kS16, kBe}},
      {"RIFX unknown data size",
       RiffWave(FormatChunk(rifx16) + "data" + Be32(0xFFFFFFFF) + kTenFrames + "abc", true),
       {44100, 2, 2, 44, 10, kS16, kBe}},
      {"RIFX 24-bit mono, 18-byte format chunk",
       RiffWave(
           FormatChunk({1, 1, 48000, 24, true}, 18) + Chunk("data", std::string(30, '\0'), true),
           true),
       {48000, 3, 1, 46, 10, SampleLayout::kSigned24, kBe}},
      // Subformat 1 read little-endian would be 0x0100: floats.
      {"RIFX extensible, subformat 1 big-endian: integers",
       RiffWave(
           FormatChunk({1, 2, 96000, 32, true}, 40) + Chunk("data", std::string(80, '\0'), true),
           true),
       {96000, 4, 2, 68, 10, SampleLayout::kSigned32, kBe}},
      {"RIFX extensible, subformat 6: A-law",
       RiffWave(FormatChunk({6, 1, 8000, 8, true}, 40) + Chunk("data", kTenFrames, true), true),
       {8000, 1, 1, 68, 40, SampleLayout::kALaw, kBe}},
      {"RIFX 64-bit float",
       WavFile({3, 1, 8000, 64, true}, kTenFrames),
       {8000, 8, 1, 44, 5, SampleLayout::kFloat64, kBe}},
      // RF64: the ds64 chunk (bytes 12..47) gives the 64-bit data size.
      {"RF64 data size from ds64",
       Rf64Wave("RF64", 20, kRf64Chunks) + kTenFrames,
       {44100, 2, 2, 80, 5, kS16}},
      {"BW64 data size from ds64",
       Rf64Wave("BW64", 20, kRf64Chunks) + kTenFrames,
       {44100, 2, 2, 80, 5, kS16}},
      {"ds64 data size larger than the file",
       Rf64Wave("RF64", 1ull << 40, kRf64Chunks) + kTenFrames,
       {44100, 2, 2, 80, 10, kS16}},
      {"ds64 data size not a whole number of frames",
       Rf64Wave("RF64", 23, kRf64Chunks) + kTenFrames,
       {44100, 2, 2, 80, 5, kS16}},
      {"ds64 data size 0: a recording never closed runs to the end",
       Rf64Wave("RF64", 0, kRf64Chunks) + kTenFrames,
       {44100, 2, 2, 80, 10, kS16}},
      {"the data chunk's own size, when it has one, over ds64's",
       Rf64Wave("RF64", 20, FormatChunk(kStereo16) + "data" + Le32(8)) + kTenFrames,
       {44100, 2, 2, 80, 2, kS16}},
      {"ds64 in a RIFF file means nothing",
       "RIFF" + Rf64Wave("RF64", 20, kRf64Chunks).substr(4) + kTenFrames,
       {44100, 2, 2, 80, 10, kS16}},
      {"ds64 of fewer than 28 bytes means nothing",
       "RF64" + Le32(0xFFFFFFFF) + "WAVE" + Chunk("ds64", Le64(0) + Le64(20) + Le32(0)) +
           kRf64Chunks + kTenFrames,
       {44100, 2, 2, 72, 10, kS16}},
  };
  for (const HeaderCase& c : cases) EXPECT_EQ(Probe(c.file), c.expected) << c.name;
}

TEST(GetAttributes, HugeDataSizesAreCutToTheFileAndToTheLargestFrameNumber) {
  constexpr uint64_t kGiB = 1ull << 30;
  struct Case {
    const char* name;
    std::string header;
    uint64_t length;  // of the sparse file
    uint32_t frames;
  } const cases[] = {
      {"nearly 4 GiB claimed, 3 GiB present", CanonicalHeader(kStereo16, 0xFFFFFFF0u),
       44 + 3 * kGiB, 3 * kGiB / 4},
      {"unknown size, 5 GiB present", CanonicalHeader(kStereo16, 0xFFFFFFFF), 44 + 5 * kGiB,
       5 * kGiB / 4},
      {"RF64, 5 GiB of 6 GiB", Rf64Wave("RF64", 5 * kGiB, kRf64Chunks), 80 + 6 * kGiB,
       5 * kGiB / 4},
      // One-byte frames past 2^32: the scan stops at frame 2^32 - 1.
      {"unknown size, 2^32 + 10 one-byte frames",
       CanonicalHeader(WavFormat{1, 1, 8000, 8}, 0xFFFFFFFF), 44 + (1ull << 32) + 10, 0xFFFFFFFFu},
  };
  for (const Case& c : cases) {
    const std::string path = WriteTemp("sparse.wav", c.header);
    ASSERT_EQ(truncate(path.c_str(), static_cast<off_t>(c.length)), 0);
    EXPECT_EQ(ProbePath(path).frameCount, c.frames) << c.name;
    unlink(path.c_str());
  }
}

// The bits and the format code that choose each layout: 8 bits under any
// code but the two of G.711, which name it at 8 bits alone; every width by
// its whole bytes; four bytes as integers only under integer PCM; eight as a
// double only at 64 bits under the float code.
TEST(SampleLayout, FollowsTheBitsAndTheFormatCode) {
  using F = SampleLayout;
  struct Case {
    uint32_t bits, code;
    SampleLayout format;
  } const cases[] = {
      {8, 1, F::kUnsigned8},     {8, 3, F::kUnsigned8},       {8, 0xFFFE, F::kUnsigned8},
      {8, 6, F::kALaw},          {8, 7, F::kMuLaw},           {16, 6, F::kSigned16},
      {16, 7, F::kSigned16},     {12, 6, F::kSigned16},       {12, 1, F::kSigned16},
      {9, 1, F::kSigned16},      {17, 1, F::kSigned24},       {20, 1, F::kSigned24},
      {24, 3, F::kSigned24},     {25, 1, F::kSigned32},       {28, 1, F::kSigned32},
      {32, 1, F::kSigned32},     {28, 3, F::kFloat32},        {32, 3, F::kFloat32},
      {32, 0xFFFE, F::kFloat32}, {32, 6, F::kFloat32},        {64, 3, F::kFloat64},
      {64, 1, F::kUndecoded},    {64, 0xFFFE, F::kUndecoded}, {63, 3, F::kUndecoded},
      {33, 1, F::kUndecoded},    {40, 1, F::kUndecoded},      {56, 3, F::kUndecoded},
      {65, 3, F::kUndecoded},    {7, 6, F::kUndecoded},       {4, 1, F::kUndecoded},
      {0, 1, F::kUndecoded},
  };
  for (const Case& c : cases)
    EXPECT_EQ(SampleLayoutOf(c.bits, c.code), c.format) << c.bits << " bits, code " << c.code;
  // Whole bytes: (bits + 7) / 8 from 8 bits up, none below.
  const uint32_t bytes[][2] = {{0, 0},  {7, 0},  {8, 1},  {9, 2},  {16, 2}, {17, 3},
                               {24, 3}, {25, 4}, {32, 4}, {33, 5}, {64, 8}, {65535, 8192}};
  for (const auto& b : bytes) EXPECT_EQ(BytesPerSample(b[0]), b[1]) << b[0] << " bits";
}

TEST(GetAttributes, EndsWithStatus2AndItsMessageWhenATagCannotBeFound) {
  struct FailureCase {
    const char* name;
    std::string file;
    const std::string& message;
  } const cases[] = {
      {"empty file", "", kNoFormat},
      {"only the RIFF header", "RIFF\x04\0\0\0WAVE"s, kNoFormat},
      {"format tag at an odd position", " " + WavFile(kStereo16, kTenFrames), kNoFormat},
      {"format fields cut off by the end of the file",
       RiffWave(FormatChunk(kStereo16)).substr(0, 12 + 23), kNoFormat},
      {"data tag only at an odd position",
       RiffWave(FormatChunk(kStereo16) + "x" + Chunk("data", kTenFrames)), kNoData},
  };
  int n = 0;
  for (const FailureCase& c : cases) {
    Result result;
    ProbePath(WriteTemp("fail" + std::to_string(++n) + ".wav", c.file), &result);
    EXPECT_EQ(result.status, 2) << c.name;
    EXPECT_EQ(result.message + "\n"s, c.message) << c.name;
    EXPECT_EQ(result.error, 0) << c.name;
  }
}

}  // namespace
