// Building blocks for RIFF/WAVE files and their big-endian twin RIFX: the
// example generator, the tests and the benchmark all write their files with
// these.
#ifndef OSTREL_EXAMPLES_WAV_WRITER_H
#define OSTREL_EXAMPLES_WAV_WRITER_H

#include <cstddef>
#include <cstdint>
#include <string>

struct WavFormat {
  uint16_t formatCode;  // 1 integer PCM, 3 IEEE float, 6 G.711 A-law, 7 G.711 mu-law
  uint16_t channels;
  uint32_t sampleRate;
  uint16_t bitsPerSample;
  // RIFX: the file starts with "RIFX", and every size, every format field
  // and every sample wider than a byte is stored big-endian.
  bool bigEndian = false;
};

// Little-endian fields.
std::string Le16(uint32_t value);
std::string Le32(uint32_t value);
std::string Le64(uint64_t value);
// Big-endian fields.
std::string Be16(uint32_t value);
std::string Be32(uint32_t value);
std::string Be64(uint64_t value);
// A field in the given byte order.
std::string Field16(uint32_t value, bool bigEndian);
std::string Field32(uint32_t value, bool bigEndian);

// A chunk: the four-letter tag, the body's size, the body and, for an odd
// size, the pad byte. The size is big-endian in a RIFX file.
std::string Chunk(const std::string& tag, const std::string& body, bool bigEndian = false);

// A "fmt " chunk whose body is 16 bytes (plain), 18 (with an empty extension)
// or 40 (the extensible layout, whose subformat's first two bytes hold the
// format code), in the format's byte order.
std::string FormatChunk(const WavFormat& format, uint32_t bodySize = 16);

// "RIFF" (or "RIFX"), the size of what follows, "WAVE", then the chunks.
std::string RiffWave(const std::string& chunks, bool bigEndian = false);

// The start of an RF64 file (`form` "RF64", or "BW64" for its broadcast
// twin): 0xFFFFFFFF where the RIFF size would be, "WAVE", a ds64 chunk whose
// 28-byte body gives the 64-bit RIFF size, `dataBytes`, a sample count of 0
// and an empty table of other sizes, then the chunks. A data chunk among them that says 0xFFFFFFFF
// takes its size from the ds64 chunk.
std::string Rf64Wave(const std::string& form, uint64_t dataBytes, const std::string& chunks);

// The canonical 44-byte header for `dataBytes` bytes of samples ("RIFX" and
// big-endian fields for a big-endian format).
std::string CanonicalHeader(const WavFormat& format, uint32_t dataBytes);

// A whole file: the canonical header, then the sample bytes as given.
std::string WavFile(const WavFormat& format, const std::string& samples);

// Appends one sample, little-endian unless asked for big-endian.
void Append16(std::string* out, int32_t value, bool bigEndian = false);
void Append24(std::string* out, int32_t value, bool bigEndian = false);
void AppendFloat(std::string* out, float value, bool bigEndian = false);
void AppendDouble(std::string* out, double value, bool bigEndian = false);
void Append32(std::string* out, uint32_t bits, bool bigEndian = false);

// The samples with the bytes of each `width`-byte sample in reverse order:
// little-endian samples made big-endian, and back.
std::string SwapSampleBytes(const std::string& samples, size_t width);

// G.711 (ITU-T): a 16-bit linear sample as an A-law or mu-law code, by the
// segment that holds its magnitude and the step within it, the step cut
// toward zero as the reference coder does. Mu-law clips magnitudes beyond
// 32635; both laws store the sign bit set for values of 0 and above and
// invert bits (A-law every other one, mu-law all).
uint8_t LinearToALaw(int16_t value);
uint8_t LinearToMuLaw(int16_t value);

// Writes the bytes to the path; false when it cannot.
bool WriteBytes(const std::string& path, const std::string& bytes);

#endif
