#include "scan/float32.h"

#include <cmath>

namespace {

// Powers of two for the fraction and the exponent, built on first use.
int initialize = 0;
double dpowers[23];  // dpowers[k] = 2^-k
int epowers[8];      // epowers[j] = 2^j
// The bits of the current word, fp[i] = bit i; rewritten on every call.
int fp[32];

}  // namespace

double Float32Convert(unsigned char b0, unsigned char b1, unsigned char b2,
                      unsigned char b3) {
  if (initialize == 0) {
    initialize = 1;
    for (int k = 0; k < 23; ++k) dpowers[k] = std::pow(2.0, -k);
    for (int j = 0; j < 8; ++j) epowers[j] = static_cast<int>(std::pow(2.0, j));
  }
  const unsigned char bytes[4] = {b0, b1, b2, b3};
  for (int i = 0; i < 32; ++i) fp[i] = (bytes[i / 8] >> (i % 8)) & 1;

  // D is the fraction field over 2^22: bit 22 weighs 1, bit 0 weighs 2^-22.
  double fraction = 0;
  for (int k = 0; k < 23; ++k) fraction += fp[22 - k] * dpowers[k];
  int exponent = 0;
  for (int j = 0; j < 8; ++j) exponent += fp[23 + j] * epowers[j];
  const double sign = fp[31] == 1 ? -1.0 : 1.0;
  // 2^(E-121) * (D + 2) = 2^(E-120) * (1 + M/2^23); every step is exact.
  return std::pow(2.0, exponent - 121) * (fraction + 2) * sign;
}
