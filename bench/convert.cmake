# Whole-frame conversion times as ratios to a memcpy of the frame, with the
# byte-exact equivalents of libyuv and pixman beside ours when their
# development packages are installed.
add_executable(bench_convert ${CMAKE_CURRENT_SOURCE_DIR}/bench_convert.cpp)
target_link_libraries(bench_convert PRIVATE flyover_convert benchmark::benchmark)

find_path(FLYOVER_LIBYUV_INCLUDE_DIR libyuv.h)
find_library(FLYOVER_LIBYUV_LIBRARY yuv)
if(FLYOVER_LIBYUV_INCLUDE_DIR AND FLYOVER_LIBYUV_LIBRARY)
  target_include_directories(bench_convert PRIVATE ${FLYOVER_LIBYUV_INCLUDE_DIR})
  target_link_libraries(bench_convert PRIVATE ${FLYOVER_LIBYUV_LIBRARY})
  target_compile_definitions(bench_convert PRIVATE FLYOVER_HAVE_LIBYUV)
endif()

find_package(PkgConfig QUIET)
if(PKG_CONFIG_FOUND)
  pkg_check_modules(FLYOVER_PIXMAN QUIET IMPORTED_TARGET pixman-1)
endif()
if(FLYOVER_PIXMAN_FOUND)
  target_link_libraries(bench_convert PRIVATE PkgConfig::FLYOVER_PIXMAN)
  target_compile_definitions(bench_convert PRIVATE FLYOVER_HAVE_PIXMAN)
endif()
