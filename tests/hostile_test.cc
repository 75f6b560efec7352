// End-to-end runs on files nobody would record on purpose: empty, cut off,
// with absurd header fields, with tags at the edge of the search, sparse
// files of nearly 4 GiB of data, and runs whose standard output cannot be
// written. Every expected output is worked out by hand from the bytes the
// test writes, and compared byte for byte.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "examples/wav_writer.h"
#include "tests/test_files.h"

namespace {

const std::string kWriteFailure = "ostrel: cannot write standard output";

const WavFormat kMono16At1000{1, 1, 1000, 16};
const WavFormat kStereo16At44100{1, 2, 44100, 16};

// Four mono 16-bit frames at 2.0; with resolution 4 at 1000 Hz they make the
// row "0.002" with two dots and a peak of 20 log10(2 / 128) = -36.1 dB.
const std::string kFourFramesAtTwo = Pcm16Run(512, 4);
const std::string kFourFramesAtTwoOut =
    kHead + "0.002\t..\n" + kAbove48 + "Peak over interval -36.1 dB\n";

// ---------------------------------------------------------------------------
// Files that are not, or not wholly, WAVE files

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

TEST(HostileFile, AHeaderClaimingNoChannelsHoldsNoFrames) {
  // Frames of no bytes: nothing is scanned, and with no channel there is no
  // peak line.
  const std::string path =
      WriteTemp("no-channels.wav", CanonicalHeader({1, 0, 1000, 16}, 8) + Pcm16Run(32767, 4));
  ExpectRun({path, "0", "1"}, kHead + kAbove48, 0);
  ExpectRun({path, "0", "1", "1"}, kHead + kAbove48, 0);
}

TEST(HostileFile, FourBitSamplesHoldNoFrames) {
  // Four bits make no whole byte per sample: frames of no bytes, no rows,
  // peaks that stay 0.
  const std::string loud(8, '\x77');
  ExpectRun(
      {WriteTemp("four-bit-mono.wav", CanonicalHeader({1, 1, 1000, 4}, 8) + loud), "0", "1", "1"},
      kHead + kAbove48 + "Peak over interval -inf dB\n", 0);
  ExpectRun(
      {WriteTemp("four-bit-stereo.wav", CanonicalHeader({1, 2, 1000, 4}, 8) + loud), "0", "1", "1"},
      kHead + kAbove48 + "Peaks over interval -inf L -inf R\n", 0);
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

// The filler chunk's body starts 8 bytes after its tag.
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

// ---------------------------------------------------------------------------
// Standard output that cannot be written

// The failure report: one line on standard error.
void ExpectOneWriteFailureLine(const std::string& err) {
  EXPECT_EQ(err.compare(0, kWriteFailure.size(), kWriteFailure), 0) << err;
  ASSERT_FALSE(err.empty());
  EXPECT_EQ(err.back(), '\n') << err;
  EXPECT_EQ(err.find('\n'), err.size() - 1) << err;
}

TEST(OutputFailure, AFullDeviceEndsTheRunWithStatusTwoWithoutReadingOn) {
  // 300000 frames at resolution 1: the first chunk's rows alone overflow
  // standard output's buffer. Reads fail after two chunks, which the run
  // must never reach once its output has failed.
  const std::string path =
      WriteTemp("full-device.wav", WavFile(kMono16At1000, Pcm16Run(256, 300000)));
  RunSetup setup;
  setup.stdoutPath = "/dev/full";
  setup.failReadsAfter = "300000";
  const ToolRun run = RunTool({path, "0", "1000", "1"}, setup);
  EXPECT_EQ(run.status, 2);
  ExpectOneWriteFailureLine(run.err);
  // The same run with output that can be written succeeds quietly.
  const ToolRun control = RunTool({path, "0", "1", "1"});
  EXPECT_EQ(control.status, 0);
  EXPECT_EQ(control.err, "");
}

TEST(OutputFailure, AFullDeviceTurnsEveryErrorRunIntoStatusTwoWithOneLine) {
  const std::string path =
      WriteTemp("full-device-errors.wav", WavFile(kMono16At1000, Pcm16Run(256, 4)));
  const std::vector<std::vector<std::string>> cases = {
      {TempPath("no-such-file.wav"), "0", "1"},  // the probe's message, status 2
      {path, "1", "1"},                          // the span message, status 1
      {path},                                    // the usage, status 1
  };
  for (const auto& args : cases) {
    SCOPED_TRACE(args.size() == 1 ? std::string("usage") : args[0] + " " + args[1]);
    const ToolRun run = RunTool(args, "/dev/full");
    EXPECT_EQ(run.status, 2);
    ExpectOneWriteFailureLine(run.err);
  }
}

TEST(OutputFailure, AClosedPipeEndsTheRunBySigpipeOrWithStatusTwoWhenItIsIgnored) {
  const std::string path =
      WriteTemp("closed-pipe.wav", WavFile(kMono16At1000, Pcm16Run(256, 1000)));
  const std::vector<std::string> args = {path, "0", "1", "1"};
  // Standard output into a pipe that nobody reads: its reading end is closed
  // before the tool starts.
  RunSetup setup;
  setup.stdoutClosedPipe = true;
  // As with other tools (| head -1): nothing is caught or reported.
  const ToolRun quiet = RunTool(args, setup);
  EXPECT_EQ(quiet.status, 128 + SIGPIPE);
  EXPECT_EQ(quiet.err, "");
  // A parent that ignores SIGPIPE leaves the failed writes to the run.
  setup.ignoreSigpipe = true;
  const ToolRun ignored = RunTool(args, setup);
  EXPECT_EQ(ignored.status, 2);
  ExpectOneWriteFailureLine(ignored.err);
}

TEST(OutputFailure, AFloatRowFarBeyondFullScaleIsCutAtTheLargestDotCount) {
  // An infinity's bit pattern reads as 2^135 on the level scale: its row is
  // cut at 2^31 - 1 dots, so the run ends, with 2 GiB of dots, and prints
  // its summary after them.
  std::string sample;
  Append32(&sample, 0x7F800000);
  const std::string path = WriteTemp("beyond-scale.wav", WavFile({3, 1, 1000, 32}, sample));
  int pipeEnds[2];
  ASSERT_EQ(pipe(pipeEnds), 0);
  RunSetup setup;
  setup.stdoutFd = pipeEnds[1];
  const pid_t tool = StartTool({path, "0", "1", "1"}, setup);
  close(pipeEnds[1]);
  static char chunk[1 << 20];
  uint64_t bytes = 0;
  for (ssize_t n; (n = read(pipeEnds[0], chunk, sizeof chunk)) > 0;)
    bytes += static_cast<uint64_t>(n);
  close(pipeEnds[0]);
  EXPECT_EQ(WaitTool(tool).status, 0);
  // Banner, "0.001\t1\t", the dots, the newline, the threshold line and
  // "Peak over interval 770.6 dB\n" (20 log10(2^135 / 128)).
  EXPECT_EQ(bytes, 12u + 8u + 2147483647u + 1u + 28u + 28u);
}

// ---------------------------------------------------------------------------
// Sparse files with nearly 4 GiB of sample data

// A file made of a header and a hole up to `length`, with bytes written at
// chosen places; the hole takes no disk. Removed when the test ends.
class SparseFile {
 public:
  SparseFile(const std::string& name, const std::string& header, uint64_t length)
      : path_(TempPath(name)) {
    fd_ = open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    EXPECT_GE(fd_, 0);
    Put(0, header);
    EXPECT_EQ(ftruncate(fd_, static_cast<off_t>(length)), 0);
  }
  ~SparseFile() {
    if (fd_ >= 0) close(fd_);
    unlink(path_.c_str());
  }
  SparseFile(const SparseFile&) = delete;
  SparseFile& operator=(const SparseFile&) = delete;

  void Put(uint64_t offset, const std::string& bytes) {
    EXPECT_EQ(pwrite(fd_, bytes.data(), bytes.size(), static_cast<off_t>(offset)),
              static_cast<ssize_t>(bytes.size()));
  }
  // Writes one 16-bit stereo frame of a file whose data starts at byte 44.
  void PutStereoFrame(uint64_t frame, int32_t left, int32_t right) {
    Put(44 + 4 * frame, Pcm16({left, right}));
  }
  // Makes the file complete on disk before the tool reads it.
  void Finish() {
    EXPECT_EQ(close(fd_), 0);
    fd_ = -1;
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  int fd_ = -1;
};

constexpr uint32_t kNearlyFourGiB = 0xFFFFFFF0u;

TEST(HugeFile, SamplesPastTwoAndPastThreeAndAHalfGibibytesAreFoundDecodedAndStamped) {
  // 16-bit stereo at 44100 Hz: 4294967280 bytes of data, 1073741820 frames,
  // the file 4294967324 bytes long.
  SparseFile wav("huge-stereo.wav", CanonicalHeader(kStereo16At44100, kNearlyFourGiB),
                 44ull + kNearlyFourGiB);

  // 13605.5 s is frame 600002550, byte 2400010244. The stop time, 2^-10 s
  // later (the next float), is frame 600002593.07: 43 frames, five blocks of
  // 8 and three frames left over.
  const uint64_t a = 600002550;
  wav.PutStereoFrame(a - 1, -32768, -32768);                           // before the span
  for (int i = 0; i < 8; ++i) wav.PutStereoFrame(a + i, 1280, -2560);  // 5.0 and -10.0
  wav.PutStereoFrame(a + 20, 4096, 4096);      // 16.0 twice in the third block
  wav.PutStereoFrame(a + 41, -32768, 0);       // full scale in the partial block
  wav.PutStereoFrame(a + 43, -32768, -32768);  // the stop frame, outside

  // 21500.5 s is frame 948172050, byte 3792688244; 2^-9 s later is frame
  // 948172136.13: two blocks of 43.
  const uint64_t b = 948172050;
  wav.PutStereoFrame(b + 10, 11008, -11008);  // 43.0 and -43.0
  wav.PutStereoFrame(b + 50, 32767, -32768);  // the extremes, byte 3792688444

  // 24347.88671875 s is frame 1073741804; the last 16 frames of the data.
  // Frame 1073741813 starts at byte 2^32.
  const uint64_t c = 1073741804;
  wav.PutStereoFrame(c - 1, -32768, -32768);  // before the span
  wav.PutStereoFrame(c + 7, 2048, 0);         // 8.0, second block
  wav.PutStereoFrame(c + 9, -8192, -8192);    // -32.0 twice, third block, byte 2^32
  wav.PutStereoFrame(c + 15, 32767, -12800);  // 127.996 and -50.0, the last frame
  wav.Finish();

  // Interval 8 / 44100 s: stamps with frame indexes, each block's end less 4.
  // Levels: 8 x 15 / 2 / 8 = 7.5; 32 / 2 / 8 = 2. Peaks 128 (0.0 dB) left,
  // 16 (20 log10(1/8) = -18.1 dB) right.
  ExpectRun({wav.path(), "13605.5", "13605.5009765625", "8"},
            kHead +
                "13605.500\t600002554\t.......\n"
                "13605.500\t600002562\t\n"
                "13605.500\t600002570\t..\n"
                "13605.501\t600002578\t\n"
                "13605.501\t600002586\t\n" +
                kAbove48 + "Peaks over interval 0.0 L -18.1 R\n",
            0);

  // Interval 43 / 44100 s, stamps at block ends less 21. Levels: 86 / 2 /
  // 43 = 1; 255.996 / 2 / 43 = 2.98.
  ExpectRun({wav.path(), "21500.5", "21500.501953125", "43"},
            kHead +
                "21500.500\t948172072\t.\n"
                "21500.501\t948172115\t..\n" +
                kAbove48 + "Peaks over interval -0.0 L 0.0 R\n",
            0);

  // Stop 30000 s lies past the data: the range ends at the frame count.
  // Resolution 4, stamps at block ends less 2. Levels: 8 / 2 / 4 = 1; 64 /
  // 2 / 4 = 8; 177.996 / 2 / 4 = 22.25. Peaks 127.996 (-0.0 dB) left, 50
  // (20 log10(50/128) = -8.2 dB) right.
  ExpectRun({wav.path(), "24347.88671875", "30000", "4"},
            kHead +
                "24347.887\t1073741806\t\n"
                "24347.887\t1073741810\t.\n"
                "24347.887\t1073741814\t........\n"
                "24347.887\t1073741818\t" +
                Dots(22) + "\n" + kAbove48 + "Peaks over interval -0.0 L -8.2 R\n",
            0);
}

TEST(HugeFile, AReadThatStartsPastFourGibibytesFindsItsFrames) {
  // A filler chunk puts the data tag at byte 15000 and the data at 15008;
  // 4294967280 bytes of data make a file 4294982288 bytes long.
  const std::string header =
      RiffWave(FormatChunk(kStereo16At44100) + Filler(14956) + "data" + Le32(kNearlyFourGiB));
  ASSERT_EQ(header.find("data"), 15000u);
  ASSERT_EQ(header.size(), 15008u);
  SparseFile wav("huge-far-data.wav", header, 15008ull + kNearlyFourGiB);
  // 24347.8125 s is frame 1073738531, whose bytes start at 4294969132, past
  // 2^32; the next float, 24347.814453125 s, is frame 1073738617.38: two
  // blocks of 43.
  const uint64_t start = 1073738531;
  const auto putFrame = [&wav](uint64_t frame, int32_t left, int32_t right) {
    wav.Put(15008 + 4 * frame, Pcm16({left, right}));
  };
  putFrame(start + 5, 11008, 11008);    // 43.0 twice
  putFrame(start + 60, -32768, 21760);  // full scale and 85.0
  wav.Finish();
  // Stamps at block ends less 21. Levels 86 / 2 / 43 = 1 and 213 / 2 / 43 =
  // 2.48; peaks 128 (0.0 dB) left and 85 (20 log10(85/128) = -3.6 dB) right.
  ExpectRun({wav.path(), "24347.8125", "24347.814453125", "43"},
            kHead +
                "24347.813\t1073738553\t.\n"
                "24347.814\t1073738596\t..\n" +
                kAbove48 + "Peaks over interval 0.0 L -3.6 R\n",
            0);
}

TEST(HugeFile, AFileCutShortOfItsDataSizeEndsAtItsLastWholeFrame) {
  // The data size claims 4294967280 bytes but the file stops 1001 bytes
  // short: 4294966279 bytes follow the header, 1073741569 whole frames and 3
  // bytes of one more.
  SparseFile wav("huge-cut.wav", CanonicalHeader(kStereo16At44100, kNearlyFourGiB),
                 44ull + kNearlyFourGiB - 1001);
  const uint64_t start = 1073741545;                                // 24347.880859375 s
  wav.PutStereoFrame(start + 2, 1280, 1280);                        // 5.0 twice, first block
  wav.PutStereoFrame(1073741568, 2048, -2048);                      // the last whole frame
  wav.Put(44 + 4ull * 1073741569, std::string("\x00\x80\x80", 3));  // partial: never decoded
  wav.Finish();
  // 24 whole frames from the start; resolution 5 gives four rows, and the
  // last four frames are a partial block (with the partial frame it would be
  // a fifth row). Level 10 / 2 / 5 = 1; peaks 8.0 (20 log10(1/16) = -24.1).
  ExpectRun({wav.path(), "24347.880859375", "30000", "5"},
            kHead +
                "24347.881\t1073741548\t.\n"
                "24347.881\t1073741553\t\n"
                "24347.881\t1073741558\t\n"
                "24347.881\t1073741563\t\n" +
                kAbove48 + "Peaks over interval -24.1 L -24.1 R\n",
            0);
}

TEST(HugeFile, FramesPastTheDataSizeOfALongerFileAreNotScanned) {
  // The data size is 0xC0000002 bytes: 805306368 whole frames and half of
  // one more; the file goes on 4096 bytes (1024 frames) past it, all loud.
  const uint32_t dataSize = 0xC0000002u;
  SparseFile wav("huge-long.wav", CanonicalHeader(kStereo16At44100, dataSize),
                 44ull + dataSize + 4096);
  const uint64_t start = 805306310;  // 18260.9140625 s
  const uint64_t count = 805306368;
  wav.PutStereoFrame(start - 1, -32768, -32768);  // before the span
  wav.PutStereoFrame(start + 10, 7424, 7424);     // 29.0 twice, first block
  wav.PutStereoFrame(count - 1, 14848, 14848);    // 58.0 twice, the last frame
  wav.Put(44 + 4 * count, Pcm16Run(-32768, 2 * 1024));
  wav.Finish();
  // 58 frames from the start to the end of the data: two blocks of 29
  // (interval 29 / 44100 s), stamped at block ends less 14. Levels 58 / 2 /
  // 29 = 1 and 116 / 2 / 29 = 2; peaks 58.0 (20 log10(58/128) = -6.9 dB).
  ExpectRun({wav.path(), "18260.9140625", "30000", "29"},
            kHead +
                "18260.914\t805306325\t.\n"
                "18260.915\t805306354\t..\n" +
                kAbove48 + "Peaks over interval -6.9 L -6.9 R\n",
            0);
}

TEST(HugeFile, RowsOfAnEightBitFileBeyondTwoToTheThirtyFirstFramesCarryTheirTrueIndex) {
  // 8-bit mono at 1 MHz: 4294967280 one-byte frames. The bytes are not
  // decoded, so rows have no dots and the peak stays 0 (-inf dB).
  SparseFile wav("huge-8bit.wav", CanonicalHeader({1, 1, 1000000, 8}, kNearlyFourGiB),
                 44ull + kNearlyFourGiB);
  wav.Put(44 + 3000000000ull, std::string(4096, '\x7f'));
  wav.Put(44 + 4294000000ull, std::string(1024, '\x01'));
  wav.Finish();
  // 3000 s is frame 3000000000; 3000 + 7/2048 s is frame 3000003417.97:
  // four blocks of 800 (interval 0.0008 s), stamped at block ends less 400.
  ExpectRun({wav.path(), "3000", "3000.00341796875", "800"},
            kHead +
                "3000.000\t3000000400\t\n"
                "3000.001\t3000001200\t\n"
                "3000.002\t3000002000\t\n"
                "3000.003\t3000002800\t\n" +
                kAbove48 + "Peak over interval -inf dB\n",
            0);
  // 4294 s is frame 4294000000; 2^-10 s later is frame 4294000976.56: one
  // block.
  ExpectRun({wav.path(), "4294", "4294.0009765625", "800"},
            kHead + "4294.000\t4294000400\t\n" + kAbove48 + "Peak over interval -inf dB\n", 0);
}

}  // namespace
