// Float sample conversion.
//
// Float32Convert turns the four stored bytes of a 32-bit sample (b0 the least
// significant byte of the little-endian word) into a value on the level
// scale: sign * 2^(E - 120) * (1 + M / 2^23), E being the 8-bit exponent
// field and M the 23-bit fraction field. For every normal number that is 128
// times its value, so full scale +-1.0 lands on +-128 like the integer
// formats. No exponent is treated specially: zero and subnormals give
// +-2^-120 * (1 + M / 2^23), never 0, and infinities and NaNs give finite
// values between 2^135 and 2^136 in size.
#ifndef OSTREL_SCAN_FLOAT32_H
#define OSTREL_SCAN_FLOAT32_H

double Float32Convert(unsigned char b0, unsigned char b1, unsigned char b2,
                      unsigned char b3);

#endif
