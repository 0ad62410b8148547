// Run-time choice of the fast kernels' instruction set (see isa_dispatch.h): the best set the
// processor runs among those this build compiles, at most the one SHIMMERLY_ISA names, unless a
// test pinned a lesser one.
#include "core/isa_dispatch.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>

namespace shimmerly {

namespace {

// Whether the processor runs each set's instructions.
bool runs(KernelIsa isa) {
#if SHIMMERLY_ISA_X86
  __builtin_cpu_init();
  switch (isa) {
    case KernelIsa::kGeneric:
      return true;
    case KernelIsa::kAvx2:
      return __builtin_cpu_supports("avx2");
    case KernelIsa::kAvx512:
      return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
             __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vl");
    case KernelIsa::kNeon:
      return false;
  }
  return false;
#elif SHIMMERLY_ISA_ARM64
  return isa == KernelIsa::kGeneric || isa == KernelIsa::kNeon;
#else
  return isa == KernelIsa::kGeneric;
#endif
}

bool built(KernelIsa isa) {
#define SHIMMERLY_ISA_IS_BUILT_(a, name, enumerator, target, built) \
  if (isa == KernelIsa::enumerator) return (built) != 0;
  SHIMMERLY_ISA_SETS(SHIMMERLY_ISA_IS_BUILT_, _)
#undef SHIMMERLY_ISA_IS_BUILT_
  return false;
}

// The nearest set at or before isa that this build compiles (as isaForm picks kernels).
KernelIsa builtAtOrBefore(KernelIsa isa) {
  int i = static_cast<int>(isa);
  while (i > 0 && !built(static_cast<KernelIsa>(i))) --i;
  return static_cast<KernelIsa>(i);
}

// The last set of the list that is built, and runs with every built set before it.
KernelIsa probe() {
  KernelIsa best = KernelIsa::kGeneric;
  bool ok = true;
#define SHIMMERLY_ISA_PROBE_(a, name, enumerator, target, built) \
  if (built) {                                                   \
    ok = ok && runs(KernelIsa::enumerator);                      \
    if (ok) best = KernelIsa::enumerator;                        \
  }
  SHIMMERLY_ISA_SETS(SHIMMERLY_ISA_PROBE_, _)
#undef SHIMMERLY_ISA_PROBE_
  return best;
}

std::atomic<int> active{-1};

// The set SHIMMERLY_ISA names ("generic", "avx2", ...), or the detected one when it names none
// or names a set beyond it: lets a benchmark time a lesser processor's kernels.
KernelIsa capped(KernelIsa detected) {
  const char* wanted = std::getenv("SHIMMERLY_ISA");
  if (!wanted) return detected;
#define SHIMMERLY_ISA_NAMED_(a, name, enumerator, target, built) \
  if (std::strcmp(wanted, #name) == 0)                           \
    return std::min(builtAtOrBefore(KernelIsa::enumerator), detected);
  SHIMMERLY_ISA_SETS(SHIMMERLY_ISA_NAMED_, _)
#undef SHIMMERLY_ISA_NAMED_
  return detected;
}

}  // namespace

KernelIsa detectedKernelIsa() {
  static const KernelIsa detected = capped(probe());
  return detected;
}

KernelIsa activeKernelIsa() {
  const int a = active.load(std::memory_order_relaxed);
  return a < 0 ? detectedKernelIsa() : static_cast<KernelIsa>(a);
}

KernelIsa setKernelIsa(KernelIsa isa) {
  const KernelIsa chosen = static_cast<KernelIsa>(
      std::min(static_cast<int>(builtAtOrBefore(isa)), static_cast<int>(detectedKernelIsa())));
  active.store(static_cast<int>(chosen), std::memory_order_relaxed);
  return chosen;
}

const char* kernelIsaName(KernelIsa isa) {
#define SHIMMERLY_ISA_NAME_(a, name, enumerator, target, built) \
  if (isa == KernelIsa::enumerator) return #name;
  SHIMMERLY_ISA_SETS(SHIMMERLY_ISA_NAME_, _)
#undef SHIMMERLY_ISA_NAME_
  return "generic";
}

}  // namespace shimmerly
