#include "driver/run.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "display/output.h"
#include "display/waveform.h"
#include "driver/settings.h"
#include "scan/scan.h"
#include "wavefile/wavefile.h"

namespace {

const char kUsage[] =
    "This program will print a basic waveform image\n"
    "Run with command line argument 1 being the name of the wavefile\n"
    "Arguments 2 and 3 are the start/stop times in seconds to scan within the file.\n"
    "Argument 4 (optional) is resolution in samples.  Default = samplerate / 20 \n"
    "Argument 5 (optional) is magnification: Above 1 magnifies (256 is the max).  Between 0 and "
    "1 zooms out.";

// Prints the line that ends the run early, in one write, and returns its
// status. A failed output is reported once the run is over (RunOstrel).
int Fail(const Result& result) {
  if (!result.onStandardError)
    WriteLine(result.message, result.error != 0 ? std::strerror(result.error) : "", "");
  return result.status;
}

// The text rows: the levels the scan hands over become rows on standard
// output.
struct TextRows {
  uint32_t sampleRate;
  double interval;
};

bool PutRows(void* context, uint32_t firstFrame, uint32_t step, uint32_t count,
             const double* levels) {
  const auto* rows = static_cast<const TextRows*>(context);
  return WaveformRows(firstFrame, step, count, rows->sampleRate, levels, rows->interval);
}

bool PutRowsOut(void*) { return FlushRows(); }

bool RowsCannotGoOut(void*) { return OutputBroken(); }

void PrintSummary(float magnification, uint32_t channelCount, const double* peaks) {
  PrintOutput("Showing values above %.0f dB\n", static_cast<double>(ThresholdDb(magnification)));
  if (channelCount == 1) {
    PrintOutput("Peak over interval %.1f dB\n", static_cast<double>(PeakDb(peaks[0])));
  } else if (channelCount == 2) {
    PrintOutput("Peaks over interval %.1f L %.1f R\n", static_cast<double>(PeakDb(peaks[0])),
                static_cast<double>(PeakDb(peaks[1])));
  } else {
    // Every channel in order, in one write.
    char line[32 + 16 * kMostChannels] = "Peaks over interval";
    size_t length = std::strlen(line);
    for (uint32_t c = 0; c < channelCount; ++c) {
      length += static_cast<size_t>(std::snprintf(line + length, sizeof line - length, " %.1f",
                                                  static_cast<double>(PeakDb(peaks[c]))));
    }
    line[length++] = '\n';
    WriteOutput(line, length);
  }
}

// The run up to its last line; returns the exit status.
int Run(int argc, char** argv, WaveInput* input) {
  // Output that fails from the start (a full disk) ends the run at once: a
  // stream could otherwise be read for as long as its frames before START
  // last, an hour on a live recorder.
  if (!WriteOutput("Ostrel 1.01\n", 12)) return 2;
  const int arguments = argc - 1;
  if (arguments < 3) return Fail({1, kUsage});

  const char* path = argv[1];
  const float startTime = ParseTime(argv[2]);
  const float stopTime = ParseTime(argv[3]);
  // The magnification is read only when it is the last argument; with six or
  // more arguments it stays 1.
  const bool resolutionGiven = arguments >= 4;
  const int32_t resolutionArgument = resolutionGiven ? ParseResolution(argv[4]) : 0;
  const float magnification = arguments == 5 ? ParseMagnification(argv[5]) : 1.0f;

  // The input is opened once: the probe reads its head and the scan goes on
  // from the same handle, so a pipe or a FIFO is read only once. The probe
  // runs before the span is checked: a missing file is reported as such even
  // when the times are wrong too.
  if (!OpenWaveInput(path, input)) {
    WriteLine("The file called ", path, " cannot be found!");
    return 2;
  }
  WaveHeader header;
  const Result probe = GetAttributes(input, &header);
  if (probe.status != 0) return Fail(probe);

  // Frames past 2^32 are compared as they are: a span that starts past the
  // end of the data is empty, and one that stops past it ends there.
  const uint64_t startFrame = FrameAtTime(header.sampleRate, startTime);
  const uint64_t stopFrame = FrameAtTime(header.sampleRate, stopTime);
  if (startFrame >= stopFrame) return Fail({1, "Stop or start time not set correctly"});
  const uint64_t endFrame = stopFrame < header.frameCount ? stopFrame : header.frameCount;

  // Frames of more than 8 bytes, and layouts the scan does not decode (bits
  // below 8, no channels, mono samples of 5 to 7 bytes, 8-byte mono that is
  // not float), are refused: no answer rather than a wrong one.
  const uint64_t frameSize = uint64_t{header.bytesPerSample} * header.channelCount;
  if (frameSize > kMostFrameBytes || frameSize == 0 || header.layout == SampleLayout::kUndecoded)
    return Fail({1, "Unrecognized bit or channel configuration"});

  const uint32_t resolution =
      SettleResolution(resolutionGiven, resolutionArgument, header.sampleRate);
  TextRows rows{header.sampleRate, BlockInterval(resolution, header.sampleRate)};
  // Both frames lie within the frame count, within 32 bits; a span that
  // starts past the end of the data is empty.
  const auto end = static_cast<uint32_t>(endFrame);
  const ScanRequest request{input,
                            header,
                            startFrame < endFrame ? static_cast<uint32_t>(startFrame) : end,
                            end,
                            resolution,
                            magnification,
                            {&rows, PutRows, PutRowsOut, RowsCannotGoOut}};
  double peaks[kMostChannels] = {};
  // Peaks of part of the span would be a wrong answer: no summary then.
  const Result scan = ScanFrames(request, peaks);
  if (scan.status != 0) return Fail(scan);
  PrintSummary(magnification, header.channelCount, peaks);
  return 0;
}

}  // namespace

int RunOstrel(int argc, char** argv) {
  StartOutput();
  static WaveInput input;
  const int status = Run(argc, argv, &input);
  CloseWaveInput(&input);
  // Everything goes to standard output, so a write that failed there (a
  // full disk, a pipe closed with SIGPIPE ignored) would otherwise end as a
  // success with nothing written. A closed pipe with SIGPIPE at its default
  // never gets here: it ends the process quietly, as with other tools.
  if (OutputError() != 0) {
    std::fprintf(stderr, "ostrel: cannot write standard output: %s\n",
                 std::strerror(OutputError()));
    return 2;
  }
  return status;
}
