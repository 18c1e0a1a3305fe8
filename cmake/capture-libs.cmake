include_guard(GLOBAL)
# The capture driver's encoders, as the target flyover_capture_libs: libpng
# for a still (also alone as flyover_libpng, for the icon's tool), libwebp
# for each frame of a flight. Normally the target's own Debian packages.
# With FLYOVER_CAPTURE_SOURCES they are built here, as static libraries,
# from the same folder of Debian's sources as the picture decoders
# (cmake/picture-libs.cmake, which also gives them zlib): a build made this
# way needs no library of its target at all, only the compiler. The armhf
# framehash asks for that, since Debian's multiarch installs a target's
# packages only at the very versions of the system's own.
option(FLYOVER_CAPTURE_SOURCES "Build libpng and libwebp from FLYOVER_PICTURE_SOURCES" OFF)

add_library(flyover_libpng INTERFACE)
add_library(flyover_capture_libs INTERFACE)
target_link_libraries(flyover_capture_libs INTERFACE flyover_libpng)

if(NOT FLYOVER_CAPTURE_SOURCES)
  find_package(PNG REQUIRED)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(WEBP REQUIRED IMPORTED_TARGET libwebp)
  target_link_libraries(flyover_libpng INTERFACE PNG::PNG)
  target_link_libraries(flyover_capture_libs INTERFACE PkgConfig::WEBP)
  return()
endif()
if(NOT FLYOVER_PICTURE_SOURCES)
  message(FATAL_ERROR "FLYOVER_CAPTURE_SOURCES needs FLYOVER_PICTURE_SOURCES, the folder of the sources")
endif()
include(${CMAKE_CURRENT_LIST_DIR}/picture-libs.cmake)
flyover_source_folder(png_dir "libpng1.6-*")
flyover_source_folder(webp_dir "libwebp-*")

# libpng's own build would generate its configuration header; the one it
# ships prebuilt is its default configuration. Its processor-specific
# filters are off: the plain ones write the same bytes.
set(png_sources png pngerror pngget pngmem pngpread pngread pngrio pngrtran pngrutil pngset pngtrans pngwio
  pngwrite pngwtran pngwutil)
list(TRANSFORM png_sources PREPEND ${png_dir}/)
list(TRANSFORM png_sources APPEND .c)
set(png_config ${CMAKE_BINARY_DIR}/libpng)
configure_file(${png_dir}/scripts/pnglibconf.h.prebuilt ${png_config}/pnglibconf.h COPYONLY)
add_library(flyover_png STATIC ${png_sources})
target_include_directories(flyover_png SYSTEM PUBLIC ${png_dir} ${png_config})
target_compile_definitions(flyover_png PRIVATE PNG_ARM_NEON_OPT=0)
target_compile_options(flyover_png PRIVATE -w)
target_link_libraries(flyover_png PUBLIC flyover_zlib)

# libwebp's encoder with what it calls of the rest. Its files for other
# processors' instruction sets compile to nothing where the compiler does
# not offer those.
file(GLOB webp_sources ${webp_dir}/src/dec/*.c ${webp_dir}/src/dsp/*.c ${webp_dir}/src/enc/*.c
  ${webp_dir}/src/utils/*.c ${webp_dir}/sharpyuv/*.c)
add_library(flyover_webp STATIC ${webp_sources})
target_include_directories(flyover_webp PRIVATE ${webp_dir})
target_include_directories(flyover_webp SYSTEM PUBLIC ${webp_dir}/src)
target_compile_options(flyover_webp PRIVATE -w)
target_link_libraries(flyover_webp PUBLIC m)

target_link_libraries(flyover_libpng INTERFACE flyover_png)
target_link_libraries(flyover_capture_libs INTERFACE flyover_webp)
