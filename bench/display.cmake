# Whole frames through the platform's capture driver (render, convert,
# flip, nothing written) next to rendering alone and converting alone.
add_executable(bench_display ${CMAKE_CURRENT_LIST_DIR}/bench_display.cpp)
target_link_libraries(bench_display PRIVATE flyover_runtime benchmark::benchmark)
if(TARGET mkmaps)
  target_compile_definitions(bench_display PRIVATE MKMAPS_PATH="$<TARGET_FILE:mkmaps>")
  add_dependencies(bench_display mkmaps)
endif()
