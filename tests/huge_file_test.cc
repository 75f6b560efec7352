// End-to-end runs on sparse files with nearly 4 GiB of sample data and more:
// frames past 2 GiB and past 4 GiB of file, data sizes the file does not
// match or does not give, and frame indexes past 2^31. Every expected output
// is worked out by hand from the bytes the test writes, and compared byte for
// byte.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "examples/wav_writer.h"
#include "tests/test_files.h"

namespace {

const WavFormat kStereo16At44100{1, 2, 44100, 16};

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
  // 8-bit mono at 1 MHz: 4294967280 one-byte frames. A byte is its value
  // less 128: 0x7F is -1 and 0x01 is -127. (The hole's zero bytes, full
  // scale, lie outside both spans.)
  SparseFile wav("huge-8bit.wav", CanonicalHeader({1, 1, 1000000, 8}, kNearlyFourGiB),
                 44ull + kNearlyFourGiB);
  wav.Put(44 + 3000000000ull, std::string(4096, '\x7f'));
  wav.Put(44 + 4294000000ull, std::string(1024, '\x01'));
  wav.Finish();
  // 3000 s is frame 3000000000; 3000 + 7/2048 s is frame 3000003417.97:
  // four blocks of 800 (interval 0.0008 s) at level 1, stamped at block ends
  // less 400; the peak 1 is 20 log10(1/128) = -42.1 dB.
  ExpectRun({wav.path(), "3000", "3000.00341796875", "800"},
            kHead +
                "3000.000\t3000000400\t.\n"
                "3000.001\t3000001200\t.\n"
                "3000.002\t3000002000\t.\n"
                "3000.003\t3000002800\t.\n" +
                kAbove48 + "Peak over interval -42.1 dB\n",
            0);
  // 4294 s is frame 4294000000; 2^-10 s later is frame 4294000976.56: one
  // block at level 127, the peak 20 log10(127/128) = -0.1 dB.
  ExpectRun({wav.path(), "4294", "4294.0009765625", "800"},
            kHead + "4294.000\t4294000400\t" + Dots(127) + "\n" + kAbove48 +
                "Peak over interval -0.1 dB\n",
            0);
}

// Five GiB of 16-bit stereo at 44100 Hz, 1342177280 frames (30434.9 s), as
// a RIFF file whose data size 0xFFFFFFFF was never filled in and as an RF64
// file whose ds64 chunk gives it. A burst of 4410 frames at 4.5 GiB of data,
// frame 1207959552 (27391.37 s), is full scale on the left and half of it on
// the right; the last frame is full scale on the right. The RF64 file has 4
// KiB of full scale after its data, which its size leaves out.
struct FiveGibibytes {
  const char* name;
  std::string header;
  uint64_t trailing;  // bytes after the data
};

constexpr uint64_t kFiveGiB = 5ull << 30;
constexpr uint64_t kFiveGiBFrames = kFiveGiB / 4;
constexpr uint64_t kBurst = (9ull << 29) / 4;

std::vector<FiveGibibytes> FiveGibibyteFiles() {
  return {{"RIFF of unknown size", CanonicalHeader(kStereo16At44100, 0xFFFFFFFF), 0},
          {"RF64",
           Rf64Wave("RF64", kFiveGiB, FormatChunk(kStereo16At44100) + "data" + Le32(0xFFFFFFFF)),
           4096}};
}

void WriteFiveGibibytes(SparseFile* wav, const FiveGibibytes& file) {
  const uint64_t data = file.header.size();
  std::string burst;
  for (int i = 0; i < 4410; ++i) burst += Pcm16({-32768, 16384});
  wav->Put(data + 4 * kBurst, burst);
  wav->Put(data + 4 * (kFiveGiBFrames - 1), Pcm16({0, -32768}));
  if (file.trailing != 0) wav->Put(data + kFiveGiB, Pcm16Run(-32768, 2048));
  wav->Finish();
}

