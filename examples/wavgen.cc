// wavgen: writes a test recording as a WAV file.
//
//   wavgen OUT.wav [--rate HZ] [--bits 8|16|24|32] [--format int|float]
//                  [--channels 1|2] [--seconds S] [--shape swell|waves]
//
// "swell" is a 440 Hz tone that swells from silence to 0.8 of full scale and
// fades back over the whole file (the bundled example). "waves" is a tone
// with a little noise whose loudness rises and falls every 10 seconds, for
// long benchmark files. Samples are integer PCM (8 bits unsigned, the others
// signed), except 32 bits, which are IEEE float unless --format int asks for
// integers. The right channel of a stereo file is the left at half the
// level, so the two differ.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "examples/wav_writer.h"

namespace {

struct Options {
  const char* path = nullptr;
  uint32_t rate = 8000;
  uint16_t bits = 16;
  const char* format = nullptr;  // int or float; by default float only for 32 bits
  bool ieee = false;             // the samples are floats
  uint16_t channels = 1;
  double seconds = 2.5;
  bool swell = true;
};

[[noreturn]] void Fail(const char* message) {
  std::fprintf(stderr, "wavgen: %s\n", message);
  std::exit(2);
}

// A whole number or a decimal number that fills the whole text.
long WholeNumber(const char* text) {
  char* end;
  const long value = std::strtol(text, &end, 10);
  if (end == text || *end != '\0') Fail("an option's value is not a whole number");
  return value;
}

double Number(const char* text) {
  char* end;
  const double value = std::strtod(text, &end);
  if (end == text || *end != '\0') Fail("an option's value is not a number");
  return value;
}

void Write(const std::string& bytes, std::FILE* file) {
  if (std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size())
    Fail("cannot write the output file");
}

Options ParseOptions(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    if (arg[0] != '-') {
      options.path = arg;
      continue;
    }
    if (value == nullptr) Fail("an option lacks its value");
    ++i;
    if (std::strcmp(arg, "--rate") == 0)
      options.rate = static_cast<uint32_t>(WholeNumber(value));
    else if (std::strcmp(arg, "--bits") == 0)
      options.bits = static_cast<uint16_t>(WholeNumber(value));
    else if (std::strcmp(arg, "--format") == 0)
      options.format = value;
    else if (std::strcmp(arg, "--channels") == 0)
      options.channels = static_cast<uint16_t>(WholeNumber(value));
    else if (std::strcmp(arg, "--seconds") == 0)
      options.seconds = Number(value);
    else if (std::strcmp(arg, "--shape") == 0)
      options.swell = std::strcmp(value, "swell") == 0;
    else
      Fail("unknown option");
  }
  if (options.path == nullptr)
    Fail(
        "usage: wavgen OUT.wav [--rate HZ] [--bits 8|16|24|32] [--format int|float] "
        "[--channels 1|2] [--seconds S] [--shape swell|waves]");
  if (options.bits != 8 && options.bits != 16 && options.bits != 24 && options.bits != 32)
    Fail("bits must be 8, 16, 24 or 32");
  if (options.format == nullptr)
    options.ieee = options.bits == 32;
  else if (std::strcmp(options.format, "float") == 0)
    options.ieee = true;
  else if (std::strcmp(options.format, "int") != 0)
    Fail("the format must be int or float");
  if (options.ieee && options.bits != 32) Fail("float samples take 32 bits");
  if (options.channels != 1 && options.channels != 2) Fail("channels must be 1 or 2");
  if (options.rate == 0) Fail("the rate must be positive");
  if (!(options.seconds >= 0)) Fail("the length must not be negative");
  return options;
}

void AppendSample(std::string* out, const Options& options, double value) {
  if (options.ieee)
    AppendFloat(out, static_cast<float>(value));
  else if (options.bits == 8)
    out->push_back(static_cast<char>(128 + std::lround(value * 127)));
  else if (options.bits == 16)
    Append16(out, static_cast<int32_t>(std::lround(value * 32767)));
  else if (options.bits == 24)
    Append24(out, static_cast<int32_t>(std::lround(value * 8388607)));
  else
    Append32(out, static_cast<uint32_t>(std::llround(value * 2147483647)));
}

}  // namespace

int main(int argc, char** argv) {
  const Options options = ParseOptions(argc, argv);
  const WavFormat format{static_cast<uint16_t>(options.ieee ? 3 : 1), options.channels,
                         options.rate, options.bits};
  const uint64_t frames = static_cast<uint64_t>(options.seconds * options.rate);
  const uint64_t frameBytes = static_cast<uint64_t>(options.channels) * options.bits / 8;
  if (frames * frameBytes > 0xFFFFFFFFull) Fail("more samples than a WAV file can hold");

  std::FILE* file = std::fopen(options.path, "wb");
  if (file == nullptr) Fail("cannot create the output file");
  const std::string header = CanonicalHeader(format, static_cast<uint32_t>(frames * frameBytes));
  Write(header, file);

  const double pi = 3.14159265358979323846;
  const double step = 2 * pi * 440 / options.rate;
  uint32_t noise = 12345;
  std::string block;
  for (uint64_t frame = 0; frame < frames; ++frame) {
    const double t = static_cast<double>(frame) / options.rate;
    double envelope;
    if (options.swell) {
      const double s = std::sin(pi * t / options.seconds);
      envelope = 0.8 * s * s;
    } else {
      envelope = 0.45 + 0.4 * std::sin(2 * pi * t / 10);
    }
    double value = envelope * std::sin(step * static_cast<double>(frame % options.rate));
    if (!options.swell) {
      noise = noise * 1664525u + 1013904223u;
      value += 0.05 * (static_cast<double>(noise >> 8) / 16777216.0 - 0.5);
    }
    AppendSample(&block, options, value);
    if (options.channels == 2) AppendSample(&block, options, value / 2);
    if (block.size() >= (1u << 20)) {
      Write(block, file);
      block.clear();
    }
  }
  Write(block, file);
  if (std::fclose(file) != 0) Fail("cannot write the output file");
  return 0;
}
