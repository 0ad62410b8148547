# Cross toolchain for 32-bit Windows (PE32) with mingw-w64. i686 GCC computes in x87 registers by
# default, whose wider precision changes pixel results in the last bit; SSE2 arithmetic gives the
# same 64-bit reals as the other builds.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
