# Cross build for Windows with mingw-w64 on Linux; test programs run under Wine. Included by the
# toolchain file of each package, which sets CMAKE_SYSTEM_PROCESSOR and the compilers' _prefix.
set(CMAKE_SYSTEM_NAME Windows)

string(REPLACE "_" "-" _package ${CMAKE_SYSTEM_PROCESSOR})
find_program(CMAKE_C_COMPILER ${_prefix}-gcc-posix)
find_program(CMAKE_CXX_COMPILER ${_prefix}-g++-posix)
find_program(CMAKE_RC_COMPILER ${_prefix}-windres)
if(NOT CMAKE_C_COMPILER OR NOT CMAKE_CXX_COMPILER OR NOT CMAKE_RC_COMPILER)
    message(FATAL_ERROR "The mingw-w64 cross compiler is missing: install the package g++-mingw-w64-${_package}")
endif()

set(CMAKE_FIND_ROOT_PATH /usr/${_prefix})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Every test program starts through the wrapper, inside the build tree's own Wine prefix.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)
