#include "driver/run.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "driver/settings.h"
#include "scan/scan.h"
#include "wavefile/wavefile.h"

namespace {

[[noreturn]] void Usage() {
  // One write for the whole text where standard output is unbuffered.
  std::fputs(
      "This program will print a basic waveform image\n"
      "Run with command line argument 1 being the name of the wavefile\n"
      "Arguments 2 and 3 are the start/stop times in seconds to scan within the file.\n"
      "Argument 4 (optional) is resolution in samples.  Default = samplerate / 20 \n"
      "Argument 5 (optional) is magnification: Above 1 magnifies (256 is the max).  Between 0 and "
      "1 zooms out.\n",
      stdout);
  std::exit(1);
}

[[noreturn]] void DriverFault(WaveInput* input, const char* message) {
  CloseWaveInput(input);
  std::fprintf(stdout, "%s\n", message);  // one write, the line whole (printf would become puts)
  std::exit(1);
}

void PrintSummary(float magnification, uint32_t channelCount, double peakL, double peakR) {
  std::printf("Showing values above %.0f dB\n", static_cast<double>(ThresholdDb(magnification)));
  if (channelCount == 1)
    std::printf("Peak over interval %.1f dB\n", static_cast<double>(PeakDb(peakL)));
  else if (channelCount == 2)
    std::printf("Peaks over interval %.1f L %.1f R\n", static_cast<double>(PeakDb(peakL)),
                static_cast<double>(PeakDb(peakR)));
}

}  // namespace

int RunOstrel(int argc, char** argv) {
  std::fputs("Ostrel 1.01\n", stdout);  // one write, whole, where stdout is unbuffered
  // Output that fails from the start (a full disk) ends the run at once: a
  // stream could otherwise be read for as long as its frames before START
  // last, an hour on a live recorder.
  if (std::ferror(stdout)) std::exit(2);
  const int arguments = argc - 1;
  if (arguments < 3) Usage();

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
  static WaveInput input;
  if (!OpenWaveInput(path, &input)) {
    std::printf("The file called %s cannot be found!\n", path);
    std::exit(2);
  }
  uint32_t sampleRate, bytesPerSample, channelCount, dataOffset, frameCount;
  SampleFormat sampleFormat;
  GetAttributes(&input, &sampleRate, &bytesPerSample, &channelCount, &dataOffset, &frameCount,
                &sampleFormat);

  // Frames past 2^32 are compared as they are: a span that starts past the
  // end of the data is empty, and one that stops past it ends there.
  const uint64_t startFrame = FrameAtTime(sampleRate, startTime);
  const uint64_t stopFrame = FrameAtTime(sampleRate, stopTime);
  if (startFrame >= stopFrame) DriverFault(&input, "Stop or start time not set correctly");
  const uint64_t endFrame = stopFrame < frameCount ? stopFrame : frameCount;

  const uint64_t frameSize = static_cast<uint64_t>(bytesPerSample) * channelCount;
  if (frameSize > 8) DriverFault(&input, "Unrecognized bit or channel configuration");

  const uint32_t resolution = SettleResolution(resolutionGiven, resolutionArgument, sampleRate);
  const double interval = BlockInterval(resolution, sampleRate);

  double peakL = 0;
  double peakR = 0;
  if (startFrame < endFrame) {
    // Both lie below the frame count, within 32 bits.
    const int error =
        ScanFrames(&input, dataOffset, static_cast<uint32_t>(frameSize), sampleFormat, channelCount,
                   sampleRate, static_cast<uint32_t>(startFrame), static_cast<uint32_t>(endFrame),
                   resolution, magnification, interval, &peakL, &peakR);
    // Peaks of part of the span would be a wrong answer: no summary then.
    if (error != 0) ReadFault(&input, error);
  }

  PrintSummary(magnification, channelCount, peakL, peakR);
  CloseWaveInput(&input);
  return 0;
}
