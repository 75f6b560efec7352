// WAVE header probe.
//
// GetAttributes reads the first bytes of the open input, finds the "fmt" and
// "data" tags by probing even byte positions 2 ... 15000, reads the few fields
// the scan needs at fixed distances from them, and cuts the frame count to the
// whole frames a file really holds. It either fills all its values or prints
// one message (a missing chunk, or a read that failed) and ends the process
// with status 2, the input closed.
#ifndef OSTREL_WAVEFILE_WAVEFILE_H
#define OSTREL_WAVEFILE_WAVEFILE_H

#include <cstdint>

#include "wavefile/input.h"

// How the scan reads the bytes of one sample.
enum class SampleFormat : uint32_t {
  kUndecoded,  // walked, not decoded: 9 to 15 bits, or 5 bytes and more
  kUnsigned8,  // exactly 8 bits: an unsigned byte, 128 the middle
  kSigned16,   // 16 to 23 bits: two bytes, signed
  kSigned24,   // 24 to 31 bits: three bytes, signed
  kSigned32,   // exactly 32 bits of integer PCM: four bytes, signed
  kFloat32,    // every other 4-byte sample: an IEEE float bit pattern
};

// The format of samples of `bitsPerSample` bits stored under `formatCode`
// (for an extensible format chunk, the code from its subformat, or 0xFFFE
// when the chunk is cut off before it).
SampleFormat SampleFormatOf(uint32_t bitsPerSample, uint32_t formatCode);

// The most frames a run reaches: frame numbers are unsigned 32-bit.
constexpr uint32_t kMostFrames = 0xFFFFFFFF;

// Unsigned little-endian values, each byte taken as 0...255.
uint32_t Assem2(const unsigned char* bytes);
uint32_t Assem4(const unsigned char* bytes);

void GetAttributes(WaveInput* input, uint32_t* sampleRate, uint32_t* bytesPerSample,
                   uint32_t* channelCount, uint32_t* dataOffset, uint32_t* frameCount,
                   SampleFormat* sampleFormat);

#endif
