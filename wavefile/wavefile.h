// WAVE header probe.
//
// GetAttributes finds the "fmt" and "data" tags by probing even byte positions
// 2 ... 15000 of the file, reads the few fields the scan needs at fixed
// distances from them, and cuts the frame count to the whole frames the file
// really holds. It either fills all five values or prints one message and ends
// the process with status 2.
#ifndef OSTREL_WAVEFILE_WAVEFILE_H
#define OSTREL_WAVEFILE_WAVEFILE_H

#include <cstdint>

// Unsigned little-endian values, each byte taken as 0...255.
uint32_t Assem2(const unsigned char* bytes);
uint32_t Assem4(const unsigned char* bytes);

void GetAttributes(const char* path, uint32_t* sampleRate, uint32_t* bytesPerSample,
                   uint32_t* channelCount, uint32_t* dataOffset, uint32_t* frameCount);

#endif
