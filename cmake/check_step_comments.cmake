# Comments that name a step by its number alone, checked over every C and C++
# source of the tree but tests/ (build folders and hidden folders are passed over):
#   cmake -DROOT=<source dir> -P cmake/check_step_comments.cmake
# A step is named in words: a comment that is only a number or a list of
# numbers ("// 3.", "// 9, 10, 11", "x = 1;  // 15", "/* 4. */"), or that opens
# with one before its text ("// 2 to 5. The header"), tells the next reader
# nothing. Numbers inside a sentence stay ("// 255 characters", "// 1.5 times",
# "// 3072 bytes"). Fails with one line per such comment.
cmake_minimum_required(VERSION 3.20)
if(NOT ROOT)
  message(FATAL_ERROR "usage: cmake -DROOT=<source dir> -P check_step_comments.cmake")
endif()

# One number, or several joined by commas, "to" or "and" ("2. to 6." too).
set(numbers "[0-9]+([.]?[ \t]*(,|to|and)[ \t]*[0-9]+)*")
# A comment whose whole text is the numbers, wherever it stands on its line.
set(only "(//|/[*])[ \t]*${numbers}[.]?[ \t]*([*]/)?[ \t]*$")
# A comment line that opens with the numbers and a full stop.
set(prefix "^[ \t]*(//|/[*]+|[*])[ \t]*${numbers}[.]([ \t]|$)")

include("${CMAKE_CURRENT_LIST_DIR}/tree_sources.cmake")
tree_sources(files "${ROOT}" "tests")
set(faults 0)
set(checked 0)
foreach(file IN LISTS files)
  math(EXPR checked "${checked} + 1")
  file(STRINGS "${ROOT}/${file}" hits ENCODING UTF-8 REGEX "${only}|${prefix}")
  if(NOT hits)
    continue()
  endif()
  # Line by line for the line numbers; semicolons and brackets would split or
  # join CMake list items, so they stand in as control characters meanwhile.
  file(READ "${ROOT}/${file}" text)
  string(ASCII 1 semicolon)
  string(ASCII 2 open)
  string(ASCII 3 close)
  string(REPLACE ";" "${semicolon}" text "${text}")
  string(REPLACE "[" "${open}" text "${text}")
  string(REPLACE "]" "${close}" text "${text}")
  string(REPLACE "\n" ";" text "${text}")
  set(number 0)
  foreach(line IN LISTS text)
    math(EXPR number "${number} + 1")
    if(line MATCHES "${only}" OR line MATCHES "${prefix}")
      string(REPLACE "${semicolon}" ";" line "${line}")
      string(REPLACE "${open}" "[" line "${line}")
      string(REPLACE "${close}" "]" line "${line}")
      string(STRIP "${line}" line)
      message("${file}:${number}: \"${line}\" names a step by its number; say what it does")
      math(EXPR faults "${faults} + 1")
    endif()
  endforeach()
endforeach()

if(faults GREATER 0)
  message(FATAL_ERROR "${faults} step comment(s) are only numbers")
endif()
message(STATUS "step comments: ${checked} files name their steps in words")
