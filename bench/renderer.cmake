# Frames from the default maps, next to one clear of the canvas.
add_executable(bench_renderer ${CMAKE_CURRENT_LIST_DIR}/bench_renderer.cpp)
target_link_libraries(bench_renderer PRIVATE flyover_runtime benchmark::benchmark)
if(TARGET mkmaps)
  target_compile_definitions(bench_renderer PRIVATE MKMAPS_PATH="$<TARGET_FILE:mkmaps>")
  add_dependencies(bench_renderer mkmaps)
endif()
