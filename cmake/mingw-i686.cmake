# 32-bit Windows, the build that ships, with the win32 thread model: the
# program starts no thread, and these compilers link no thread runtime, so
# it imports only what Windows XP SP3 has (the posix model's runtime imports
# GetTickCount64, Vista and later). Their C++ library has no std::mutex, so
# GoogleTest's core tests are built by mingw-i686-posix.cmake.
set(MINGW_TRIPLE i686-w64-mingw32)
set(MINGW_THREADS win32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
