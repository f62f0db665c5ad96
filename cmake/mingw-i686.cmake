# Cross build of the 32-bit package (PE32, the product's default) with mingw-w64 on Linux.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(_prefix i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
