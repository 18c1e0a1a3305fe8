# mkmaps: writes "texture.raw" and "map.raw" for the flyover, generated or
# made from pictures. add_mkmaps(TARGET EXECUTABLE|OBJECT) gives a target
# its sources and settings; the web page's and the tests' builds make their
# own from them.
find_path(FLYOVER_STB_INCLUDE_DIR stb_image_resize.h PATHS /usr/include PATH_SUFFIXES stb
  NO_CMAKE_FIND_ROOT_PATH REQUIRED)
include(${PROJECT_SOURCE_DIR}/cmake/picture-libs.cmake)

function(add_mkmaps target type)
  set(dir ${CMAKE_CURRENT_FUNCTION_LIST_DIR})
  set(sources ${dir}/mkmaps.cpp ${dir}/landscape.cpp ${dir}/picture.cpp)
  if(type STREQUAL "OBJECT")
    add_library(${target} OBJECT ${sources})
  else()
    add_executable(${target} ${sources})
  endif()
  target_link_libraries(${target} PRIVATE flyover_formats flyover_picture_libs)
  # Only stb's headers are in that folder, so the cross compilers may see it;
  # as a system folder its headers' own warnings stay out of the build.
  target_include_directories(${target} SYSTEM PRIVATE ${FLYOVER_STB_INCLUDE_DIR})
  # A picture's maps are float arithmetic in the resampler: no fused
  # multiply-adds, and on 32-bit x86 no x87 registers, so that every build
  # rounds alike and writes the same bytes. (The landscape is integer work.)
  # Emscripten calls its processor x86 too, but wasm has no x87 to avoid.
  target_compile_options(${target} PRIVATE -ffp-contract=off)
  if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(i.86|x86)$" AND NOT EMSCRIPTEN)
    target_compile_options(${target} PRIVATE -msse2 -mfpmath=sse)
  endif()
  if(EMSCRIPTEN)
    # Pictures of thousands of pixels a side need more than the first heap.
    target_link_options(${target} PRIVATE -sALLOW_MEMORY_GROWTH=1)
  endif()
endfunction()

add_mkmaps(mkmaps EXECUTABLE)
