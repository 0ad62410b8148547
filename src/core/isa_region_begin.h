// Opens one instruction set's region in a kernel file: `#define SHIMMERLY_ISA_REGION avx2`, then
// include this, the set's code, and isa_region_end.h. Everything between (lambdas and templates
// included) goes in namespace SHIMMERLY_ISA_REGION and is compiled for the set. No include guard.
#ifndef SHIMMERLY_ISA_REGION
#error "isa_region_begin.h: define SHIMMERLY_ISA_REGION to the set's name first"
#endif
#include "core/isa_dispatch.h"

namespace SHIMMERLY_ISA_REGION {
#if defined(__clang__)
SHIMMERLY_ISA_PRAGMA(clang attribute push(
    __attribute__((target(SHIMMERLY_ISA_TARGET(SHIMMERLY_ISA_REGION)))), apply_to = function))
#else
SHIMMERLY_ISA_PRAGMA(GCC push_options)
SHIMMERLY_ISA_PRAGMA(GCC target(SHIMMERLY_ISA_TARGET(SHIMMERLY_ISA_REGION)))
#endif
// The canary: a function with no target of its own must inline one with the set's target,
// which GCC and clang refuse (a build error) unless the region's target applies here.
// isa_region_end.h repeats it, so the target must hold from here to the region's end.
#define SHIMMERLY_ISA_CANARY_(at)                                              \
  [[gnu::always_inline]] inline                                                \
      __attribute__((target(SHIMMERLY_ISA_TARGET(SHIMMERLY_ISA_REGION)))) void \
      SHIMMERLY_ISA_CAT(isaCanary, at)() {}                                    \
  [[gnu::used]] static void SHIMMERLY_ISA_CAT(isaRegionCheck, at)() {          \
    SHIMMERLY_ISA_CAT(isaCanary, at)();                                        \
  }
SHIMMERLY_ISA_CANARY_(__COUNTER__)
