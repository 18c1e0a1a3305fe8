# The pixel converters against their references, at every SIMD level that
# the build carries and the processor running the test can run.
add_executable(test_convert ${CMAKE_CURRENT_SOURCE_DIR}/test_convert.cpp)
target_link_libraries(test_convert PRIVATE flyover_convert GTest::gtest_main)
gtest_discover_tests(test_convert PROPERTIES LABELS unit)

# A cap that names no level stops the program at start: one line on
# standard error, exit code 1, before the maps or the display are touched.
add_test(NAME convert_refuses_unknown_simd_cap COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/simd_cap.sh ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:flyover>)
set_tests_properties(convert_refuses_unknown_simd_cap PROPERTIES LABELS unit TIMEOUT 30)
