# The device's build: 32-bit ARM with hard float (Debian's armhf), by Debian's
# cross compiler against the armhf variants of the libraries (Debian multiarch),
# both installed by tools/setup-armhf.sh.  Programs run at build and test time
# (GoogleTest's test discovery, CTest) go through qemu's user-mode emulator.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR armv7l)
set(CMAKE_LIBRARY_ARCHITECTURE arm-linux-gnueabihf)

set(CMAKE_C_COMPILER arm-linux-gnueabihf-gcc)
set(CMAKE_CXX_COMPILER arm-linux-gnueabihf-g++)

# Multiarch puts the armhf loader and libraries at their own paths
# (/lib/ld-linux-armhf.so.3, /usr/lib/arm-linux-gnueabihf), where the emulator
# finds them without a prefix.  A prefix of the cross compiler's own C library
# (-L /usr/arm-linux-gnueabihf) would pair its loader with the multiarch C
# library, which need not be the same release.
find_program(VX_QEMU_ARM qemu-arm-static REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${VX_QEMU_ARM})

# The host's pkg-config, reading only the armhf .pc files and the
# architecture-independent ones.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/${CMAKE_LIBRARY_ARCHITECTURE}/pkgconfig:/usr/share/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")
