# 64-bit Windows: the same sources, run under Wine at native speed where the
# machine can only emulate 32-bit code (pacing benchmarks, quick test turns).
set(MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
