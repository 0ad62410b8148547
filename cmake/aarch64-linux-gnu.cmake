# Cross toolchain for 64-bit ARM Linux (aarch64) with Debian's GCC cross compiler
# (g++-aarch64-linux-gnu) and its sysroot under /usr/aarch64-linux-gnu (libc6-arm64-cross,
# libstdc++-12-dev-arm64-cross). Programs of the build run under qemu-aarch64 (qemu-user), which
# finds the ARM64 dynamic loader and libraries in the same sysroot; ctest runs the tests that way.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(SHIMMERLY_CROSS_TRIPLE aarch64-linux-gnu)
set(SHIMMERLY_CROSS_SYSROOT /usr/${SHIMMERLY_CROSS_TRIPLE})
set(CMAKE_C_COMPILER ${SHIMMERLY_CROSS_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${SHIMMERLY_CROSS_TRIPLE}-g++)
set(CMAKE_FIND_ROOT_PATH ${SHIMMERLY_CROSS_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# pkg-config must not offer the build machine's x86-64 libraries.
set(ENV{PKG_CONFIG_LIBDIR} ${SHIMMERLY_CROSS_SYSROOT}/lib/pkgconfig)
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64 -L ${SHIMMERLY_CROSS_SYSROOT})
