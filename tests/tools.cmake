# The map maker, driven in-process through its command line: the tool's
# sources with their entry point renamed so that the tests can call it.
add_mkmaps(mkmaps_testable OBJECT)
target_compile_definitions(mkmaps_testable PRIVATE main=mkmaps_main)

find_package(PNG REQUIRED)
find_package(JPEG REQUIRED)
# The pictures the checks draw, written by libpng and libjpeg: encoders
# other than the decoders mkmaps reads them with.
add_library(test_pictures STATIC ${CMAKE_CURRENT_LIST_DIR}/pictures.cpp)
target_link_libraries(test_pictures PUBLIC PNG::PNG JPEG::JPEG)
add_executable(drawpicture ${CMAKE_CURRENT_LIST_DIR}/drawpicture.cpp)
target_link_libraries(drawpicture PRIVATE test_pictures)

add_executable(test_mkmaps ${CMAKE_CURRENT_LIST_DIR}/test_mkmaps.cpp $<TARGET_OBJECTS:mkmaps_testable>)
target_link_libraries(test_mkmaps PRIVATE flyover_formats GTest::gtest_main test_pictures flyover_picture_libs)
gtest_discover_tests(test_mkmaps PROPERTIES LABELS unit DISCOVERY_TIMEOUT 60)
