# 32-bit ARM Linux with hardware floating point, as on small boards (32-bit long and size_t,
# unsigned char): package g++-arm-linux-gnueabihf, run under qemu-arm.
set(CROSS_TRIPLET arm-linux-gnueabihf)
set(CROSS_PROCESSOR armv7l)
set(CROSS_QEMU qemu-arm)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
