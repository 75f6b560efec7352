#include "examples/wav_writer.h"

#include <cstdio>
#include <cstring>

std::string Le16(uint32_t value) {
  return std::string{static_cast<char>(value & 0xFF), static_cast<char>((value >> 8) & 0xFF)};
}

std::string Le32(uint32_t value) { return Le16(value & 0xFFFF) + Le16(value >> 16); }

std::string Le64(uint64_t value) {
  return Le32(static_cast<uint32_t>(value)) + Le32(static_cast<uint32_t>(value >> 32));
}

std::string Chunk(const std::string& tag, const std::string& body) {
  std::string chunk = tag + Le32(static_cast<uint32_t>(body.size())) + body;
  if (body.size() % 2 == 1) chunk.push_back('\0');
  return chunk;
}

std::string FormatChunk(const WavFormat& format, uint32_t bodySize) {
  const uint32_t blockAlign = format.channels * format.bitsPerSample / 8u;
  std::string body = Le16(bodySize == 40 ? 0xFFFE : format.formatCode) + Le16(format.channels) +
                     Le32(format.sampleRate) + Le32(format.sampleRate * blockAlign) +
                     Le16(blockAlign) + Le16(format.bitsPerSample);
  if (bodySize == 18) body += Le16(0);
  if (bodySize == 40) {
    // Extension size, valid bits, channel mask, then the sub-format GUID
    // whose first two bytes are the format code.
    body += Le16(22) + Le16(format.bitsPerSample) + Le32(0) + Le16(format.formatCode) +
            std::string("\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 14);
  }
  return Chunk("fmt ", body);
}

std::string RiffWave(const std::string& chunks) {
  return "RIFF" + Le32(static_cast<uint32_t>(4 + chunks.size())) + "WAVE" + chunks;
}

std::string Rf64Wave(const std::string& form, uint64_t dataBytes, const std::string& chunks) {
  const uint64_t riffBytes = 4 + 36 + chunks.size() + dataBytes;
  return form + Le32(0xFFFFFFFF) + "WAVE" +
         Chunk("ds64", Le64(riffBytes) + Le64(dataBytes) + Le64(0) + Le32(0)) + chunks;
}

std::string CanonicalHeader(const WavFormat& format, uint32_t dataBytes) {
  return "RIFF" + Le32(36 + dataBytes) + "WAVE" + FormatChunk(format) + "data" + Le32(dataBytes);
}

std::string WavFile(const WavFormat& format, const std::string& samples) {
  return CanonicalHeader(format, static_cast<uint32_t>(samples.size())) + samples;
}

void Append16(std::string* out, int32_t value) { *out += Le16(static_cast<uint32_t>(value)); }

void Append24(std::string* out, int32_t value) {
  const std::string word = Le32(static_cast<uint32_t>(value));
  out->append(word, 0, 3);
}

void AppendFloat(std::string* out, float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  Append32(out, bits);
}

void Append32(std::string* out, uint32_t bits) { *out += Le32(bits); }

bool WriteBytes(const std::string& path, const std::string& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && written;
}
