// wavgen: writes a test recording as a WAV file.
//
//   wavgen OUT.wav [--rate HZ] [--bits 8|16|24|32|64] [--format int|float|alaw|ulaw]
//                  [--channels 1...8] [--seconds S] [--shape swell|waves] [--rifx]
//
// "swell" is a 440 Hz tone that swells from silence to 0.8 of full scale and
// fades back over the whole file (the bundled example). "waves" is a tone
// with a little noise whose loudness rises and falls every 10 seconds, for
// long benchmark files. Samples are integer PCM (8 bits unsigned, the others
// signed), except 32 bits, which are IEEE float unless --format int asks for
// integers. --format float takes 32 or 64 bits (IEEE double); --format alaw
// and --format ulaw take 8 bits: the 16-bit sample coded by G.711 (format
// codes 6 and 7). Channel c (counting from 0) is the first at 1 / (c + 1)
// of its level, so the right channel of a stereo file is the left at half
// the level and no two channels are alike. --rifx writes a RIFX file: the
// header fields and every sample wider than a byte big-endian.
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
  const char* format = nullptr;  // int, float, alaw or ulaw; by default float only for 32 bits
  uint16_t formatCode = 1;       // 1 integer PCM, 3 IEEE float, 6 A-law, 7 mu-law
  uint16_t channels = 1;
  double seconds = 2.5;
  bool swell = true;
  bool rifx = false;
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
    if (std::strcmp(arg, "--rifx") == 0) {
      options.rifx = true;
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
        "usage: wavgen OUT.wav [--rate HZ] [--bits 8|16|24|32|64] "
        "[--format int|float|alaw|ulaw] [--channels 1...8] [--seconds S] [--shape swell|waves] "
        "[--rifx]");
  if (options.bits != 8 && options.bits != 16 && options.bits != 24 && options.bits != 32 &&
      options.bits != 64)
    Fail("bits must be 8, 16, 24, 32 or 64");
  if (options.format == nullptr)
    options.formatCode = options.bits == 32 ? 3 : 1;
  else if (std::strcmp(options.format, "float") == 0)
    options.formatCode = 3;
  else if (std::strcmp(options.format, "alaw") == 0)
    options.formatCode = 6;
  else if (std::strcmp(options.format, "ulaw") == 0)
    options.formatCode = 7;
  else if (std::strcmp(options.format, "int") != 0)
    Fail("the format must be int, float, alaw or ulaw");
  if (options.formatCode == 3 && options.bits != 32 && options.bits != 64)
    Fail("float samples take 32 or 64 bits");
  if (options.formatCode == 1 && options.bits == 64) Fail("64-bit samples are floats");
  if (options.formatCode >= 6 && options.bits != 8) Fail("A-law and mu-law samples take 8 bits");
  if (options.channels < 1 || options.channels > 8) Fail("channels must be 1 to 8");
  if (options.rate == 0) Fail("the rate must be positive");
  if (!(options.seconds >= 0)) Fail("the length must not be negative");
  return options;
}

void AppendSample(std::string* out, const Options& options, double value) {
  const bool be = options.rifx;
  if (options.formatCode == 3 && options.bits == 64)
    AppendDouble(out, value, be);
  else if (options.formatCode == 3)
    AppendFloat(out, static_cast<float>(value), be);
  else if (options.formatCode == 6 || options.formatCode == 7) {
    const auto linear = static_cast<int16_t>(std::lround(value * 32767));
    out->push_back(
        static_cast<char>(options.formatCode == 6 ? LinearToALaw(linear) : LinearToMuLaw(linear)));
  } else if (options.bits == 8)
    out->push_back(static_cast<char>(128 + std::lround(value * 127)));
  else if (options.bits == 16)
    Append16(out, static_cast<int32_t>(std::lround(value * 32767)), be);
  else if (options.bits == 24)
    Append24(out, static_cast<int32_t>(std::lround(value * 8388607)), be);
  else
    Append32(out, static_cast<uint32_t>(std::llround(value * 2147483647)), be);
}

}  // namespace

int main(int argc, char** argv) {
  const Options options = ParseOptions(argc, argv);
  const WavFormat format{options.formatCode, options.channels, options.rate, options.bits,
                         options.rifx};
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
    for (uint16_t c = 0; c < options.channels; ++c)
      AppendSample(&block, options, c == 0 ? value : value / (c + 1));
    if (block.size() >= (1u << 20)) {
      Write(block, file);
      block.clear();
    }
  }
  Write(block, file);
  if (std::fclose(file) != 0) Fail("cannot write the output file");
  return 0;
}
