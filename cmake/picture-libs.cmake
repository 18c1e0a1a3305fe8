include_guard(GLOBAL)
# The picture decoders mkmaps links, as the target flyover_picture_libs:
# libspng with zlib, and libjpeg-turbo. On Linux they are the system's own,
# Debian's packages (also the target's, in a cross build). Where Debian has
# none for the target (Windows, the page) or they must carry the fuzzers'
# instrumentation, FLYOVER_PICTURE_SOURCES names a folder with Debian's
# source packages of the same versions unpacked (scripts/picture_sources.sh),
# and they are built here, as static libraries, for this build's target.
set(FLYOVER_PICTURE_SOURCES "" CACHE PATH "Debian's sources of zlib, libspng and libjpeg-turbo, to build them here")

add_library(flyover_picture_libs INTERFACE)

if(NOT FLYOVER_PICTURE_SOURCES)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(SPNG REQUIRED IMPORTED_TARGET spng)
  find_package(JPEG REQUIRED)
  target_link_libraries(flyover_picture_libs INTERFACE PkgConfig::SPNG JPEG::JPEG)
  return()
endif()

function(flyover_source_folder variable pattern)
  file(GLOB found LIST_DIRECTORIES true "${FLYOVER_PICTURE_SOURCES}/${pattern}")
  list(LENGTH found count)
  if(NOT count EQUAL 1)
    message(FATAL_ERROR "FLYOVER_PICTURE_SOURCES: need one ${pattern} folder in ${FLYOVER_PICTURE_SOURCES}, found ${count}")
  endif()
  set(${variable} ${found} PARENT_SCOPE)
endfunction()
flyover_source_folder(zlib_dir "zlib-*")
flyover_source_folder(spng_dir "libspng-*")
flyover_source_folder(jpeg_dir "libjpeg-turbo-*")

# zlib without its gzip file functions, which libspng does not call. Its
# own sources' warnings are not this project's to mend.
set(zlib_sources adler32 compress crc32 deflate infback inffast inflate inftrees trees uncompr zutil)
list(TRANSFORM zlib_sources PREPEND ${zlib_dir}/)
list(TRANSFORM zlib_sources APPEND .c)
add_library(flyover_zlib STATIC ${zlib_sources})
target_include_directories(flyover_zlib SYSTEM PUBLIC ${zlib_dir})
target_compile_options(flyover_zlib PRIVATE -w)

add_library(flyover_spng STATIC ${spng_dir}/spng/spng.c)
target_include_directories(flyover_spng SYSTEM PUBLIC ${spng_dir}/spng)
target_compile_definitions(flyover_spng PUBLIC SPNG_STATIC)
target_compile_options(flyover_spng PRIVATE -w)
# Its x86 filters are SSE2 code, beyond the 32-bit Windows baseline; the
# plain ones give the same rows.
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^i.86$")
  target_compile_definitions(flyover_spng PRIVATE SPNG_DISABLE_OPT=1)
endif()
target_link_libraries(flyover_spng PUBLIC flyover_zlib)

# libjpeg-turbo by its own build, with the same compiler and flags, without
# its assembler SIMD paths: the integer decoding they speed up gives the
# same pixels either way.
include(ExternalProject)
cmake_host_system_information(RESULT jpeg_jobs QUERY NUMBER_OF_LOGICAL_CORES)
set(jpeg_build ${CMAKE_BINARY_DIR}/libjpeg-turbo)
set(jpeg_library ${jpeg_build}/${CMAKE_STATIC_LIBRARY_PREFIX}jpeg${CMAKE_STATIC_LIBRARY_SUFFIX})
set(jpeg_arguments
  -DCMAKE_BUILD_TYPE=Release -DENABLE_SHARED=0 -DWITH_SIMD=0 -DWITH_TURBOJPEG=0 -DWITH_JAVA=0
  -DCMAKE_INSTALL_PREFIX=${jpeg_build}/unused
  "-DCMAKE_C_FLAGS=${CMAKE_C_FLAGS} -w")
if(CMAKE_TOOLCHAIN_FILE)
  list(APPEND jpeg_arguments -DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE})
else()
  list(APPEND jpeg_arguments -DCMAKE_C_COMPILER=${CMAKE_C_COMPILER})
endif()
if(EMSCRIPTEN)
  # CMake's type-size checks misreport size_t under this Emscripten.
  list(APPEND jpeg_arguments -DSIZE_T=4 -DHAVE_SIZE_T=TRUE -DUNSIGNED_LONG=4 -DHAVE_UNSIGNED_LONG=TRUE)
endif()
ExternalProject_Add(flyover_jpeg_build
  SOURCE_DIR ${jpeg_dir}
  BINARY_DIR ${jpeg_build}
  CMAKE_ARGS ${jpeg_arguments}
  # A make of its own, with jobs of its own: it is not the outer make's
  # child, so it cannot share that make's job slots.
  BUILD_COMMAND ${CMAKE_COMMAND} -E env --unset=MAKEFLAGS --unset=MFLAGS
                ${CMAKE_COMMAND} --build ${jpeg_build} --target jpeg-static --parallel ${jpeg_jobs}
  INSTALL_COMMAND ""
  BUILD_BYPRODUCTS ${jpeg_library})
file(MAKE_DIRECTORY ${jpeg_build})
add_library(flyover_jpeg STATIC IMPORTED)
set_target_properties(flyover_jpeg PROPERTIES IMPORTED_LOCATION ${jpeg_library}
  INTERFACE_INCLUDE_DIRECTORIES "${jpeg_dir};${jpeg_build}")
add_dependencies(flyover_jpeg flyover_jpeg_build)

target_link_libraries(flyover_picture_libs INTERFACE flyover_spng flyover_jpeg)
