// The instruction sets the fast pixel kernels are compiled for, each declared once here; the
// run-time choice among them, which tests pin to each set in turn; and what a kernel file needs:
// the inline markers, the per-set regions (isa_region_begin.h) and the pick of a kernel's form.
#pragma once

#include <cstddef>

// Vector sets are built where GCC or clang target x86. On Windows the stack is only 16-byte
// aligned and GCC still spills 32- and 64-byte registers with aligned moves, so the vector sets
// are built there only for 64-bit builds whose assembler writes every aligned vector move as an
// unaligned one (SHIMMERLY_UNALIGNED_VECTOR_MOVES, set by cmake/mingw-x86_64.cmake); 32-bit
// Windows keeps to the generic kernels.
#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__) && \
    (!defined(_WIN32) || (defined(__x86_64__) && defined(SHIMMERLY_UNALIGNED_VECTOR_MOVES)))
#define SHIMMERLY_ISA_X86 1
#else
#define SHIMMERLY_ISA_X86 0
#endif

// NEON is part of the ARM64 baseline: its set is built on every aarch64 build with GCC or clang.
#if defined(__aarch64__) && defined(__GNUC__)
#define SHIMMERLY_ISA_ARM64 1
#else
#define SHIMMERLY_ISA_ARM64 0
#endif

// Each set as F(arg, name, enumerator, target, built): its namespace, its KernelIsa enumerator,
// the compiler target of its regions and whether this build compiles it. A set runs everything
// the sets before it that this build compiles (the x86 sets and NEON are never built together);
// the processor test of each lives in isa_dispatch.cpp. NEON comes last so that the x86 sets keep
// their places; its target names the baseline's own extension, so its regions change nothing.
#define SHIMMERLY_ISA_SET_generic(F, a) F(a, generic, kGeneric, "", 1)
#define SHIMMERLY_ISA_SET_avx2(F, a) F(a, avx2, kAvx2, "avx2", SHIMMERLY_ISA_X86)
#define SHIMMERLY_ISA_SET_avx512(F, a) \
  F(a, avx512, kAvx512, "avx512f,avx512dq,avx512bw,avx512vl,avx2", SHIMMERLY_ISA_X86)
#define SHIMMERLY_ISA_SET_neon(F, a) F(a, neon, kNeon, "+simd", SHIMMERLY_ISA_ARM64)
#define SHIMMERLY_ISA_SETS(F, a)                                                              \
  SHIMMERLY_ISA_SET_generic(F, a) SHIMMERLY_ISA_SET_avx2(F, a) SHIMMERLY_ISA_SET_avx512(F, a) \
      SHIMMERLY_ISA_SET_neon(F, a)

#define SHIMMERLY_ISA_CAT_(a, b) a##b
#define SHIMMERLY_ISA_CAT(a, b) SHIMMERLY_ISA_CAT_(a, b)
#define SHIMMERLY_ISA_PRAGMA_(x) _Pragma(#x)
#define SHIMMERLY_ISA_PRAGMA(x) SHIMMERLY_ISA_PRAGMA_(x)
#define SHIMMERLY_ISA_TARGET_OF_(a, name, enumerator, target, built) target
#define SHIMMERLY_ISA_BUILT_OF_(a, name, enumerator, target, built) built
// The compiler target of a set, and whether this build compiles it (usable in #if).
#define SHIMMERLY_ISA_TARGET(set) SHIMMERLY_ISA_TARGET_(set)
#define SHIMMERLY_ISA_TARGET_(set) SHIMMERLY_ISA_SET_##set(SHIMMERLY_ISA_TARGET_OF_, _)
#define SHIMMERLY_ISA_BUILT(set) SHIMMERLY_ISA_BUILT_(set)
#define SHIMMERLY_ISA_BUILT_(set) SHIMMERLY_ISA_SET_##set(SHIMMERLY_ISA_BUILT_OF_, _)

// Helpers the kernels share are inlined into every set's code: compiled on their own they would
// have the baseline instruction set. A helper that cannot be inlined is a build error.
#define SHIMMERLY_INLINE inline __attribute__((always_inline))
#define SHIMMERLY_INLINE_LAMBDA __attribute__((always_inline))

// One set's form of the kernel fn (template arguments allowed), `&set::fn`, or null where this
// build does not compile the set; SHIMMERLY_ISA_PICK(fn): the form of the set in use, from the
// forms every set's region defines (see isaForm).
#define SHIMMERLY_ISA_FORM_1(set, ...) &set::__VA_ARGS__
#define SHIMMERLY_ISA_FORM_0(set, ...) nullptr
#define SHIMMERLY_ISA_FORM(set, ...) \
  SHIMMERLY_ISA_CAT(SHIMMERLY_ISA_FORM_, SHIMMERLY_ISA_BUILT(set))(set, __VA_ARGS__)
#define SHIMMERLY_ISA_UNPAREN_(...) __VA_ARGS__
#define SHIMMERLY_ISA_FORM_OF_(fn, name, enumerator, target, built) \
  SHIMMERLY_ISA_CAT(SHIMMERLY_ISA_FORM_, built)(name, SHIMMERLY_ISA_UNPAREN_ fn),
#define SHIMMERLY_ISA_PICK(...)                          \
  ::shimmerly::isaForm<decltype(&generic::__VA_ARGS__)>( \
      {SHIMMERLY_ISA_SETS(SHIMMERLY_ISA_FORM_OF_, (__VA_ARGS__))})

namespace shimmerly {

#define SHIMMERLY_ISA_ENUMERATOR_(a, name, enumerator, target, built) enumerator,
enum class KernelIsa : int { SHIMMERLY_ISA_SETS(SHIMMERLY_ISA_ENUMERATOR_, _) };
#undef SHIMMERLY_ISA_ENUMERATOR_

// The best set this processor and build support; at most the set the environment variable
// SHIMMERLY_ISA names (a name of kernelIsaName), so that a benchmark can time a processor that
// lacks the later sets. Read once per process.
KernelIsa detectedKernelIsa();
// The set in use: the detected one unless a test asked for a lesser one.
KernelIsa activeKernelIsa();
// Asks for `isa`: the nearest set at or before it that this build compiles, or the detected set
// when it supports less. Returns the set now in use.
KernelIsa setKernelIsa(KernelIsa isa);
const char* kernelIsaName(KernelIsa isa);

// The form of a kernel for the set in use, from its forms in the order of the sets: a set with
// no form of its own (null, or beyond the list) takes the nearest one before it.
template <typename Fn, size_t kCount>
Fn isaForm(const Fn (&forms)[kCount]) {
  size_t i = static_cast<size_t>(activeKernelIsa());
  if (i >= kCount) i = kCount - 1;
  while (i > 0 && forms[i] == nullptr) --i;
  return forms[i];
}

}  // namespace shimmerly
