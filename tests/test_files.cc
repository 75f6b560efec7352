#include "tests/test_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>

#include <gtest/gtest.h>
#include <sstream>

#include "driver/run.h"
#include "examples/wav_writer.h"
#include "scan/scan.h"

namespace {

std::string scratch;
pid_t scratchOwner;

// Death tests end forked copies of the process with exit(): only the process
// that made the folder removes it.
void RemoveScratch() {
  if (scratch.empty() || getpid() != scratchOwner) return;
  // Scratch files and folders sit directly in it; nothing deeper.
  DIR* folder = opendir(scratch.c_str());
  if (folder == nullptr) return;
  while (const dirent* entry = readdir(folder)) {
    const std::string name = entry->d_name;
    std::string path = scratch;
    path += '/';
    path += name;
    if (name != "." && name != ".." && unlink(path.c_str()) != 0) rmdir(path.c_str());
  }
  closedir(folder);
  rmdir(scratch.c_str());
}

}  // namespace

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string TempPath(const std::string& name) {
  if (scratch.empty()) {
    char pattern[] = "/tmp/ostrel-test-XXXXXX";
    if (mkdtemp(pattern) == nullptr) std::abort();
    scratch = pattern;
    scratchOwner = getpid();
    std::atexit(RemoveScratch);
  }
  return scratch + "/" + name;
}

std::string WriteTemp(const std::string& name, const std::string& bytes) {
  std::string path = TempPath(name);
  if (!WriteBytes(path, bytes)) std::abort();
  return path;
}

