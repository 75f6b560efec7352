// The input of one run: a WAVE file or a stream, opened once and read by the
// header probe and then by the frame scan.
//
// A regular file is read with positioned reads. Anything else (a pipe, a
// FIFO, a terminal, a character device, standard input on a pipe) is a
// stream, read from front to back: the probe keeps the first bytes it read in
// `head`, and the scan reads and drops what lies before the frames it wants.
// So is a regular file that reports a size of 0 (/proc and sysfs files),
// whose contents only a read finds.
#ifndef OSTREL_WAVEFILE_INPUT_H
#define OSTREL_WAVEFILE_INPUT_H

#include <cstddef>
#include <cstdint>

// Every tag and field the probe can look at lies in this many first bytes:
// tags at even positions up to 15000, fields up to 33 bytes past the format
// tag.
constexpr uint32_t kHeadBytes = 15034;

// How a step of the run ended. Status 0 lets the run go on; any other is
// the status the run ends with, after the driver prints `message` (then
// the system's reason for `error`, when it is not 0, and a newline).
struct Result {
  int status = 0;
  const char* message = "";
  int error = 0;
  bool onStandardError = false;  // a message about standard output itself
};

// Returned by ReadWaveInput, in place of an errno value, when the run's
// output broke while frames before START were dropped.
constexpr int kOutputBroken = -1;

// A read of the input that failed: "Can't read wave file: " and the
// system's reason, status 2; or, for kOutputBroken, the output's failure.
Result ReadFailure(int error);

// Standard output could not be written: one line on standard error with
// the reason, status 2.
Result OutputFailure(int error);

struct WaveInput {
  int fd = -1;
  bool stream = false;
  bool ownsFd = false;      // false for standard input, which is not closed
  uint64_t base = 0;        // file: where the input starts (standard input's offset)
  uint64_t consumed = 0;    // stream: bytes taken from it so far
  uint32_t headLength = 0;  // stream: the first bytes, kept in `head`
  unsigned char head[kHeadBytes] = {};
  // Asked while a stream's frames before START are dropped: whether the
  // run's output has broken, so that reading on is of no use.
  bool (*outputBroken)(void* context) = nullptr;
  void* outputContext = nullptr;
};

// Opens the input named by `path`; "-" is standard input (a file called "-"
// is reached as "./-"). Returns false when the path cannot be opened.
bool OpenWaveInput(const char* path, WaveInput* input);

void CloseWaveInput(WaveInput* input);

// Settles how the opened input is read, a file or a stream, and for a file
// sets *length to its bytes from where the input starts. Standard input
// that is a regular file starts at its current offset, as `cat` reads it.
// Returns 0, or the errno value of a query that failed.
int SettleWaveInput(WaveInput* input, uint64_t* length);

// Reads up to `bytes` bytes of the input from byte `position` on into `to`
// and sets *got to the number read, 0 at the end of the input. Returns 0, or
// the errno value of a read that failed.
//
// A file read fills `to` unless the file ends first. A stream read returns
// what one read of the stream delivers, so that a slow producer's frames are
// handled as they come; the scan's positions only ever move forward, and on
// a stream the bytes before `position` are read and dropped (into `to`).
// A stream left non-blocking by the parent process is waited for, not given
// up on. While frames are dropped the read returns kOutputBroken as soon as
// input->outputBroken says so, as the next row would fail: a live
// recorder's START may lie an hour ahead.
int ReadWaveInput(WaveInput* input, uint64_t position, unsigned char* to, size_t bytes,
                  size_t* got);

#endif
