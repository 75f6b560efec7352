// Standard output, written by the run itself with write(2): the rows, the
// summary and the messages. Every piece goes out whole, however the output
// takes it: a short write is continued, a signal is retried, and an output
// that a parent process left non-blocking is waited on with poll.
//
// The first write that fails is the last one tried: from then on every write
// returns false at once and the run ends, even in the middle of a long row.
// A closed pipe raises SIGPIPE as it does for other tools.
#ifndef OSTREL_DISPLAY_OUTPUT_H
#define OSTREL_DISPLAY_OUTPUT_H

#include <cstddef>

// A run starts with an output that has not failed.
void StartOutput();

// Writes the bytes; false once a write has failed.
bool WriteOutput(const char* bytes, size_t length);

// The three texts and a newline, in one write.
bool WriteLine(const char* first, const char* second, const char* third);

// printf's text for format, written in one piece (at most 255 bytes).
bool PrintOutput(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The errno value of the write that failed, 0 while none has.
int OutputError();

// Whether standard output has broken: a pipe whose reader has gone, or a
// socket whose peer has closed. One byte is then written, which fails just
// as the next row would: SIGPIPE ends the run quietly, or, with SIGPIPE
// ignored, the failure is kept.
bool OutputBroken();

#endif
