# The home platform: a 32-bit Windows console program (package g++-mingw-w64-i686).
set(MINGW_TRIPLET i686-w64-mingw32)
set(MINGW_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
