# Cross build for 32-bit ARM Linux (armhf) with Debian's
# g++-arm-linux-gnueabihf, its programs run under qemu-arm. The test command
# builds only framehash this way (with FLYOVER_SDL=OFF, BUILD_TESTING=OFF and
# its picture libraries from Debian's sources, so that it needs no package of
# the target), to compare its frames with the x86-64 build's.
set(CMAKE_SYSTEM_PROCESSOR armv7l)
set(FLYOVER_LINUX_TRIPLE arm-linux-gnueabihf)
set(FLYOVER_QEMU qemu-arm)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross-common.cmake)
