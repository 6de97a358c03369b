# A 64-bit Windows console program (package g++-mingw-w64-x86-64).
set(MINGW_TRIPLET x86_64-w64-mingw32)
set(MINGW_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
