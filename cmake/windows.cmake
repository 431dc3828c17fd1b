# quorvel.dll: named as hosts load it, exporting only the two __declspec(dllexport) entry
# points (lld exports nothing else once one symbol is marked), with a version resource.
# Its debug information is quorvel.pdb beside it (CodeView, as MSVC's debugger, WinDbg and
# crash-dump tools read it); the DLL names it without the build folder, as MSVC's
# /PDBALTPATH:%_PDB% does, so a debugger looks for it beside the DLL. The DWARF that the
# GCC-built runtime archives bring is stripped, leaving the DLL as small as before.
enable_language(RC)
set(QUORVEL_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging/windows)
configure_file(${QUORVEL_PACKAGING_DIR}/quorvel.rc.in ${PROJECT_BINARY_DIR}/quorvel.rc @ONLY)
target_sources(quorvel PRIVATE ${PROJECT_BINARY_DIR}/quorvel.rc)
set_target_properties(quorvel PROPERTIES PREFIX "" IMPORT_PREFIX "lib")
target_compile_options(quorvel_objects PRIVATE -g)
target_link_options(quorvel PRIVATE -Wl,--no-undefined
  -Wl,--pdb=$<TARGET_FILE_DIR:quorvel>/quorvel.pdb -Wl,--Xlink=-pdbaltpath:%_PDB%)
add_custom_command(TARGET quorvel POST_BUILD
  COMMAND llvm-objcopy --strip-debug $<TARGET_FILE:quorvel>
  VERBATIM)

# The CMake package of the Windows SDK zip (scripts/windows/package.sh): the version file
# records this build's pointer size, so a 32-bit project does not take the 64-bit package.
include(CMakePackageConfigHelpers)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/sdk/QuorvelConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMinorVersion)
