# What `cmake --install` puts under the prefix, and the CMake package HalvernDriver:
#   include/halvern/*.h, *.hpp     the public headers: the C face and the C++ classes over it
#   lib/ (Windows: bin/ and lib/)  libHalvernDriver.so (HalvernDriver.dll, its import library)
#   share/java/                    halvern.jar, halvern-sources.jar, halvern-javadoc.jar
#   lib/cmake/HalvernDriver/       the package: HalvernDriver::HalvernDriver, and
#                                  HalvernDriver::Simulation, the simulated devices
#                                  (lib/libhalvern_sim.a and include/halvern/sim/*.h)
# The platform is its own package, wpilib: the stand-in installs itself as one beside this
# (hal/, wpiutil/); a build on WPILib uses the installed WPILib it was built against.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(HALVERN_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/HalvernDriver)
set(HALVERN_JAVA_DIR ${CMAKE_INSTALL_DATADIR}/java)
if(WIN32)
  set(HALVERN_NATIVE_LIBRARY_DIR ${CMAKE_INSTALL_BINDIR})
else()
  set(HALVERN_NATIVE_LIBRARY_DIR ${CMAKE_INSTALL_LIBDIR})
endif()

# The platform the package records: the stand-in's version is wpiutil/'s.
if(HALVERN_PLATFORM STREQUAL "wpilib")
  set(HALVERN_WPILIB_PLATFORM wpilib)
  set(HALVERN_WPILIB_VERSION "${wpilib_VERSION}")
else()
  set(HALVERN_WPILIB_PLATFORM standin)
  get_directory_property(HALVERN_WPILIB_VERSION DIRECTORY wpiutil
    DEFINITION HALVERN_WPILIB_STANDIN_VERSION)
  if(NOT HALVERN_WPILIB_VERSION)
    message(FATAL_ERROR "wpiutil/CMakeLists.txt sets no HALVERN_WPILIB_STANDIN_VERSION")
  endif()
endif()

# The library: its installed copy finds the platform's libraries beside it, never in the build.
if(UNIX AND NOT APPLE)
  set_target_properties(HalvernDriver PROPERTIES INSTALL_RPATH "$ORIGIN")
endif()
install(TARGETS HalvernDriver EXPORT HalvernDriverTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT driver
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT driver
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT driver
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
if(WIN32)
  # The import library for MSVC that src/CMakeLists.txt writes beside the linker's own.
  install(FILES ${CMAKE_ARCHIVE_OUTPUT_DIRECTORY}/$<TARGET_FILE_BASE_NAME:HalvernDriver>.lib
    DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT driver OPTIONAL)
endif()
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/halvern
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT driver FILES_MATCHING PATTERN "*.h" PATTERN "*.hpp")
install(EXPORT HalvernDriverTargets NAMESPACE HalvernDriver::
  DESTINATION ${HALVERN_PACKAGE_DIR} COMPONENT driver)

# The simulated devices, on either platform: they need only WPILib's simulation API. Their
# headers are halvern_sim's PUBLIC_HEADER (sim/CMakeLists.txt lists them), all in one folder, as
# they include one another by their own names ("SimCanBus.h", "SimClock.h"); a program includes
# them as "halvern/sim/SimOrdex.h". scripts/test-install.sh compiles each on its own from the
# prefix.
if(TARGET halvern_sim)
  set_target_properties(halvern_sim PROPERTIES EXPORT_NAME Simulation)
  install(TARGETS halvern_sim EXPORT HalvernDriverSimulationTargets
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT simulation
    PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/halvern/sim COMPONENT simulation
    INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
  install(EXPORT HalvernDriverSimulationTargets NAMESPACE HalvernDriver::
    DESTINATION ${HALVERN_PACKAGE_DIR} COMPONENT simulation)
endif()

# The jars (java/CMakeLists.txt builds the sources and Javadoc jars beside halvern.jar).
if(HALVERN_BUILD_JAVA)
  install_jar(halvern DESTINATION ${HALVERN_JAVA_DIR} COMPONENT java)
  install(FILES
    ${CMAKE_LIBRARY_OUTPUT_DIRECTORY}/halvern-sources.jar
    ${CMAKE_LIBRARY_OUTPUT_DIRECTORY}/halvern-javadoc.jar
    DESTINATION ${HALVERN_JAVA_DIR} COMPONENT java)
endif()

configure_package_config_file(cmake/HalvernDriverConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/HalvernDriverConfig.cmake
  INSTALL_DESTINATION ${HALVERN_PACKAGE_DIR}
  PATH_VARS HALVERN_NATIVE_LIBRARY_DIR HALVERN_JAVA_DIR)
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/HalvernDriverConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMinorVersion)
install(FILES
  ${CMAKE_CURRENT_BINARY_DIR}/HalvernDriverConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/HalvernDriverConfigVersion.cmake
  DESTINATION ${HALVERN_PACKAGE_DIR} COMPONENT driver)
