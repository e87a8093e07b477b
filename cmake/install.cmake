# `cmake --install`: the shared library, the public headers under
# include/kivo/ in the tree's folders, the BAG schema files, the CMake package
# (kivo::kivo) and kivo.pc.
include(CMakePackageConfigHelpers)

set(KIVO_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/kivo)

install(TARGETS kivo EXPORT kivoTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} NAMELINK_COMPONENT Development
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(EXPORT kivoTargets NAMESPACE kivo:: DESTINATION ${KIVO_CMAKE_DIR})

# The public headers are those with exported declarations, the attribute-name
# vocabulary (constants only), and every header of the tree they include,
# found when installing so that new files need no list.
install(CODE "
  set(KIVO_HEADER_ROOT \"${PROJECT_SOURCE_DIR}\")
  set(KIVO_HEADER_DIRS \"${KIVO_SOURCE_DIRS}\")
  set(KIVO_HEADER_EXTRA core/SurfaceAttributeNames.h core/NodeAttributeNames.h)
  set(KIVO_HEADER_DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_INCLUDEDIR}/kivo\")
  include(\"${PROJECT_SOURCE_DIR}/cmake/InstallPublicHeaders.cmake\")")

install(DIRECTORY ${PROJECT_SOURCE_DIR}/formats/bag/schema/ DESTINATION ${CMAKE_INSTALL_DATADIR}/kivo/bag)

configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/kivoConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/kivoConfig.cmake INSTALL_DESTINATION ${KIVO_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/kivoConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/kivoConfig.cmake ${PROJECT_BINARY_DIR}/kivoConfigVersion.cmake
        DESTINATION ${KIVO_CMAKE_DIR})

# kivo.pc finds its prefix from its own place, so it survives `--prefix`.
file(RELATIVE_PATH KIVO_PC_TO_PREFIX ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" KIVO_PC_TO_PREFIX "${KIVO_PC_TO_PREFIX}")
set(KIVO_PC_EXTRA_LIBS "")
if(KIVO_SANITIZE)
  list(JOIN KIVO_SANITIZE_FLAGS " " KIVO_PC_EXTRA_LIBS)
endif()
configure_file(${PROJECT_SOURCE_DIR}/cmake/kivo.pc.in ${PROJECT_BINARY_DIR}/kivo.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/kivo.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
