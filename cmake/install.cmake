# Installation: what `cmake --install` puts under the prefix.
#
#   include/wfxml/   the public header wfxml.h, which needs nothing but the
#                    standard library (no Xerces-C or ICU headers)
#   lib/             libwfxml and libpwfhost (versioned), the plug-in libpwfxml,
#                    the CMake package (lib/cmake/wfxml) and wfxml.pc
#   bin/             wfhost
#
# Everything finds its neighbours through run paths relative to itself
# ($ORIGIN), so an installed tree still works after it is copied elsewhere.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(WF_INSTALL_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR}/wfxml)
set(WF_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/wfxml)
file(RELATIVE_PATH WF_BIN_TO_LIB /${CMAKE_INSTALL_BINDIR} /${CMAKE_INSTALL_LIBDIR})

set_target_properties(pwfhost PROPERTIES VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR}
                                         INSTALL_RPATH "$ORIGIN")
# The host framework is installed as wfxml's run-time neighbour only: its
# headers are not public, so neither are Xerces-C and ICU.
install(TARGETS pwfhost LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} NAMELINK_SKIP)
if(TARGET wfxml)
  set_target_properties(wfxml PROPERTIES VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR}
                                         INSTALL_RPATH "$ORIGIN")
  target_include_directories(wfxml INTERFACE $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
  install(TARGETS wfxml EXPORT wfxmlTargets
          LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} NAMELINK_COMPONENT Development)
endif()
# The plug-in is opened by name at run time, never linked against: no
# version in its file name, no export.
if(TARGET pwfxml)
  set_target_properties(pwfxml PROPERTIES INSTALL_RPATH "$ORIGIN")
  install(TARGETS pwfxml LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
endif()
if(TARGET wfhost)
  set_target_properties(wfhost PROPERTIES INSTALL_RPATH "$ORIGIN/${WF_BIN_TO_LIB}")
  install(TARGETS wfhost RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

# Only the public header: wfxml/host.h (the framework's objects, for wfhost
# and the benchmarks) and the framework's and plug-in's headers stay private.
install(FILES ${PROJECT_SOURCE_DIR}/api/include/wfxml/wfxml.h DESTINATION ${WF_INSTALL_INCLUDEDIR})

install(EXPORT wfxmlTargets NAMESPACE wfxml:: DESTINATION ${WF_INSTALL_CMAKEDIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/wfxmlConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/wfxmlConfig.cmake INSTALL_DESTINATION ${WF_INSTALL_CMAKEDIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/wfxmlConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/wfxmlConfig.cmake ${PROJECT_BINARY_DIR}/wfxmlConfigVersion.cmake
        DESTINATION ${WF_INSTALL_CMAKEDIR})

# pkg-config: the prefix is found from the .pc file's own place, so the
# installed tree may move.
file(RELATIVE_PATH WF_PC_TO_PREFIX /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
configure_file(${PROJECT_SOURCE_DIR}/cmake/wfxml.pc.in ${PROJECT_BINARY_DIR}/wfxml.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/wfxml.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
