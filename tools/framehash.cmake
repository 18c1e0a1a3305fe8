# framehash: hashes of the renderer's frames, for comparing builds (Linux,
# 32- and 64-bit Windows) by their output. A console program everywhere.
add_executable(framehash ${CMAKE_CURRENT_LIST_DIR}/framehash.cpp)
target_link_libraries(framehash PRIVATE flyover_runtime)
