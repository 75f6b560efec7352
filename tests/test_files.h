// Scratch files and runs of the built binary, for the tests.
#ifndef OSTREL_TESTS_TEST_FILES_H
#define OSTREL_TESTS_TEST_FILES_H

#include <string>
#include <vector>

// A path inside a scratch folder made once per test process and removed at
// its exit.
std::string TempPath(const std::string& name);

// Writes the bytes to TempPath(name) and returns the path.
std::string WriteTemp(const std::string& name, const std::string& bytes);

struct ToolRun {
  std::string out;  // everything written to standard output
  std::string err;  // everything written to standard error
  int status;       // exit status, or 128 + signal number
};

// Runs build/ostrel with these arguments (after the program name), standard
// output going to `stdoutPath` when given, else captured.
ToolRun RunTool(const std::vector<std::string>& args, const std::string& stdoutPath = "");

// The banner every run prints first.
inline const char kBanner[] = "Ostrel 1.01\n";

#endif
