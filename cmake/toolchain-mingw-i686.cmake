# Cross build for 32-bit Windows with Debian's mingw-w64 compilers.
#
# The win32 thread variant is used throughout: nothing here starts a thread,
# and that variant needs no winpthread library. libgcc and libstdc++ are
# linked statically so that the .exe files need only system DLLs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(FLYOVER_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

# The baseline is what any 32-bit Windows program may assume: an i686 (the
# Pentium Pro, this compiler's default), which has no SIMD unit at all. The
# row converters do not need more: their MMX, SSE2, SSSE3, AVX2 and AVX-512
# blocks are each compiled for their own instruction set and chosen at run
# time from what the processor and the system report (src/mmx.cpp), as in
# the 64-bit build. A wider -march would speed nothing up and would stop the
# program on the processors it leaves out. Another -march may be given as
# usual.
set(FLYOVER_ARCH i686 CACHE STRING "Value for -march")
