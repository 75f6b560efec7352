#include "tests/reference_scan.h"

#include <cmath>

#include "scan/scan.h"

namespace {

// Powers of two for the fraction and the exponent, built on first use.
int initialize = 0;
double dpowers[23];  // dpowers[k] = 2^-k
int epowers[8];      // epowers[j] = 2^j
// The bits of the current word, fp[i] = bit i; rewritten on every call.
int fp[32];

}  // namespace

double ReferenceFloat32Convert(unsigned char b0, unsigned char b1, unsigned char b2,
                               unsigned char b3) {
  if (initialize == 0) {
    initialize = 1;
    for (int k = 0; k < 23; ++k) dpowers[k] = std::pow(2.0, -k);
    for (int j = 0; j < 8; ++j) epowers[j] = static_cast<int>(std::pow(2.0, j));
  }
  const unsigned char bytes[4] = {b0, b1, b2, b3};
  for (int i = 0; i < 32; ++i) fp[i] = (bytes[i / 8] >> (i % 8)) & 1;

  double fraction = 0;  // the fraction field over 2^22
  for (int k = 0; k < 23; ++k) fraction += fp[22 - k] * dpowers[k];
  int exponent = 0;
  for (int j = 0; j < 8; ++j) exponent += fp[23 + j] * epowers[j];
  const double sign = fp[31] == 1 ? -1.0 : 1.0;
  return std::pow(2.0, exponent - 121) * (fraction + 2) * sign;
}

double ReferenceDecode8(const unsigned char* b) { return b[0] - 128.0; }

double ReferenceDecode16(const unsigned char* b) {
  return b[0] / 256.0 + static_cast<signed char>(b[1]);
}

double ReferenceDecode24(const unsigned char* b) {
  return b[1] / 256.0 + static_cast<signed char>(b[2]) + b[0] / 65536.0;
}

double ReferenceDecode32(const unsigned char* b) {
  return b[2] / 256.0 + static_cast<signed char>(b[3]) + b[1] / 65536.0 + b[0] / 16777216.0;
}

// G.711 by the segment and step of each code (ITU-T G.711 tables): mu-law
// magnitudes (2 step + 33) 2^segment - 33 in 14 bits, A-law 2 step + 1 in
// segment 0 and (2 step + 33) 2^(segment - 1) above, in 13 bits; as 16-bit
// values over 256. The sign bit is set for positive codes (mu-law codes are
// stored inverted, A-law codes with every other bit inverted).
double ReferenceDecodeMuLaw(const unsigned char* b) {
  const int code = ~b[0] & 0xFF;
  const int segment = (code >> 4) & 7, step = code & 15;
  const double magnitude = 4 * (((2 * step + 33) << segment) - 33) / 256.0;
  return (code & 0x80) != 0 ? -magnitude : magnitude;
}

double ReferenceDecodeALaw(const unsigned char* b) {
  const int code = b[0] ^ 0x55;
  const int segment = (code >> 4) & 7, step = code & 15;
  const int magnitude13 = segment == 0 ? 2 * step + 1 : (2 * step + 33) << (segment - 1);
  const double magnitude = 8 * magnitude13 / 256.0;
  return (code & 0x80) != 0 ? magnitude : -magnitude;
}

double ReferenceDecodeFloat64(const unsigned char* b) {
  double value;
  std::memcpy(&value, b, sizeof value);
  const auto narrow = static_cast<float>(value);
  unsigned char bytes[4];
  std::memcpy(bytes, &narrow, sizeof bytes);
  return ReferenceFloat32Convert(bytes[0], bytes[1], bytes[2], bytes[3]);
}

namespace {

// A positive value sig * 2^exp.
struct Rounded {
  uint64_t sig;
  int exp;
};

// num / den * 2^exp rounded to `bits` (at most 64) significant bits, to
// nearest with ties to even. The numerator is `count` 64-bit words, most
// significant first, and not 0; den is above 0 and below 2^62. The quotient
// comes out one bit at a time by binary long division, so the remainder stays
// below den and nothing wider than 64 bits is needed.
Rounded RoundQuotient(const uint64_t* words, int count, uint64_t den, int exp, int bits) {
  const int numeratorBits = 64 * count;
  uint64_t remainder = 0;
  uint64_t sig = 0;
  int taken = 0;        // significant bits in sig so far
  int lowest = 0;       // the power of two of sig's last bit
  int roundBit = -1;    // the bit after sig's last, once reached
  bool sticky = false;  // whether any bit after that is 1
  for (int i = 0; roundBit < 0 || i < numeratorBits; ++i) {
    const uint64_t next = i < numeratorBits ? words[i / 64] >> (63 - i % 64) & 1 : 0;
    remainder = 2 * remainder + next;
    const uint64_t bit = remainder >= den ? 1 : 0;
    remainder -= bit * den;
    if (taken < bits) {
      if (taken == 0 && bit == 0) continue;  // leading zeros
      sig = sig << 1 | bit;
      ++taken;
      lowest = numeratorBits - 1 - i + exp;
    } else if (roundBit < 0) {
      roundBit = static_cast<int>(bit);
    } else {
      sticky = sticky || bit != 0;
    }
  }
  sticky = sticky || remainder != 0;
  if (roundBit == 1 && (sticky || (sig & 1) != 0)) {
    ++sig;
    // A carry out of the top bit leaves 2^bits: one bit fewer, one place up.
    if (bits == 64 ? sig == 0 : sig >> bits != 0) {
      sig = uint64_t{1} << (bits - 1);
      ++lowest;
    }
  }
  return {sig, lowest};
}

}  // namespace

