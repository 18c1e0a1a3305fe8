# Cross build for 64-bit ARM Linux with Debian's g++-aarch64-linux-gnu,
# against Debian's arm64 packages, its programs run under qemu-aarch64.
#
# The compiler's default target, armv8-a, has NEON, which the row converters
# pick up when compiling; another -march may be given through FLYOVER_ARCH
# (not native: that names the machine that builds).
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(FLYOVER_LINUX_TRIPLE aarch64-linux-gnu)
set(FLYOVER_QEMU qemu-aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross-common.cmake)
