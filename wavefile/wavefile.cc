#include "wavefile/wavefile.h"

#include <cstring>

namespace {

// Tags are looked for at even positions 2 ... 15000 only: the first
// even-placed match wins, even inside another chunk's contents, and a tag at
// an odd position or further on is never found.
constexpr uint32_t kFirstProbe = 2;
constexpr uint32_t kLastProbe = 15000;
// Where the fields lie, in bytes from their tags. The format chunk's fields
// run through tag + 23; an extensible chunk's subformat code, when the file
// holds it, through tag + 33.
constexpr uint32_t kFormatCodeAt = 8;
constexpr uint32_t kChannelsAt = 10;
constexpr uint32_t kSampleRateAt = 12;
constexpr uint32_t kBitsAt = 22;
constexpr uint32_t kFormatFieldsEnd = 24;
constexpr uint32_t kSubformatAt = 32;
constexpr uint32_t kSubformatEnd = 34;
constexpr uint32_t kDataSizeAt = 4;
constexpr uint32_t kSamplesAt = 8;
constexpr uint32_t kExtensible = 0xFFFE;
constexpr uint32_t kIntegerPcm = 1;
constexpr uint32_t kFloatCode = 3;
constexpr uint32_t kALawCode = 6;
constexpr uint32_t kMuLawCode = 7;
static_assert(kHeadBytes == kLastProbe + kSubformatEnd, "the head holds every probe");

// The 32-bit data size of a writer that does not know the size: encoders
// streaming to a pipe, and RF64/BW64 writers, which give the real size in
// their ds64 chunk.
constexpr uint32_t kSizeNotKnown = 0xFFFFFFFF;
constexpr uint64_t kDataToTheEnd = UINT64_MAX;
// RF64 and BW64 (EBU Tech 3306, ITU-R BS.2088): the ds64 chunk at byte 12
// holds, from byte 20, the 64-bit RIFF size, data size and sample count; its
// 28 bytes end at byte 48.
constexpr uint32_t kDs64At = 12;
constexpr uint32_t kDs64SizeAt = 16;
constexpr uint32_t kDs64DataSize = 28;
constexpr uint32_t kDs64End = 48;

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

// Fields in the file's byte order: RIFX files are big-endian throughout.
uint32_t Field16(const unsigned char* bytes, ByteOrder order) {
  return order == ByteOrder::kBigEndian ? static_cast<uint32_t>(bytes[0]) << 8 | bytes[1]
                                        : Assem2(bytes);
}

uint32_t Field32(const unsigned char* bytes, ByteOrder order) {
  return order == ByteOrder::kBigEndian
             ? static_cast<uint32_t>(bytes[0]) << 24 | static_cast<uint32_t>(bytes[1]) << 16 |
                   static_cast<uint32_t>(bytes[2]) << 8 | bytes[3]
             : Assem4(bytes);
}

Container ContainerOf(const unsigned char* head, uint32_t length) {
  if (length >= 4 && std::memcmp(head, "RIFX", 4) == 0) return Container::kRifx;
  if (length >= 4 && std::memcmp(head, "RF64", 4) == 0) return Container::kRf64;
  if (length >= 4 && std::memcmp(head, "BW64", 4) == 0) return Container::kBw64;
  return Container::kRiff;
}

bool StartsAsRf64(const unsigned char* head, uint32_t length) {
  return length >= 16 && (std::memcmp(head, "RF64", 4) == 0 || std::memcmp(head, "BW64", 4) == 0) &&
         std::memcmp(head + kDs64At, "ds64", 4) == 0;
}

// Whether the first `length` bytes already settle both chunks: a tag found
// in them is the first one whatever follows, since every earlier position was
// probed in full, so once both tags and their fields are in, more bytes
// change nothing. A stream from a recorder is then scanned at once instead of
// after its first 15 KB.
bool HeadSettled(const unsigned char* head, uint32_t length) {
  const uint32_t format = FindTag(head, length, "fmt", 3);
  const uint32_t data = FindTag(head, length, "data", 4);
  if (format == 0 || format + kFormatFieldsEnd > length || data == 0 || data + kSamplesAt > length)
    return false;
  // A code of 0xFFFE reads the same in either byte order.
  if (Assem2(head + format + kFormatCodeAt) == kExtensible && format + kSubformatEnd > length)
    return false;
  return !StartsAsRf64(head, length) || length >= kDs64End;
}

// Reads the first bytes of the input into its head, up to kHeadBytes, fewer
// when the input ends first or when the chunks are settled sooner; *ended
// tells whether the input ended within them. Returns 0 or an errno value.
int ReadHead(WaveInput* input, bool* ended) {
  uint32_t length = 0;
  *ended = false;
  while (length < kHeadBytes && !HeadSettled(input->head, length)) {
    size_t got = 0;
    const int error = ReadWaveInput(input, length, input->head + length, kHeadBytes - length, &got);
    if (error != 0) return error;
    if (got == 0) {
      *ended = true;
      break;
    }
    length += static_cast<uint32_t>(got);
  }
  input->headLength = length;
  return 0;
}

// The bytes of sample data by the header, or kDataToTheEnd when the writer
// did not know them.
uint64_t DataBytes(const unsigned char* head, uint32_t length, uint32_t data, ByteOrder order) {
  // A size field cut off by the end of the file describes an empty chunk.
  if (data + kSamplesAt > length) return 0;
  const uint32_t size = Field32(head + data + kDataSizeAt, order);
  if (size != kSizeNotKnown) return size;
  // An RF64/BW64 file gives the size in its ds64 chunk, when that chunk is
  // whole (28 bytes or more, all in the file). A size of 0 there is a
  // recorder that stopped before it could write the size: its data runs to
  // the end, as in a plain file. A ds64 chunk in a RIFF file means nothing.
  if (StartsAsRf64(head, length) && Assem4(head + kDs64SizeAt) >= kDs64DataSize &&
      length >= kDs64End) {
    const uint64_t size64 = Assem4(head + kDs64DataSize) |
                            static_cast<uint64_t>(Assem4(head + kDs64DataSize + 4)) << 32;
    if (size64 != 0) return size64;
  }
  return kDataToTheEnd;
}

}  // namespace

