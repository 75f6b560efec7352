// Writes the fuzzer's seed corpus: one file per header layout and per sample
// layout, each led by the bytes that choose its command line.
//
//   ostrel_fuzz_seeds FOLDER
//
// The files are small (a few hundred frames at 1000 Hz unless a layout needs
// more), so that each run is cheap and the fuzzer's mutations reach every
// byte of a file.

#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "examples/wav_writer.h"
#include "fuzz/fuzz_arguments.h"

namespace {

using ostrel_fuzz::EncodePrefix;
using ostrel_fuzz::PathForm;

std::string folder;
int written = 0;

// Every argument read, a span past the end of every seed, blocks of 16
// frames and a magnification that turns quiet blocks into dots.
const std::string kFullRun = EncodePrefix(5, PathForm::kFile, "0", "10", "16", "7.5");

void WriteSeed(const std::string& name, const std::string& bytes) {
  const std::string path = folder + "/" + name;
  if (!WriteBytes(path, bytes)) {
    std::fprintf(stderr, "ostrel_fuzz_seeds: cannot write %s\n", path.c_str());
    std::exit(1);
  }
  ++written;
}

// Every seed twice: as the text run and as the JSON report (--json before
// the file: the first byte's 0x40), so that the report's writer meets every
// layout, header and command line too.
void Seed(const std::string& name, const std::string& wav, const std::string& prefix = kFullRun) {
  WriteSeed(name, prefix + wav);
  std::string report = prefix;
  report[0] = static_cast<char>(report[0] | 0x40);
  WriteSeed(name + "-json", report + wav);
}

// A level that wanders through quiet and loud stretches, -1 ... 1.
double Wander(uint32_t i) {
  const int step = static_cast<int>((i * 37u + i / 16u * 11u) % 101u) - 50;
  const double envelope = (i / 32u) % 4u == 0 ? 0.05 : 1.0;
  return envelope * step / 50.0;
}

// Interleaved frames of the given layout. Integer widths are signed PCM
// except 8 bits (unsigned, as WAVE stores it); float and double are IEEE;
// A-law and mu-law are the 16-bit sample coded by G.711. Integers wider than
// 32 bits hold the 32-bit value in their top bytes. Big-endian for RIFX.
enum class Encoding { kInteger, kFloat, kALaw, kMuLaw };

std::string Samples(uint16_t bits, Encoding encoding, uint16_t channels, uint32_t frames,
                    bool bigEndian = false) {
  std::string out;
  for (uint32_t i = 0; i < frames; ++i) {
    for (uint16_t c = 0; c < channels; ++c) {
      const double level = Wander(i * channels + c);
      const auto linear = static_cast<int16_t>(level * 32767);
      if (encoding == Encoding::kALaw) {
        out.push_back(static_cast<char>(LinearToALaw(linear)));
      } else if (encoding == Encoding::kMuLaw) {
        out.push_back(static_cast<char>(LinearToMuLaw(linear)));
      } else if (encoding == Encoding::kFloat && bits == 32) {
        AppendFloat(&out, static_cast<float>(level), bigEndian);
      } else if (encoding == Encoding::kFloat && bits == 64) {
        AppendDouble(&out, level, bigEndian);
      } else if (bits <= 8) {
        out.push_back(static_cast<char>(128 + static_cast<int>(level * 127)));
      } else if (bits <= 16) {
        Append16(&out, linear, bigEndian);
      } else if (bits <= 24) {
        Append24(&out, static_cast<int32_t>(level * 8388607), bigEndian);
      } else {
        const std::string low(bits > 32 ? (bits - 25) / 8 : 0, '\0');
        if (!bigEndian) out += low;
        Append32(&out, static_cast<uint32_t>(static_cast<int32_t>(level * 2147483647.0)),
                 bigEndian);
        if (bigEndian) out += low;
      }
    }
  }
  return out;
}

const WavFormat kMono16{1, 1, 1000, 16};
const std::string kMono16Samples = Samples(16, Encoding::kInteger, 1, 200);

std::string Canonical() { return WavFile(kMono16, kMono16Samples); }

// A chunk whose body is `size` bytes of filler without any tag's letters.
std::string Filler(const std::string& tag, uint32_t size) {
  return Chunk(tag, std::string(size, '\x5A'));
}

// As Filler, but an odd size gets no pad byte, so the next chunk starts at
// an odd position.
std::string UnpaddedFiller(uint32_t size) {
  return "JUNK" + Le32(size) + std::string(size, '\x5A');
}

std::string DataChunk(const std::string& samples) { return Chunk("data", samples); }

void SampleLayouts() {
  struct Layout {
    const char* name;
    uint16_t code;
    uint16_t bits;
    Encoding encoding;
    uint16_t channels;
    bool rifx = false;
  };
  constexpr Encoding kInt = Encoding::kInteger;
  const Layout layouts[] = {
      {"pcm8-mono", 1, 8, Encoding::kInteger, 1},
      {"pcm8-stereo", 1, 8, Encoding::kInteger, 2},
      {"pcm16-mono", 1, 16, Encoding::kInteger, 1},
      {"pcm16-stereo", 1, 16, Encoding::kInteger, 2},
      {"pcm16-3ch", 1, 16, Encoding::kInteger, 3},
      {"pcm16-4ch", 1, 16, Encoding::kInteger, 4},
      {"pcm24-mono", 1, 24, Encoding::kInteger, 1},
      {"pcm24-stereo", 1, 24, Encoding::kInteger, 2},
      {"pcm24-3ch", 1, 24, Encoding::kInteger, 3},
      {"pcm32-mono", 1, 32, Encoding::kInteger, 1},
      {"pcm32-stereo", 1, 32, Encoding::kInteger, 2},
      {"float32-mono", 3, 32, Encoding::kFloat, 1},
      {"float32-stereo", 3, 32, Encoding::kFloat, 2},
      {"float64-mono", 3, 64, Encoding::kFloat, 1},
      {"float64-stereo", 3, 64, Encoding::kFloat, 2},
      {"pcm12-mono", 1, 12, Encoding::kInteger, 1},
      {"pcm20-stereo", 1, 20, Encoding::kInteger, 2},
      {"pcm28-mono", 1, 28, Encoding::kInteger, 1},
      // G.711, expanded to 16-bit values.
      {"alaw-mono", 6, 8, Encoding::kALaw, 1},
      {"alaw-stereo", 6, 8, Encoding::kALaw, 2},
      {"ulaw-mono", 7, 8, Encoding::kMuLaw, 1},
      {"ulaw-stereo", 7, 8, Encoding::kMuLaw, 2},
      {"ulaw-8ch", 7, 8, Encoding::kMuLaw, 8},
      // Three to eight channels, a frame of up to 8 bytes.
      {"pcm8-3ch", 1, 8, kInt, 3},
      {"pcm8-5ch", 1, 8, kInt, 5},
      {"pcm8-8ch", 1, 8, kInt, 8},
      {"pcm12-4ch", 1, 12, kInt, 4},
      {"alaw-6ch", 6, 8, Encoding::kALaw, 6},
      // RIFX: every width big-endian.
      {"rifx-pcm8-stereo", 1, 8, kInt, 2, true},
      {"rifx-pcm16-mono", 1, 16, kInt, 1, true},
      {"rifx-pcm16-stereo", 1, 16, kInt, 2, true},
      {"rifx-pcm16-4ch", 1, 16, kInt, 4, true},
      {"rifx-pcm24-stereo", 1, 24, kInt, 2, true},
      {"rifx-pcm32-stereo", 1, 32, kInt, 2, true},
      {"rifx-float32-stereo", 3, 32, Encoding::kFloat, 2, true},
      {"rifx-float64-mono", 3, 64, Encoding::kFloat, 1, true},
      {"rifx-ulaw-stereo", 7, 8, Encoding::kMuLaw, 2, true},
      // Refused: samples of 5 to 8 bytes that are not 64-bit floats, and
      // frames over 8 bytes (pcm24-3ch and float64-stereo above too).
      {"pcm40-mono", 1, 40, kInt, 1},
      {"pcm56-mono", 1, 56, kInt, 1},
      {"pcm64-mono", 1, 64, kInt, 1},
      {"float56-mono", 3, 56, kInt, 1},
      {"pcm16-5ch", 1, 16, kInt, 5},
      {"alaw16-mono", 6, 16, kInt, 1},  // G.711 only at 8 bits: 16-bit integers
  };
  for (const Layout& l : layouts) {
    const WavFormat format{l.code, l.channels, 1000, l.bits, l.rifx};
    Seed("sample-" + std::string(l.name),
         WavFile(format, Samples(l.bits, l.encoding, l.channels, 200, l.rifx)));
  }
  // Extensible format chunks naming G.711 and float, in RIFF and RIFX
  // (whose subformat code is big-endian too).
  Seed("sample-ulaw-extensible", RiffWave(FormatChunk({7, 1, 1000, 8}, 40) +
                                          Chunk("data", Samples(8, Encoding::kMuLaw, 1, 200))));
  Seed("sample-rifx-pcm32-extensible",
       RiffWave(FormatChunk({1, 2, 1000, 32, true}, 40) +
                    Chunk("data", Samples(32, kInt, 2, 200, true), true),
                true));
  Seed("sample-rifx-float64-extensible",
       RiffWave(FormatChunk({3, 1, 1000, 64, true}, 40) +
                    Chunk("data", Samples(64, Encoding::kFloat, 1, 200, true), true),
                true));

  // 32-bit integer samples in an extensible format chunk.
  const std::string int32Stereo = Samples(32, Encoding::kInteger, 2, 200);
  Seed("sample-pcm32-extensible",
       RiffWave(FormatChunk({1, 2, 1000, 32}, 40) + Chunk("data", int32Stereo)));

  // Float bit patterns that are not plain numbers: zeros of both signs,
  // subnormals, infinities, NaNs, the largest finite values and values far
  // beyond full scale, in mono and stereo. NaNs' levels fill a row with
  // 2^31 - 1 dots, so these seeds take blocks longer than the file (no rows,
  // only the peaks), which keeps them fast; the fuzzer's mutations of the
  // resolution find the rest.
  const std::string noRows = EncodePrefix(5, PathForm::kFile, "0", "10", "1000", "1");
  // Integer words read as float bit patterns: under a code other than
  // integer PCM, and under an extensible chunk cut off before its subformat.
  Seed("sample-pcm32-code-0", WavFile({0, 2, 1000, 32}, int32Stereo), noRows);
  Seed("sample-pcm32-extensible-cut",
       RiffWave(Chunk("data", int32Stereo) + FormatChunk({1, 2, 1000, 32}, 40).substr(0, 32)),
       noRows);
  const uint32_t odd[] = {0x00000000, 0x80000000, 0x00000001, 0x807FFFFF, 0x7F800000, 0xFF800000,
                          0x7FC00000, 0xFFFFFFFF, 0x7F7FFFFF, 0xFF7FFFFF, 0x3F800000, 0xBF800000,
                          0x4B000000, 0x5F000000, 0x00800000, 0x3F000000};
  std::string bits;
  for (int repeat = 0; repeat < 4; ++repeat)
    for (uint32_t word : odd) Append32(&bits, word);
  Seed("sample-float32-odd-bits-mono", WavFile({3, 1, 1000, 32}, bits), noRows);
  Seed("sample-float32-odd-bits-stereo", WavFile({3, 2, 1000, 32}, bits), noRows);
  // Doubles that are no plain float: beyond the float range, NaNs with
  // payloads, ties, subnormal results.
  const uint64_t oddDoubles[] = {0x7FF0000000000000, 0xFFF0000000000000, 0x7FF8000000000001,
                                 0x7FF4000000000000, 0xFFFFFFFFFFFFFFFF, 0x7FEFFFFFFFFFFFFF,
                                 0x47EFFFFFF0000000, 0x3FF0000010000000, 0x3690000000000000,
                                 0x36A8000000000000, 0x0000000000000001, 0x8000000000000000};
  std::string doubles, rifxDoubles;
  for (int repeat = 0; repeat < 4; ++repeat) {
    for (uint64_t word : oddDoubles) {
      doubles += Le64(word);
      rifxDoubles += Be64(word);
    }
  }
  Seed("sample-float64-odd-bits", WavFile({3, 1, 1000, 64}, doubles), noRows);
  Seed("sample-rifx-float64-odd-bits", WavFile({3, 1, 1000, 64, true}, rifxDoubles), noRows);
  // Every G.711 code, of both laws.
  std::string codes;
  for (int code = 0; code < 256; ++code) codes.push_back(static_cast<char>(code));
  Seed("sample-alaw-every-code", WavFile({6, 1, 1000, 8}, codes),
       EncodePrefix(5, PathForm::kFile, "0", "10", "1", "256"));
  Seed("sample-ulaw-every-code", WavFile({7, 2, 1000, 8}, codes),
       EncodePrefix(5, PathForm::kFile, "0", "10", "3", "1"));
  // Digital silence as floats: every sample is the smallest level there is.
  Seed("sample-float32-silence", WavFile({3, 1, 1000, 32}, std::string(400, '\0')));

  // Full-scale integer extremes: the most negative and most positive samples.
  std::string extremes;
  for (int i = 0; i < 32; ++i) Append16(&extremes, i % 2 == 0 ? -32768 : 32767);
  Seed("sample-pcm16-extremes", WavFile(kMono16, extremes),
       EncodePrefix(5, PathForm::kFile, "0", "10", "1", "256"));
  std::string extremes24;
  for (int i = 0; i < 32; ++i) Append24(&extremes24, i % 2 == 0 ? -8388608 : 8388607);
  Seed("sample-pcm24-extremes", WavFile({1, 2, 1000, 24}, extremes24),
       EncodePrefix(5, PathForm::kFile, "0", "10", "3", "1"));
  std::string extremes8;
  for (int i = 0; i < 32; ++i) extremes8.push_back(i % 2 == 0 ? '\x00' : '\xFF');
  Seed("sample-pcm8-extremes", WavFile({1, 2, 1000, 8}, extremes8),
       EncodePrefix(5, PathForm::kFile, "0", "10", "1", "256"));
  std::string extremes32;
  for (int i = 0; i < 32; ++i) Append32(&extremes32, i % 2 == 0 ? 0x80000000u : 0x7FFFFFFFu);
  Seed("sample-pcm32-extremes", WavFile({1, 1, 1000, 32}, extremes32),
       EncodePrefix(5, PathForm::kFile, "0", "10", "3", "1"));

  // A real-world rate with rows stamped in all three precisions.
  const WavFormat cd{1, 2, 44100, 16};
  const std::string cdSamples = Samples(16, Encoding::kInteger, 2, 2205);
  Seed("sample-pcm16-44100-default", WavFile(cd, cdSamples),
       EncodePrefix(3, PathForm::kFile, "0", "1", "0", "1"));
  Seed("sample-pcm16-44100-res441", WavFile(cd, cdSamples),
       EncodePrefix(4, PathForm::kFile, "0", "1", "441", "1"));
  Seed("sample-pcm16-44100-res40", WavFile(cd, cdSamples),
       EncodePrefix(5, PathForm::kFile, "0", "1", "40", "2"));
}

void HeaderLayouts() {
  const std::string fmt = FormatChunk(kMono16);
  const std::string data = DataChunk(kMono16Samples);

  Seed("header-canonical", Canonical());
  Seed("header-fmt18", RiffWave(FormatChunk(kMono16, 18) + data));
  Seed("header-fmt40", RiffWave(FormatChunk({3, 2, 1000, 32}, 40) +
                                DataChunk(Samples(32, Encoding::kFloat, 2, 100))));
  const std::string list = Chunk("LIST", "INFO" + Chunk("INAM", "seed with a list chunk") +
                                             Chunk("ISFT", "ostrel fuzz seeds"));
  Seed("header-list-between", RiffWave(fmt + list + data));
  Seed("header-list-first", RiffWave(list + fmt + data));
  Seed("header-data-first", RiffWave(data + fmt));

  // The letters of a tag inside an earlier chunk, at an even position: the
  // probe takes them for the chunk.
  Seed("header-data-in-list",
       RiffWave(fmt + Chunk("LIST", "INFO" + Chunk("ICMT", "xxdata and more")) + data));
  Seed("header-fmt-in-list",
       RiffWave(Chunk("LIST", "INFO" + Chunk("ICMT", "xxfmt and more text")) + fmt + data));
  // The same letters at odd positions inside a chunk are passed over.
  Seed("header-data-in-list-odd",
       RiffWave(fmt + Chunk("LIST", "INFO" + Chunk("ICMT", "xdata and more")) + data));

  // Tags at odd positions are never found.
  Seed("header-fmt-odd", RiffWave(UnpaddedFiller(3) + fmt + data));
  Seed("header-data-odd", RiffWave(fmt + UnpaddedFiller(5) + data));

  // Tags at the last probed position, 15000, and just past it, 15002. The
  // riff header is 12 bytes and a chunk head 8.
  Seed("header-fmt-at-15000",
       RiffWave(data + Filler("JUNK", 15000 - 12 - 8 - static_cast<uint32_t>(data.size())) + fmt));
  Seed("header-fmt-at-15002",
       RiffWave(data + Filler("JUNK", 15002 - 12 - 8 - static_cast<uint32_t>(data.size())) + fmt));
  Seed("header-data-at-15000", RiffWave(fmt + Filler("JUNK", 15000 - 12 - 8 - 24) + data));
  Seed("header-data-at-15002", RiffWave(fmt + Filler("JUNK", 15002 - 12 - 8 - 24) + data));
  Seed("header-fmt-fields-at-end",
       RiffWave(data + Filler("JUNK", 14980 - 20 - static_cast<uint32_t>(data.size())) +
                fmt.substr(0, 20)));

  // Files cut off inside the header, down to nothing.
  const std::string whole = Canonical();
  const size_t cuts[] = {0, 4, 8, 12, 16, 20, 24, 34, 35, 36, 40, 43, 44, 45};
  for (size_t length : cuts)
    Seed("header-cut-at-" + std::to_string(length), whole.substr(0, length));
  // "fmt" in the last 10 bytes: its fields run past the end.
  Seed("header-fmt-in-last-bytes", "RIFF" + Le32(16) + "WAVE" + "fmt " + Le32(16) + "\x01");
  Seed("header-data-size-cut", RiffWave(fmt + "data" + Le16(64)));
  Seed("header-data-tag-last", RiffWave(fmt + "data"));

  // Data sizes that do not match the file.
  const std::string fmtStereo = FormatChunk({1, 2, 1000, 16});
  const std::string stereo = Samples(16, Encoding::kInteger, 2, 100);
  Seed("header-size-too-large", RiffWave(fmt + "data" + Le32(4000) + kMono16Samples));
  Seed("header-size-ffffffff", RiffWave(fmt + "data" + Le32(0xFFFFFFFF) + kMono16Samples));
  Seed("header-size-zero", RiffWave(fmt + "data" + Le32(0) + kMono16Samples));
  Seed("header-size-partial-frame",
       RiffWave(fmtStereo + "data" + Le32(static_cast<uint32_t>(stereo.size()) - 3) + stereo));
  Seed("header-file-partial-frame", RiffWave(fmtStereo + DataChunk(stereo)).substr(0, 44 + 397));

  const std::string mono16 = kMono16Samples;

  // RF64 and BW64: the data size in the ds64 chunk, right, too large, 0,
  // cut to a partial frame; a ds64 chunk too short, or in a RIFF file; a
  // file cut off inside ds64.
  const std::string deferred = fmt + "data" + Le32(0xFFFFFFFF);
  const uint64_t bytes = mono16.size();
  Seed("header-rf64", Rf64Wave("RF64", bytes, deferred) + mono16);
  Seed("header-bw64", Rf64Wave("BW64", bytes, deferred) + mono16);
  Seed("header-rf64-size-too-large", Rf64Wave("RF64", 1ull << 40, deferred) + mono16);
  Seed("header-rf64-size-zero", Rf64Wave("RF64", 0, deferred) + mono16);
  Seed("header-rf64-size-partial-frame", Rf64Wave("RF64", bytes - 1, deferred) + mono16);
  Seed("header-rf64-own-size", Rf64Wave("RF64", bytes, fmt + "data" + Le32(64)) + mono16);
  Seed("header-rf64-ds64-short", "RF64" + Le32(0xFFFFFFFF) + "WAVE" +
                                     Chunk("ds64", Le64(0) + Le64(bytes)) + deferred + mono16);
  Seed("header-riff-with-ds64", "RIFF" + Rf64Wave("RF64", 8, deferred).substr(4) + mono16);
  for (size_t length : {size_t{20}, size_t{30}, size_t{47}})
    Seed("header-rf64-cut-at-" + std::to_string(length),
         Rf64Wave("RF64", bytes, deferred).substr(0, length));

  // Format fields the scan cannot use or that nothing may divide by.
  Seed("header-channels-0", WavFile({1, 0, 1000, 16}, mono16));
  Seed("header-bits-4", WavFile({1, 1, 1000, 4}, mono16));
  Seed("header-bits-0", WavFile({1, 2, 1000, 0}, mono16));
  Seed("header-channels-65535", WavFile({1, 65535, 1000, 16}, mono16));
  Seed("header-bits-65535", WavFile({1, 1, 1000, 65535}, mono16));
  Seed("header-rate-0", WavFile({1, 1, 0, 16}, mono16),
       EncodePrefix(5, PathForm::kFile, "0", "10", "5", "1"));
  Seed("header-rate-1", WavFile({1, 1, 1, 16}, mono16),
       EncodePrefix(5, PathForm::kFile, "0", "3600", "1", "1"));
  Seed("header-rate-19", WavFile({1, 1, 19, 16}, mono16),
       EncodePrefix(3, PathForm::kFile, "0", "3600", "0", "1"));
  Seed("header-rate-4294967295", WavFile({1, 1, 4294967295u, 16}, mono16),
       EncodePrefix(5, PathForm::kFile, "0", "1e-9", "3", "1"));
  Seed("header-rate-2147483648", WavFile({1, 2, 2147483648u, 16}, mono16),
       EncodePrefix(5, PathForm::kFile, "0", "1e-9", "2", "1"));
  // Refused layouts with a span that is bad too: the span is reported.
  Seed("header-bits-4-bad-span", WavFile({1, 1, 1000, 4}, mono16),
       EncodePrefix(5, PathForm::kFile, "1", "1", "16", "1"));

  // RIFX headers: the canonical one, a data size smaller than the file, one
  // left unknown, and one cut off; and a RIFX file whose fields are
  // little-endian, as a careless writer leaves them.
  const WavFormat rifx16{1, 1, 1000, 16, true};
  const std::string rifxSamples = Samples(16, Encoding::kInteger, 1, 200, true);
  Seed("header-rifx", WavFile(rifx16, rifxSamples));
  Seed("header-rifx-size-small",
       RiffWave(FormatChunk(rifx16) + "data" + Be32(64) + rifxSamples, true));
  Seed("header-rifx-size-ffffffff",
       RiffWave(FormatChunk(rifx16) + "data" + Be32(0xFFFFFFFF) + rifxSamples, true));
  Seed("header-rifx-data-size-cut", RiffWave(FormatChunk(rifx16) + "data" + Be16(0), true));
  Seed("header-rifx-little-endian-fields", "RIFX" + Canonical().substr(4));

  Seed("header-not-audio", "This file holds text and no audio at all.\n");
}

void CommandLines() {
  const std::string wav = WavFile({1, 2, 1000, 16}, Samples(16, Encoding::kInteger, 2, 150));
  struct Line {
    const char* name;
    int count;
    PathForm path;
    const char* start;
    const char* stop;
    const char* resolution;
    const char* magnification;
  };
  const Line lines[] = {
      {"args-3", 3, PathForm::kFile, "0", "10", "0", "1"},
      {"args-4", 4, PathForm::kFile, "0.00", "0.10", "7", "1"},
      {"args-6", 6, PathForm::kFile, "0", "10", "5", "256"},
      {"args-7", 7, PathForm::kFile, "0", "10", "5", "256"},
      {"args-2", 2, PathForm::kFile, "0", "10", "5", "1"},
      {"args-0", 0, PathForm::kFile, "0", "10", "5", "1"},
      {"path-long", 5, PathForm::kLongPath, "0", "10", "16", "1"},
      {"path-missing", 5, PathForm::kMissing, "0", "10", "16", "1"},
      {"path-directory", 5, PathForm::kDirectory, "0", "10", "16", "1"},
      {"times-equal", 5, PathForm::kFile, "1", "1", "16", "1"},
      {"times-negative-start", 5, PathForm::kFile, "-1", "10", "16", "1"},
      {"times-tiny-negative-start", 5, PathForm::kFile, "-0.00001", "0.10", "16", "1"},
      {"times-negative-stop", 5, PathForm::kFile, "0", "-1", "16", "1"},
      {"times-nan", 5, PathForm::kFile, "nan", "inf", "16", "1"},
      {"times-huge", 5, PathForm::kFile, "0", "1e30", "16", "1"},
      {"times-beyond-data", 5, PathForm::kFile, "1", "10", "16", "1"},
      {"times-text", 5, PathForm::kFile, "abc", "0x1p-4", "16", "1"},
      {"resolution-negative", 5, PathForm::kFile, "0", "10", "-1", "1"},
      {"resolution-limit", 5, PathForm::kFile, "0", "10", "2147483648", "1"},
      {"resolution-beyond-long", 5, PathForm::kFile, "0", "10", "99999999999999999999", "1"},
      {"resolution-rate", 5, PathForm::kFile, "0", "10", "1000", "1"},
      {"magnification-nan", 5, PathForm::kFile, "0", "10", "16", "nan"},
      {"magnification-1-256", 5, PathForm::kFile, "0", "10", "16", "0.00390625"},
      {"magnification-over", 5, PathForm::kFile, "0", "10", "16", "256.00001"},
      {"magnification-inf", 5, PathForm::kFile, "0", "10", "16", "inf"},
  };
  for (const Line& l : lines)
    Seed(l.name, wav,
         EncodePrefix(l.count, l.path, l.start, l.stop, l.resolution, l.magnification));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: ostrel_fuzz_seeds FOLDER\n");
    return 2;
  }
  folder = argv[1];
  if (mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST) {
    std::perror(folder.c_str());
    return 1;
  }
  SampleLayouts();
  HeaderLayouts();
  CommandLines();
  std::printf("%d seeds in %s\n", written, folder.c_str());
  return 0;
}
