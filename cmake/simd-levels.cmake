# The SIMD levels of the row converters (src/mmx.cpp) that the target
# processor has, narrowest first: for each level, the number the source
# knows it by (FLYOVER_SIMD_NUMBER_<level>) and the compiler flags that
# enable its instructions (FLYOVER_SIMD_FLAGS_<level>). The build compiles
# the converters at the level FLYOVER_SIMD names, or, when it is empty, at
# the widest one the compiler targets (see FLYOVER_ARCH); the converter
# tests compile them at every level in the list.
set(FLYOVER_SIMD_LEVELS plain)
set(FLYOVER_SIMD_NUMBER_plain 0)
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64|i[3-6]86|x86)$" AND NOT EMSCRIPTEN
   AND CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  list(APPEND FLYOVER_SIMD_LEVELS mmx sse2 ssse3 avx2)
  set(FLYOVER_SIMD_NUMBER_mmx 1)
  set(FLYOVER_SIMD_FLAGS_mmx -mmmx)
  set(FLYOVER_SIMD_NUMBER_sse2 2)
  set(FLYOVER_SIMD_FLAGS_sse2 -msse2)
  set(FLYOVER_SIMD_NUMBER_ssse3 3)
  set(FLYOVER_SIMD_FLAGS_ssse3 -mssse3)
  set(FLYOVER_SIMD_NUMBER_avx2 4)
  set(FLYOVER_SIMD_FLAGS_avx2 -mavx2)
elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^(aarch64|arm64|ARM64)$")
  # Every 64-bit ARM processor has NEON; no flag is needed.
  list(APPEND FLYOVER_SIMD_LEVELS neon)
  set(FLYOVER_SIMD_NUMBER_neon 5)
endif()

set(FLYOVER_SIMD "" CACHE STRING "SIMD level of the row converters; empty takes the widest the target has")
set_property(CACHE FLYOVER_SIMD PROPERTY STRINGS "" ${FLYOVER_SIMD_LEVELS})
if(NOT FLYOVER_SIMD STREQUAL "" AND NOT FLYOVER_SIMD IN_LIST FLYOVER_SIMD_LEVELS)
  list(JOIN FLYOVER_SIMD_LEVELS ", " available)
  message(FATAL_ERROR "FLYOVER_SIMD=${FLYOVER_SIMD} is not a SIMD level of this target "
                      "(${CMAKE_SYSTEM_PROCESSOR}). Its levels are: ${available}; "
                      "or leave FLYOVER_SIMD empty for the widest that FLYOVER_ARCH gives.")
endif()
