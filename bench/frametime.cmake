# frametime: rendering plus converting per frame without the benchmark
# library, built natively and for WebAssembly so that a script can print the
# two side by side.
add_executable(frametime ${CMAKE_CURRENT_LIST_DIR}/frametime.cpp)
target_link_libraries(frametime PRIVATE flyover_runtime)
