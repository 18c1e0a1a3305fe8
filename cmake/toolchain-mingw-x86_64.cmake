# Cross build for 64-bit Windows with Debian's mingw-w64 compilers.
#
# The win32 thread variant is used throughout: nothing here starts a thread,
# and that variant needs no winpthread library. libgcc and libstdc++ are
# linked statically so that the .exe files need only system DLLs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(FLYOVER_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
