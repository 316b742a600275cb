# The layering of the source tree, checked over every quoted #include:
#   cmake -DROOT=<source dir> -P cmake/check_layering.cmake
# Each row names a folder and what its files may include: folders of the
# project (a header "dir/file.h" belongs to folder dir, or to dir/sub for a
# row of that name) and top-level headers of include/. The longest folder row
# that holds a file applies to it; folders without a row (tools/ryn, tests,
# bench, fuzz, examples) stand above the library and may include anything.
# Fails with one line per include that crosses a line.
set(rules
  "include           | ryn_usr.h"
  "formats           | formats"
  "text              | text"
  "platform          | platform text ryn_usr.h"
  "frame             | frame formats platform text ryn_usr.h ryn_hid.h ryn_version.h"
  "calibration       | calibration frame formats platform text ryn_usr.h ryn_hid.h"
  "devinfo           | devinfo frame formats platform text ryn_usr.h ryn_hid.h"
  "fwupdate/common   | fwupdate/common frame formats platform text ryn_usr.h ryn_hid.h"
  "fwupdate          | fwupdate devinfo frame formats platform text ryn_usr.h ryn_hid.h"
  "sim               | sim formats text ryn_hid.h"
  "tools/image_builder | tools/image_builder fwupdate/common sim formats text ryn_hid.h"
)

if(NOT ROOT)
  message(FATAL_ERROR "usage: cmake -DROOT=<source dir> -P check_layering.cmake")
endif()

set(folders "")
foreach(rule IN LISTS rules)
  string(REGEX MATCH "^([^ |]+) *\\| *(.*)$" _ "${rule}")
  set(folder "${CMAKE_MATCH_1}")
  string(REPLACE " " ";" allowed "${CMAKE_MATCH_2}")
  list(APPEND folders "${folder}")
  set("allowed_${folder}" "${allowed}")
endforeach()

# The folder row that holds a path (relative to ROOT): the longest that is a prefix.
function(row_of path out)
  set(best "")
  foreach(folder IN LISTS folders)
    string(LENGTH "${folder}" n)
    string(LENGTH "${best}" b)
    if(path MATCHES "^${folder}/" AND n GREATER b)
      set(best "${folder}")
    endif()
  endforeach()
  set(${out} "${best}" PARENT_SCOPE)
endfunction()

set(faults 0)
set(checked 0)
foreach(folder IN LISTS folders)
  file(GLOB_RECURSE files RELATIVE "${ROOT}" "${ROOT}/${folder}/*.h" "${ROOT}/${folder}/*.cpp"
       "${ROOT}/${folder}/*.c")
  foreach(file IN LISTS files)
    row_of("${file}" row)
    if(NOT row STREQUAL folder)
      continue()  # a deeper row checks it
    endif()
    math(EXPR checked "${checked} + 1")
    file(STRINGS "${ROOT}/${file}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
    foreach(line IN LISTS lines)
      string(REGEX MATCH "\"([^\"]+)\"" _ "${line}")
      set(header "${CMAKE_MATCH_1}")
      # What the header belongs to: the longest row folder that holds it, or
      # else its first path element, or the file name of a top-level header.
      row_of("${header}" owner)
      if(owner STREQUAL "")
        string(REGEX REPLACE "/.*" "" owner "${header}")
      endif()
      # An allowed folder admits its subfolders too (fwupdate: fwupdate/common).
      set(allowed FALSE)
      foreach(item IN LISTS "allowed_${row}")
        if(owner STREQUAL item OR owner MATCHES "^${item}/")
          set(allowed TRUE)
        endif()
      endforeach()
      if(NOT allowed)
        message("${file}: includes \"${header}\" (${owner}), which ${row}/ may not include")
        math(EXPR faults "${faults} + 1")
      endif()
    endforeach()
  endforeach()
endforeach()

if(faults GREATER 0)
  message(FATAL_ERROR "${faults} include(s) cross a layer line")
endif()
message(STATUS "layering: ${checked} files keep to their lines")
