// End-to-end runs whose standard output cannot be written: a full device,
// a pipe nobody reads, also while a stream is still short of its START, and
// a row too long for any output.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "examples/wav_writer.h"
#include "tests/test_files.h"

namespace {

const std::string kWriteFailure = "ostrel: cannot write standard output";

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

TEST(OutputFailure, OneFailedWriteEndsTheRunEvenInTheMiddleOfALongRow) {
  // Samples of 3e38 read as levels far past 2^31 (float patterns): rows of
  // 2^31 - 1 dots, which go out in many pieces. The first piece that cannot
  // be written is the last one tried.
  std::string samples;
  for (int i = 0; i < 3; ++i) AppendFloat(&samples, 3e38f);
  const std::string path = WriteTemp("huge-rows.wav", WavFile({3, 1, 1000, 32}, samples));
  RunSetup setup;
  setup.noteFailedWrites = true;
  for (bool fullDevice : {false, true}) {
    SCOPED_TRACE(fullDevice ? "a full device" : "a closed pipe, SIGPIPE ignored");
    setup.stdoutClosedPipe = !fullDevice;
    setup.ignoreSigpipe = !fullDevice;
    setup.stdoutPath = fullDevice ? "/dev/full" : "";
    const ToolRun run = RunTool({path, "0", "1", "1"}, setup);
    EXPECT_EQ(run.status, 2);
    const std::string note = "write failed\n";
    ASSERT_EQ(run.err.compare(0, note.size(), note), 0) << run.err;
    ExpectOneWriteFailureLine(run.err.substr(note.size()));
  }
}

TEST(OutputFailure, ANonBlockingOutputIsWaitedOnNotGivenUp) {
  // A parent's non-blocking pipe, read only after the tool has filled it:
  // every row arrives whole, as through a blocking pipe.
  const std::string path =
      WriteTemp("non-blocking-out.wav", WavFile(kMono16At1000, Pcm16Run(512, 100000)));
  const std::vector<std::string> args = {path, "0", "-1", "1"};
  int pipeEnds[2];
  ASSERT_EQ(pipe(pipeEnds), 0);
  ASSERT_EQ(fcntl(pipeEnds[1], F_SETFL, O_NONBLOCK), 0);
  RunSetup setup;
  setup.stdoutFd = pipeEnds[1];
  const pid_t tool = StartTool(args, setup);
  close(pipeEnds[1]);
  usleep(200000);  // lets the pipe fill, so that a write meets EAGAIN
  std::string out;
  char chunk[1 << 16];
  for (ssize_t n; (n = read(pipeEnds[0], chunk, sizeof chunk)) > 0;)
    out.append(chunk, static_cast<size_t>(n));
  close(pipeEnds[0]);
  const ToolRun run = WaitTool(tool);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  const ToolRun blocking = RunTool(args);
  EXPECT_TRUE(out == blocking.out) << FirstDifference(out, blocking.out);
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

// A recorder that never stops, into `input`'s write end: a header whose data
// size is 0xFFFFFFFF, then silence for as long as anyone reads. The
// process's exit status is the mebibytes it got written, up to 255.
pid_t StartEndlessStream(const int input[2], const WavFormat& format) {
  std::fflush(nullptr);
  const pid_t feeder = fork();
  if (feeder == 0) {
    // Only the stream's write end stays open: a copy of the tool's output
    // pipe would keep a reader on it.
    for (int fd = 3; fd < 1024; ++fd)
      if (fd != input[1]) close(fd);
    signal(SIGPIPE, SIG_IGN);
    const std::string header = CanonicalHeader(format, 0xFFFFFFFF);
    static const char silence[1 << 16] = {};
    uint64_t written = 0;
    if (write(input[1], header.data(), header.size()) < 0) _exit(0);
    for (ssize_t n; (n = write(input[1], silence, sizeof silence)) > 0;)
      written += static_cast<uint64_t>(n);
    _exit(written >> 20 < 255 ? static_cast<int>(written >> 20) : 255);
  }
  close(input[1]);
  return feeder;
}

TEST(OutputFailure, AStreamRunEndsAtOnceWhileItDropsTheFramesBeforeStart) {
  // START lies 20000 s, 3.5 GB, into a CD-quality stream: a run that went on
  // reading would drop all of it before its first row could fail.
  struct Case {
    const char* name;
    bool fullDevice;  // else a pipe or a socket whose reader leaves after the banner
    bool socket;
    bool ignoreSigpipe;  // in the tool
    int status;
  } const cases[] = {
      {"a full device", true, false, false, 2},
      {"a reader gone, SIGPIPE at its default", false, false, false, 128 + SIGPIPE},
      {"a reader gone, SIGPIPE ignored", false, false, true, 2},
      {"a socket's peer gone, SIGPIPE at its default", false, true, false, 128 + SIGPIPE},
      {"a socket's peer gone, SIGPIPE ignored", false, true, true, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    int input[2];
    int output[2];
    ASSERT_EQ(pipe(input), 0);
    ASSERT_EQ(c.socket ? socketpair(AF_UNIX, SOCK_STREAM, 0, output) : pipe(output), 0);
    RunSetup setup;
    setup.stdinFd = input[0];
    setup.ignoreSigpipe = c.ignoreSigpipe;
    if (c.fullDevice)
      setup.stdoutPath = "/dev/full";
    else
      setup.stdoutFd = output[1];
    const pid_t tool = StartTool({"-", "20000", "20001"}, setup);
    close(input[0]);
    close(output[1]);
    const pid_t feeder = StartEndlessStream(input, {1, 2, 44100, 16});
    if (!c.fullDevice) {
      std::string banner;
      char byte;
      while (banner.size() < kHead.size() && read(output[0], &byte, 1) == 1) banner += byte;
      EXPECT_EQ(banner, kHead);
    }
    close(output[0]);
    const ToolRun run = WaitTool(tool);
    EXPECT_EQ(run.status, c.status);
    if (c.status == 2)
      ExpectOneWriteFailureLine(run.err);
    else
      EXPECT_EQ(run.err, "");
    int fed = 0;
    ASSERT_EQ(waitpid(feeder, &fed, 0), feeder);
    EXPECT_LT(WEXITSTATUS(fed), 200) << "MiB read before the run ended";
  }
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

}  // namespace
