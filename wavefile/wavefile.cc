#include "wavefile/wavefile.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Tags are looked for at even positions 2 ... 15000 only: the first
// even-placed match wins, even inside another chunk's contents, and a tag at
// an odd position or further on is never found.
constexpr uint32_t kFirstProbe = 2;
constexpr uint32_t kLastProbe = 15000;
// The fields read after the format tag run through tag + 23, so this many
// bytes from the start of the file hold everything any probe can look at.
constexpr uint32_t kFormatFieldsEnd = 24;
constexpr uint32_t kHeadBytes = kLastProbe + kFormatFieldsEnd;

// First even position in 2 ... 15000 where the tag's letters stand in the
// bytes read. A probe that would run past the end of the file does not match.
// Returns 0 (never a probe position) when there is none.
uint32_t FindTag(const unsigned char* head, uint32_t headLength, const char* tag,
                 uint32_t tagLength) {
  for (uint32_t o = kFirstProbe; o <= kLastProbe; o += 2) {
    if (o + tagLength > headLength) break;
    if (std::memcmp(head + o, tag, tagLength) == 0) return o;
  }
  return 0;
}

[[noreturn]] void HeaderFault(std::FILE* file, const char* message) {
  std::fclose(file);
  std::fputs(message, stdout);
  std::exit(2);
}

}  // namespace

uint32_t Assem2(const unsigned char* bytes) {
  return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8;
}

uint32_t Assem4(const unsigned char* bytes) {
  return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
         static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

void GetAttributes(const char* path, uint32_t* sampleRate, uint32_t* bytesPerSample,
                   uint32_t* channelCount, uint32_t* dataOffset, uint32_t* frameCount) {
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) {
    std::printf("The file called %s cannot be found!\n", path);
    std::exit(2);
  }

  // Every probe looks inside the first kHeadBytes bytes, so they are read
  // once and searched in memory; a short file simply yields fewer bytes, and
  // nothing past what was read is ever looked at.
  static unsigned char head[kHeadBytes];
  const uint32_t headLength = static_cast<uint32_t>(std::fread(head, 1, sizeof head, file));

  const uint32_t format = FindTag(head, headLength, "fmt", 3);
  // A tag whose fields are cut off by the end of the file is no format chunk.
  if (format == 0 || format + kFormatFieldsEnd > headLength)
    HeaderFault(file, "Can't find format chunk in wave file!\n");
  *channelCount = Assem2(head + format + 10);
  *sampleRate = Assem4(head + format + 12);
  *bytesPerSample = Assem2(head + format + 22) / 8;

  const uint32_t data = FindTag(head, headLength, "data", 4);
  if (data == 0) HeaderFault(file, "Can't find data block in wave file!\n");
  *dataOffset = data + 8;
  // A size field cut off by the end of the file describes an empty chunk.
  const uint32_t dataSize = data + 8 <= headLength ? Assem4(head + data + 4) : 0;

  // Bits per sample below 8 or no channels give frames of no bytes: such a
  // file holds no frames, and nothing is divided by zero.
  const uint64_t frameSize = static_cast<uint64_t>(*bytesPerSample) * *channelCount;
  uint32_t frames = frameSize == 0 ? 0 : static_cast<uint32_t>(dataSize / frameSize);

  // Recorders that are cut off, and copies that stop short, leave a data size
  // larger than what follows it: count only the whole frames really present.
  // Lengths are 64-bit so that data sizes up to 4 GiB are reached.
  std::fseek(file, 0, SEEK_END);
  const long long length = ftello(file);
  const uint64_t available = length > static_cast<long long>(*dataOffset)
                                 ? static_cast<uint64_t>(length) - *dataOffset
                                 : 0;
  if (frameSize != 0 && frameSize * frames > available)
    frames = static_cast<uint32_t>(available / frameSize);
  *frameCount = frames;

  std::fclose(file);
}
