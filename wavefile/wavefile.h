// WAVE header probe.
//
// GetAttributes reads the first bytes of the open input, finds the "fmt" and
// "data" tags by probing even byte positions 2 ... 15000, reads the few fields
// the scan needs at fixed distances from them, and cuts the frame count to the
// whole frames a file really holds. It fills the header, or returns what ends
// the run (a missing chunk, or a read that failed: status 2).
#ifndef OSTREL_WAVEFILE_WAVEFILE_H
#define OSTREL_WAVEFILE_WAVEFILE_H

#include <cstdint>

#include "wavefile/input.h"

// How the bytes of one sample are read: each layout is one entry in the
// scan's table of layouts.
enum class SampleLayout : uint32_t {
  kUndecoded,  // not decoded, and so refused: below 8 bits, 5 to 7 bytes, 8 bytes not float
  kUnsigned8,  // 8 bits: an unsigned byte, 128 the middle
  kALaw,       // 8 bits, format code 6: G.711 A-law
  kMuLaw,      // 8 bits, format code 7: G.711 mu-law
  kSigned16,   // 9 to 16 bits: two bytes, signed
  kSigned24,   // 17 to 24 bits: three bytes, signed
  kSigned32,   // 25 to 32 bits of integer PCM (code 1): four bytes, signed
  kFloat32,    // every other 4-byte sample: an IEEE float bit pattern
  kFloat64,    // 64 bits, format code 3: an IEEE double, read as the nearest float
};

// The order of the bytes of every field and sample: RIFX files are
// big-endian.
enum class ByteOrder : uint32_t { kLittleEndian, kBigEndian };

// What the file's first four bytes say it is.
enum class Container : uint32_t { kRiff, kRifx, kRf64, kBw64 };

// What the probe settles about a file.
struct WaveHeader {
  uint32_t sampleRate = 0;  // frames per second
  uint32_t channelCount = 0;
  uint32_t bitsPerSample = 0;
  uint32_t bytesPerSample = 0;  // whole bytes: (bits + 7) / 8, or 0 below 8 bits
  SampleLayout layout = SampleLayout::kUndecoded;
  ByteOrder byteOrder = ByteOrder::kLittleEndian;
  Container container = Container::kRiff;
  uint32_t dataOffset = 0;  // the first sample byte, from the start of the input
  uint32_t frameCount = 0;  // whole frames present
  bool lengthKnown = true;  // false for a stream that runs until it ends
};

// The layout of samples of `bitsPerSample` bits stored under `formatCode`
// (for an extensible format chunk, the code from its subformat, or 0xFFFE
// when the chunk is cut off before it).
SampleLayout SampleLayoutOf(uint32_t bitsPerSample, uint32_t formatCode);

// The most frames a run reaches: frame numbers are unsigned 32-bit.
constexpr uint32_t kMostFrames = 0xFFFFFFFF;

// Unsigned little-endian values, each byte taken as 0...255.
uint32_t Assem2(const unsigned char* bytes);
uint32_t Assem4(const unsigned char* bytes);

// The bytes a sample of `bitsPerSample` bits takes: whole bytes, so 12 bits
// take 2 and 20 take 3; 0 below 8 bits.
uint32_t BytesPerSample(uint32_t bitsPerSample);

Result GetAttributes(WaveInput* input, WaveHeader* header);

#endif
