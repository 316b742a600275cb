# Dependencies of a cross build, where the build machine's packages hold no
# libraries for the target: GoogleTest is compiled from Debian's source
# (/usr/src/googletest), CLI11 and nlohmann-json are header-only and their
# headers are copied from the host packages into the build folder, so that
# /usr/include itself never reaches the cross compiler. Each package gets a
# redirect config file, so the find_package calls of the tree find these.
set(ryn_host_headers ${CMAKE_BINARY_DIR}/host-headers)
set(ryn_redirects ${CMAKE_FIND_PACKAGE_REDIRECTS_DIR})

# ryn_header_package(PACKAGE TARGET FOLDER): the headers of /usr/include/FOLDER
# as the INTERFACE target TARGET, found as PACKAGE.
function(ryn_header_package package target folder)
  if(NOT EXISTS /usr/include/${folder})
    message(FATAL_ERROR "${package}: /usr/include/${folder} is missing (scripts/deps.sh installs it)")
  endif()
  file(COPY /usr/include/${folder} DESTINATION ${ryn_host_headers})
  add_library(${target} INTERFACE IMPORTED GLOBAL)
  set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${ryn_host_headers})
  string(TOLOWER ${package} lower)
  file(WRITE ${ryn_redirects}/${lower}-config.cmake "set(${package}_FOUND TRUE)\n")
endfunction()

ryn_header_package(CLI11 CLI11::CLI11 CLI)
ryn_header_package(nlohmann_json nlohmann_json::nlohmann_json nlohmann)

if(RYN_BUILD_TESTS)
  set(ryn_gtest_source /usr/src/googletest)
  if(NOT EXISTS ${ryn_gtest_source}/CMakeLists.txt)
    message(FATAL_ERROR "GoogleTest source missing in ${ryn_gtest_source} (scripts/deps.sh installs it)")
  endif()
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  add_subdirectory(${ryn_gtest_source} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  # GoogleTest's own build defines the GTest:: aliases the tests link.
  file(WRITE ${ryn_redirects}/gtest-config.cmake "set(GTest_FOUND TRUE)\n")
endif()
