# Builds the Forth system's image: the kernel runs under norvex, compiles
# the opcode mnemonics (OPCODES) and the system's Forth source
# (SYSTEM_DIR/main.fs and what it includes) with its own compiler, and saves
# itself to OUTPUT with SAVE-SYSTEM.
# In a cross build EMULATOR (its words separated by |) runs norvex.
# Usage: cmake -DNORVEX=... [-DEMULATOR=...] -DKERNEL=... -DSYSTEM_DIR=... -DOPCODES=... -DOUTPUT=... -P build_image.cmake
string(REPLACE "|" ";" EMULATOR "${EMULATOR}")
file(REMOVE "${OUTPUT}")
execute_process(
  COMMAND ${EMULATOR} "${NORVEX}" "\"${KERNEL}\"" "include ${OPCODES}  include main.fs  s\" ${OUTPUT}\" save-system  bye"
  WORKING_DIRECTORY "${SYSTEM_DIR}"
  INPUT_FILE /dev/null
  OUTPUT_VARIABLE out
  ERROR_VARIABLE out
  RESULT_VARIABLE status
  TIMEOUT 300)
# The kernel says its version line and nothing else unless something failed.
string(REGEX MATCHALL "\n" lines "${out}")
list(LENGTH lines line_count)
if(NOT status EQUAL 0 OR NOT EXISTS "${OUTPUT}" OR line_count GREATER 1)
  file(REMOVE "${OUTPUT}")
  message(FATAL_ERROR "The Forth system did not build (status ${status}):\n${out}")
endif()
