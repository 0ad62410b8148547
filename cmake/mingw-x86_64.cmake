# Cross toolchain for 64-bit Windows (PE32+) with mingw-w64.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(MINGW_TRIPLE x86_64-w64-mingw32)
# The AVX2 and AVX-512 kernels. 64-bit Windows keeps the stack 16-byte aligned, and GCC cannot
# realign it there for 32- and 64-byte spills (its Windows unwind records cannot describe a
# realigned frame), yet it still spills vector registers with aligned moves, which fault on a
# misaligned slot. The assembler writes every aligned vector move (vmovaps, vmovapd, vmovdqa,
# vmovdqa32/64) as its unaligned form instead: the same operation and result, with no alignment
# requirement, and as fast when the address happens to be aligned. Other VEX and EVEX
# instructions with memory operands need no alignment at all, so nothing in the vector regions
# can fault on alignment; isa_dispatch.h builds the vector sets only when this is defined, and
# scripts/test-windows.sh checks the modules for aligned vector moves.
set(CMAKE_C_FLAGS_INIT "-Wa,-muse-unaligned-vector-move -DSHIMMERLY_UNALIGNED_VECTOR_MOVES=1")
set(CMAKE_CXX_FLAGS_INIT "-Wa,-muse-unaligned-vector-move -DSHIMMERLY_UNALIGNED_VECTOR_MOVES=1")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
