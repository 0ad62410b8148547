// Closes the instruction set's region opened by isa_region_begin.h, after checking once more
// that the set's target still applies (see the canary there). No include guard.
#ifndef SHIMMERLY_ISA_REGION
#error "isa_region_end.h: no region is open"
#endif
SHIMMERLY_ISA_CANARY_(__COUNTER__)
#undef SHIMMERLY_ISA_CANARY_
#if defined(__clang__)
SHIMMERLY_ISA_PRAGMA(clang attribute pop)
#else
SHIMMERLY_ISA_PRAGMA(GCC pop_options)
#endif
}  // namespace SHIMMERLY_ISA_REGION
#undef SHIMMERLY_ISA_REGION
