# Cross-build for Windows with mingw-w64's posix thread-model compilers (the win32 model
# has no std::recursive_mutex, which libstdc++ needs elsewhere). Included by the
# toolchain file of each architecture, which sets QUORVEL_WIN_TRIPLE first.
# QUORVEL_WIN_PREFIXES: semicolon-separated install prefixes (FFmpeg, GoogleTest) that
# hold the Windows libraries.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${QUORVEL_WIN_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUORVEL_WIN_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QUORVEL_WIN_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QUORVEL_WIN_TRIPLE} ${QUORVEL_WIN_PREFIXES})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config must see only the Windows FFmpeg, never the machine's own. try_compile runs
# this file again in-process without the prefixes, so only a run that has them sets it.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QUORVEL_WIN_PREFIXES)
if(QUORVEL_WIN_PREFIXES)
  set(_quorvel_pc_dirs "")
  foreach(_prefix IN LISTS QUORVEL_WIN_PREFIXES)
    list(APPEND _quorvel_pc_dirs ${_prefix}/lib/pkgconfig)
  endforeach()
  string(REPLACE ";" ":" _quorvel_pc_path "${_quorvel_pc_dirs}")
  set(ENV{PKG_CONFIG_LIBDIR} "${_quorvel_pc_path}")
  set(ENV{PKG_CONFIG_PATH} "")
endif()

# Every program and the DLL carry their C and C++ runtimes inside: nothing but system
# DLLs to ship, and no silent load failure under Wine for a runtime DLL left behind.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")

# find_library (and so pkg-config's imported targets) must pick static archives, not the
# import libraries beside them: the platform files set the suffixes after this file, so
# the override runs once project() has loaded them.
set(CMAKE_PROJECT_INCLUDE ${CMAKE_CURRENT_LIST_DIR}/windows-static-libraries.cmake)
