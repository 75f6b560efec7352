// Frame scan and block levels.
//
// ScanFrames walks the frames startFrame ... endFrame - 1 of the open file,
// decodes every sample onto the level scale (full scale is 128), keeps one
// peak per channel, sums sample magnitudes over each block of `resolution`
// frames and prints a row through Waveform for every complete block. A last
// partial block prints no row but its samples still count for the peaks.
//
// Decoded layouts (SampleFormat), one or two channels: unsigned 8-bit, signed
// 16-, 24- and 32-bit integers, and 4-byte float bit patterns. Any other
// layout (9 to 15 bits, wider mono samples, more channels) is walked without
// decoding: rows without dots, peaks 0.
#ifndef OSTREL_SCAN_SCAN_H
#define OSTREL_SCAN_SCAN_H

#include <cstdint>

#include "scan/level.h"  // BlockLevel, the level of a complete block
#include "wavefile/input.h"
#include "wavefile/wavefile.h"  // SampleFormat

// Frames per read: the scan reads the span in chunks of this many frames into
// one fixed buffer, and blocks run on from one chunk into the next.
constexpr uint32_t kChunkFrames = 65536;

// Raises *peak to the magnitude of value.
inline void CheckPeak(double value, double* peak) {
  if (value > *peak)
    *peak = value;
  else if (-value > *peak)
    *peak = -value;
}

// Scans the frames and gives back the peaks (peakR stays 0 for mono). The
// input is read in chunks from data offset + frame size * frame on; the end of
// the input, a file that shrank after the probe or a stream that stopped,
// ends the data there: frames that were not read are never decoded. Returns
// 0, or the errno value of a read that failed; the peaks are then not set.
// A run whose standard output has failed ends with status 2 after the chunk
// whose rows could not be written.
int ScanFrames(WaveInput* input, uint32_t dataOffset, uint32_t frameSize, SampleFormat sampleFormat,
               uint32_t channelCount, uint32_t sampleRate, uint32_t startFrame, uint32_t endFrame,
               uint32_t resolution, float magnification, double interval, double* peakL,
               double* peakR);

#endif
