# What `cmake --install` puts under the prefix: the command, the static library with its headers,
# CMake package and pkg-config file, the man page, the bash completion and the documentation.
include(CMakePackageConfigHelpers)

install(TARGETS pelmo RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS pelmo_core EXPORT pelmoTargets ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        FILE_SET HEADERS)

set(PELMO_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/pelmo)
install(EXPORT pelmoTargets NAMESPACE pelmo:: DESTINATION ${PELMO_CMAKE_DIR})
configure_package_config_file(cmake/pelmoConfig.cmake.in ${PROJECT_BINARY_DIR}/pelmoConfig.cmake
                              INSTALL_DESTINATION ${PELMO_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/pelmoConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/pelmoConfig.cmake ${PROJECT_BINARY_DIR}/pelmoConfigVersion.cmake
              cmake/pelmoDependencies.cmake DESTINATION ${PELMO_CMAKE_DIR})

# The .pc file finds the prefix from where it lies, so an installed tree can be moved (or unpacked
# from the .deb into any root) and still be used.
file(RELATIVE_PATH PELMO_PC_PREFIX "/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/")
string(REGEX REPLACE "/$" "" PELMO_PC_PREFIX "${PELMO_PC_PREFIX}")
configure_file(cmake/pelmo.pc.in pelmo.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/pelmo.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

install(FILES ${PROJECT_BINARY_DIR}/pelmo.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES src/cli/completion.bash RENAME pelmo
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
# The reference keeps its place beside README, so that README's link to it holds once installed.
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES docs/methods.md docs/operating.md docs/probes.md DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs)
# The worked probe file for the portal's scrapers, to copy and adapt.
install(FILES docs/portal.probe DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)
