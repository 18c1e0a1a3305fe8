# The display module linked with the scriptable platform instead of the
# stand-in: every platform call it makes is recorded and scripted. The fake
# shares the stand-in's base of refused DirectDraw methods.
add_executable(test_display ${CMAKE_CURRENT_LIST_DIR}/test_display.cpp ${CMAKE_CURRENT_LIST_DIR}/fake_platform.cpp)
target_include_directories(test_display PRIVATE ${CMAKE_CURRENT_LIST_DIR} ${PROJECT_SOURCE_DIR}/platform)
target_link_libraries(test_display PRIVATE flyover_display GTest::gtest_main)
gtest_discover_tests(test_display PROPERTIES LABELS unit DISCOVERY_TIMEOUT 60)
