# 32-bit x86 Linux, built by the host's g++ with -m32. Packages lib32stdc++-12-dev, libc6-dev-i386
# and lib32gcc-12-dev: the parts of g++-multilib that may stand beside Debian's cross compilers
# (g++-multilib itself conflicts with them). The programs run on an x86-64 kernel that runs 32-bit
# programs: tests/platforms/x86-32bit.sh builds here and runs the tests in an emulated machine
# with one.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_COMPILER gcc) # GoogleTest's build checks C as well
set(CMAKE_CXX_FLAGS_INIT -m32)
set(CMAKE_C_FLAGS_INIT -m32)
# The tests are listed by running them when ctest runs, on the machine that runs them, not at
# build time: the build machine may run no 32-bit program.
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
# g++-multilib's one file: <asm/...> for -m32 are the x86-64 kernel headers, which serve both
# widths. Where that link is missing, the build tree gets its own.
if(NOT EXISTS /usr/include/asm)
  file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/include-m32)
  file(CREATE_LINK /usr/include/x86_64-linux-gnu/asm ${CMAKE_BINARY_DIR}/include-m32/asm SYMBOLIC)
  string(APPEND CMAKE_CXX_FLAGS_INIT " -idirafter ${CMAKE_BINARY_DIR}/include-m32")
  string(APPEND CMAKE_C_FLAGS_INIT " -idirafter ${CMAKE_BINARY_DIR}/include-m32")
endif()
