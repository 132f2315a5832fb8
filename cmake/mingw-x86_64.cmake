# 64-bit Windows: the same sources, run under Wine at native speed where the
# machine can only emulate 32-bit code (pacing benchmarks, quick test turns).
# Nothing of it ships, so it keeps the posix thread model: GoogleTest's core
# tests build in the same tree as the program, the end-to-end and stress
# tests.
set(MINGW_TRIPLE x86_64-w64-mingw32)
set(MINGW_THREADS posix)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
