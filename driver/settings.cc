#include "driver/settings.h"

#include <cfloat>
#include <cmath>
#include <cstdlib>

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

uint32_t FrameAtTime(uint32_t sampleRate, float seconds) {
  static_assert(LDBL_MANT_DIG >= 56, "a 32-bit rate times a float needs a 56-bit significand");
  // 32 + 24 significant bits: the product is exact in long double.
  const long double product =
      static_cast<long double>(sampleRate) * static_cast<long double>(seconds);
  // The signed 64-bit range after truncation: (-2^63 - 1, 2^63). Both bounds
  // are exact in long double; nan fails both tests.
  if (!(product > -9223372036854775809.0L && product < 9223372036854775808.0L)) return 0;
  return static_cast<uint32_t>(static_cast<uint64_t>(static_cast<int64_t>(product)));
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
