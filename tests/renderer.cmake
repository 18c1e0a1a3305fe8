# The renderer's arithmetic, primitives, map loading, frames and frame loop.
find_library(MPFR_LIBRARY mpfr REQUIRED)
find_library(GMP_LIBRARY gmp REQUIRED)
add_executable(test_renderer ${CMAKE_CURRENT_LIST_DIR}/test_renderer.cpp)
target_link_libraries(test_renderer PRIVATE flyover_renderer GTest::gtest_main ${MPFR_LIBRARY} ${GMP_LIBRARY})
gtest_discover_tests(test_renderer PROPERTIES LABELS unit DISCOVERY_TIMEOUT 60)
