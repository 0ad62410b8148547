# CLI11 for cross builds: the library is header-only and needs nothing but the standard library,
# but its headers sit in the build machine's /usr/include beside that machine's C headers, which
# a cross compiler must not see. The CLI folder alone is copied into the build tree and offered
# as the CLI11::CLI11 target.
set(SHIMMERLY_CLI11_HEADERS /usr/include/CLI CACHE PATH "CLI11 headers (the CLI folder)")
if(NOT TARGET CLI11::CLI11 AND EXISTS ${SHIMMERLY_CLI11_HEADERS}/CLI.hpp)
  set(staged ${CMAKE_BINARY_DIR}/cli11-headers)
  file(COPY ${SHIMMERLY_CLI11_HEADERS} DESTINATION ${staged})
  add_library(CLI11::CLI11 INTERFACE IMPORTED)
  set_target_properties(CLI11::CLI11 PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${staged})
endif()
