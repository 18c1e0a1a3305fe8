# Shared part of the two mingw-w64 toolchain files; FLYOVER_MINGW_TRIPLE
# names the target (x86_64-w64-mingw32 or i686-w64-mingw32).
set(CMAKE_C_COMPILER ${FLYOVER_MINGW_TRIPLE}-gcc-win32)
set(CMAKE_CXX_COMPILER ${FLYOVER_MINGW_TRIPLE}-g++-win32)
set(CMAKE_RC_COMPILER ${FLYOVER_MINGW_TRIPLE}-windres)
set(CMAKE_AR ${FLYOVER_MINGW_TRIPLE}-gcc-ar-win32 CACHE FILEPATH "Archiver")
set(CMAKE_RANLIB ${FLYOVER_MINGW_TRIPLE}-gcc-ranlib-win32 CACHE FILEPATH "Ranlib")

set(CMAKE_FIND_ROOT_PATH /usr/${FLYOVER_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Every program of the Windows build, the console tools included, carries
# its own copy of the compiler's runtime.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
