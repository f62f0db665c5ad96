# Cross build of the 64-bit package (PE32+ x86-64) with mingw-w64 on Linux.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(_prefix x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
