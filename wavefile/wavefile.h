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
  kUndecoded,  // walked, not decoded: 9 to 15 bits, or 5 bytes and more
  kUnsigned8,  // exactly 8 bits: an unsigned byte, 128 the middle
  kSigned16,   // 16 to 23 bits: two bytes, signed
  kSigned24,   // 24 to 31 bits: three bytes, signed
  kSigned32,   // exactly 32 bits of integer PCM: four bytes, signed
  kFloat32,    // every other 4-byte sample: an IEEE float bit pattern
};

// The order of the bytes of every field and sample.
enum class ByteOrder : uint32_t { kLittleEndian };

// What the probe settles about a file.
struct WaveHeader {
  uint32_t sampleRate = 0;  // frames per second
  uint32_t channelCount = 0;
  uint32_t bitsPerSample = 0;
  uint32_t bytesPerSample = 0;  // bits / 8
  SampleLayout layout = SampleLayout::kUndecoded;
  ByteOrder byteOrder = ByteOrder::kLittleEndian;
  uint32_t dataOffset = 0;  // the first sample byte, from the start of the input
  uint32_t frameCount = 0;  // whole frames present
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

Result GetAttributes(WaveInput* input, WaveHeader* header);

#endif
