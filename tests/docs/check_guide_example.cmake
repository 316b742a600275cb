# Fails unless the fenced block that follows the line naming the example in
# the guide ("<!-- example: NAME -->", then a ```LANG block) is that file,
# byte for byte.
#   cmake -DGUIDE=docs/host-guide.md -DEXAMPLE=<source>/examples/host/host.c
#         -DNAME=examples/host/host.c -DLANG=c -P check_guide_example.cmake
file(READ ${GUIDE} guide)
file(READ ${EXAMPLE} example)
set(marker "<!-- example: ${NAME} -->\n```${LANG}\n")
string(FIND "${guide}" "${marker}" at)
if(at EQUAL -1)
  message(FATAL_ERROR "${GUIDE}: no ```${LANG} block after \"<!-- example: ${NAME} -->\"")
endif()
string(LENGTH "${marker}" length)
math(EXPR at "${at} + ${length}")
string(SUBSTRING "${guide}" ${at} -1 rest)
string(FIND "${rest}" "\n```\n" end)
if(end EQUAL -1)
  message(FATAL_ERROR "${GUIDE}: the block of ${NAME} is not closed")
endif()
math(EXPR end "${end} + 1")
string(SUBSTRING "${rest}" 0 ${end} block)
if(NOT block STREQUAL example)
  get_filename_component(file ${NAME} NAME)
  file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/guide_block_${file} "${block}")
  message(FATAL_ERROR "${GUIDE}: the block of ${NAME} differs from ${EXAMPLE} "
                      "(the block is in ${CMAKE_CURRENT_BINARY_DIR}/guide_block_${file}); "
                      "copy the file into the guide")
endif()
