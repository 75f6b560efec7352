// The settings of one run: argument parsing, the frame range, the block
// length and the summary in dB.
#ifndef OSTREL_DRIVER_SETTINGS_H
#define OSTREL_DRIVER_SETTINGS_H

#include <cstdint>

// A time in seconds: strtod's reading of the text, rounded to float. Text
// with no number gives 0; inf, nan and hexadecimal forms are taken.
float ParseTime(const char* text);

// A base-10 resolution, clamped to the signed 32-bit range whatever the width
// of long; text with no number gives 0.
int32_t ParseResolution(const char* text);

// A magnification, rounded to float; values <= 0 or > 256 become 1, and nan
// stays nan.
float ParseMagnification(const char* text);

// The frame at `seconds`: the exact product rate * seconds, truncated toward
// zero. A product at or above zero is the frame as it is, past 2^32 too, so a
// time past the end of the data never wraps around to its start. A negative
// one is taken modulo 2^32: small negative times wrap to frames near 2^32,
// which is how STOP = -1 means "to the end". A product beyond the signed
// 64-bit range, inf or nan gives 0.
uint64_t FrameAtTime(uint32_t sampleRate, float seconds);

// The resolution the scan uses: sample rate / 20 when none was given, when it
// is 0, or when, as unsigned, it exceeds the sample rate.
uint32_t SettleResolution(bool given, int32_t resolution, uint32_t sampleRate);

// Length of one block in seconds (0 for a sample rate of 0, which never
// reaches a scan).
double BlockInterval(uint32_t resolution, uint32_t sampleRate);

// The threshold line's figure: -20 log10(256 * magnification), the level in
// dB of 1/256 of full scale divided by the magnification.
float ThresholdDb(float magnification);

// A peak on the level scale (full scale 128) in dB; 0 gives -inf.
float PeakDb(double peak);

#endif
