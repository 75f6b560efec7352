// The level of a complete block.
//
// The level is (S / resolution) * magnification, S being the block sum
// (halved for two channels): the quotient and then the product rounded to
// nearest, ties to even, to a 64-bit significand, and the product rounded
// once more, to double, at the end. That is the rule of the 80-bit extended
// format that levels have always been formed in, and it makes a level whose
// exact value is whole come out whole: 23 / 5 * 100 gives 460, where plain
// double arithmetic gives 459.99999999999994 and a row would lose a dot.
//
// It is computed with integers, so every platform gives the same bits,
// whatever its long double is.
#ifndef OSTREL_SCAN_LEVEL_H
#define OSTREL_SCAN_LEVEL_H

#include <cstdint>

double BlockLevel(double blockSum, uint32_t channelCount, uint32_t resolution, float magnification);

// The two ways BlockLevel takes, for the tests. The quick one answers (and
// returns true) for finite sums in [2^-800, 2^800] and finite magnifications
// above 0, unless the level lies within 1/128 of a last place of halfway
// between two doubles (exact ties it answers when the resolution is a power
// of two). The exact one answers for every sum, resolution and
// magnification, zero, infinities and nan included.
bool QuickLevel(double sum, uint32_t resolution, float magnification, double* level);
double ExactLevel(double sum, uint32_t resolution, float magnification);

#endif
