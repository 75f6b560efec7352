// WAVE header probe.
//
// GetAttributes reads the first bytes of the open input, finds the "fmt" and
// "data" tags by probing even byte positions 2 ... 15000, reads the few fields
// the scan needs at fixed distances from them, and cuts the frame count to the
// whole frames a file really holds. It either fills all five values or prints
// one message (a missing chunk, or a read that failed) and ends the process
// with status 2, the input closed.
#ifndef OSTREL_WAVEFILE_WAVEFILE_H
#define OSTREL_WAVEFILE_WAVEFILE_H

#include <cstdint>

#include "wavefile/input.h"

// Unsigned little-endian values, each byte taken as 0...255.
uint32_t Assem2(const unsigned char* bytes);
uint32_t Assem4(const unsigned char* bytes);

void GetAttributes(WaveInput* input, uint32_t* sampleRate, uint32_t* bytesPerSample,
                   uint32_t* channelCount, uint32_t* dataOffset, uint32_t* frameCount);

#endif
