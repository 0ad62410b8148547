# Sanitizer and fuzzing instrumentation for the hardening builds (the `sanitize` preset).
# SHIMMERLY_SANITIZE compiles and links everything with AddressSanitizer and
# UndefinedBehaviorSanitizer, every finding fatal; SHIMMERLY_BUILD_FUZZ adds libFuzzer's coverage
# instrumentation to every object, so that the fuzz targets of fuzz/ see the core library's
# branches. Both need clang; the fuzz targets themselves link -fsanitize=fuzzer (fuzz/).
option(SHIMMERLY_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)

if(SHIMMERLY_BUILD_FUZZ AND NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "SHIMMERLY_BUILD_FUZZ needs clang (libFuzzer): configure with the "
                      "`sanitize` preset or -DCMAKE_CXX_COMPILER=clang++")
endif()

if(SHIMMERLY_SANITIZE)
  # float-cast-overflow: a real converted to an integer it does not fit is undefined; clang has
  # it in `undefined`, GCC needs it named.
  set(SHIMMERLY_SANITIZER_FLAGS -fsanitize=address,undefined,float-cast-overflow
                                -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_compile_options(${SHIMMERLY_SANITIZER_FLAGS})
  add_link_options(${SHIMMERLY_SANITIZER_FLAGS})

  # The plug-in module and the public library link with --no-undefined, but clang leaves the
  # sanitizer runtime out of shared objects: the executable that loads them supplies it. Allow
  # those symbols once every target exists.
  function(shimmerly_allow_sanitizer_runtime_in_module)
    foreach(target IN ITEMS shimmerly_plugin shimmerly_api)
      if(TARGET ${target} AND NOT WIN32)
        target_link_libraries(${target} PRIVATE "-Wl,-z,undefs")
      endif()
    endforeach()
  endfunction()
  cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL
                 shimmerly_allow_sanitizer_runtime_in_module)
endif()

if(SHIMMERLY_BUILD_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
