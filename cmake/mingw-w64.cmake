# Toolchain: 64-bit Windows through Debian's mingw-w64, POSIX threads variant, C++ runtime inside every module.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TIDYWARDEN_MINGW_TRIPLE x86_64-w64-mingw32)
# The win32-threads variant has no std::mutex or std::thread, which spdlog needs.
set(CMAKE_C_COMPILER ${TIDYWARDEN_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TIDYWARDEN_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TIDYWARDEN_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TIDYWARDEN_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# libgcc, libstdc++ and winpthread go into each DLL and program, so the plug-in needs only Windows and the host.
# Each module then has its own runtime copy; they share one heap because operator new ends in msvcrt's malloc.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")
