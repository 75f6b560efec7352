#include "wavefile/wavefile.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Tags are looked for at even positions 2 ... 15000 only: the first
// even-placed match wins, even inside another chunk's contents, and a tag at
// an odd position or further on is never found.
constexpr uint32_t kFirstProbe = 2;
constexpr uint32_t kLastProbe = 15000;
// The fields read after the format tag run through tag + 23.
constexpr uint32_t kFormatFieldsEnd = 24;
static_assert(kHeadBytes == kLastProbe + kFormatFieldsEnd, "the head holds every probe");

// First even position in 2 ... 15000 where the tag's letters stand in the
// bytes read. A probe that would run past the end of the bytes does not
// match. Returns 0 (never a probe position) when there is none.
uint32_t FindTag(const unsigned char* head, uint32_t headLength, const char* tag,
                 uint32_t tagLength) {
  for (uint32_t o = kFirstProbe; o <= kLastProbe; o += 2) {
    if (o + tagLength > headLength) break;
    if (std::memcmp(head + o, tag, tagLength) == 0) return o;
  }
  return 0;
}

// Whether the first `length` bytes already settle both chunks: a tag found
// in them is the first one whatever follows, since every earlier position was
// probed in full, so once both tags and their fields are in, more bytes
// change nothing. A stream from a recorder is then scanned at once instead of
// after its first 15 KB.
bool HeadSettled(const unsigned char* head, uint32_t length) {
  const uint32_t format = FindTag(head, length, "fmt", 3);
  const uint32_t data = FindTag(head, length, "data", 4);
  return format != 0 && format + kFormatFieldsEnd <= length && data != 0 && data + 8 <= length;
}

// Reads the first bytes of the input into its head, up to kHeadBytes, fewer
// when the input ends first or when the chunks are settled sooner. Returns
// whether the input ended within them.
bool ReadHead(WaveInput* input) {
  uint32_t length = 0;
  bool ended = false;
  while (length < kHeadBytes && !HeadSettled(input->head, length)) {
    size_t got = 0;
    const int error = ReadWaveInput(input, length, input->head + length, kHeadBytes - length, &got);
    if (error != 0) ReadFault(input, error);
    if (got == 0) {
      ended = true;
      break;
    }
    length += static_cast<uint32_t>(got);
  }
  input->headLength = length;
  return ended;
}

[[noreturn]] void HeaderFault(WaveInput* input, const char* message) {
  CloseWaveInput(input);
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

void GetAttributes(WaveInput* input, uint32_t* sampleRate, uint32_t* bytesPerSample,
                   uint32_t* channelCount, uint32_t* dataOffset, uint32_t* frameCount) {
  // A length that cannot be had is a read error, like any other.
  struct stat info;
  if (fstat(input->fd, &info) != 0) ReadFault(input, errno);
  input->stream = !S_ISREG(info.st_mode);
  const bool endedInHead = ReadHead(input);
  const unsigned char* head = input->head;
  const uint32_t headLength = input->headLength;

  const uint32_t format = FindTag(head, headLength, "fmt", 3);
  // A tag whose fields are cut off by the end of the file is no format chunk.
  if (format == 0 || format + kFormatFieldsEnd > headLength)
    HeaderFault(input, "Can't find format chunk in wave file!\n");
  *channelCount = Assem2(head + format + 10);
  *sampleRate = Assem4(head + format + 12);
  *bytesPerSample = Assem2(head + format + 22) / 8;

  const uint32_t data = FindTag(head, headLength, "data", 4);
  if (data == 0) HeaderFault(input, "Can't find data block in wave file!\n");
  *dataOffset = data + 8;
  // A size field cut off by the end of the file describes an empty chunk.
  const uint32_t dataSize = data + 8 <= headLength ? Assem4(head + data + 4) : 0;

  // Bits per sample below 8 or no channels give frames of no bytes: such a
  // file holds no frames, and nothing is divided by zero.
  const uint64_t frameSize = static_cast<uint64_t>(*bytesPerSample) * *channelCount;
  uint32_t frames = frameSize == 0 ? 0 : static_cast<uint32_t>(dataSize / frameSize);

  // Recorders that are cut off, and copies that stop short, leave a data size
  // larger than what follows it: count only the whole frames really present.
  // Lengths are 64-bit so that data sizes up to 4 GiB are reached. A stream's
  // length is known only when it ended within the head; otherwise its end, or
  // the data size, whichever comes first, ends the scan. So does the size
  // 0xFFFFFFFF that encoders write when they stream to a pipe: the data then
  // lasts until the stream ends.
  if (!input->stream || endedInHead) {
    const uint64_t length = input->stream ? headLength : static_cast<uint64_t>(info.st_size);
    const uint64_t available = length > *dataOffset ? length - *dataOffset : 0;
    if (frameSize != 0 && frameSize * frames > available)
      frames = static_cast<uint32_t>(available / frameSize);
  }
  *frameCount = frames;
}
