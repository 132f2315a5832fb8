# 32-bit Windows with the posix thread model, whose C++ library has the
# std::mutex that GoogleTest needs: the core tests as 32-bit code. The
# program that ships is built by mingw-i686.cmake.
set(MINGW_TRIPLE i686-w64-mingw32)
set(MINGW_THREADS posix)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
