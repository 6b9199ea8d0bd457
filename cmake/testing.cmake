# What the tests need: GoogleTest, and the way to start the programs.

# GoogleTest: the installed one, or else one built from its source (a cross
# build finds none installed for its target).
find_package(GTest QUIET)
if(NOT GTest_FOUND)
  set(NORVEX_GTEST_SOURCE /usr/src/googletest CACHE PATH
      "GoogleTest source, built when no installed GoogleTest is found")
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory(${NORVEX_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  if(NOT TARGET GTest::gtest_main)   # older GoogleTest sources make no such names
    add_library(GTest::gtest ALIAS gtest)
    add_library(GTest::gtest_main ALIAS gtest_main)
  endif()
endif()
include(GoogleTest)

# NORVEX_RUN and NORVEX_ROM_RUN: what the tests execute to start norvex and
# norvex-rom as processes. In a cross build that is a script that starts the
# program under the emulator.
if(CMAKE_CROSSCOMPILING AND CMAKE_CROSSCOMPILING_EMULATOR)
  list(JOIN CMAKE_CROSSCOMPILING_EMULATOR "\" \"" emulator)
  foreach(program norvex norvex-rom)
    file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/emulated/${program}
      CONTENT "#!/bin/sh\nexec \"${emulator}\" \"$<TARGET_FILE:${program}>\" \"$@\"\n"
      FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  endforeach()
  set(NORVEX_TEST_TIME_SCALE 5)   # the tests' time-outs, for programs run emulated
  set(NORVEX_RUN ${CMAKE_BINARY_DIR}/emulated/norvex)
  set(NORVEX_ROM_RUN ${CMAKE_BINARY_DIR}/emulated/norvex-rom)
else()
  set(NORVEX_TEST_TIME_SCALE 1)
  set(NORVEX_RUN $<TARGET_FILE:norvex>)
  set(NORVEX_ROM_RUN $<TARGET_FILE:norvex-rom>)
endif()
