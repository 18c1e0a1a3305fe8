# Build for WebAssembly with Debian's Emscripten: the program as a web page
# and the console tools for node, from the same sources.
#
#   cmake -S . -B build/wasm -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-emscripten.cmake
#
# Emscripten's own toolchain does the work; this adds what Debian's package
# needs around it.
set(FLYOVER_EMSCRIPTEN_ROOT /usr/share/emscripten CACHE PATH "Where Emscripten is installed")

# The linker runs Emscripten's JavaScript optimizer under node, which needs
# Debian's node modules (acorn and others); a node not installed from
# Debian does not look there.
set(FLYOVER_NODE_MODULES /usr/share/nodejs CACHE PATH "Debian's node modules, for emcc")
set(ENV{NODE_PATH} ${FLYOVER_NODE_MODULES})
set(CMAKE_C_LINKER_LAUNCHER env NODE_PATH=${FLYOVER_NODE_MODULES})
set(CMAKE_CXX_LINKER_LAUNCHER env NODE_PATH=${FLYOVER_NODE_MODULES})

# Programs of this build run under node. emcmake would add a flag for
# threads that node 20 no longer accepts; nothing here uses threads.
find_program(FLYOVER_NODE NAMES node nodejs)
if(FLYOVER_NODE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${FLYOVER_NODE} CACHE FILEPATH "Runs the programs of this build")
endif()

include(${FLYOVER_EMSCRIPTEN_ROOT}/cmake/Modules/Platform/Emscripten.cmake)

# SIMD: "ssse3" (default) compiles the generic vector code of the renderer
# and the converters to wasm SIMD and also gives the converters their
# SSSE3 block routines, whose intrinsics Emscripten's x86 headers carry out
# in wasm SIMD (about twice as fast as the plain loops for 24 and 16-bit
# screens); "simd128" only the generic vectors and vectorised loops; "none"
# scalar code. Browsers of the last years and node 16 on run wasm SIMD.
set(FLYOVER_WASM_SIMD ssse3 CACHE STRING "wasm SIMD level: ssse3, simd128 or none")
set_property(CACHE FLYOVER_WASM_SIMD PROPERTY STRINGS ssse3 simd128 none)
if(FLYOVER_WASM_SIMD STREQUAL "ssse3")
  set(CMAKE_C_FLAGS_INIT "-msimd128 -mssse3")
  set(CMAKE_CXX_FLAGS_INIT "-msimd128 -mssse3")
elseif(FLYOVER_WASM_SIMD STREQUAL "simd128")
  set(CMAKE_C_FLAGS_INIT "-msimd128")
  set(CMAKE_CXX_FLAGS_INIT "-msimd128")
elseif(NOT FLYOVER_WASM_SIMD STREQUAL "none")
  message(FATAL_ERROR "FLYOVER_WASM_SIMD=${FLYOVER_WASM_SIMD}: use ssse3, simd128 or none")
endif()
# Bulk memory makes every memset and memcpy one instruction that the engine
# carries out natively (the sky's clear, the 32-bit screens' rows), where
# without it they are loops in wasm, more than twice as slow. The browsers
# that run wasm SIMD all have it.
string(APPEND CMAKE_C_FLAGS_INIT " -mbulk-memory")
string(APPEND CMAKE_CXX_FLAGS_INIT " -mbulk-memory")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-mbulk-memory")
