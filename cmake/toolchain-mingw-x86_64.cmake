# 64-bit Windows: the same sources, run under 64-bit Wine on machines without 32-bit code.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(QUORVEL_WIN_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake)
