#include "examples/wav_writer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

std::string Le16(uint32_t value) {
  return std::string{static_cast<char>(value & 0xFF), static_cast<char>((value >> 8) & 0xFF)};
}

std::string Le32(uint32_t value) { return Le16(value & 0xFFFF) + Le16(value >> 16); }

std::string Le64(uint64_t value) {
  return Le32(static_cast<uint32_t>(value)) + Le32(static_cast<uint32_t>(value >> 32));
}

std::string Be16(uint32_t value) {
  return std::string{static_cast<char>((value >> 8) & 0xFF), static_cast<char>(value & 0xFF)};
}

std::string Be32(uint32_t value) { return Be16(value >> 16) + Be16(value & 0xFFFF); }

std::string Be64(uint64_t value) {
  return Be32(static_cast<uint32_t>(value >> 32)) + Be32(static_cast<uint32_t>(value));
}

std::string Field16(uint32_t value, bool bigEndian) {
  return bigEndian ? Be16(value) : Le16(value);
}

std::string Field32(uint32_t value, bool bigEndian) {
  return bigEndian ? Be32(value) : Le32(value);
}

std::string Chunk(const std::string& tag, const std::string& body, bool bigEndian) {
  std::string chunk = tag + Field32(static_cast<uint32_t>(body.size()), bigEndian) + body;
  if (body.size() % 2 == 1) chunk.push_back('\0');
  return chunk;
}

std::string FormatChunk(const WavFormat& format, uint32_t bodySize) {
  const bool be = format.bigEndian;
  const uint32_t blockAlign = format.channels * format.bitsPerSample / 8u;
  std::string body = Field16(bodySize == 40 ? 0xFFFE : format.formatCode, be) +
                     Field16(format.channels, be) + Field32(format.sampleRate, be) +
                     Field32(format.sampleRate * blockAlign, be) + Field16(blockAlign, be) +
                     Field16(format.bitsPerSample, be);
  if (bodySize == 18) body += Field16(0, be);
  if (bodySize == 40) {
    // Extension size, valid bits, channel mask, then the sub-format GUID
    // whose first two bytes are the format code.
    body += Field16(22, be) + Field16(format.bitsPerSample, be) + Field32(0, be) +
            Field16(format.formatCode, be) +
            std::string("\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 14);
  }
  return Chunk("fmt ", body, be);
}

std::string RiffWave(const std::string& chunks, bool bigEndian) {
  return (bigEndian ? "RIFX" : "RIFF") +
         Field32(static_cast<uint32_t>(4 + chunks.size()), bigEndian) + "WAVE" + chunks;
}

std::string Rf64Wave(const std::string& form, uint64_t dataBytes, const std::string& chunks) {
  const uint64_t riffBytes = 4 + 36 + chunks.size() + dataBytes;
  return form + Le32(0xFFFFFFFF) + "WAVE" +
         Chunk("ds64", Le64(riffBytes) + Le64(dataBytes) + Le64(0) + Le32(0)) + chunks;
}

std::string CanonicalHeader(const WavFormat& format, uint32_t dataBytes) {
  const bool be = format.bigEndian;
  return (be ? "RIFX" : "RIFF") + Field32(36 + dataBytes, be) + "WAVE" + FormatChunk(format) +
         "data" + Field32(dataBytes, be);
}

std::string WavFile(const WavFormat& format, const std::string& samples) {
  return CanonicalHeader(format, static_cast<uint32_t>(samples.size())) + samples;
}

void Append16(std::string* out, int32_t value, bool bigEndian) {
  *out += Field16(static_cast<uint32_t>(value), bigEndian);
}

void Append24(std::string* out, int32_t value, bool bigEndian) {
  const std::string word = Field32(static_cast<uint32_t>(value), bigEndian);
  out->append(word, bigEndian ? 1 : 0, 3);
}

void AppendFloat(std::string* out, float value, bool bigEndian) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  Append32(out, bits, bigEndian);
}

void AppendDouble(std::string* out, double value, bool bigEndian) {
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  *out += bigEndian ? Be64(bits) : Le64(bits);
}

void Append32(std::string* out, uint32_t bits, bool bigEndian) { *out += Field32(bits, bigEndian); }

std::string SwapSampleBytes(const std::string& samples, size_t width) {
  std::string swapped = samples;
  for (size_t at = 0; width > 1 && at + width <= swapped.size(); at += width)
    std::reverse(swapped.begin() + static_cast<long>(at),
                 swapped.begin() + static_cast<long>(at + width));
  return swapped;
}

namespace {

// The segment of a magnitude: the first of the eight whose top end is at or
// above it (8 when it is beyond all of them).
int Segment(int magnitude, const int (&ends)[8]) {
  int segment = 0;
  while (segment < 8 && magnitude > ends[segment]) ++segment;
  return segment;
}

}  // namespace

uint8_t LinearToALaw(int16_t value) {
  // 13-bit magnitudes; segment s >= 1 holds 2^(s + 4) ... 2^(s + 5) - 1 in
  // steps of 2^s, segment 0 the first 32 in steps of 2.
  static const int kEnds[8] = {0x1F, 0x3F, 0x7F, 0xFF, 0x1FF, 0x3FF, 0x7FF, 0xFFF};
  int v = value >> 3;
  int mask = 0xD5;  // the sign bit set for values of 0 and above
  if (v < 0) {
    mask = 0x55;
    v = -v - 1;  // one's complement: -1 ... -4096 take the magnitudes 0 ... 4095
  }
  const int segment = Segment(v, kEnds);
  if (segment >= 8) return static_cast<uint8_t>(0x7F ^ mask);
  const int step = (v >> (segment < 2 ? 1 : segment)) & 0x0F;
  return static_cast<uint8_t>(((segment << 4) | step) ^ mask);
}

uint8_t LinearToMuLaw(int16_t value) {
  // 14-bit magnitudes plus the bias of 33, so that segment s holds
  // 2^(s + 5) ... 2^(s + 6) - 1 in steps of 2^(s + 1).
  static const int kEnds[8] = {0x3F, 0x7F, 0xFF, 0x1FF, 0x3FF, 0x7FF, 0xFFF, 0x1FFF};
  constexpr int kClip = 8159;
  constexpr int kBias = 33;
  int v = value >> 2;
  int mask = 0xFF;
  if (v < 0) {
    v = -v;
    mask = 0x7F;
  }
  if (v > kClip) v = kClip;
  v += kBias;
  const int segment = Segment(v, kEnds);
  if (segment >= 8) return static_cast<uint8_t>(0x7F ^ mask);
  const int step = (v >> (segment + 1)) & 0x0F;
  return static_cast<uint8_t>(((segment << 4) | step) ^ mask);
}

bool WriteBytes(const std::string& path, const std::string& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && written;
}
