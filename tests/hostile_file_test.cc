// End-to-end runs on files nobody would record on purpose: not a file at
// all, empty or cut off, with absurd header fields, and with their tags at
// the edge of the search. Every expected output is worked out by hand from
// the bytes the test writes, and compared byte for byte.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "examples/wav_writer.h"
#include "tests/test_files.h"

namespace {

// Four mono 16-bit frames at 2.0; with resolution 4 at 1000 Hz they make the
// row "0.002" with two dots and a peak of 20 log10(2 / 128) = -36.1 dB.
const std::string kFourFramesAtTwo = Pcm16Run(512, 4);
const std::string kFourFramesAtTwoOut =
    kHead + "0.002\t..\n" + kAbove48 + "Peak over interval -36.1 dB\n";

TEST(HostileFile, ADirectoryIsAReadError) {
  const std::string path = TempPath("a-directory.wav");
  ASSERT_EQ(mkdir(path.c_str(), 0755), 0);
  ExpectRun({path, "0", "1"}, kHead + "Can't read wave file: Is a directory\n", 2);
  rmdir(path.c_str());
}

TEST(HostileFile, FilesWithoutAWholeFormatChunkAreReported) {
  // The data chunk is complete; the format tag at byte 28 is followed by its
  // size and only two bytes of its body.
  const std::string fmtAtTheEnd =
      RiffWave(Chunk("data", kFourFramesAtTwo) + "fmt " + Le32(16) + Le16(1));
  ASSERT_EQ(fmtAtTheEnd.rfind("fmt"), 28u);
  const std::pair<const char*, std::string> cases[] = {
      {"an empty file", WriteTemp("empty.wav", "")},
      {"a RIFF/WAVE header without chunks", WriteTemp("riff-wave-only.wav", RiffWave(""))},
      {"a format tag in the last ten bytes", WriteTemp("fmt-at-the-end.wav", fmtAtTheEnd)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.first);
    ExpectRun({c.second, "0", "1", "4"}, kHead + kNoFormat, 2);
  }
}

TEST(HostileFile, AFormatChunkEndingTheFileIsFoundOnlyWhenItsBitsPerSampleArePresent) {
  // The format tag at byte 28: its last field, bits per sample, is bytes 50
  // and 51, the end of a 52-byte file.
  const std::string bytes = RiffWave(Chunk("data", kFourFramesAtTwo) + FormatChunk(kMono16At1000));
  ASSERT_EQ(bytes.size(), 52u);
  ASSERT_EQ(bytes.find("fmt"), 28u);
  ExpectRun({WriteTemp("fmt-complete-at-end.wav", bytes), "0", "1", "4"}, kFourFramesAtTwoOut, 0);
  // One byte less and the bits per sample are cut in half.
  ExpectRun({WriteTemp("fmt-cut-at-end.wav", bytes.substr(0, 51)), "0", "1", "4"},
            kHead + kNoFormat, 2);
}

TEST(HostileFile, ADataTagWithoutItsWholeSizeFieldIsAnEmptyDataChunk) {
  // The data tag sits at byte 36; its size field would be bytes 40..43.
  const std::string header = RiffWave(FormatChunk(kMono16At1000));
  const std::string emptyOut = kHead + kAbove48 + "Peak over interval -inf dB\n";
  ExpectRun({WriteTemp("data-tag-last.wav", header + "data"), "0", "1", "4"}, emptyOut, 0);
  ExpectRun({WriteTemp("data-size-cut.wav", header + "data" + std::string("\x08\x00\x00", 3)), "0",
             "1", "4"},
            emptyOut, 0);
}

TEST(HostileFile, HeadersOfFramesWithoutBytesAreRefused) {
  // No channels, or fewer than 8 bits per sample (no whole byte): frames of
  // no bytes, whose layout nothing decodes. They are refused once the span
  // is found good, as larger frames are.
  const std::string loud(8, '\x77');
  const std::pair<const char*, std::string> cases[] = {
      {"no channels", CanonicalHeader({1, 0, 1000, 16}, 8) + Pcm16Run(32767, 4)},
      {"four-bit mono", CanonicalHeader({1, 1, 1000, 4}, 8) + loud},
      {"four-bit stereo", CanonicalHeader({1, 2, 1000, 4}, 8) + loud},
      {"IMA ADPCM, four bits under code 0x11", CanonicalHeader({0x11, 1, 1000, 4}, 8) + loud},
      {"no bits", CanonicalHeader({1, 2, 1000, 0}, 8) + loud},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.first);
    const std::string path = WriteTemp(std::string("no-frame-bytes ") + c.first + ".wav", c.second);
    ExpectRun({path, "0", "1"}, kHead + kBadFrame, 1);
    ExpectRun({path, "0", "1", "1"}, kHead + kBadFrame, 1);
    ExpectRun({path, "1", "0.5", "1"}, kHead + kBadSpan, 1);
  }
}

