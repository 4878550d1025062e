# Cross toolchain: 32-bit Windows binaries from mingw-w64's win32-thread
# compilers: their runtime imports nothing Windows 2000 lacks (the posix
# model's thread library imports GetTickCount64 and vectored handlers).
set(CMAKE_SYSTEM_PROCESSOR x86)
set(TOOLCHAIN_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw_toolchain.cmake)
