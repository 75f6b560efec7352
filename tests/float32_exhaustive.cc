// Checks Float32Convert against the conversion built from power tables on
// all 2^32 bit patterns, bit for bit. Prints the count of patterns that
// differ and exits non-zero if there is any.
#include <cstdint>
#include <cstdio>

#include "scan/float32.h"
#include "tests/reference_scan.h"

int main() {
  uint64_t differing = 0;
  uint32_t word = 0;
  do {
    const auto b0 = static_cast<unsigned char>(word);
    const auto b1 = static_cast<unsigned char>(word >> 8);
    const auto b2 = static_cast<unsigned char>(word >> 16);
    const auto b3 = static_cast<unsigned char>(word >> 24);
    const double fast = Float32Convert(b0, b1, b2, b3);
    const double reference = ReferenceFloat32Convert(b0, b1, b2, b3);
    if (DoubleBits(fast) != DoubleBits(reference) && ++differing <= 10)
      std::printf("differs at %08x: %a against %a\n", word, fast, reference);
    if ((word & 0x0FFFFFFF) == 0x0FFFFFFF) std::fprintf(stderr, "through %08x\n", word);
  } while (++word != 0);
  std::printf("%llu of 4294967296 patterns differ\n", static_cast<unsigned long long>(differing));
  return differing == 0 ? 0 : 1;
}
