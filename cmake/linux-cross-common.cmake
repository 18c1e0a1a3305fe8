# Shared part of the Linux cross toolchain files. FLYOVER_LINUX_TRIPLE names
# the target (aarch64-linux-gnu, arm-linux-gnueabihf) and FLYOVER_QEMU the
# qemu-user program that runs its code here.
#
# Debian's cross compiler already searches the target's multiarch folders
# (/usr/include/<triple>, /usr/lib/<triple>), where the target's own -dev
# packages go: dpkg --add-architecture, then apt-get install NAME:ARCH
# (scripts/deps.sh arm).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER ${FLYOVER_LINUX_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${FLYOVER_LINUX_TRIPLE}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${FLYOVER_LINUX_TRIPLE})

# pkg-config sees the target's .pc files only; otherwise it reports the
# host's libraries, which then fail to link.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/${FLYOVER_LINUX_TRIPLE}/pkgconfig:/usr/share/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")

# The target's pulseaudio libraries, which SDL2's need, live in a folder of
# their own that the linker does not search for indirect dependencies.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-Wl,-rpath-link,/usr/lib/${FLYOVER_LINUX_TRIPLE}/pulseaudio")

# What CTest runs, and the test discovery after each test program is linked,
# goes through qemu-user with the cross compiler's own C and C++ runtime.
# LeakSanitizer cannot stop the world under qemu-user and aborts, so a
# sanitizer build checks addresses and undefined behaviour there, not leaks.
# The option goes into qemu's own environment: the sanitizer runtime reads
# its options from /proc/self/environ, which under qemu-user is qemu's, so
# qemu's -E (which sets the guest's environment only) would not reach it.
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/bin/env ASAN_OPTIONS=detect_leaks=0 ${FLYOVER_QEMU} -L /usr/${FLYOVER_LINUX_TRIPLE})
