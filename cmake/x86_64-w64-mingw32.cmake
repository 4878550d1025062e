# Cross toolchain: 64-bit Windows binaries (the test build on machines that
# cannot run 32-bit code) from mingw-w64's win32-thread compilers, as the
# 32-bit build.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(TOOLCHAIN_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw_toolchain.cmake)
