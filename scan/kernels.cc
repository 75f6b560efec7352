// The one place where the loops a run uses are chosen.
#include "scan/kernels.h"

Kernels ChooseKernels() {
#if defined(__x86_64__) && !defined(OSTREL_PLAIN_KERNELS)
  if (__builtin_cpu_supports("avx2")) return Avx2Kernels();
#endif
  return PlainKernels();
}
