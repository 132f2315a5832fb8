# 32-bit Windows, the build that ships.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(MINGW_TRIPLE i686-w64-mingw32)
# Doubles are computed in SSE2 registers so that every operation rounds to
# double precision (x87 would keep 80-bit intermediates). The stack is
# realigned on entry because Windows may call back with 4-byte alignment.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse -mstackrealign")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse -mstackrealign")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
