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

struct WaveInput {
  int fd = -1;
  bool stream = false;
  bool ownsFd = false;      // false for standard input, which is not closed
  uint64_t base = 0;        // file: where the input starts (standard input's offset)
  uint64_t consumed = 0;    // stream: bytes taken from it so far
  uint32_t headLength = 0;  // stream: the first bytes, kept in `head`
  unsigned char head[kHeadBytes] = {};
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
// Standard output is flushed before a stream read, which may block; a stream
// left non-blocking by the parent process is waited for, not given up on.
// While frames are dropped the run ends as soon as standard output is
// broken, as it would at the next row: a live recorder's START may lie an
// hour ahead.
int ReadWaveInput(WaveInput* input, uint64_t position, unsigned char* to, size_t bytes,
                  size_t* got);

// Ends the run on a read that failed: one line with the system's reason on
// standard output, status 2. Rows already printed stay; no summary follows.
[[noreturn]] void ReadFault(WaveInput* input, int error);

#endif
