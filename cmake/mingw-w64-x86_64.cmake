# Cross build for Windows x86-64 with the MinGW-w64 toolchain (posix threads,
# so std::thread and std::mutex work). Tests run through Wine.
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(triple x86_64-w64-mingw32)
find_program(CMAKE_C_COMPILER NAMES ${triple}-gcc-posix ${triple}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${triple}-g++-posix ${triple}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${triple}-windres)

# Only the cross sysroot supplies libraries and headers (zlib among them);
# programs such as cmake or wine come from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The test executables and ryn.exe run through Wine: gtest_discover_tests and
# ctest prefix every command with the emulator.
# Debian keeps the 64-bit loader outside PATH, behind the wine launcher script.
find_program(RYN_WINE NAMES wine64 wine PATHS /usr/lib/wine)
if(RYN_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${RYN_WINE})
endif()

# The GCC runtime is linked in, so the DLLs and executables start under Wine
# without the toolchain's runtime DLLs beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++ -static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++ -static")