TEST(HostileFile, SixtyFiveThousandChannelsAreAnUnrecognizedConfiguration) {
  // 65535 channels of 2 bytes: 131070-byte frames.
  const std::string path =
      WriteTemp("65535-channels.wav", CanonicalHeader({1, 65535, 1000, 16}, 8) + Pcm16Run(256, 4));
  ExpectRun({path, "0", "1"}, kHead + kBadFrame, 1);
  ExpectRun({path, "0", "1", "4"}, kHead + kBadFrame, 1);
  // The span is checked before the frame size.
  ExpectRun({path, "1", "1"}, kHead + kBadSpan, 1);
}

TEST(HostileFile, ASampleRateOfZeroMakesEverySpanEmpty) {
  // Every time gives frame 0, so start and stop are always equal.
  const std::string path = WriteTemp("rate0.wav", WavFile({1, 1, 0, 16}, Pcm16Run(256, 8)));
  const std::vector<std::vector<std::string>> cases = {
      {path, "0", "1"}, {path, "0", "1e30", "4"}, {path, "-1", "inf"}, {path, "5", "-5", "1", "2"}};
  for (const auto& args : cases) {
    SCOPED_TRACE(args[1] + " " + args[2]);
    ExpectRun(args, kHead + kBadSpan, 1);
  }
}

TEST(HostileFile, TheLargestSampleRateStampsRowsWithTheirFrameIndexes) {
  // 4294967295 Hz: frames 0..3 at 2.0 and 4..7 at 3.0. Stop time 1 s is
  // frame 4294967295, cut to the 8 frames present.
  const std::string path = WriteTemp(
      "rate-max.wav", WavFile({1, 1, 4294967295u, 16}, Pcm16Run(512, 4) + Pcm16Run(768, 4)));
  // Without a resolution it becomes 4294967295 / 20 = 214748364 frames: no
  // block completes; the peak is 3.0, 20 log10(3 / 128) = -32.6 dB.
  ExpectRun({path, "0", "1"}, kHead + kAbove48 + "Peak over interval -32.6 dB\n", 0);
  // Resolution 4: an interval of about 1e-9 s, so stamps carry the frame
  // index; frames 2 and 6 are 0.000 s to three decimals.
  ExpectRun({path, "0", "1", "4"},
            kHead + "0.000\t2\t..\n0.000\t6\t...\n" + kAbove48 + "Peak over interval -32.6 dB\n",
            0);
  // Stop -1 s is -4294967295, which wraps to frame 1: one frame is scanned.
  ExpectRun({path, "0", "-1", "1"},
            kHead + "0.000\t1\t..\n" + kAbove48 + "Peak over interval -36.1 dB\n", 0);
}

// A filler chunk of `bytes` zero bytes; its body starts 8 bytes after its tag.
std::string Filler(uint32_t bytes) { return Chunk("JUNK", std::string(bytes, '\0')); }

TEST(HostileFile, TagsAreFoundAtEvenBytesUpToFifteenThousand) {
  const std::string format = FormatChunk(kMono16At1000);
  const std::string data = Chunk("data", kFourFramesAtTwo);
  struct Case {
    std::string bytes;
    size_t formatAt, dataAt;
    std::string out;
    int status;
  } const cases[] = {
      // The data chunk first (bytes 12..27), the filler's tag at 28, its
      // body at 36, then the format chunk.
      {RiffWave(data + Filler(14964) + format), 15000, 12, kFourFramesAtTwoOut, 0},
      {RiffWave(data + Filler(14966) + format), 15002, 12, kHead + kNoFormat, 2},
      // The filler's body starts at 20; the format chunk and then the data
      // chunk follow it.
      {RiffWave(Filler(14956) + format + data), 14976, 15000, kFourFramesAtTwoOut, 0},
      {RiffWave(Filler(14958) + format + data), 14978, 15002, kHead + kNoData, 2},
      {RiffWave(Filler(14980) + format + data), 15000, 15024, kHead + kNoData, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << "format tag at " << c.formatAt << ", data tag at " << c.dataAt);
    ASSERT_EQ(c.bytes.find("fmt"), c.formatAt);
    ASSERT_EQ(c.bytes.find("data"), c.dataAt);
    const std::string path =
        WriteTemp("tags-" + std::to_string(c.formatAt) + "-" + std::to_string(c.dataAt), c.bytes);
    ExpectRun({path, "0", "1", "4"}, c.out, c.status);
  }
}

}  // namespace
