// Input that is not a plain file read to its end: a live stream whose rows
// must come out as its blocks complete, a stream left non-blocking, a file
// that says it is empty, standard input read part way, and reads that fail.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "examples/wav_writer.h"
#include "tests/test_files.h"

namespace {

// Reads from fd until the text read is `lines` whole lines, or fails the
// test after 10 s without more: a row held back shows as a timeout, not as
// chance. The banner goes out before the first read of the stream, so it may
// come alone or with the first row.
std::string ReadLines(int fd, long lines = 1) {
  std::string text;
  while (std::count(text.begin(), text.end(), '\n') < lines || text.back() != '\n') {
    pollfd ready{fd, POLLIN, 0};
    if (poll(&ready, 1, 10000) != 1) {
      ADD_FAILURE() << "no complete line within 10 s; got \"" << text << "\"";
      return text;
    }
    char chunk[256];
    const ssize_t n = read(fd, chunk, sizeof chunk);
    if (n <= 0) return text;
    text.append(chunk, static_cast<size_t>(n));
  }
  return text;
}

void WriteAll(int fd, const std::string& bytes) {
  ASSERT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
}

TEST(LiveStream, EachRowComesOutOnceItsBlockIsComplete) {
  // A recorder's stream: the data size it cannot know yet is 0xFFFFFFFF. The
  // test hands over one block of 100 frames at a time, then waits for its row
  // before it writes the next one; the last block arrives in two pieces, the
  // first one cutting a frame in half.
  int input[2];
  int output[2];
  ASSERT_EQ(pipe(input), 0);
  ASSERT_EQ(pipe(output), 0);
  RunSetup setup;
  setup.stdinFd = input[0];
  setup.stdoutFd = output[1];
  const pid_t tool = StartTool({"-", "0", "10", "100"}, setup);
  close(input[0]);
  close(output[1]);
  signal(SIGPIPE, SIG_IGN);

  WriteAll(input[1], CanonicalHeader(kMono16At1000, 0xFFFFFFFF) + Pcm16Run(256, 100));
  EXPECT_EQ(ReadLines(output[0], 2), kHead + "0.05\t.\n");
  WriteAll(input[1], Pcm16Run(512, 100));
  EXPECT_EQ(ReadLines(output[0]), "0.15\t..\n");
  const std::string last = Pcm16Run(768, 100);
  WriteAll(input[1], last.substr(0, 101));
  WriteAll(input[1], last.substr(101));
  EXPECT_EQ(ReadLines(output[0]), "0.25\t...\n");
  close(input[1]);  // the recording stops
  std::string rest;
  char chunk[256];
  for (ssize_t n; (n = read(output[0], chunk, sizeof chunk)) > 0;)
    rest.append(chunk, static_cast<size_t>(n));
  close(output[0]);
  EXPECT_EQ(rest, kAbove48 + "Peak over interval -32.6 dB\n");
  EXPECT_EQ(WaitTool(tool).status, 0);
}

// Nine mono frames at 1000 Hz, the last one 1: resolution 4 gives the rows
// 0.002 with one dot and 0.006 with two, and the peak 2.0. The file's last
// byte is 0.
const std::string kNineFrames =
    WavFile(kMono16At1000, Pcm16({256, 256, 256, 256, 512, -512, 512, -512, 1}));
const std::string kNineFramesOut =
    kHead + "0.002\t.\n0.006\t..\n" + kAbove48 + "Peak over interval -36.1 dB\n";

TEST(LiveStream, ANonBlockingStandardInputIsWaitedFor) {
  // A parent that left its standard input non-blocking: reads say EAGAIN
  // while the writer pauses, in the header and between frames.
  int input[2];
  ASSERT_EQ(pipe(input), 0);
  ASSERT_EQ(fcntl(input[0], F_SETFL, O_NONBLOCK), 0);
  RunSetup setup;
  setup.stdinFd = input[0];
  const pid_t tool = StartTool({"-", "0", "1", "4"}, setup);
  close(input[0]);
  for (const std::string& piece :
       {kNineFrames.substr(0, 30), kNineFrames.substr(30, 20), kNineFrames.substr(50)}) {
    usleep(100000);
    WriteAll(input[1], piece);
  }
  close(input[1]);
  const ToolRun run = WaitTool(tool);
  EXPECT_EQ(run.out, kNineFramesOut);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
}

TEST(ZeroSizeFile, IsReadToItsEndAsAStreamIs) {
  // /proc/PID/environ says it holds 0 bytes, yet a read gives the strings of
  // the process's environment, each ended by a 0 byte. A sleeping process
  // whose environment is the file cut at its 0 bytes shows the file.
  std::vector<std::string> strings = {""};
  for (size_t i = 0; i + 1 < kNineFrames.size(); ++i) {
    if (kNineFrames[i] == '\0')
      strings.emplace_back();
    else
      strings.back().push_back(kNineFrames[i]);
  }
  ASSERT_EQ(kNineFrames.back(), '\0');
  std::vector<char*> environment;
  environment.reserve(strings.size() + 1);
  for (std::string& text : strings) environment.push_back(text.data());
  environment.push_back(nullptr);
  std::fflush(nullptr);
  const pid_t sleeper = fork();
  ASSERT_GE(sleeper, 0);
  if (sleeper == 0) {
    char sleep[] = "sleep";
    char seconds[] = "60";
    char* argv[] = {sleep, seconds, nullptr};
    execve("/bin/sleep", argv, environment.data());
    _exit(127);
  }
  const std::string path = "/proc/" + std::to_string(sleeper) + "/environ";
  // Until the exec, the environment is the test's own.
  for (int wait = 0; wait < 500 && ReadFile(path) != kNineFrames; ++wait) usleep(10000);
  struct stat info;
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  ASSERT_TRUE(S_ISREG(info.st_mode) && info.st_size == 0);
  ASSERT_EQ(ReadFile(path), kNineFrames);
  ExpectRun({path, "0", "1", "4"}, kNineFramesOut, 0);
  kill(sleeper, SIGKILL);
  waitpid(sleeper, nullptr, 0);
}

TEST(StandardInput, ARegularFileIsReadFromItsOffsetAsCatWouldReadIt) {
  // (head -c 7 > /dev/null; ostrel - ...) < F: the WAV file starts at byte 7.
  const std::string path = WriteTemp("after-7.wav", "7 bytes" + kNineFrames);
  const int file = open(path.c_str(), O_RDONLY);
  ASSERT_GE(file, 0);
  ASSERT_EQ(lseek(file, 7, SEEK_SET), 7);
  RunSetup setup;
  setup.stdinFd = file;
  const ToolRun run = RunTool({"-", "0", "1", "4"}, setup);
  close(file);
  EXPECT_EQ(run.out, kNineFramesOut);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
}

TEST(ReadFailure, EndsTheRunWithTheReasonAndNoSummary) {
  // 200000 mono frames at resolution 1000: 200 rows, and more than one chunk
  // of reads, so a failure can come in the header, in the first chunk or
  // after some rows have gone out.
  const std::string path =
      WriteTemp("read-fault.wav", WavFile(kMono16At1000, Pcm16Run(256, 200000)));
  const std::vector<std::string> args = {path, "0", "1000", "1000"};
  const ToolRun clean = RunTool(args);
  ASSERT_EQ(clean.status, 0);
  const std::string kReadError = "Can't read wave file: Input/output error\n";

  struct Case {
    const char* where;
    const char* failAfter;  // bytes read before reads fail
    bool stream;
    bool failFstat;
    bool rowsBefore;  // whether rows come out before the failure
  } const cases[] = {
      {"length query", "", false, true, false},
      {"header of a file", "0", false, false, false},
      {"first chunk of a file", "100", false, false, false},
      {"later chunk of a file", "300000", false, false, true},
      {"header of a stream", "0", true, false, false},
      {"inside the header of a stream", "20", true, false, false},
      {"later read of a stream", "300000", true, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.where);
    RunSetup setup;
    setup.failReadsAfter = c.failAfter;
    setup.failFstat = c.failFstat;
    std::vector<std::string> runArgs = args;
    if (c.stream) {
      setup.stdinPath = path;
      runArgs[0] = "-";
    }
    const ToolRun run = RunTool(runArgs, setup);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, kInjectedFault);
    // The rows printed before the failure are those of the whole run, cut
    // short; the reason follows them and nothing else does.
    ASSERT_GE(run.out.size(), kReadError.size()) << run.out;
    const size_t rowsEnd = run.out.size() - kReadError.size();
    EXPECT_EQ(run.out.substr(rowsEnd), kReadError);
    EXPECT_EQ(clean.out.compare(0, rowsEnd, run.out, 0, rowsEnd), 0) << run.out;
    EXPECT_EQ(rowsEnd > kHead.size(), c.rowsBefore) << run.out;
  }
}

}  // namespace
