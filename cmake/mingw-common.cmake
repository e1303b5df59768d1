# Shared part of the MinGW-w64 toolchain files; HORAX_MINGW_TRIPLE names the target.
set(CMAKE_SYSTEM_NAME Windows)
if(HORAX_MINGW_TRIPLE MATCHES "^x86_64")
  set(CMAKE_SYSTEM_PROCESSOR x86_64)
else()
  set(CMAKE_SYSTEM_PROCESSOR i686)
endif()

# The posix thread model: GoogleTest needs std::mutex.
set(CMAKE_C_COMPILER ${HORAX_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${HORAX_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${HORAX_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${HORAX_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# ctest runs every cross-built test through this wrapper, which runs it under Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)
