# Cross-building for ARM64 (Debian's g++-aarch64-linux-gnu, ARM64 libraries installed through
# multiarch). Qt's code generators (moc, rcc, uic) are this machine's own, from qt6-base-dev-tools.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)

# Libraries and headers only from the ARM64 side; programs (the Qt tools) from this machine.
set(CMAKE_FIND_ROOT_PATH /usr/aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

# Qt finds its host tools through the host's own Qt installation.
set(QT_HOST_PATH /usr)
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake)
set(Qt6HostInfo_DIR /usr/lib/x86_64-linux-gnu/cmake/Qt6HostInfo)

# Tests built here run under qemu, with the ARM64 loader and libraries of the multiarch root (not
# the cross compiler's older glibc in /usr/aarch64-linux-gnu, which must not be mixed with them).
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64 -L /)
