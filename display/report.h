// The JSON report: one document on standard output (RFC 8259, UTF-8, one
// trailing newline), written as the scan goes, so that memory stays the same
// whatever the length: the head (file, format, span) before the scan, a row
// for every complete block as it comes, the summary at the end.
//
// Numbers are written in the shortest form that reads back as the same
// double (std::to_chars); infinities and NaNs, which JSON has no word for,
// as null.
#ifndef OSTREL_DISPLAY_REPORT_H
#define OSTREL_DISPLAY_REPORT_H

#include <cstdint>

struct ReportHead {
  const char* path;
  const char* container;  // "RIFF", "RIFX", "RF64", "BW64"
  const char* layout;     // "u8", "alaw", "ulaw", "s16", "s24", "s32", "f32", "f64"
  uint32_t bits, channels, sampleRate, frames;
  bool lengthKnown;  // false: "seconds" is null (a stream of a length not told)
  uint64_t startFrame, endFrame;
  uint32_t resolution;
  double interval;
  float magnification;
};

struct ReportChannel {
  double peakDb;       // -inf: null
  uint64_t peakFrame;  // UINT64_MAX: null
  double rmsDb;        // -inf or nan: null
  uint64_t clipped;
};

// Each returns false once the output has failed.
bool ReportStart(const ReportHead& head);

// Rows of `count` complete blocks: [frame, seconds, level], the first at
// `firstFrame`, each `step` frames after the one before.
bool ReportRows(uint32_t firstFrame, uint32_t step, uint32_t count, uint32_t sampleRate,
                const double* levels);

// Writes what is gathered so far.
bool FlushReport();

bool ReportEnd(double thresholdDb, const ReportChannel* channels, uint32_t channelCount);

#endif
