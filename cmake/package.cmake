# Packages (CPack), made by scripts/package.sh into dist/:
#   Linux:   ryn_usr-V-linux-x86_64.tar.gz and ryn-usr_V_amd64.deb, every component
#   Windows: ryn_usr-V-win64.zip from the MinGW build, every component
# The version is the project's.
set(CPACK_PACKAGE_NAME ryn_usr)
set(CPACK_PACKAGE_VENDOR "ryn_usr developers")
set(CPACK_PACKAGE_CONTACT "ryn_usr developers <ryn_usr@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Calibration, device information and firmware of an optical touch-screen controller")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_STRIP_FILES ON)
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_SOURCE_DIR}/dist)
set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
set(CPACK_DEB_COMPONENT_INSTALL OFF)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME ryn_usr-${PROJECT_VERSION}-win64)
else()
  set(CPACK_GENERATOR "TGZ;DEB")
  string(TOLOWER ${CMAKE_SYSTEM_NAME}-${CMAKE_SYSTEM_PROCESSOR} ryn_system)
  set(CPACK_PACKAGE_FILE_NAME ryn_usr-${PROJECT_VERSION}-${ryn_system})
  # Debian names take no underscore; the file is ryn-usr_V_ARCH.deb.
  set(CPACK_DEBIAN_PACKAGE_NAME ryn-usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION libs)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libgcc-s1, libstdc++6, zlib1g")
  # The Python package needs python3; RynUsr.cs is compiled into a .NET host.
  set(CPACK_DEBIAN_PACKAGE_SUGGESTS "python3, mono-runtime")
endif()
include(CPack)
