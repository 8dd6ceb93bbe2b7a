# What `cmake --install` puts in place, and the Debian package cpack makes of
# it:
#   lib/libavfile_vsk.so.1.0.0 (+ .so.1, .so)   bin/libavfile_vsk.dll + lib/*.dll.a
#   include/avfile/avfile.h
#   lib/cmake/avfile/   find_package(avfile) -> the target avfile::avfile_vsk
#   lib/pkgconfig/avfile.pc
#   bin/avfile          (where the program is built), which finds the library
#                       beside itself or in ../lib, wherever the tree is put
include(CMakePackageConfigHelpers)

set(AVFILE_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/avfile)

install(TARGETS avfile_vsk EXPORT avfileTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/avfile/avfile.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/avfile)
install(EXPORT avfileTargets NAMESPACE avfile:: DESTINATION ${AVFILE_CMAKE_DIR})

configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/avfileConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/avfileConfig.cmake INSTALL_DESTINATION ${AVFILE_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/avfileConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/avfileConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/avfileConfigVersion.cmake
  DESTINATION ${AVFILE_CMAKE_DIR})

# The .pc file names its folders relative to its own place (${pcfiledir}),
# so an installed tree may be moved or unpacked anywhere.
file(RELATIVE_PATH AVFILE_PC_TO_PREFIX
  /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
configure_file(${CMAKE_CURRENT_LIST_DIR}/avfile.pc.in ${CMAKE_CURRENT_BINARY_DIR}/avfile.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/avfile.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

if(TARGET avfile)
  install(TARGETS avfile RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

# ---- cpack: one Debian package of library, header and program ----
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME avfile)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "libavfile_vsk")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "Reader of a vehicle video recorder's card: libavfile_vsk, its header and the avfile tool")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "libavfile_vsk developers")
set(CPACK_DEBIAN_PACKAGE_SECTION video)
# The package's binaries without their debugging information.
set(CPACK_STRIP_FILES ON)
# The program's dependencies (FFmpeg's libraries) as dpkg-shlibdeps reads
# them off the binaries, where it is installed.
find_program(AVFILE_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(AVFILE_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()
# Libraries the program loads only when it needs them (the mosaic's), which
# dpkg-shlibdeps cannot see.
get_property(AVFILE_PACKAGE_DEPENDS GLOBAL PROPERTY AVFILE_PACKAGE_DEPENDS)
if(AVFILE_PACKAGE_DEPENDS)
  string(JOIN ", " CPACK_DEBIAN_PACKAGE_DEPENDS ${AVFILE_PACKAGE_DEPENDS})
endif()
include(CPack)
