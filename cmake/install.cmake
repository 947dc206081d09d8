# What cmake --install lays out, the CMake package a program finds there, and the release
# archive (CPack's ZIP generator) made of the same tree:
#   bin/nimo-webengine.exe
#   include/nimo/...                 nimo_host.h and the headers it includes
#   lib/libnimo_host.a, libnimo_core.a (nimo_host.lib, nimo_core.lib with MSVC)
#   lib/cmake/nimo-webengine/        package configuration, version file, exported targets
#   DEPLOY.md                        which files a program ships beside the engine
include(CMakePackageConfigHelpers)

set(NIMO_PACKAGE_DIR lib/cmake/nimo-webengine)
install(TARGETS nimo-webengine nimo_host nimo_core EXPORT nimo-webengine-targets
  RUNTIME DESTINATION bin
  ARCHIVE DESTINATION lib
  LIBRARY DESTINATION lib)
install(EXPORT nimo-webengine-targets NAMESPACE nimo:: DESTINATION ${NIMO_PACKAGE_DIR})

get_property(nimo_headers GLOBAL PROPERTY NIMO_PUBLIC_HEADERS)
get_property(nimo_header_dir GLOBAL PROPERTY NIMO_PUBLIC_HEADER_DIR)
foreach(header IN LISTS nimo_headers)
  get_filename_component(folder ${header} DIRECTORY)
  install(FILES ${nimo_header_dir}/${header} DESTINATION include/nimo/${folder})
endforeach()

# Any 1.x asks for works with 1.y where y >= x; the package is for 64-bit programs only.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/nimo-webengine-config-version.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_SOURCE_DIR}/cmake/nimo-webengine-config.cmake
  ${PROJECT_BINARY_DIR}/nimo-webengine-config-version.cmake DESTINATION ${NIMO_PACKAGE_DIR})
install(FILES ${PROJECT_SOURCE_DIR}/DEPLOY.md DESTINATION .)

# The archive: only for this repository's own build, a parent project packages itself.
if(NIMO_TOP_LEVEL)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_NAME nimo-webengine)
  set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
  set(CPACK_PACKAGE_FILE_NAME nimo-webengine-${PROJECT_VERSION}-win64)
  set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/package)
  set(CPACK_VERBATIM_VARIABLES ON)
  include(CPack)
endif()
