# Shared by the Linux cross toolchain files, which set CROSS_TRIPLET, CROSS_PROCESSOR and
# CROSS_QEMU first: builds for another Linux with Debian's cross compiler (package g++-TRIPLET)
# and runs the target's programs, the tests among them, under qemu-user (package qemu-user,
# with no binfmt registration needed: ctest and the command-line test call the emulator).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR ${CROSS_PROCESSOR})
set(CMAKE_CXX_COMPILER ${CROSS_TRIPLET}-g++)
set(CMAKE_C_COMPILER ${CROSS_TRIPLET}-gcc) # GoogleTest's build checks C as well
set(CMAKE_FIND_ROOT_PATH /usr/${CROSS_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# -L: the target's dynamic loader and libraries, as the cross compiler's packages install them.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CROSS_QEMU} -L /usr/${CROSS_TRIPLET})
