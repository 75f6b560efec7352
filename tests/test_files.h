// Scratch files and runs of the built binary, for the tests.
#ifndef OSTREL_TESTS_TEST_FILES_H
#define OSTREL_TESTS_TEST_FILES_H

#include <sys/types.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "examples/wav_writer.h"
#include "scan/layouts.h"
#include "wavefile/wavefile.h"

// A path inside a scratch folder made once per test process and removed at
// its exit.
std::string TempPath(const std::string& name);

// The whole contents of a file ("" if it cannot be read).
std::string ReadFile(const std::string& path);

// Writes the bytes to TempPath(name) and returns the path.
std::string WriteTemp(const std::string& name, const std::string& bytes);

struct ToolRun {
  std::string out;   // standard output when captured, else ""
  std::string err;   // everything written to standard error
  int status;        // exit status, or 128 + signal number
  long peakKiB = 0;  // peak resident memory of the process
};

// How a run is set up beyond its arguments: at most one standard input and
// one standard output (more aborts the test). Descriptors the test gives
// stay the test's: the tool gets copies, holds no other descriptor of the
// test process, and the test closes its own when it is done with them.
struct RunSetup {
  // Standard input: the test process's own unless one of these is given.
  std::string stdinPath;  // this file, fed through a pipe by a separate process
  int stdinFd = -1;       // this descriptor as it stands: its offset, its flags (O_NONBLOCK)
  // Standard output: captured into ToolRun::out unless one of these is given.
  std::string stdoutPath;         // this file, created or emptied (/dev/full too)
  int stdoutFd = -1;              // this descriptor, such as a pipe the test reads as rows come
  bool stdoutClosedPipe = false;  // a pipe whose reading end is closed before the tool starts
  // SIGPIPE at its default in the tool unless set: a parent may leave it ignored.
  bool ignoreSigpipe = false;
  // The read-fault library loaded into the tool: reads fail after this many
  // bytes when given, fstat fails when set.
  std::string failReadsAfter;
  bool failFstat = false;
  // The same library notes every failed write to standard output on
  // standard error.
  bool noteFailedWrites = false;
};

// Starts build/ostrel with these arguments (after the program name) and
// returns its process id at once; the test talks to it through its pipes.
pid_t StartTool(const std::vector<std::string>& args, const RunSetup& setup);
// Waits for a run StartTool started: its status, standard error and, when
// captured, standard output.
ToolRun WaitTool(pid_t pid);

// Runs build/ostrel to its end. Built with OSTREL_COMPARE_BINARY, the second
// command runs first with the same setup and must give the same bytes and
// status; left out for injected faults, output into a descriptor of the test,
// and input from one that cannot be rewound.
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

// The program's scan of frames [start, end) of the file at `path`, its
// levels handed to the text rows: the rows printed, the peaks, the result;
// with the loops of `loopSet`.
struct ScannedRows {
  std::string rows;
  double peakL, peakR;  // peaks[0] and peaks[1], for one or two channels
  double peaks[8];
  Result result;
};
ScannedRows ScanToRows(const std::string& path, const WaveHeader& header, uint32_t start,
                       uint32_t end, uint32_t resolution, float magnification,
                       LoopSet loopSet = BestLoopSet());

// The layout most runs use: mono 16-bit integer samples at 1000 Hz.
inline const WavFormat kMono16At1000{1, 1, 1000, 16};

// Where two outputs part: the first differing byte and the line it is in,
// in both. For outputs of many rows, where gtest's own line diff would take
// memory that grows with the square of the row count.
std::string FirstDifference(const std::string& got, const std::string& wanted);

// A row's bar of dots.
std::string Dots(int count);

// 16-bit samples: the values given, or one value `frames` times.
std::string Pcm16(std::initializer_list<int32_t> values);
std::string Pcm16Run(int32_t value, int frames);

#endif
