// Scratch files and runs of the built binary, for the tests.
#ifndef OSTREL_TESTS_TEST_FILES_H
#define OSTREL_TESTS_TEST_FILES_H

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

// A path inside a scratch folder made once per test process and removed at
// its exit.
std::string TempPath(const std::string& name);

// The whole contents of a file ("" if it cannot be read).
std::string ReadFile(const std::string& path);

// Writes the bytes to TempPath(name) and returns the path.
std::string WriteTemp(const std::string& name, const std::string& bytes);

struct ToolRun {
  std::string out;  // everything written to standard output
  std::string err;  // everything written to standard error
  int status;       // exit status, or 128 + signal number
};

// How a run is set up beyond its arguments.
struct RunSetup {
  std::string stdoutPath;  // standard output goes here; captured when empty
  std::string stdinPath;   // when given, this file is fed to standard input through a pipe
  std::string
      failReadsAfter;      // when given, the read-fault library fails reads after this many bytes
  bool failFstat = false;  // the read-fault library fails fstat
};

// Runs build/ostrel with these arguments (after the program name).
ToolRun RunTool(const std::vector<std::string>& args, const RunSetup& setup);
// Standard output going to `stdoutPath` when given, else captured.
ToolRun RunTool(const std::vector<std::string>& args, const std::string& stdoutPath = "");

// What the read-fault library writes on standard error when it fails a call.
inline const std::string kInjectedFault = "read fault injected\n";

// The banner every run prints first, and the messages of the failed runs.
inline const char kBanner[] = "Ostrel 1.01\n";
inline const std::string kHead = kBanner;  // a std::string, so rows append with +
inline const std::string kBadSpan = "Stop or start time not set correctly\n";
inline const std::string kBadFrame = "Unrecognized bit or channel configuration\n";
inline const std::string kNoFormat = "Can't find format chunk in wave file!\n";
inline const std::string kNoData = "Can't find data block in wave file!\n";
inline const std::string kAbove48 = "Showing values above -48 dB\n";

// Runs the tool and checks the whole of standard output, the status and the
// silence of standard error. When the first argument is a file, the same run
// with "-" and the file fed through a pipe must print the same bytes and end
// with the same status: a stream is read exactly as the file would be.
void ExpectRun(const std::vector<std::string>& args, const std::string& out, int status);

// A row's bar of dots.
std::string Dots(int count);

// 16-bit samples: the values given, or one value `frames` times.
std::string Pcm16(std::initializer_list<int32_t> values);
std::string Pcm16Run(int32_t value, int frames);

#endif
