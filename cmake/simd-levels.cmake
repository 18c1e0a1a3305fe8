# The SIMD levels whose block routines the row converters carry, besides
# the plain loops that every build has: for each, the file of its blocks
# (src/mmx_<level>.cpp) and the compiler flags that enable its
# instructions for that file alone (FLYOVER_SIMD_FLAGS_<level>). The rest of
# the program stays at the target's baseline; src/mmx.cpp asks the
# processor once, at run time, which of these levels it can run.
#
# x86 (32 and 64-bit, Linux and Windows): every level, chosen at run time.
# 64-bit ARM: NEON, which every such processor has. The web build: the
# SSSE3 blocks when FLYOVER_WASM_SIMD=ssse3 compiles the whole program for
# SSSE3, which Emscripten's x86 headers carry out in wasm SIMD.
set(FLYOVER_SIMD_LEVELS)
if(EMSCRIPTEN)
  if(FLYOVER_WASM_SIMD STREQUAL "ssse3")
    list(APPEND FLYOVER_SIMD_LEVELS ssse3)
  endif()
elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64|i[3-6]86|x86)$"
       AND CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  list(APPEND FLYOVER_SIMD_LEVELS mmx sse2 ssse3 avx2 avx512)
  set(FLYOVER_SIMD_FLAGS_mmx -mmmx)
  set(FLYOVER_SIMD_FLAGS_sse2 -msse2)
  set(FLYOVER_SIMD_FLAGS_ssse3 -mssse3)
  set(FLYOVER_SIMD_FLAGS_avx2 -mavx2)
  set(FLYOVER_SIMD_FLAGS_avx512 -mavx512f -mavx512bw -mavx512vl -mavx512vbmi)
elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^(aarch64|arm64|ARM64)$")
  list(APPEND FLYOVER_SIMD_LEVELS neon)
endif()
