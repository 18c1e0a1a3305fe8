# Frames from the default maps, next to one clear of the canvas.
flyover_frame_benchmark(bench_renderer ${CMAKE_CURRENT_LIST_DIR}/bench_renderer.cpp)
