// Waveform row: one line of the picture for one block of frames.
//
// The row is the block's time stamp, in a precision that follows the block
// length, then one '.' for every whole unit of the block's level.
#ifndef OSTREL_DISPLAY_WAVEFORM_H
#define OSTREL_DISPLAY_WAVEFORM_H

#include <cstdint>

// Puts the row for the frame `frameIndex` out for standard output; rows are
// gathered and written in large pieces, so FlushRows must follow the last
// row before anything else is written there. Returns false once the output
// has failed.
//   interval >= 0.025 s         "%.2f\t"      (time)
//   0.001 < interval < 0.025 s  "%.3f\t"      (time)
//   interval <= 0.001 s         "%.3f\t%u\t"  (time, frame index)
// then floor(level) dots (none below 1 or for nan, at most 2^31 - 1), then a
// newline. The frame index is unsigned: a file of one-byte frames can hold
// rows at index 2^31 and beyond, and those are stamped with their true index.
bool Waveform(uint32_t frameIndex, uint32_t sampleRate, double level, double interval);

// The rows of `count` blocks in a row, the first at `frameIndex` and each
// `step` frames after the one before, levels[i] the level of row i: the same
// text as a Waveform call for each, in one call.
bool WaveformRows(uint32_t frameIndex, uint32_t step, uint32_t count, uint32_t sampleRate,
                  const double* levels, double interval);

// Writes the rows gathered so far; false once the output has failed.
bool FlushRows();

#endif
