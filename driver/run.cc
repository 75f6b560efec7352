#include "driver/run.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "display/output.h"
#include "display/report.h"
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

const char kOptions[] =
    "Options, before the file (-- ends them; a file called --json is ./--json):\n"
    "  --json          print a JSON report (format, rows, peaks, RMS, clipping) instead\n"
    "  -h, --help      print this text\n"
    "  -V, --version   print the version";

// Where the lines that end a run go: standard output for the text (as they
// always have), standard error for a report, whose standard output holds
// the document alone.
bool toStandardError = false;

// Prints the line that ends the run early, in one write, and returns its
// status: the message, then `name` and `end`, or the system's reason for
// the error. A failed output is reported once the run is over (RunOstrel).
int Fail(const Result& result, const char* name = "", const char* end = "") {
  if (result.error != 0) end = std::strerror(result.error);
  if (toStandardError && !result.onStandardError)
    std::fprintf(stderr, "%s%s%s\n", result.message, name, end);
  else if (!result.onStandardError)
    WriteLine(result.message, name, end);
  return result.status;
}

bool PutRows(void* context, uint32_t firstFrame, uint32_t step, uint32_t count,
             const double* levels) {
  const auto* rows = static_cast<const TextRows*>(context);
  return WaveformRows(firstFrame, step, count, rows->sampleRate, levels, rows->interval);
}

bool PutRowsOut(void*) { return FlushRows(); }

bool RowsCannotGoOut(void*) { return OutputBroken(); }

bool PutReportRows(void* context, uint32_t firstFrame, uint32_t step, uint32_t count,
                   const double* levels) {
  return ReportRows(firstFrame, step, count, static_cast<const TextRows*>(context)->sampleRate,
                    levels);
}

bool PutReportOut(void*) { return FlushReport(); }

const char* ContainerName(Container container) {
  switch (container) {
    case Container::kRifx:
      return "RIFX";
    case Container::kRf64:
      return "RF64";
    case Container::kBw64:
      return "BW64";
    case Container::kRiff:
      break;
  }
  return "RIFF";
}

const char* LayoutName(SampleLayout layout) {
  switch (layout) {
    case SampleLayout::kUnsigned8:
      return "u8";
    case SampleLayout::kALaw:
      return "alaw";
    case SampleLayout::kMuLaw:
      return "ulaw";
    case SampleLayout::kSigned16:
      return "s16";
    case SampleLayout::kSigned24:
      return "s24";
    case SampleLayout::kSigned32:
      return "s32";
    case SampleLayout::kFloat32:
      return "f32";
    case SampleLayout::kFloat64:
      return "f64";
    case SampleLayout::kUndecoded:
      break;
  }
  return "none";
}

// 20 log10 of the root mean square over `frames` frames, full scale 0 dB:
// -inf for silence, nan for no frames.
double RmsDb(const ChannelStatistics& channel, const LayoutEntry& entry, uint32_t frames) {
  if (frames == 0) return std::nan("");
  const double meanSquare =
      entry.unit != 0 ? static_cast<double>(channel.squareUnits) / frames * entry.unit * entry.unit
                      : channel.squares / frames;
  return 20.0 * std::log10(std::sqrt(meanSquare) * 0.0078125);
}

// The report's closing part: the threshold and every channel.
bool EndReport(const WaveHeader& header, float magnification, const double* peaks,
               const ChannelStatistics* statistics, uint32_t frames) {
  const LayoutEntry& entry = LayoutOf(header.layout, header.byteOrder);
  ReportChannel channels[kMostChannels];
  for (uint32_t c = 0; c < header.channelCount; ++c) {
    channels[c] = {static_cast<double>(PeakDb(peaks[c])), statistics[c].peakFrame,
                   RmsDb(statistics[c], entry, frames), statistics[c].clipped};
  }
  return ReportEnd(static_cast<double>(ThresholdDb(magnification)), channels, header.channelCount);
}

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

// The run up to its last line, the text or, with `report`, the JSON
// report; argv[1] is the file. Returns the exit status.
int Run(int argc, char** argv, WaveInput* input, bool report) {
  // Output that fails from the start (a full disk) ends the run at once: a
  // stream could otherwise be read for as long as its frames before START
  // last, an hour on a live recorder.
  if (!report && !WriteOutput("Ostrel 1.01\n", 12)) return 2;
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
  if (!OpenWaveInput(path, input)) return Fail({2, "The file called "}, path, " cannot be found!");
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
  ChannelStatistics statistics[kMostChannels];
  const ScanRequest request{
      input,
      header,
      startFrame < endFrame ? static_cast<uint32_t>(startFrame) : end,
      end,
      resolution,
      magnification,
      report ? LevelSink{&rows, PutReportRows, PutReportOut, RowsCannotGoOut} : TextRowsSink(&rows),
      report ? statistics : nullptr};
  if (report) {
    ReportStart({path, ContainerName(header.container), LayoutName(header.layout),
                 header.bitsPerSample, header.channelCount, header.sampleRate, header.frameCount,
                 header.lengthKnown, startFrame, endFrame, resolution, rows.interval,
                 magnification});
  }
  double peaks[kMostChannels] = {};
  uint32_t frames = 0;
  // Peaks of part of the span would be a wrong answer: no summary then (a
  // report is left unfinished).
  const Result scan = ScanFrames(request, peaks, &frames);
  if (scan.status != 0) return Fail(scan);
  if (report)
    EndReport(header, magnification, peaks, statistics, frames);
  else
    PrintSummary(magnification, header.channelCount, peaks);
  return 0;
}

bool IsOption(const char* argument, const char* shortName, const char* longName) {
  return std::strcmp(argument, longName) == 0 ||
         (shortName != nullptr && std::strcmp(argument, shortName) == 0);
}

// The options before the file. They are looked for only when the first
// argument is one of them, so that every command line without them (a file
// called -x.wav included) runs as it always has. Returns -1 to go on with
// the run, whose file is argv[*file]; otherwise the exit status.
int ParseOptions(int argc, char** argv, int* file, bool* report) {
  const char* first = argc > 1 ? argv[1] : "";
  if (!IsOption(first, "-h", "--help") && !IsOption(first, "-V", "--version") &&
      !IsOption(first, nullptr, "--json") && !IsOption(first, nullptr, "--"))
    return -1;
  for (*file = 1; *file < argc; ++*file) {
    const char* argument = argv[*file];
    if (std::strcmp(argument, "--") == 0) {
      ++*file;
      break;
    }
    if (argument[0] != '-' || argument[1] == '\0') break;  // the file, or "-"
    if (IsOption(argument, "-h", "--help")) {
      WriteLine(kUsage, "\n", kOptions);
      return 0;
    }
    if (IsOption(argument, "-V", "--version")) {
      WriteOutput("Ostrel 1.01\n", 12);
      return 0;
    }
    if (!IsOption(argument, nullptr, "--json")) {
      std::fprintf(stderr, "Unknown option: %s\n%s\n%s\n", argument, kUsage, kOptions);
      return 1;
    }
    *report = true;
  }
  return -1;
}

}  // namespace

LevelSink TextRowsSink(TextRows* rows) { return {rows, PutRows, PutRowsOut, RowsCannotGoOut}; }

int RunOstrel(int argc, char** argv) {
  StartOutput();
  int file = 1;
  bool report = false;
  int status = ParseOptions(argc, argv, &file, &report);
  toStandardError = report;
  static WaveInput input;
  // The arguments from the file on, with the program's name before them.
  if (status < 0) status = Run(argc - (file - 1), argv + (file - 1), &input, report);
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
