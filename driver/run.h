// One run of ostrel over its command line: banner, arguments, header probe,
// frame range, scan and summary, all on standard output. Returns the exit
// status: 0 for a complete run, 1 for usage, time-span and frame-size
// errors, 2 for file, header and read errors and for an output that could
// not be written. This is the one place that prints what ends a run.
#ifndef OSTREL_DRIVER_RUN_H
#define OSTREL_DRIVER_RUN_H

#include <cstdint>

#include "scan/scan.h"

int RunOstrel(int argc, char** argv);

// The text rows: the levels the scan hands over become rows on standard
// output, at this sample rate and block length.
struct TextRows {
  uint32_t sampleRate;
  double interval;
};
LevelSink TextRowsSink(TextRows* rows);

#endif
