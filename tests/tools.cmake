# The map generator, driven in-process through its command line: the tool's
# source with its entry point renamed so that the tests can call it.
add_library(mkmaps_testable OBJECT ${PROJECT_SOURCE_DIR}/tools/mkmaps.cpp)
target_compile_definitions(mkmaps_testable PRIVATE main=mkmaps_main)

add_executable(test_mkmaps ${CMAKE_CURRENT_LIST_DIR}/test_mkmaps.cpp $<TARGET_OBJECTS:mkmaps_testable>)
target_link_libraries(test_mkmaps PRIVATE GTest::gtest_main)
gtest_discover_tests(test_mkmaps PROPERTIES LABELS unit DISCOVERY_TIMEOUT 60)
