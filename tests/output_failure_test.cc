// End-to-end runs whose standard output cannot be written: a full device,
// a pipe nobody reads, and a row too long for any output.

#include <gtest/gtest.h>

#include <signal.h>
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

}  // namespace
