# Fails unless the ```c block that follows the line naming examples/host/host.c
# in the guide is that file, byte for byte.
#   cmake -DGUIDE=docs/host-guide.md -DEXAMPLE=examples/host/host.c -P check_guide_example.cmake
file(READ ${GUIDE} guide)
file(READ ${EXAMPLE} example)
set(marker "<!-- example: examples/host/host.c -->\n```c\n")
string(FIND "${guide}" "${marker}" at)
if(at EQUAL -1)
  message(FATAL_ERROR "${GUIDE}: no block after \"<!-- example: examples/host/host.c -->\"")
endif()
string(LENGTH "${marker}" length)
math(EXPR at "${at} + ${length}")
string(SUBSTRING "${guide}" ${at} -1 rest)
string(FIND "${rest}" "\n```\n" end)
if(end EQUAL -1)
  message(FATAL_ERROR "${GUIDE}: the example's block is not closed")
endif()
math(EXPR end "${end} + 1")
string(SUBSTRING "${rest}" 0 ${end} block)
if(NOT block STREQUAL example)
  file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/guide_block.c "${block}")
  message(FATAL_ERROR "${GUIDE}: the example's block differs from ${EXAMPLE} "
                      "(the block is in ${CMAKE_CURRENT_BINARY_DIR}/guide_block.c); "
                      "copy the file into the guide")
endif()