SampleLayout SampleLayoutOf(uint32_t bitsPerSample, uint32_t formatCode) {
  switch (BytesPerSample(bitsPerSample)) {
    case 1:
      // Eight bits are unsigned bytes unless the code names G.711.
      if (formatCode == kALawCode) return SampleLayout::kALaw;
      if (formatCode == kMuLawCode) return SampleLayout::kMuLaw;
      return SampleLayout::kUnsigned8;
    case 2:
      return SampleLayout::kSigned16;
    case 3:
      return SampleLayout::kSigned24;
    case 4:
      return formatCode == kIntegerPcm ? SampleLayout::kSigned32 : SampleLayout::kFloat32;
    case 8:
      return bitsPerSample == 64 && formatCode == kFloatCode ? SampleLayout::kFloat64
                                                             : SampleLayout::kUndecoded;
    default:
      return SampleLayout::kUndecoded;
  }
}

uint32_t BytesPerSample(uint32_t bitsPerSample) {
  return bitsPerSample < 8 ? 0 : (bitsPerSample + 7) / 8;
}

uint32_t Assem2(const unsigned char* bytes) {
  return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8;
}

uint32_t Assem4(const unsigned char* bytes) {
  return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
         static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

Result GetAttributes(WaveInput* input, WaveHeader* header) {
  uint64_t fileLength = 0;
  bool endedInHead = false;
  int error = SettleWaveInput(input, &fileLength);
  if (error == 0) error = ReadHead(input, &endedInHead);
  if (error != 0) return ReadFailure(error);
  const unsigned char* head = input->head;
  const uint32_t headLength = input->headLength;

  const uint32_t format = FindTag(head, headLength, "fmt", 3);
  // A tag whose fields are cut off by the end of the file is no format chunk.
  if (format == 0 || format + kFormatFieldsEnd > headLength)
    return {2, "Can't find format chunk in wave file!"};
  header->container = ContainerOf(head, headLength);
  const ByteOrder order =
      header->container == Container::kRifx ? ByteOrder::kBigEndian : ByteOrder::kLittleEndian;
  header->byteOrder = order;
  header->channelCount = Field16(head + format + kChannelsAt, order);
  header->sampleRate = Field32(head + format + kSampleRateAt, order);
  header->bitsPerSample = Field16(head + format + kBitsAt, order);
  header->bytesPerSample = BytesPerSample(header->bitsPerSample);
  // An extensible format chunk names the real format in the first two bytes
  // of its subformat GUID (RIFX writers store them big-endian too).
  uint32_t formatCode = Field16(head + format + kFormatCodeAt, order);
  if (formatCode == kExtensible && format + kSubformatEnd <= headLength)
    formatCode = Field16(head + format + kSubformatAt, order);
  header->layout = SampleLayoutOf(header->bitsPerSample, formatCode);

  const uint32_t data = FindTag(head, headLength, "data", 4);
  if (data == 0) return {2, "Can't find data block in wave file!"};
  header->dataOffset = data + kSamplesAt;
  const uint64_t dataBytes = DataBytes(head, headLength, data, order);

  // Bits per sample below 8 or no channels give frames of no bytes: such a
  // file holds no frames, and nothing is divided by zero.
  const uint64_t frameSize = uint64_t{header->bytesPerSample} * header->channelCount;
  if (frameSize == 0) {
    header->frameCount = 0;
    return {};
  }
  uint64_t frames = dataBytes == kDataToTheEnd ? UINT64_MAX : dataBytes / frameSize;
  // Recorders that are cut off, and copies that stop short, leave a data size
  // larger than what follows it: count only the whole frames really present.
  // A stream's length is known only when it ended within the head;
  // otherwise its end, or the data size, whichever comes first, ends the
  // scan.
  header->lengthKnown = !input->stream || endedInHead || dataBytes != kDataToTheEnd;
  if (!input->stream || endedInHead) {
    const uint64_t length = input->stream ? headLength : fileLength;
    const uint64_t available = length > header->dataOffset ? length - header->dataOffset : 0;
    if (frames > available / frameSize) frames = available / frameSize;
  }
  header->frameCount = frames < kMostFrames ? static_cast<uint32_t>(frames) : kMostFrames;
  return {};
}
