# quorvel.dll: named as hosts load it, exporting only the two __declspec(dllexport) entry
# points (ld exports nothing else once one symbol is marked), with a version resource.
# The DLL is shipped stripped; quorvel.dll.debug beside it keeps the DWARF debug
# information for gdb and lldb (found through the DLL's .gnu_debuglink).
enable_language(RC)
set(QUORVEL_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging/windows)
configure_file(${QUORVEL_PACKAGING_DIR}/quorvel.rc.in ${PROJECT_BINARY_DIR}/quorvel.rc @ONLY)
target_sources(quorvel PRIVATE ${PROJECT_BINARY_DIR}/quorvel.rc)
set_target_properties(quorvel PROPERTIES PREFIX "" IMPORT_PREFIX "lib")
target_compile_options(quorvel_objects PRIVATE -g)
target_link_options(quorvel PRIVATE -Wl,--no-undefined -Wl,--exclude-libs,ALL)
set(_quorvel_objcopy ${QUORVEL_WIN_TRIPLE}-objcopy)
add_custom_command(TARGET quorvel POST_BUILD
  COMMAND ${_quorvel_objcopy} --only-keep-debug $<TARGET_FILE:quorvel>
    $<TARGET_FILE:quorvel>.debug
  COMMAND ${_quorvel_objcopy} --strip-all
    --add-gnu-debuglink=$<TARGET_FILE:quorvel>.debug $<TARGET_FILE:quorvel>
  WORKING_DIRECTORY $<TARGET_FILE_DIR:quorvel>
  VERBATIM)

# The CMake package of the Windows SDK zip (scripts/windows/package.sh): the version file
# records this build's pointer size, so a 32-bit project does not take the 64-bit package.
include(CMakePackageConfigHelpers)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/sdk/QuorvelConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMinorVersion)
