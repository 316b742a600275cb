# Install rules: what `cmake --install` puts under the prefix, by component.
#
# Linux (paths under the prefix)                Windows (the zip's folders)
#   runtime      lib/libryn_usr.so.V (SOVERSION)    bin/ryn_usr.dll
#                share/ryn_usr/ definition files   share/ryn_usr/
#   development  include/ryn_usr.h                 include/ryn_usr.h
#                lib/libryn_usr.so                 lib/ryn_usr.lib (MSVC), lib/libryn_usr.dll.a,
#                                                  lib/ryn_usr.def
#                lib/cmake/ryn_usr/ (both), lib/pkgconfig/ryn_usr.pc (Linux only)
#                share/doc/ryn_usr/ (guide, changelog, example host)
#   simulator    lib/ryn_usr/sim/libryn_hid.so     sim/ryn_hid.dll, sim/lib/ryn_hid.lib,
#                include/ryn_usr/sim/ryn_sim.h,    sim/lib/libryn_hid.dll.a,
#                ryn_hid.h, lib/pkgconfig/ryn_sim.pc sim/include/ryn_sim.h, ryn_hid.h
#   tool         lib/ryn_usr/sim/ryn, bin/ryn ->   sim/ryn.exe, sim/ryn_usr.dll,
#                lib/ryn_usr/sim/ryn, links to the sim/ definition files (copies)
#                definition files beside it, share/man/man1/ryn.1
#   python       lib/python3/dist-packages/ryn_usr/ (none)
#   development  share/ryn_usr/dotnet/RynUsr.cs     share/ryn_usr/dotnet/RynUsr.cs
#
# The simulated ryn_hid sits in a folder of its own, never beside ryn_usr: a
# host that copies the library's files next to its executable (or loads
# libryn_usr.so from the library folder) gets the maker's device library, not
# the simulator. ryn runs from the simulator's folder, because the library
# looks for the definition files beside the host's executable: /proc/self/exe
# (and GetModuleFileNameW) name the real file, not the bin/ryn link.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(RYN_INSTALL_DATADIR ${CMAKE_INSTALL_DATADIR}/ryn_usr)
set(RYN_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/ryn_usr)
set(RYN_INSTALL_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/ryn_usr)
if(WIN32)
  set(RYN_INSTALL_SIMDIR sim)
  set(RYN_INSTALL_SIM_LIBDIR sim/lib)
  set(RYN_INSTALL_SIM_INCLUDEDIR sim/include)
else()
  set(RYN_INSTALL_SIMDIR ${CMAKE_INSTALL_LIBDIR}/ryn_usr/sim)
  set(RYN_INSTALL_SIM_LIBDIR ${RYN_INSTALL_SIMDIR})
  set(RYN_INSTALL_SIM_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR}/ryn_usr/sim)
endif()

# rel(OUT FROM TO): the relative path from the folder FROM to TO, both under the prefix.
function(ryn_relative out from to)
  file(RELATIVE_PATH path /prefix/${from} /prefix/${to})
  string(REGEX REPLACE "/$" "" path "${path}")
  if(path STREQUAL "")
    set(path .)
  endif()
  set(${out} ${path} PARENT_SCOPE)
endfunction()

