# Packages of the installed tree: cpack -G DEB and cpack -G TGZ in the
# build folder. Name and version come from project().

# The Forth system's banner names the same version.
file(STRINGS ${PROJECT_SOURCE_DIR}/forth/kernel/interpreter.fs banner REGEX "Norvex Forth [0-9]")
string(REGEX MATCH "Norvex Forth ([0-9.]+)" banner "${banner}")
if(NOT CMAKE_MATCH_1 STREQUAL "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}")
  message(FATAL_ERROR "The Forth banner says version ${CMAKE_MATCH_1}, the project ${PROJECT_VERSION}")
endif()

set(NORVEX_MAINTAINER "Norvex developers <norvex@invalid>" CACHE STRING
    "Maintainer field of the packages (name <address>)")

set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VENDOR "Norvex developers")
set(CPACK_PACKAGE_CONTACT ${NORVEX_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY ${PROJECT_DESCRIPTION})
set(CPACK_PACKAGE_DESCRIPTION
    "Norvex runs images for a 32-bit stack machine made for Forth, with a monitor that
traces, single-steps and breaks. norvex-rom carries a complete Forth-2012 system
inside itself: an interactive Forth with a line editor, scripts and saved images.")
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR TGZ DEB)
set(CPACK_SOURCE_GENERATOR TGZ)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION interpreters)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${NORVEX_MAINTAINER})
# Dependencies from the programs' shared libraries (dpkg-shlibdeps): none
# for the static programs.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The target's architecture, also in a cross build.
set(deb_architectures "x86_64=amd64;AMD64=amd64;aarch64=arm64;arm64=arm64;i686=i386;i386=i386")
foreach(pair IN LISTS deb_architectures)
  string(REPLACE "=" ";" pair "${pair}")
  list(GET pair 0 processor)
  if(processor STREQUAL CMAKE_SYSTEM_PROCESSOR)
    list(GET pair 1 CPACK_DEBIAN_PACKAGE_ARCHITECTURE)
  endif()
endforeach()

include(CPack)
