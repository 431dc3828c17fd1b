# Cross-build for Windows with clang in its mingw mode and lld, against mingw-w64's
# headers and the C++ runtime of mingw-w64's posix thread-model GCC (the win32 model has no
# std::recursive_mutex, which libstdc++ needs elsewhere). clang, because it writes CodeView
# debug information, which lld gathers into the PDB that MSVC's debugger, WinDbg and
# crash-dump tools read; GCC writes DWARF only. Included by the toolchain file of each
# architecture, which sets QUORVEL_WIN_TRIPLE (and QUORVEL_WIN_ARCH_FLAGS) first.
# QUORVEL_WIN_PREFIXES: semicolon-separated install prefixes (FFmpeg, dav1d, GoogleTest)
# that hold the Windows libraries.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET ${QUORVEL_WIN_TRIPLE})
set(CMAKE_CXX_COMPILER_TARGET ${QUORVEL_WIN_TRIPLE})
set(CMAKE_SYSROOT /usr/${QUORVEL_WIN_TRIPLE})
set(CMAKE_RC_COMPILER ${QUORVEL_WIN_TRIPLE}-windres)

# clang 14 does not recognise Debian's GCC folder names (12-posix), so the libstdc++
# headers and the GCC runtime libraries are named here, from the posix compiler itself.
execute_process(COMMAND ${QUORVEL_WIN_TRIPLE}-gcc-posix -print-libgcc-file-name
  OUTPUT_VARIABLE _quorvel_libgcc OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
get_filename_component(QUORVEL_WIN_GCC_DIR ${_quorvel_libgcc} DIRECTORY)
set(_quorvel_cxx_include ${QUORVEL_WIN_GCC_DIR}/include/c++)
# -g writes CodeView, which lld gathers into a PDB, not DWARF.
set(CMAKE_C_FLAGS_INIT "-gcodeview ${QUORVEL_WIN_ARCH_FLAGS}")
set(CMAKE_CXX_FLAGS_INIT "-gcodeview ${QUORVEL_WIN_ARCH_FLAGS} -nostdinc++ \
-isystem ${_quorvel_cxx_include} -isystem ${_quorvel_cxx_include}/${QUORVEL_WIN_TRIPLE} \
-isystem ${_quorvel_cxx_include}/backward")

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
# The compile flags above reach the link line too, where clang would warn of them.
set(_quorvel_link "-fuse-ld=lld -static -pthread -L${QUORVEL_WIN_GCC_DIR} \
-Wno-unused-command-line-argument")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${_quorvel_link}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${_quorvel_link}")

# find_library (and so pkg-config's imported targets) must pick static archives, not the
# import libraries beside them: the platform files set the suffixes after this file, so
# the override runs once project() has loaded them.
set(CMAKE_PROJECT_INCLUDE ${CMAKE_CURRENT_LIST_DIR}/windows-static-libraries.cmake)
