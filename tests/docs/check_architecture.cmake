# Fails when docs/architecture.md names a file, folder or function of the tree
# that is no longer there, or when the README no longer links the page.
#   cmake -DROOT=<source dir> -DPAGE=docs/architecture.md -DREADME=README.md
#         -P check_architecture.cmake
# What the page names in backticks (outside fenced code blocks) is checked:
# - a path with a slash ("frame/exports.cpp", "fwupdate/common/"): relative
#   to ROOT;
# - a file name without one ("ryn_usr.h"): somewhere in the tree;
# - a function ("report()", "Simulator::call()"): its name followed by "(" in
#   a C or C++ source of the library, the simulator or the tools.
# Anything else in backticks (types, flags, wildcards like "*_fw.h") is prose.
cmake_minimum_required(VERSION 3.20)
foreach(var ROOT PAGE README)
  if(NOT ${var})
    message(FATAL_ERROR "usage: cmake -DROOT=<dir> -DPAGE=<page> -DREADME=<readme> "
                        "-P check_architecture.cmake")
  endif()
endforeach()

file(READ "${PAGE}" page)
# Fenced code blocks are dropped: from a line's ``` to the next.
while(TRUE)
  string(FIND "${page}" "```" open)
  if(open EQUAL -1)
    break()
  endif()
  math(EXPR after "${open} + 3")
  string(SUBSTRING "${page}" ${after} -1 rest)
  string(FIND "${rest}" "```" close)
  string(SUBSTRING "${page}" 0 ${open} before)
  if(close EQUAL -1)
    set(page "${before}")
    break()
  endif()
  math(EXPR close "${close} + 3")
  string(SUBSTRING "${rest}" ${close} -1 rest)
  set(page "${before}${rest}")
endwhile()
string(REGEX MATCHALL "`[^`\n]+`" names "${page}")
list(REMOVE_DUPLICATES names)

# The sources a function name is looked for in: the library, the simulator
# and the tools (tests, benchmarks, fuzz targets, build and hidden folders aside).
include("${CMAKE_CURRENT_LIST_DIR}/../../cmake/tree_sources.cmake")
tree_sources(sources "${ROOT}" "tests|bench|fuzz|examples")
set(code "")
foreach(source IN LISTS sources)
  file(READ "${ROOT}/${source}" text)
  string(APPEND code "${text}")
endforeach()

set(faults 0)
set(checked 0)
foreach(quoted IN LISTS names)
  string(REGEX REPLACE "^`(.*)`$" "\\1" name "${quoted}")
  if(name MATCHES "^[A-Za-z0-9_.-]+(/[A-Za-z0-9_.-]+)*/?$" AND name MATCHES "/")
    math(EXPR checked "${checked} + 1")
    if(NOT EXISTS "${ROOT}/${name}")
      message("${PAGE}: `${name}` is not in the tree")
      math(EXPR faults "${faults} + 1")
    endif()
  elseif(name MATCHES "^[A-Za-z0-9_-]+[.](h|cpp|c|cmake|md|txt|ini)$")
    math(EXPR checked "${checked} + 1")
    tree_files(found "${ROOT}" "" "${name}")
    if(NOT found)
      message("${PAGE}: `${name}` is not in the tree")
      math(EXPR faults "${faults} + 1")
    endif()
  elseif(name MATCHES "^([A-Za-z_][A-Za-z0-9_]*::)*([A-Za-z_][A-Za-z0-9_]*)[(][)]$")
    math(EXPR checked "${checked} + 1")
    string(FIND "${code}" "${CMAKE_MATCH_2}(" at)
    if(at EQUAL -1)
      message("${PAGE}: `${name}` is no function of the tree's sources")
      math(EXPR faults "${faults} + 1")
    endif()
  endif()
endforeach()

file(READ "${README}" readme)
string(FIND "${readme}" "(docs/architecture.md)" link)
if(link EQUAL -1)
  message("${README}: no link to docs/architecture.md")
  math(EXPR faults "${faults} + 1")
endif()

if(faults GREATER 0)
  message(FATAL_ERROR "${faults} name(s) of the architecture page are out of date")
endif()
message(STATUS "architecture page: ${checked} names found in the tree")
