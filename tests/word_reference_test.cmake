# The word reference from a small Forth source: groups and names from the
# public list, stack comments of the definition that counts (the last one
# compiled), defining words learnt from the source, and nothing taken from
# inside a definition or a comment.
# Usage: cmake -DTOOL=... [-DEMULATOR=cmd|arg|...] -DDIR=... -P word_reference_test.cmake
string(REPLACE "|" ";" EMULATOR "${EMULATOR}")
file(REMOVE_RECURSE "${DIR}")
file(MAKE_DIRECTORY "${DIR}/kernel" "${DIR}/system")
file(WRITE "${DIR}/kernel/k.fs" [=[
\ : fake ( -- )  a comment is no definition
PRIM: dup   ( x -- x x )   DUP ;
: square  ( n -- n*n )  dup * ;   \ the first square
: maker  ( "<spaces>name" -- )  create 0 , ;
: inside  ( -- )  [ 0 ] literal drop  create bogus ;
]=])
file(WRITE "${DIR}/system/main.fs" [=[
include more.fs
include public.fs
]=])
file(WRITE "${DIR}/system/more.fs" [=[
: square  ( n1 -- n2 )  dup * ;   \ kept: compiled last
maker thing
7 constant seven
s" create fake" 2drop
]=])
file(WRITE "${DIR}/system/public.fs" [=[
\ The words a program sees.

\ CORE
public dup square
\ This system's own
public thing seven missing fake bogus
]=])
execute_process(COMMAND ${EMULATOR} "${TOOL}" "${DIR}/words.md" "${DIR}/system/public.fs"
                        "${DIR}/system/main.fs" "${DIR}/kernel/k.fs"
  RESULT_VARIABLE status ERROR_VARIABLE err)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "word_reference failed (${status}): ${err}")
endif()
file(READ "${DIR}/words.md" words)

foreach(expected
    "\n## CORE\n"
    "| `dup` | ( x -- x x ) |  | kernel/k.fs |"
    "| `square` | ( n1 -- n2 ) | kept: compiled last | system/more.fs |"
    "\n## This system's own\n"
    "| `thing` |  |  | system/more.fs |"
    "| `seven` | ( -- x ) |  | system/more.fs |"
    "| `missing` | | | |"
    "| `fake` | | | |"
    "| `bogus` | | | |")
  string(FIND "${words}" "${expected}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "words.md lacks: ${expected}\n${words}")
  endif()
endforeach()
foreach(unexpected "inside" "maker" "The words a program sees")
  string(FIND "${words}" "${unexpected}" at)
  if(NOT at EQUAL -1)
    message(FATAL_ERROR "words.md has: ${unexpected}\n${words}")
  endif()
endforeach()
