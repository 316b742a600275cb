# Files of a source tree, for the checks run with cmake -P.
#   tree_files(<out> <root> <folders to pass over: a regular expression> <pattern>...)
#   tree_sources(<out> <root> <folders to pass over>)   the C and C++ sources
# Set <out> to the paths relative to <root>. Build folders and hidden folders
# are always passed over, and only at the top is the tree listed whole: a
# build folder may hold a Wine prefix whose drive links lead to the file
# system's root, so a recursive listing of the whole tree would walk the
# whole machine. Links are not followed (the including script sets
# cmake_minimum_required, which makes that so for the folders listed here too).

function(tree_files out root skip)
  file(GLOB top RELATIVE "${root}" "${root}/*")
  set(found "")
  foreach(entry IN LISTS top)
    if(entry MATCHES "^(build[^/]*|[.].*)$" OR (skip AND entry MATCHES "^(${skip})$")
       OR IS_SYMLINK "${root}/${entry}")
      continue()
    endif()
    if(IS_DIRECTORY "${root}/${entry}")
      set(globs "")
      foreach(pattern IN LISTS ARGN)
        list(APPEND globs "${root}/${entry}/${pattern}")
      endforeach()
      file(GLOB_RECURSE files RELATIVE "${root}" ${globs})
      list(APPEND found ${files})
    else()
      foreach(pattern IN LISTS ARGN)
        string(REPLACE "." "[.]" regex "${pattern}")
        string(REPLACE "*" ".*" regex "${regex}")
        if(entry MATCHES "^${regex}$")
          list(APPEND found "${entry}")
          break()
        endif()
      endforeach()
    endif()
  endforeach()
  set(${out} "${found}" PARENT_SCOPE)
endfunction()

function(tree_sources out root skip)
  tree_files(found "${root}" "${skip}" "*.h" "*.cpp" "*.c")
  set(${out} "${found}" PARENT_SCOPE)
endfunction()
