# The pixel converters against their references. Besides the build's own
# block routines, the test binary carries the same source compiled again at
# every SIMD level the target processor has (cmake/simd-levels.cmake: plain
# C++ everywhere, MMX to AVX2 on x86, NEON on 64-bit ARM), each with its
# entry points renamed to <level>_mmx_...; the test runs those that the
# processor it runs on supports.
set(convert_routines mmx_memcpy mmx_convert_32_to_32_bgr888 mmx_convert_32_to_24_rgb888
    mmx_convert_32_to_24_bgr888 mmx_convert_32_to_16_rgb565 mmx_convert_32_to_16_bgr565
    mmx_convert_32_to_16_rgb555 mmx_convert_32_to_16_bgr555)
set(convert_level_objects)
set(convert_level_definitions)
foreach(level IN LISTS FLYOVER_SIMD_LEVELS)
  add_library(convert_level_${level} OBJECT ${PROJECT_SOURCE_DIR}/src/mmx.cpp)
  target_include_directories(convert_level_${level} PRIVATE ${PROJECT_SOURCE_DIR}/src)
  target_compile_definitions(convert_level_${level} PRIVATE FLYOVER_SIMD=${FLYOVER_SIMD_NUMBER_${level}})
  foreach(routine IN LISTS convert_routines)
    target_compile_definitions(convert_level_${level} PRIVATE ${routine}=${level}_${routine})
  endforeach()
  target_compile_options(convert_level_${level} PRIVATE ${FLYOVER_SIMD_FLAGS_${level}})
  list(APPEND convert_level_objects $<TARGET_OBJECTS:convert_level_${level}>)
  string(TOUPPER ${level} upper)
  list(APPEND convert_level_definitions FLYOVER_TEST_LEVEL_${upper})
endforeach()

add_executable(test_convert ${CMAKE_CURRENT_SOURCE_DIR}/test_convert.cpp ${convert_level_objects})
target_compile_definitions(test_convert PRIVATE ${convert_level_definitions})
target_link_libraries(test_convert PRIVATE flyover_convert GTest::gtest_main)
gtest_discover_tests(test_convert PROPERTIES LABELS unit)
