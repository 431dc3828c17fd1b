# 32-bit Windows (the product's own platform), built for SSE2: every processor a supported
# Windows runs on has it, and the engine's vector paths and float code then use it.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(QUORVEL_WIN_TRIPLE i686-w64-mingw32)
set(QUORVEL_WIN_ARCH_FLAGS "-msse2 -mfpmath=sse")
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake)
