#include "tests/test_files.h"

#include <dirent.h>
#include <fcntl.h>
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

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

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

ToolRun RunTool(const std::vector<std::string>& args, const std::string& stdoutPath) {
  static int runs = 0;
  const std::string outPath =
      stdoutPath.empty() ? TempPath("run" + std::to_string(++runs) + ".out") : stdoutPath;
  const std::string errPath = TempPath("run" + std::to_string(runs) + ".err");

  std::vector<char*> argv;
  std::string program = OSTREL_BINARY;
  argv.push_back(program.data());
  std::vector<std::string> copies = args;
  for (std::string& arg : copies) argv.push_back(arg.data());
  argv.push_back(nullptr);

  std::fflush(nullptr);
  const pid_t child = fork();
  if (child == 0) {
    const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0 || err < 0) _exit(126);
    dup2(out, 1);
    dup2(err, 2);
    execv(argv[0], argv.data());
    _exit(127);
  }
  int wstatus = 0;
  waitpid(child, &wstatus, 0);
  ToolRun run;
  run.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
  run.out = stdoutPath.empty() ? Slurp(outPath) : "";
  run.err = Slurp(errPath);
  return run;
}

void ExpectRun(const std::vector<std::string>& args, const std::string& out, int status) {
  const ToolRun run = RunTool(args);
  EXPECT_EQ(run.out, out);
  EXPECT_EQ(run.status, status);
  EXPECT_EQ(run.err, "");
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
