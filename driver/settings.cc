#include "driver/settings.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

float ParseTime(const char* text) { return static_cast<float>(std::strtod(text, nullptr)); }

int32_t ParseResolution(const char* text) {
  const long value = std::strtol(text, nullptr, 10);
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(value);
}

float ParseMagnification(const char* text) {
  const float value = static_cast<float>(std::strtod(text, nullptr));
  if (value <= 0 || value > 256) return 1;
  return value;
}

uint64_t FrameAtTime(uint32_t sampleRate, float seconds) {
  uint32_t bits;
  std::memcpy(&bits, &seconds, sizeof bits);
  const uint32_t field = bits >> 23 & 0xFF;
  if (field == 0xFF) return 0;  // inf and nan
  const uint32_t fraction = bits & 0x7FFFFF;
  // |seconds| = significand * 2^exponent; times a 32-bit rate, the 24-bit
  // significand makes an exact product below 2^56.
  const uint64_t significand = field == 0 ? fraction : fraction | 0x800000;
  const int exponent = field == 0 ? -149 : static_cast<int>(field) - 150;
  const uint64_t product = sampleRate * significand;
  if (product == 0) return 0;
  const bool negative = (bits >> 31) != 0;
  uint64_t whole;  // |rate * seconds|, truncated
  if (exponent < 0) {
    whole = exponent <= -64 ? 0 : product >> -exponent;
  } else {
    // The truncated product must fit the signed 64-bit range: up to 2^63 - 1
    // above zero, down to -2^63 below.
    const uint64_t most = negative ? uint64_t{1} << 63 : (uint64_t{1} << 63) - 1;
    if (exponent >= 64 || product > most >> exponent) return 0;
    whole = product << exponent;
  }
  // Modulo 2^32 below zero, so small negative times wrap to large frames.
  return negative ? static_cast<uint32_t>(0 - whole) : whole;
}

uint32_t SettleResolution(bool given, int32_t resolution, uint32_t sampleRate) {
  const uint32_t frames = static_cast<uint32_t>(resolution);
  if (!given || frames == 0 || frames > sampleRate) return sampleRate / 20;
  return frames;
}

double BlockInterval(uint32_t resolution, uint32_t sampleRate) {
  if (sampleRate == 0) return 0;
  return static_cast<double>(resolution) / static_cast<double>(sampleRate);
}

float ThresholdDb(float magnification) {
  // log10 of a double: the float overload would round differently.
  const double scaled = 256.0 * static_cast<double>(magnification);
  return static_cast<float>(-20.0 * std::log10(scaled));
}

float PeakDb(double peak) { return static_cast<float>(20.0 * std::log10(peak * 0.0078125)); }
