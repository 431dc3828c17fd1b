# Quorvel SDK for Windows: find_package(Quorvel) defines the imported target
# Quorvel::quorvel, bin/quorvel.dll with include/quorvel.h on the include path. MSVC,
# clang-cl and other MSVC-ABI toolchains link lib/quorvel.lib; MinGW links
# lib/libquorvel.dll.a. The paths are relative to this file, so the unpacked folder can
# live anywhere. QuorvelConfigVersion.cmake refuses a package of the other pointer size.
get_filename_component(_quorvel_prefix "${CMAKE_CURRENT_LIST_DIR}/../../.." ABSOLUTE)

if(NOT TARGET Quorvel::quorvel)
  add_library(Quorvel::quorvel SHARED IMPORTED)
  if(MINGW)
    set(_quorvel_implib "${_quorvel_prefix}/lib/libquorvel.dll.a")
  else()
    set(_quorvel_implib "${_quorvel_prefix}/lib/quorvel.lib")
  endif()
  set_target_properties(Quorvel::quorvel PROPERTIES
    IMPORTED_LOCATION "${_quorvel_prefix}/bin/quorvel.dll"
    IMPORTED_IMPLIB "${_quorvel_implib}"
    INTERFACE_INCLUDE_DIRECTORIES "${_quorvel_prefix}/include")
  unset(_quorvel_implib)
endif()
unset(_quorvel_prefix)