TEST(HugeFile, RecordingsPastFourGibibytesAreScannedToTheirLastFrame) {
  // From 27391 s, frame 1207943100, to STOP 99999 s, frame 4409955900, past
  // 2^32 and past the end: 3043 rows of one second and a partial block of
  // 38880 frames, whose last frame is the file's. The burst is 16452 frames
  // into the first block: level 4410 x (128 + 64) / 2 / 44100 = 9.6.
  std::string wanted = kHead;
  for (uint64_t row = 0; row < 3043; ++row) {
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%.2f\t",
                  static_cast<double>(1207943100 + 44100 * row + 22050) / 44100);
    wanted += stamp;
    wanted += Dots(row == 0 ? 9 : 0) + "\n";
  }
  wanted += kAbove48 + "Peaks over interval 0.0 L 0.0 R\n";
  for (const FiveGibibytes& file : FiveGibibyteFiles()) {
    SCOPED_TRACE(file.name);
    SparseFile wav("five-gib.wav", file.header, file.header.size() + kFiveGiB + file.trailing);
    WriteFiveGibibytes(&wav, file);
    const ToolRun run = RunTool({wav.path(), "27391", "99999", "44100"});
    EXPECT_TRUE(run.out == wanted) << FirstDifference(run.out, wanted);
    EXPECT_EQ(run.status, 0);
    // A start past the end prints no rows.
    ExpectRun({wav.path(), "30435", "99999", "44100"},
              kHead + kAbove48 + "Peaks over interval -inf L -inf R\n", 0);
  }
}

// Runs the tool to its end and gives its peak resident memory as the
// process itself reports it while it runs (VmHWM): the figure the kernel
// gives at the exit would count the test process's memory too, which the
// tool's process held for a moment before its exec.
ToolRun RunWatchingMemory(const std::vector<std::string>& args, const RunSetup& setup,
                          long* peakKiB) {
  const pid_t tool = StartTool(args, setup);
  const std::string status = "/proc/" + std::to_string(tool) + "/status";
  *peakKiB = 0;
  for (;;) {
    const std::string text = ReadFile(status);
    const size_t at = text.find("VmHWM:");
    if (at == std::string::npos) break;  // exited, or not yet running the tool
    const long kiB = std::strtol(text.c_str() + at + 6, nullptr, 10);
    if (text.find("Name:\tostrel\n") != std::string::npos && kiB > *peakKiB) *peakKiB = kiB;
    usleep(20000);
  }
  return WaitTool(tool);
}

// Run only on request (ctest -L long): each file goes through a pipe whole,
// 20 GiB of reading in all.
TEST(LongRun, RecordingsPastFourGibibytesReadThroughAPipeAsFromTheFile) {
  for (const FiveGibibytes& file : FiveGibibyteFiles()) {
    SCOPED_TRACE(file.name);
    SparseFile wav("five-gib-stream.wav", file.header,
                   file.header.size() + kFiveGiB + file.trailing);
    WriteFiveGibibytes(&wav, file);
    long fileKiB = 0;
    long pipeKiB = 0;
    const ToolRun fromFile = RunWatchingMemory({wav.path(), "0", "99999"}, {}, &fileKiB);
    RunSetup setup;
    setup.stdinPath = wav.path();
    const ToolRun fromPipe = RunWatchingMemory({"-", "0", "99999"}, setup, &pipeKiB);
    EXPECT_EQ(fromFile.status, 0);
    // The rows of 30434 s and the summary, the same both ways.
    EXPECT_EQ(std::count(fromFile.out.begin(), fromFile.out.end(), '\n'), 1 + 608697 + 2);
    EXPECT_TRUE(fromPipe.out == fromFile.out) << FirstDifference(fromPipe.out, fromFile.out);
    EXPECT_EQ(fromPipe.status, fromFile.status);
    // Memory stays what it is for a short file, whatever the length.
    EXPECT_GT(fileKiB, 0);
    EXPECT_LE(fileKiB, 4096);
    EXPECT_GT(pipeKiB, 0);
    EXPECT_LE(pipeKiB, 4096);
  }
}

}  // namespace
