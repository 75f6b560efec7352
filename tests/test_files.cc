#include "tests/test_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include <gtest/gtest.h>
#include <sstream>

#include "examples/wav_writer.h"

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

// Writes the file into the pipe's write end and exits; the reader may leave
// early, so a closed pipe is no error here.
[[noreturn]] void Feed(const std::string& path, int pipeEnd) {
  signal(SIGPIPE, SIG_IGN);
  const int in = open(path.c_str(), O_RDONLY);
  static char chunk[1 << 16];
  for (ssize_t n; in >= 0 && (n = read(in, chunk, sizeof chunk)) > 0;)
    for (ssize_t done = 0; done < n;) {
      const ssize_t w = write(pipeEnd, chunk + done, static_cast<size_t>(n - done));
      if (w <= 0) _exit(0);
      done += w;
    }
  _exit(0);
}

ToolRun RunProgram(const std::string& program, const std::vector<std::string>& args,
                   const RunSetup& setup) {
  static int runs = 0;
  const std::string outPath = setup.stdoutPath.empty()
                                  ? TempPath("run" + std::to_string(++runs) + ".out")
                                  : setup.stdoutPath;
  const std::string errPath = TempPath("run" + std::to_string(runs) + ".err");

  std::vector<char*> argv;
  std::string path = program;
  argv.push_back(path.data());
  std::vector<std::string> copies = args;
  for (std::string& arg : copies) argv.push_back(arg.data());
  argv.push_back(nullptr);

  int pipeEnds[2] = {-1, -1};
  if (!setup.stdinPath.empty() && pipe(pipeEnds) != 0) std::abort();
  std::fflush(nullptr);
  pid_t feeder = -1;
  if (!setup.stdinPath.empty()) {
    feeder = fork();
    if (feeder == 0) {
      close(pipeEnds[0]);
      Feed(setup.stdinPath, pipeEnds[1]);
    }
  }
  const pid_t child = fork();
  if (child == 0) {
    const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0 || err < 0) _exit(126);
    dup2(out, 1);
    dup2(err, 2);
    if (pipeEnds[0] >= 0) {
      dup2(pipeEnds[0], 0);
      close(pipeEnds[0]);
      close(pipeEnds[1]);
    }
    if (!setup.failReadsAfter.empty() || setup.failFstat) {
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
    }
    execv(argv[0], argv.data());
    _exit(127);
  }
  if (pipeEnds[0] >= 0) {
    close(pipeEnds[0]);
    close(pipeEnds[1]);
  }
  int wstatus = 0;
  waitpid(child, &wstatus, 0);
  if (feeder > 0) waitpid(feeder, nullptr, 0);
  ToolRun run;
  run.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
  run.out = setup.stdoutPath.empty() ? ReadFile(outPath) : "";
  run.err = ReadFile(errPath);
  return run;
}

}  // namespace

ToolRun RunTool(const std::vector<std::string>& args, const RunSetup& setup) {
#ifdef OSTREL_COMPARE_BINARY
  // Every run once more with a second build of the tool (one built for
  // another processor, under its emulator): the same bytes, the same status.
  // It runs first, so an output file the test reads holds this build's bytes.
  // Runs with injected faults are left out: the library is this build's.
  if (!setup.failReadsAfter.empty() || setup.failFstat)
    return RunProgram(OSTREL_BINARY, args, setup);
  const ToolRun other = RunProgram(OSTREL_COMPARE_BINARY, args, setup);
  const ToolRun run = RunProgram(OSTREL_BINARY, args, setup);
  std::string command;
  for (const std::string& arg : args) command += " " + arg;
  EXPECT_TRUE(other.out == run.out && other.err == run.err && other.status == run.status)
      << OSTREL_COMPARE_BINARY << " differs from " << OSTREL_BINARY << " on" << command;
  return run;
#else
  return RunProgram(OSTREL_BINARY, args, setup);
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
