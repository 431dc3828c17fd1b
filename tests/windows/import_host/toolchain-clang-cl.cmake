# MSVC's ABI without MSVC: clang-cl compiles, lld-link links. QUORVEL_HOST_ARCH is i686 or
# x86_64. No Windows SDK or C runtime is at hand, so the compiler check (which links a
# program against them) is skipped; the hosts built here need neither. Skipping it skips
# the pointer-size detection too, so the size is given here (find_package compares it).
set(CMAKE_SYSTEM_NAME Windows)
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QUORVEL_HOST_ARCH)
if(QUORVEL_HOST_ARCH STREQUAL "i686")
  set(CMAKE_SYSTEM_PROCESSOR X86)
  set(CMAKE_C_COMPILER_TARGET i686-pc-windows-msvc)
  set(CMAKE_SIZEOF_VOID_P 4)
else()
  set(CMAKE_SYSTEM_PROCESSOR AMD64)
  set(CMAKE_C_COMPILER_TARGET x86_64-pc-windows-msvc)
  set(CMAKE_SIZEOF_VOID_P 8)
endif()
find_program(CMAKE_C_COMPILER NAMES clang-cl clang-cl-14 REQUIRED)
find_program(CMAKE_LINKER NAMES lld-link REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES llvm-rc REQUIRED)
find_program(CMAKE_MT NAMES llvm-mt REQUIRED)
set(CMAKE_C_COMPILER_WORKS ON)
