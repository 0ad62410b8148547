// Run-time choice of the fast kernels' instruction set (see kernel_isa.h). Windows builds keep to
// the generic kernels: their compilers do not keep the stack aligned for 32-byte spills.
#include "core/kernel_isa.h"

#include <algorithm>
#include <atomic>

namespace shimmerly {

namespace {

KernelIsa probe() {
#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__) && !defined(_WIN32)
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
      __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vl")) {
    return KernelIsa::kAvx512;
  }
  if (__builtin_cpu_supports("avx2")) return KernelIsa::kAvx2;
#endif
  return KernelIsa::kGeneric;
}

std::atomic<int> active{-1};

}  // namespace

KernelIsa detectedKernelIsa() {
  static const KernelIsa detected = probe();
  return detected;
}

KernelIsa activeKernelIsa() {
  const int a = active.load(std::memory_order_relaxed);
  return a < 0 ? detectedKernelIsa() : static_cast<KernelIsa>(a);
}

KernelIsa setKernelIsa(KernelIsa isa) {
  const KernelIsa chosen = static_cast<KernelIsa>(
      std::min(static_cast<int>(isa), static_cast<int>(detectedKernelIsa())));
  active.store(static_cast<int>(chosen), std::memory_order_relaxed);
  return chosen;
}

const char* kernelIsaName(KernelIsa isa) {
  switch (isa) {
    case KernelIsa::kAvx512:
      return "avx512";
    case KernelIsa::kAvx2:
      return "avx2";
    default:
      return "generic";
  }
}

}  // namespace shimmerly
