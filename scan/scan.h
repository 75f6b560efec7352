// Frame scan and block levels.
//
// ScanFrames walks the frames startFrame ... endFrame - 1 of the open input,
// decodes every sample onto the level scale (full scale is 128) by the
// layout's entry in the table of layouts, keeps one peak per channel, sums
// sample magnitudes over each block of `resolution` frames and hands the
// level of every complete block to a sink. A last partial block gives no
// level but its samples still count for the peaks.
//
// Decoded: every layout in scan/layouts.h, in as many channels as a frame of
// kMostFrameBytes holds. The driver refuses the rest before a scan.
#ifndef OSTREL_SCAN_SCAN_H
#define OSTREL_SCAN_SCAN_H

#include <cstdint>

#include "scan/layouts.h"  // kMostFrameBytes, kMostChannels
#include "scan/level.h"    // BlockLevel, the level of a complete block
#include "wavefile/input.h"
#include "wavefile/wavefile.h"

// Frames per read: the scan reads the span in chunks of this many frames into
// one fixed buffer, and blocks run on from one chunk into the next. Frames
// of under four bytes are read kNarrowChunkBytes at a time, as many as a
// chunk of four-byte frames has: smaller reads cost more, for what they
// bring, than the larger ones.
constexpr uint32_t kChunkFrames = 65536;
constexpr uint32_t kNarrowChunkBytes = 4 * kChunkFrames;

// Raises *peak to the magnitude of value.
inline void CheckPeak(double value, double* peak) {
  if (value > *peak)
    *peak = value;
  else if (-value > *peak)
    *peak = -value;
}

// Where the levels go; the driver chooses. Each call returns false once the
// output has failed: the scan then ends at once.
struct LevelSink {
  void* context;
  // `count` complete blocks in frame order: block i stands for the frame
  // firstFrame + i * step (one past its end, less half a block) and has the
  // level levels[i].
  bool (*blocks)(void* context, uint32_t firstFrame, uint32_t step, uint32_t count,
                 const double* levels);
  // A read's blocks are all handed over: what the sink holds goes out, so
  // that a live stream's rows come as it plays.
  bool (*flush)(void* context);
  // Asked while a stream's frames before START are dropped: whether the
  // output has broken (a reader gone), so reading on is of no use.
  bool (*broken)(void* context);
};

struct ScanRequest {
  WaveInput* input;
  WaveHeader header;
  uint32_t startFrame;  // startFrame <= endFrame <= header.frameCount
  uint32_t endFrame;
  uint32_t resolution;
  float magnification;
  LevelSink sink;
  // A report's statistics, one per channel, gathered when this is set.
  ChannelStatistics* statistics = nullptr;
  // The loops the scan takes: the best this processor runs, or a set below
  // it (so that the tests can hold each set's scans to the reference).
  LoopSet loopSet = BestLoopSet();
};

// Scans the frames and gives back the peak of every channel, on the level
// scale, in peaks[0 ... channelCount - 1]. The
// input is read in chunks from data offset + frame size * frame on; the end of
// the input, a file that shrank after the probe or a stream that stopped,
// ends the data there: frames that were not read are never decoded. Returns
// what ends the run early, a read or the output that failed; the peaks are
// then not set. *framesScanned, when asked for, is how many frames were read.
Result ScanFrames(const ScanRequest& request, double* peaks, uint32_t* framesScanned = nullptr);

#endif