double ReferenceBlockLevel(double blockSum, uint32_t channelCount, uint32_t resolution,
                           float magnification) {
  if (std::isnan(magnification)) return std::nan("");
  if (blockSum == 0) return 0;
  // The sum and the magnification as whole significands times powers of two.
  int sumExp = 0;
  const uint64_t sumSig = static_cast<uint64_t>(std::ldexp(std::frexp(blockSum, &sumExp), 53));
  int magExp = 0;
  const uint64_t magSig = static_cast<uint64_t>(
      std::ldexp(std::frexp(static_cast<double>(magnification), &magExp), 24));
  // The quotient S / (channels * resolution) to 64 bits.
  const uint64_t divisor = uint64_t{channelCount} * resolution;
  const Rounded quotient = RoundQuotient(&sumSig, 1, divisor, sumExp - 53, 64);
  // The exact product of two significands (64 and 24 bits) in two words,
  // from 32-bit halves, then rounded to 64 bits.
  const uint64_t low = (quotient.sig & 0xFFFFFFFFu) * magSig;
  const uint64_t high = (quotient.sig >> 32) * magSig;
  uint64_t product[2] = {high >> 32, high << 32};
  product[1] += low;
  if (product[1] < low) ++product[0];
  const Rounded scaled = RoundQuotient(product, 2, 1, quotient.exp + magExp - 24, 64);
  // Then once more, to the 53 bits of a double.
  const Rounded level = RoundQuotient(&scaled.sig, 1, 1, scaled.exp, 53);
  return std::ldexp(static_cast<double>(level.sig), level.exp);
}

namespace {

constexpr uint32_t kReferenceChunkFrames = 4096;

}  // namespace

void ReferenceScanFrames(std::FILE* file, uint32_t dataOffset, uint32_t bytesPerSample,
                         ReferenceDecode decode, uint32_t channelCount, uint32_t sampleRate,
                         uint32_t startFrame, uint32_t endFrame, uint32_t resolution,
                         float magnification, double interval, double* peaks) {
  static unsigned char buffer[kReferenceChunkFrames * 8];
  const uint32_t frameSize = bytesPerSample * channelCount;
  const uint32_t half = resolution / 2;
  uint32_t bufferIndex = 0;
  uint32_t framesInBuffer = 0;
  uint32_t blockCount = 0;
  double blockSum = 0;
  for (uint32_t c = 0; c < channelCount; ++c) peaks[c] = 0;
  for (uint32_t current = startFrame; current < endFrame;) {
    if (bufferIndex == 0) {
      const uint32_t remaining = endFrame - current;
      const uint32_t wanted = remaining < kReferenceChunkFrames ? remaining : kReferenceChunkFrames;
      framesInBuffer = 0;
      if (fseeko(file, static_cast<off_t>(dataOffset + static_cast<uint64_t>(frameSize) * current),
                 SEEK_SET) == 0)
        framesInBuffer = static_cast<uint32_t>(std::fread(buffer, frameSize, wanted, file));
    }
    if (bufferIndex >= framesInBuffer) break;
    // Frames of no decoder are walked only.
    for (uint32_t c = 0; decode != nullptr && c < channelCount; ++c) {
      const double value =
          decode(buffer + size_t{bufferIndex} * frameSize + size_t{c} * bytesPerSample);
      CheckPeak(value, &peaks[c]);
      blockSum += std::fabs(value);
    }
    bufferIndex = (bufferIndex + 1) % kReferenceChunkFrames;
    ++current;
    if (++blockCount == resolution) {
      const double level = ReferenceBlockLevel(blockSum, channelCount, resolution, magnification);
      const double time = static_cast<double>(current - half) / sampleRate;
      if (interval >= 0.025)
        std::printf("%.2f\t", time);
      else if (interval > 0.001)
        std::printf("%.3f\t", time);
      else
        std::printf("%.3f\t%u\t", time, current - half);
      for (long m = 1; static_cast<double>(m) <= level && m <= 2147483647; ++m) std::putchar('.');
      std::putchar('\n');
      blockCount = 0;
      blockSum = 0;
    }
  }
}
