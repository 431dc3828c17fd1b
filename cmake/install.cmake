# Installs what a host needs: the library, its one header, a pkg-config file (quorvel.pc)
# and a CMake package (find_package(Quorvel) gives Quorvel::quorvel). Both descriptions
# locate the prefix relative to themselves, so an installed tree can be moved.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(QUORVEL_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Quorvel)

install(TARGETS quorvel EXPORT QuorvelTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/quorvel.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT QuorvelTargets NAMESPACE Quorvel:: DESTINATION ${QUORVEL_CMAKE_DIR})

configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/QuorvelConfig.cmake.in
  ${PROJECT_BINARY_DIR}/QuorvelConfig.cmake INSTALL_DESTINATION ${QUORVEL_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/QuorvelConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/QuorvelConfig.cmake ${PROJECT_BINARY_DIR}/QuorvelConfigVersion.cmake
  DESTINATION ${QUORVEL_CMAKE_DIR})

# The path from the .pc file up to the prefix. Measured on the configured prefix: a
# relative libdir gives the same path under whatever prefix `cmake --install` is given.
file(RELATIVE_PATH QUORVEL_PC_TO_PREFIX ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig
  ${CMAKE_INSTALL_PREFIX})
configure_file(${CMAKE_CURRENT_LIST_DIR}/quorvel.pc.in ${PROJECT_BINARY_DIR}/quorvel.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/quorvel.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