# The sample definition files and the flash driver list.
file(GLOB ryn_definition_files CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/defs/*.ini ${CMAKE_SOURCE_DIR}/defs/*.bin)

# --- runtime and development: the library --------------------------------------
if(NOT WIN32)
  set_target_properties(ryn_usr PROPERTIES VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
endif()
install(TARGETS ryn_usr
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT development
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
install(FILES ${CMAKE_SOURCE_DIR}/include/ryn_usr.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
        COMPONENT development)
install(FILES ${ryn_definition_files} DESTINATION ${RYN_INSTALL_DATADIR} COMPONENT runtime)
install(FILES ${CMAKE_SOURCE_DIR}/docs/host-guide.md ${CMAKE_SOURCE_DIR}/CHANGELOG.md
              ${CMAKE_SOURCE_DIR}/README.md
        DESTINATION ${RYN_INSTALL_DOCDIR} COMPONENT development)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/examples/host DESTINATION ${RYN_INSTALL_DOCDIR}/examples
        COMPONENT development)
if(WIN32)
  install(FILES ${RYN_USR_MSVC_LIB} ${ryn_usr_def} DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
endif()

# --- simulator ----------------------------------------------------------------
install(TARGETS ryn_hid
        RUNTIME DESTINATION ${RYN_INSTALL_SIMDIR} COMPONENT simulator
        LIBRARY DESTINATION ${RYN_INSTALL_SIM_LIBDIR} COMPONENT simulator
        ARCHIVE DESTINATION ${RYN_INSTALL_SIM_LIBDIR} COMPONENT simulator)
install(FILES ${CMAKE_SOURCE_DIR}/include/ryn_hid.h ${CMAKE_SOURCE_DIR}/sim/ryn_sim.h
        DESTINATION ${RYN_INSTALL_SIM_INCLUDEDIR} COMPONENT simulator)
if(WIN32)
  install(FILES ${RYN_HID_MSVC_LIB} DESTINATION ${RYN_INSTALL_SIM_LIBDIR} COMPONENT simulator)
endif()

# --- tool: ryn in the simulator's folder, with the definition files beside it --
if(TARGET ryn)
  ryn_relative(sim_to_lib ${RYN_INSTALL_SIMDIR} ${CMAKE_INSTALL_LIBDIR})
  set_target_properties(ryn PROPERTIES INSTALL_RPATH "$ORIGIN;$ORIGIN/${sim_to_lib}")
  install(TARGETS ryn RUNTIME DESTINATION ${RYN_INSTALL_SIMDIR} COMPONENT tool)
  if(WIN32)
    # ryn.exe loads ryn_usr.dll from its own folder.
    install(FILES $<TARGET_FILE:ryn_usr> ${ryn_definition_files} DESTINATION ${RYN_INSTALL_SIMDIR}
            COMPONENT tool)
  else()
    # Relative links, made in the build folder and installed as links, so the
    # installed tree can move (the .tar.gz unpacks anywhere).
    set(links ${CMAKE_BINARY_DIR}/install-links)
    file(REMOVE_RECURSE ${links})
    file(MAKE_DIRECTORY ${links}/bin ${links}/sim)
    ryn_relative(bin_to_sim ${CMAKE_INSTALL_BINDIR} ${RYN_INSTALL_SIMDIR})
    file(CREATE_LINK ${bin_to_sim}/ryn ${links}/bin/ryn SYMBOLIC)
    install(FILES ${links}/bin/ryn DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tool)
    ryn_relative(sim_to_data ${RYN_INSTALL_SIMDIR} ${RYN_INSTALL_DATADIR})
    foreach(file ${ryn_definition_files})
      get_filename_component(name ${file} NAME)
      file(CREATE_LINK ${sim_to_data}/${name} ${links}/sim/${name} SYMBOLIC)
      install(FILES ${links}/sim/${name} DESTINATION ${RYN_INSTALL_SIMDIR} COMPONENT tool)
    endforeach()
    # The man page comes from the tool's own build (tools/ryn sets RYN_MAN_PAGE
    # to the page it generates; without it, a ryn.1 in the tool's build folder).
    if(RYN_MAN_PAGE)
      install(FILES ${RYN_MAN_PAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tool)
    else()
      install(FILES ${CMAKE_BINARY_DIR}/tools/ryn/ryn.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
              COMPONENT tool OPTIONAL)
    endif()
  endif()
endif()

# --- python: the package ryn_usr, and the .NET wrapper's source ------------------
# The Python package goes where Debian's python3 looks under /usr
# (lib/python3/dist-packages; the folder to put on PYTHONPATH in an unpacked
# tree), with _layout.py naming the library, the definition files and the
# simulator relative to the package, so the tree can move. Not on Windows: the
# zip carries the .NET wrapper only.
if(NOT WIN32)
  set(RYN_INSTALL_PYTHONDIR lib/python3/dist-packages)
  set(py_package ${RYN_INSTALL_PYTHONDIR}/ryn_usr)
  ryn_relative(py_to_lib ${py_package} ${CMAKE_INSTALL_LIBDIR})
  ryn_relative(RYN_PY_TO_DATA ${py_package} ${RYN_INSTALL_DATADIR})
  ryn_relative(py_to_sim ${py_package} ${RYN_INSTALL_SIM_LIBDIR})
  set(RYN_PY_TO_LIBRARY ${py_to_lib}/libryn_usr.so.${PROJECT_VERSION_MAJOR})
  set(RYN_PY_TO_SIMULATOR ${py_to_sim}/libryn_hid.so)
  configure_file(${CMAKE_SOURCE_DIR}/cmake/python_layout.py.in ${CMAKE_BINARY_DIR}/package/python/_layout.py @ONLY)
  install(DIRECTORY ${CMAKE_SOURCE_DIR}/bindings/python/ryn_usr DESTINATION ${RYN_INSTALL_PYTHONDIR}
          COMPONENT python PATTERN _layout.py EXCLUDE PATTERN __pycache__ EXCLUDE)
  install(FILES ${CMAKE_BINARY_DIR}/package/python/_layout.py DESTINATION ${py_package} COMPONENT python)
endif()
install(FILES ${CMAKE_SOURCE_DIR}/bindings/dotnet/RynUsr.cs DESTINATION ${RYN_INSTALL_DATADIR}/dotnet
        COMPONENT development)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/examples/python ${CMAKE_SOURCE_DIR}/examples/dotnet
        DESTINATION ${RYN_INSTALL_DOCDIR}/examples COMPONENT development PATTERN __pycache__ EXCLUDE)

# --- consumers' interfaces: CMake package and pkg-config ------------------------
# Both locate everything relative to their own file, so an installed tree can move.
if(WIN32)
  set(RYN_USR_LOCATION ${CMAKE_INSTALL_BINDIR}/ryn_usr.dll)
  set(RYN_USR_IMPLIB ${CMAKE_INSTALL_LIBDIR}/ryn_usr.lib)
  set(RYN_HID_LOCATION ${RYN_INSTALL_SIMDIR}/ryn_hid.dll)
  set(RYN_HID_IMPLIB ${RYN_INSTALL_SIM_LIBDIR}/ryn_hid.lib)
else()
  set(RYN_USR_LOCATION ${CMAKE_INSTALL_LIBDIR}/libryn_usr.so.${PROJECT_VERSION})
  set(RYN_USR_IMPLIB "")
  set(RYN_HID_LOCATION ${RYN_INSTALL_SIM_LIBDIR}/libryn_hid.so)
  set(RYN_HID_IMPLIB "")
endif()
configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/ryn_usrConfig.cmake.in
                              ${CMAKE_BINARY_DIR}/package/ryn_usrConfig.cmake
                              INSTALL_DESTINATION ${RYN_INSTALL_CMAKEDIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/package/ryn_usrConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/package/ryn_usrConfig.cmake
              ${CMAKE_BINARY_DIR}/package/ryn_usrConfigVersion.cmake
        DESTINATION ${RYN_INSTALL_CMAKEDIR} COMPONENT development)

if(NOT WIN32)
  ryn_relative(RYN_PC_TO_PREFIX ${CMAKE_INSTALL_LIBDIR}/pkgconfig .)
  foreach(pc ryn_usr:development ryn_sim:simulator)
    string(REPLACE ":" ";" pc ${pc})
    list(GET pc 0 name)
    list(GET pc 1 component)
    configure_file(${CMAKE_SOURCE_DIR}/cmake/${name}.pc.in ${CMAKE_BINARY_DIR}/package/${name}.pc @ONLY)
    install(FILES ${CMAKE_BINARY_DIR}/package/${name}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
            COMPONENT ${component})
  endforeach()
endif()
