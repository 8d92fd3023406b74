# cmake --install: the shared libraries, the headers a host program needs, the
# tabcube command with its bundled requests and data, a CMake package
# (find_package(tabcube) gives tabcube::tabcube) and a pkg-config file.
include(CMakePackageConfigHelpers)

# The engine's front end and everything its headers include, and the host
# interfaces. The engine's internal classes stay out.
set(TABCUBE_INSTALLED_HEADERS
    aggregator/AggregationCategory.h aggregator/AggregationCube.h aggregator/AggregationMCSet.h
    aggregator/AggregationMDSet.h aggregator/AggregationMRSet.h aggregator/AggregationResult.h
    aggregator/AggregationStatistic.h aggregator/AggregationTable.h
    aggregator/AggregationVariable.h aggregator/CellKey.h aggregator/CubeAggregator.h
    aggregator/CubeMetadata.h aggregator/StatValues.h aggregator/TabcubeExport.h
    aggregator/TableDimension.h aggregator/TableEncryptionCodes.h
    aggregator/distributions/NuvDistFun.h
    host/baseutil.h host/casesource.h host/keyindex.h host/textplat.h)
install(FILES ${TABCUBE_INSTALLED_HEADERS} DESTINATION ${TABCUBE_INSTALL_INCLUDEDIR})

install(TARGETS tabcube tabcube_host EXPORT tabcubeTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        INCLUDES DESTINATION ${TABCUBE_INSTALL_INCLUDEDIR})

if(TARGET tabcube_command)
  # The command finds the host library beside it wherever the prefix is moved.
  set_target_properties(tabcube_command PROPERTIES INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
  install(TARGETS tabcube_command RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  # `tabcube demo` reads the bundled requests from share/tabcube/examples.
  install(DIRECTORY examples/requests examples/data
          DESTINATION ${CMAKE_INSTALL_DATADIR}/tabcube/examples
          PATTERN "*.py" EXCLUDE)
endif()

set(TABCUBE_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/tabcube)
install(EXPORT tabcubeTargets NAMESPACE tabcube:: DESTINATION ${TABCUBE_CMAKE_DIR})
configure_package_config_file(cmake/tabcubeConfig.cmake.in
                              ${CMAKE_CURRENT_BINARY_DIR}/tabcubeConfig.cmake
                              INSTALL_DESTINATION ${TABCUBE_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/tabcubeConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/tabcubeConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/tabcubeConfigVersion.cmake
        DESTINATION ${TABCUBE_CMAKE_DIR})

file(RELATIVE_PATH TABCUBE_PC_TO_PREFIX ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
configure_file(cmake/tabcube.pc.in ${CMAKE_CURRENT_BINARY_DIR}/tabcube.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/tabcube.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
