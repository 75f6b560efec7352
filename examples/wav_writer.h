// Building blocks for RIFF/WAVE files: the example generator, the tests and
// the benchmark all write their files with these.
#ifndef OSTREL_EXAMPLES_WAV_WRITER_H
#define OSTREL_EXAMPLES_WAV_WRITER_H

#include <cstdint>
#include <string>

struct WavFormat {
  uint16_t formatCode;  // 1 integer PCM, 3 IEEE float
  uint16_t channels;
  uint32_t sampleRate;
  uint16_t bitsPerSample;
};

// Little-endian fields.
std::string Le16(uint32_t value);
std::string Le32(uint32_t value);
std::string Le64(uint64_t value);

// A chunk: the four-letter tag, the body's size, the body and, for an odd
// size, the pad byte.
std::string Chunk(const std::string& tag, const std::string& body);

// A "fmt " chunk whose body is 16 bytes (plain), 18 (with an empty extension)
// or 40 (the extensible layout).
std::string FormatChunk(const WavFormat& format, uint32_t bodySize = 16);

// "RIFF", the size of what follows, "WAVE", then the chunks.
std::string RiffWave(const std::string& chunks);

// The start of an RF64 file (`form` "RF64", or "BW64" for its broadcast
// twin): 0xFFFFFFFF where the RIFF size would be, "WAVE", a ds64 chunk whose
// 28-byte body gives the 64-bit RIFF size, `dataBytes`, a sample count of 0
// and an empty table of other sizes, then the chunks. A data chunk among them that says 0xFFFFFFFF
// takes its size from the ds64 chunk.
std::string Rf64Wave(const std::string& form, uint64_t dataBytes, const std::string& chunks);

// The canonical 44-byte header for `dataBytes` bytes of samples.
std::string CanonicalHeader(const WavFormat& format, uint32_t dataBytes);

// A whole file: the canonical header, then the sample bytes.
std::string WavFile(const WavFormat& format, const std::string& samples);

// Appends one sample, little-endian.
void Append16(std::string* out, int32_t value);
void Append24(std::string* out, int32_t value);
void AppendFloat(std::string* out, float value);
void Append32(std::string* out, uint32_t bits);

// Writes the bytes to the path; false when it cannot.
bool WriteBytes(const std::string& path, const std::string& bytes);

#endif
