# The layers of the simulator include one way:
# host <- core <- services <- image <- monitor <- programs.
# A file includes only from its own folder and those left of it (the
# assembler, asm/, sits above them all). Fails naming every include that
# breaks the order.
# Usage: cmake -DSOURCE_DIR=... -P include_layers.cmake
cmake_minimum_required(VERSION 3.20)
set(above_host core services image monitor programs asm)
set(above_core services image monitor programs asm)
set(above_services image monitor programs asm)
set(above_image monitor programs asm)
set(above_monitor programs asm)
set(broken "")
foreach(layer host core services image monitor)
  file(GLOB_RECURSE files RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/${layer}/*.h
       ${SOURCE_DIR}/${layer}/*.cpp ${SOURCE_DIR}/${layer}/*.def)
  foreach(file IN LISTS files)
    file(STRINGS ${SOURCE_DIR}/${file} includes REGEX "^#include \"")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^#include \"([^/\"]*)/.*" "\\1" folder "${line}")
      if(folder IN_LIST above_${layer})
        string(APPEND broken "\n  ${file}: ${line}")
      endif()
    endforeach()
  endforeach()
endforeach()
if(broken)
  message(FATAL_ERROR "includes against the layer order:${broken}")
endif()
