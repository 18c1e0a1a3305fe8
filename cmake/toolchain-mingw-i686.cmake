# Cross build for 32-bit Windows with Debian's mingw-w64 compilers.
#
# The win32 thread variant is used throughout: nothing here starts a thread,
# and that variant needs no winpthread library. libgcc and libstdc++ are
# linked statically so that the .exe files need only system DLLs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(FLYOVER_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

# The compiler's default for this target is a Pentium Pro, which has no
# SIMD unit at all; the row converters pick their instruction set from the
# target when compiling. A Pentium II is the Pentium Pro with MMX, the set
# the converters were designed around. Another -march may be given as usual.
set(FLYOVER_ARCH pentium2 CACHE STRING "Value for -march")
