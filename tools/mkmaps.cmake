# mkmaps: writes the default "texture.raw" and "map.raw" for the flyover.
add_executable(mkmaps ${CMAKE_CURRENT_LIST_DIR}/mkmaps.cpp)
