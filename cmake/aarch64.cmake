# Cross-compiling for 64-bit ARM with Debian's aarch64 toolchain and the arm64 multiarch
# libraries (dpkg --add-architecture arm64; apt-get install <package>:arm64).
#
# Test programs run under qemu-aarch64 with the arm64 multiarch C library (libc6:arm64, which the
# arm64 libraries bring along) and its loader /lib/ld-linux-aarch64.so.1.  The cross toolchain's
# own copy under /usr/aarch64-linux-gnu is for linking only: running with it (qemu -L) pairs its
# loader with the multiarch libc.so.6 of another release, and forked children hang.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64)
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/aarch64-linux-gnu/pkgconfig:/usr/share/pkgconfig)
