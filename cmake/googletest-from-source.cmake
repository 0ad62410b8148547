# GoogleTest for cross builds: the build machine's googletest libraries are for the build machine,
# so the tests of a cross build compile googletest from the packaged sources
# (/usr/src/googletest, Debian package "googletest") with the cross compiler. Provides the same
# GTest:: targets as find_package(GTest).
set(SHIMMERLY_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "googletest sources for cross builds")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
# Our warning-as-error flag is for our own code, not for a third-party library.
get_directory_property(shimmerly_saved_options COMPILE_OPTIONS)
set(shimmerly_gtest_options ${shimmerly_saved_options})
list(REMOVE_ITEM shimmerly_gtest_options -Werror)
set_directory_properties(PROPERTIES COMPILE_OPTIONS "${shimmerly_gtest_options}")
add_subdirectory(${SHIMMERLY_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
set_directory_properties(PROPERTIES COMPILE_OPTIONS "${shimmerly_saved_options}")
foreach(lib gtest gtest_main gmock gmock_main)
  if(NOT TARGET GTest::${lib})
    add_library(GTest::${lib} ALIAS ${lib})
  endif()
endforeach()
