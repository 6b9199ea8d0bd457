# cmake --install into a scratch prefix: both programs, both manual pages,
# the README and the word reference land in the GNU directories, and the
# installed programs run from there.
# Usage: cmake -DBUILD_DIR=... -DPREFIX=... -DBINDIR=... -DMANDIR=... -DDOCDIR=...
#              [-DEMULATOR=cmd|arg|...] -P install_test.cmake
string(REPLACE "|" ";" EMULATOR "${EMULATOR}")
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install failed (${status}):\n${out}")
endif()

foreach(file ${BINDIR}/norvex ${BINDIR}/norvex-rom ${MANDIR}/man1/norvex.1 ${MANDIR}/man1/norvex-rom.1
             ${DOCDIR}/README.md ${DOCDIR}/words.md)
  if(NOT EXISTS "${PREFIX}/${file}")
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()

function(expect_run expected_status expected_output)
  execute_process(COMMAND ${EMULATOR} ${ARGN} INPUT_FILE /dev/null WORKING_DIRECTORY "${PREFIX}"
    RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out TIMEOUT 60)
  string(FIND "${out}" "${expected_output}" at)
  if(NOT status EQUAL expected_status OR at EQUAL -1)
    message(FATAL_ERROR "${ARGN}: status ${status}, expected ${expected_status} and \"${expected_output}\":\n${out}")
  endif()
endfunction()

expect_run(0 "Norvex Forth" "${PREFIX}/${BINDIR}/norvex-rom" "1 2 + . bye")
expect_run(0 "\n3 " "${PREFIX}/${BINDIR}/norvex-rom" "1 2 + . bye")
expect_run(2 "Missing zvK Image File Name" "${PREFIX}/${BINDIR}/norvex")

# The word reference lists the standard words with their stack effects.
file(READ "${PREFIX}/${DOCDIR}/words.md" words)
foreach(entry "| `dup` | ( x -- x x ) |" "## CORE" "## PROGRAMMING-TOOLS")
  string(FIND "${words}" "${entry}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "words.md lacks ${entry}")
  endif()
endforeach()

# The manual pages render: man -l gives their text, and mandoc (where it is
# installed) finds nothing to warn about.
find_program(MAN man)
find_program(MANDOC mandoc)
foreach(page norvex norvex-rom)
  set(file "${PREFIX}/${MANDIR}/man1/${page}.1")
  if(MAN)
    execute_process(COMMAND "${MAN}" -l "${file}" RESULT_VARIABLE status OUTPUT_VARIABLE text
      ERROR_VARIABLE warnings)
    if(NOT status EQUAL 0 OR NOT warnings STREQUAL "" OR NOT text MATCHES "SYNOPSIS")
      message(FATAL_ERROR "man -l ${page}.1: status ${status}\n${warnings}")
    endif()
  endif()
  if(MANDOC)
    execute_process(COMMAND "${MANDOC}" -Tlint -W warning "${file}" RESULT_VARIABLE status
      OUTPUT_VARIABLE warnings ERROR_VARIABLE warnings)
    if(NOT status EQUAL 0)
      message(FATAL_ERROR "mandoc -Tlint ${page}.1:\n${warnings}")
    endif()
  endif()
endforeach()
