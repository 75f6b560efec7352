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
  bool operator==(const Attributes& o) const {
    return sampleRate == o.sampleRate && bytesPerSample == o.bytesPerSample &&
           channelCount == o.channelCount && dataOffset == o.dataOffset &&
           frameCount == o.frameCount;
  }
};

std::ostream& operator<<(std::ostream& out, const Attributes& a) {
  return out << "{rate " << a.sampleRate << ", bytes " << a.bytesPerSample << ", channels "
             << a.channelCount << ", offset " << a.dataOffset << ", frames " << a.frameCount << "}";
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
          header.frameCount};
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
  const WavFormat mono24{1, 1, 48000, 24};
  const WavFormat float2{3, 2, 96000, 32};
  const HeaderCase cases[] = {
      {"canonical 44-byte header", WavFile(kStereo16, kTenFrames), {44100, 2, 2, 44, 10}},
      {"18-byte format chunk",
       RiffWave(FormatChunk(mono24, 18) + Chunk("data", std::string(30, '\0'))),
       {48000, 3, 1, 46, 10}},
      {"extensible 40-byte format chunk",
       RiffWave(FormatChunk(float2, 40) + Chunk("data", std::string(80, '\0'))),
       {96000, 4, 2, 68, 10}},
      {"LIST chunk between format and data",
       RiffWave(FormatChunk(kStereo16) + Chunk("LIST", "INFOISFT\x06\0\0\0ostrel"s) +
                Chunk("data", kTenFrames)),
       {44100, 2, 2, 44 + 26, 10}},
      {"data letters inside an earlier chunk win",
       RiffWave(FormatChunk(kStereo16) + Chunk("LIST", "xxdata\x04\0\0\0zzzz"s) +
                Chunk("data", kTenFrames)),
       {44100, 2, 2, 54, 1}},
      {"data size larger than the file keeps the whole frames present",
       RiffWave(FormatChunk(kStereo16) + "data" + Le32(4000) + kTenFrames + "\x01\x02"),
       {44100, 2, 2, 44, 10}},
      {"a trailing partial frame is dropped",
       RiffWave(FormatChunk(kStereo16) + "data" + Le32(43) + kTenFrames + "abc"),
       {44100, 2, 2, 44, 10}},
      {"data size cut off by the end of the file is an empty chunk",
       RiffWave(FormatChunk(kStereo16) + "data\x10\x00"s),
       {44100, 2, 2, 44, 0}},
      {"bits below 8 give no frames",
       RiffWave(FormatChunk(WavFormat{1, 2, 8000, 4}) + Chunk("data", kTenFrames)),
       {8000, 0, 2, 44, 0}},
      {"no channels give no frames",
       RiffWave(FormatChunk(WavFormat{1, 0, 8000, 16}) + Chunk("data", kTenFrames)),
       {8000, 2, 0, 44, 0}},
      {"12-bit samples count as one byte",
       WavFile(WavFormat{1, 1, 8000, 12}, kTenFrames),
       {8000, 1, 1, 44, 40}},
      {"20-bit samples count as two bytes",
       WavFile(WavFormat{1, 1, 8000, 20}, kTenFrames),
       {8000, 2, 1, 44, 20}},
      // 0xFFFFFFFF is a size the writer did not know: the data runs to the
      // end of the file.
      {"unknown data size",
       RiffWave(FormatChunk(kStereo16) + "data" + Le32(0xFFFFFFFF) + kTenFrames + "abc"),
       {44100, 2, 2, 44, 10}},
      // RF64: the ds64 chunk (bytes 12..47) gives the 64-bit data size.
      {"RF64 data size from ds64",
       Rf64Wave("RF64", 20, kRf64Chunks) + kTenFrames,
       {44100, 2, 2, 80, 5}},
      {"BW64 data size from ds64",
       Rf64Wave("BW64", 20, kRf64Chunks) + kTenFrames,
       {44100, 2, 2, 80, 5}},
      {"ds64 data size larger than the file",
       Rf64Wave("RF64", 1ull << 40, kRf64Chunks) + kTenFrames,
       {44100, 2, 2, 80, 10}},
      {"ds64 data size not a whole number of frames",
       Rf64Wave("RF64", 23, kRf64Chunks) + kTenFrames,
       {44100, 2, 2, 80, 5}},
      {"ds64 data size 0: a recording never closed runs to the end",
       Rf64Wave("RF64", 0, kRf64Chunks) + kTenFrames,
       {44100, 2, 2, 80, 10}},
      {"the data chunk's own size, when it has one, over ds64's",
       Rf64Wave("RF64", 20, FormatChunk(kStereo16) + "data" + Le32(8)) + kTenFrames,
       {44100, 2, 2, 80, 2}},
      {"ds64 in a RIFF file means nothing",
       "RIFF" + Rf64Wave("RF64", 20, kRf64Chunks).substr(4) + kTenFrames,
       {44100, 2, 2, 80, 10}},
      {"ds64 of fewer than 28 bytes means nothing",
       "RF64" + Le32(0xFFFFFFFF) + "WAVE" + Chunk("ds64", Le64(0) + Le64(20) + Le32(0)) +
           kRf64Chunks + kTenFrames,
       {44100, 2, 2, 72, 10}},
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

// The formats that no run test reaches: 8 bits under any code, 17 to 23
// bits as 16-bit, and 33 bits as float; the rest are held end to end.
TEST(SampleLayout, FollowsTheBitsAndTheFormatCode) {
  using F = SampleLayout;
  struct Case {
    uint32_t bits, code;
    SampleLayout format;
  } const cases[] = {
      {8, 3, F::kUnsigned8}, {8, 0xFFFE, F::kUnsigned8}, {20, 1, F::kSigned16},
      {33, 1, F::kFloat32},  {4, 1, F::kUndecoded},
  };
  for (const Case& c : cases)
    EXPECT_EQ(SampleLayoutOf(c.bits, c.code), c.format) << c.bits << " bits, code " << c.code;
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