namespace {

// Plumbing that fails (no pipe, no process) leaves no run to judge.
[[noreturn]] void Fail(const char* what) {
  std::perror(what);
  std::abort();
}

// The tool and the feeder keep only their standard descriptors: a copy of a
// pipe end of the test's would keep that pipe open after the test closes it.
void CloseAllButStandardDescriptors() {
  if (close_range(3, ~0U, 0) == 0) return;
  for (long fd = 3, end = sysconf(_SC_OPEN_MAX); fd < end; ++fd) close(static_cast<int>(fd));
}

// The descriptor, or a copy of it numbered 3 or more when it is one of the
// standard three (the test process may run with one of them closed): moving
// descriptors onto 0, 1 and 2 then never closes one still to be moved.
int AboveStandard(int fd) { return fd >= 0 && fd <= STDERR_FILENO ? fcntl(fd, F_DUPFD, 3) : fd; }

// Writes the file into the pipe's write end and exits; the reader may leave
// early, so a closed pipe is no error here.
[[noreturn]] void Feed(const std::string& path, int pipeEnd) {
  signal(SIGPIPE, SIG_IGN);
  if (dup2(AboveStandard(pipeEnd), STDOUT_FILENO) < 0) _exit(126);
  CloseAllButStandardDescriptors();
  const int in = open(path.c_str(), O_RDONLY);
  static char chunk[1 << 16];
  for (ssize_t n; in >= 0 && (n = read(in, chunk, sizeof chunk)) > 0;)
    for (ssize_t done = 0; done < n;) {
      const ssize_t w = write(STDOUT_FILENO, chunk + done, static_cast<size_t>(n - done));
      if (w <= 0) _exit(0);
      done += w;
    }
  _exit(0);
}

// What WaitTool needs of a started run.
struct Started {
  pid_t feeder;         // the process feeding standard input, or -1
  std::string outPath;  // the captured standard output, or ""
  std::string errPath;
};
std::map<pid_t, Started> started;

pid_t StartProgram(const std::string& program, const std::vector<std::string>& args,
                   const RunSetup& setup) {
  const int inputs = (setup.stdinPath.empty() ? 0 : 1) + (setup.stdinFd >= 0 ? 1 : 0);
  const int outputs = (setup.stdoutPath.empty() ? 0 : 1) + (setup.stdoutFd >= 0 ? 1 : 0) +
                      (setup.stdoutClosedPipe ? 1 : 0);
  if (inputs > 1 || outputs > 1) {
    std::fputs("RunSetup: more than one standard input or output\n", stderr);
    std::abort();
  }
  const bool capture = outputs == 0;
  static int runs = 0;
  ++runs;
  Started run{-1, capture ? TempPath("run" + std::to_string(runs) + ".out") : "",
              TempPath("run" + std::to_string(runs) + ".err")};
  const std::string& outPath = capture ? run.outPath : setup.stdoutPath;

  std::vector<char*> argv;
  std::string path = program;
  argv.push_back(path.data());
  std::vector<std::string> copies = args;
  for (std::string& arg : copies) argv.push_back(arg.data());
  argv.push_back(nullptr);

  int in = setup.stdinFd;
  int out = setup.stdoutFd;
  int feed[2] = {-1, -1};
  int closedPipe[2] = {-1, -1};
  if (!setup.stdinPath.empty()) {
    if (pipe(feed) != 0) Fail("pipe");
    in = feed[0];
  }
  if (setup.stdoutClosedPipe) {
    if (pipe(closedPipe) != 0) Fail("pipe");
    close(closedPipe[0]);
    out = closedPipe[1];
  }
  std::fflush(nullptr);
  if (!setup.stdinPath.empty()) {
    run.feeder = fork();
    if (run.feeder < 0) Fail("fork");
    if (run.feeder == 0) Feed(setup.stdinPath, feed[1]);
  }
  const pid_t child = fork();
  if (child < 0) Fail("fork");
  if (child == 0) {
    // Standard output opened here, so that a file that cannot be opened
    // shows as status 126 rather than as a run into the test's output.
    if (out < 0) out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = AboveStandard(open(run.errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644));
    in = AboveStandard(in);
    out = AboveStandard(out);
    if (out < 0 || err < 0 || (in >= 0 && dup2(in, STDIN_FILENO) < 0) ||
        dup2(out, STDOUT_FILENO) < 0 || dup2(err, STDERR_FILENO) < 0)
      _exit(126);
    CloseAllButStandardDescriptors();
    // Set either way: the test process may itself ignore SIGPIPE, and an
    // ignored signal stays ignored across exec.
    signal(SIGPIPE, setup.ignoreSigpipe ? SIG_IGN : SIG_DFL);
    if (!setup.failReadsAfter.empty() || setup.failFstat || setup.noteFailedWrites) {
#ifdef OSTREL_PRELOAD_UNDER_QEMU
      // The tool runs under qemu-user: the library is preloaded into the
      // tool, not into the emulator or the script that starts it.
      setenv("QEMU_SET_ENV", "LD_PRELOAD=" OSTREL_READ_FAULTS, 1);
#else
      setenv("LD_PRELOAD", OSTREL_READ_FAULTS, 1);
#endif
      // A sanitizer build wants its runtime first; the library only wraps calls.
      setenv("ASAN_OPTIONS", "verify_asan_link_order=0", 1);
      if (!setup.failReadsAfter.empty())
        setenv("OSTREL_FAIL_READ_AFTER", setup.failReadsAfter.c_str(), 1);
      if (setup.failFstat) setenv("OSTREL_FAIL_FSTAT", "1", 1);
      if (setup.noteFailedWrites) setenv("OSTREL_NOTE_FAILED_WRITES", "1", 1);
    }
    execv(argv[0], argv.data());
    _exit(127);
  }
  for (int fd : {feed[0], feed[1], closedPipe[1]})
    if (fd >= 0) close(fd);
  started[child] = run;
  return child;
}

// The exit status of a child, and its peak resident memory when asked for.
int Wait(pid_t pid, long* peakKiB = nullptr) {
  int wstatus = 0;
  rusage usage{};
  while (wait4(pid, &wstatus, 0, &usage) != pid)
    if (errno != EINTR) Fail("wait4");
  if (peakKiB != nullptr) *peakKiB = usage.ru_maxrss;
  return WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
}

}  // namespace

pid_t StartTool(const std::vector<std::string>& args, const RunSetup& setup) {
  return StartProgram(OSTREL_BINARY, args, setup);
}

ToolRun WaitTool(pid_t pid) {
  const auto found = started.find(pid);
  if (found == started.end()) {
    std::fputs("WaitTool: not a run StartTool started\n", stderr);
    std::abort();
  }
  const Started run = found->second;
  started.erase(found);
  ToolRun result;
  result.status = Wait(pid, &result.peakKiB);
  if (run.feeder > 0) Wait(run.feeder);
  result.out = run.outPath.empty() ? "" : ReadFile(run.outPath);
  result.err = ReadFile(run.errPath);
  return result;
}

