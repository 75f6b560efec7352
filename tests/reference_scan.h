// The frame scan written the straightforward way, frame by frame in double
// arithmetic with 4096-frame chunks, its block level from exact arithmetic,
// and the float conversion built from its power tables: what the fast paths
// must match byte for byte.
#ifndef OSTREL_TESTS_REFERENCE_SCAN_H
#define OSTREL_TESTS_REFERENCE_SCAN_H

#include <cstdint>
#include <cstdio>
#include <cstring>

#include <vector>

#include "scan/layouts.h"
#include "wavefile/wavefile.h"

// Every set of loops this processor runs, the plain one first: each is held
// to the reference.
inline std::vector<LoopSet> LoopSetsHere() {
  std::vector<LoopSet> sets;
  for (auto set = static_cast<uint32_t>(LoopSet::kPlain);
       set <= static_cast<uint32_t>(BestLoopSet()); ++set)
    sets.push_back(static_cast<LoopSet>(set));
  return sets;
}

// The bit pattern of a double, to compare results bit for bit.
inline uint64_t DoubleBits(double value) {
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

// One sample's bytes on the level scale.
using ReferenceDecode = double (*)(const unsigned char* sample);

// Integer samples on the level scale, byte by byte: an 8-bit byte less 128;
// wider samples with the low bytes unsigned, the top byte signed.
double ReferenceDecode8(const unsigned char* b);
double ReferenceDecode16(const unsigned char* b);
double ReferenceDecode24(const unsigned char* b);
double ReferenceDecode32(const unsigned char* b);
double ReferenceDecodeMuLaw(const unsigned char* b);
double ReferenceDecodeALaw(const unsigned char* b);
// The float nearest to the double, as a float sample.
double ReferenceDecodeFloat64(const unsigned char* b);

double ReferenceFloat32Convert(unsigned char b0, unsigned char b1, unsigned char b2,
                               unsigned char b3);

// The level of a complete block from exact rational arithmetic: S /
// (channels * resolution) rounded to a 64-bit significand, times the magnification
// rounded to 64 bits again, then rounded to double; each rounding to nearest,
// ties to even. That is what the 80-bit extended format gives, worked out
// here without it.
double ReferenceBlockLevel(double blockSum, uint32_t channelCount, uint32_t resolution,
                           float magnification);

// Samples are decoded by `decode`, every channel; with no decoder, frames
// are walked without decoding. peaks[c] is channel c's.
void ReferenceScanFrames(std::FILE* file, uint32_t dataOffset, uint32_t bytesPerSample,
                         ReferenceDecode decode, uint32_t channelCount, uint32_t sampleRate,
                         uint32_t startFrame, uint32_t endFrame, uint32_t resolution,
                         float magnification, double interval, double* peaks);

#endif
