# Whole frames through the platform's capture driver (render, convert,
# flip, nothing written) next to rendering alone and converting alone.
flyover_frame_benchmark(bench_display ${CMAKE_CURRENT_LIST_DIR}/bench_display.cpp)