ToolRun RunTool(const std::vector<std::string>& args, const RunSetup& setup) {
#ifdef OSTREL_COMPARE_BINARY
  // Every run once more with a second build of the tool (one built for
  // another processor, under its emulator): the same bytes, the same status.
  // It runs first, so an output file the test reads holds this build's bytes.
  // Left out: runs with injected faults (the library is this build's), output
  // into the test's own descriptor (it would get both runs' bytes), and input
  // from one that cannot be put back where it stood.
  const off_t inputAt = setup.stdinFd >= 0 ? lseek(setup.stdinFd, 0, SEEK_CUR) : 0;
  if (!setup.failReadsAfter.empty() || setup.failFstat || setup.noteFailedWrites ||
      setup.stdoutFd >= 0 || inputAt < 0)
    return WaitTool(StartTool(args, setup));
  ToolRun other = WaitTool(StartProgram(OSTREL_COMPARE_BINARY, args, setup));
  // An output file is compared like captured output; a device such as
  // /dev/full is not read.
  struct stat info;
  const bool outputFile = !setup.stdoutPath.empty() && stat(setup.stdoutPath.c_str(), &info) == 0 &&
                          S_ISREG(info.st_mode);
  if (outputFile) other.out = ReadFile(setup.stdoutPath);
  if (setup.stdinFd >= 0 && lseek(setup.stdinFd, inputAt, SEEK_SET) != inputAt) Fail("lseek");
  ToolRun run = WaitTool(StartTool(args, setup));
  const std::string out = outputFile ? ReadFile(setup.stdoutPath) : run.out;
  std::string command;
  for (const std::string& arg : args) command += " " + arg;
  EXPECT_TRUE(other.out == out && other.err == run.err && other.status == run.status)
      << OSTREL_COMPARE_BINARY << " differs from " << OSTREL_BINARY << " on" << command;
  return run;
#else
  return WaitTool(StartTool(args, setup));
#endif
}

ToolRun RunTool(const std::vector<std::string>& args, const std::string& stdoutPath) {
  RunSetup setup;
  setup.stdoutPath = stdoutPath;
  return RunTool(args, setup);
}

void ExpectRun(const std::vector<std::string>& args, const std::string& out, int status) {
  const ToolRun run = RunTool(args);
  EXPECT_EQ(run.out, out);
  EXPECT_EQ(run.status, status);
  EXPECT_EQ(run.err, "");

  // The same bytes through a pipe. Files of up to a few megabytes: the huge
  // sparse ones would only take time.
  struct stat info;
  if (args.empty() || stat(args[0].c_str(), &info) != 0 || !S_ISREG(info.st_mode) ||
      info.st_size > (8 << 20))
    return;
  RunSetup setup;
  setup.stdinPath = args[0];
  std::vector<std::string> streamArgs = args;
  streamArgs[0] = "-";
  const ToolRun streamed = RunTool(streamArgs, setup);
  EXPECT_EQ(streamed.out, out) << "through a pipe";
  EXPECT_EQ(streamed.status, status) << "through a pipe";
  EXPECT_EQ(streamed.err, "") << "through a pipe";
}

std::string FirstDifference(const std::string& got, const std::string& wanted) {
  const size_t first =
      std::mismatch(got.begin(), got.end(), wanted.begin(), wanted.end()).first - got.begin();
  // Bytes before `first` are the same in both, so the line starts in both.
  const size_t line = first == 0 ? 0 : got.rfind('\n', first - 1) + 1;
  const auto Line = [line](const std::string& text) {
    return text.substr(line, text.find('\n', line) - line);
  };
  return "outputs differ from byte " + std::to_string(first) + "\n got:    " + Line(got) +
         "\n wanted: " + Line(wanted);
}

std::string Dots(int count) { return std::string(static_cast<size_t>(count), '.'); }

std::string Pcm16(std::initializer_list<int32_t> values) {
  std::string out;
  for (int32_t value : values) Append16(&out, value);
  return out;
}

std::string Pcm16Run(int32_t value, int frames) {
  std::string out;
  for (int i = 0; i < frames; ++i) Append16(&out, value);
  return out;
}

ScannedRows ScanToRows(const std::string& path, const WaveHeader& header, uint32_t start,
                       uint32_t end, uint32_t resolution, float magnification, LoopSet loopSet) {
  WaveInput input;
  EXPECT_TRUE(OpenWaveInput(path.c_str(), &input));
  TextRows rows{header.sampleRate, static_cast<double>(resolution) / header.sampleRate};
  ScanRequest request{&input, header, start, end, resolution, magnification, TextRowsSink(&rows)};
  request.loopSet = loopSet;
  ScannedRows out{};
  testing::internal::CaptureStdout();
  out.result = ScanFrames(request, out.peaks);
  out.peakL = out.peaks[0];
  out.peakR = header.channelCount == 2 ? out.peaks[1] : 0;
  out.rows = testing::internal::GetCapturedStdout();
  CloseWaveInput(&input);
  return out;
}
