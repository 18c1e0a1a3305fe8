# The map maker, driven in-process through its command line: the tool's
# sources with their entry point renamed so that the tests can call it.
add_mkmaps(mkmaps_testable OBJECT)
target_compile_definitions(mkmaps_testable PRIVATE main=mkmaps_main)

find_package(PNG REQUIRED)
add_executable(test_mkmaps ${CMAKE_CURRENT_LIST_DIR}/test_mkmaps.cpp $<TARGET_OBJECTS:mkmaps_testable>)
target_include_directories(test_mkmaps PRIVATE ${PROJECT_SOURCE_DIR}/src)
target_include_directories(test_mkmaps SYSTEM PRIVATE ${FLYOVER_STB_INCLUDE_DIR})
target_link_libraries(test_mkmaps PRIVATE GTest::gtest_main PNG::PNG)
gtest_discover_tests(test_mkmaps PROPERTIES LABELS unit DISCOVERY_TIMEOUT 60)
