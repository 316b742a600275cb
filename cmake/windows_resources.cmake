# Windows only: a version resource in each binary, and the import libraries a
# host's linker takes.
#  - ryn_usr.dll, ryn_hid.dll and ryn.exe carry a VERSIONINFO resource whose
#    numbers come from ryn_version.h, that is from project(VERSION).
#  - ryn_usr.lib: an import library made by binutils' dlltool from the module
#    definition file of ryn_usr.dll, which MSVC's linker takes as well as MinGW's.
#  - ryn_hid.lib: the same for the simulated device library, from the module
#    definition file its link writes (it has no hand-written one).
# The MinGW import libraries (libryn_usr.dll.a, libryn_hid.dll.a) come from the
# links themselves.
if(NOT WIN32)
  return()
endif()
enable_language(RC)

# ryn_version_resource(TARGET FILE TYPE DESCRIPTION)
function(ryn_version_resource target file type description)
  if(NOT TARGET ${target})
    return()
  endif()
  set(RYN_RC_NAME ${target})
  set(RYN_RC_FILE ${file})
  set(RYN_RC_TYPE ${type})
  set(RYN_RC_DESCRIPTION "${description}")
  set(rc ${CMAKE_BINARY_DIR}/generated/${target}_version.rc)
  configure_file(${CMAKE_SOURCE_DIR}/cmake/version.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
endfunction()

ryn_version_resource(ryn_usr ryn_usr.dll VFT_DLL
                     "Calibration, device information and firmware of the touch controller")
ryn_version_resource(ryn_hid ryn_hid.dll VFT_DLL "Simulated touch controller device library")
ryn_version_resource(ryn ryn.exe VFT_APP "Command-line host of ryn_usr")

string(REGEX REPLACE "gcc(-posix)?(\\.exe)?$" "" ryn_tool_prefix "${CMAKE_C_COMPILER}")
find_program(RYN_DLLTOOL NAMES ${ryn_tool_prefix}dlltool x86_64-w64-mingw32-dlltool dlltool REQUIRED)

# The module definition file of ryn_usr.dll is one of the target's sources.
get_target_property(ryn_usr_sources ryn_usr SOURCES)
list(FILTER ryn_usr_sources INCLUDE REGEX "\\.def$")
get_target_property(ryn_usr_source_dir ryn_usr SOURCE_DIR)
get_filename_component(ryn_usr_def ${ryn_usr_sources} ABSOLUTE BASE_DIR ${ryn_usr_source_dir})

set(RYN_USR_MSVC_LIB ${CMAKE_ARCHIVE_OUTPUT_DIRECTORY}/ryn_usr.lib)
set(RYN_HID_DEF ${CMAKE_ARCHIVE_OUTPUT_DIRECTORY}/ryn_hid.def)
set(RYN_HID_MSVC_LIB ${CMAKE_ARCHIVE_OUTPUT_DIRECTORY}/ryn_hid.lib)
target_link_options(ryn_hid PRIVATE -Wl,--output-def,${RYN_HID_DEF})
# dlltool names the library's internal symbols after its output path: it runs
# in the output folder so that no build path ends up in them.
add_custom_command(OUTPUT ${RYN_USR_MSVC_LIB}
                   COMMAND ${RYN_DLLTOOL} -m i386:x86-64 -d ${ryn_usr_def} -D ryn_usr.dll -l ryn_usr.lib
                   WORKING_DIRECTORY ${CMAKE_ARCHIVE_OUTPUT_DIRECTORY}
                   DEPENDS ${ryn_usr_def} COMMENT "ryn_usr.lib from ${ryn_usr_def}")
add_custom_command(OUTPUT ${RYN_HID_MSVC_LIB}
                   COMMAND ${RYN_DLLTOOL} -m i386:x86-64 -d ${RYN_HID_DEF} -D ryn_hid.dll -l ryn_hid.lib
                   WORKING_DIRECTORY ${CMAKE_ARCHIVE_OUTPUT_DIRECTORY}
                   DEPENDS ryn_hid COMMENT "ryn_hid.lib from the exports of ryn_hid.dll")
add_custom_target(ryn_msvc_import_libs ALL DEPENDS ${RYN_USR_MSVC_LIB} ${RYN_HID_MSVC_LIB})
