# HALVERN_PLATFORM=wpilib: the HAL and utility libraries of an installed WPILib, found through
# its CMake packages (the prefix on CMAKE_PREFIX_PATH). WPILib installs one package a library
# (`hal`, which pulls in `wpiutil` and, from 2027, needs `ntcore`; and `wpinet`; un-namespaced
# targets); an umbrella `wpilib` package that defines the same targets is taken too (the
# stand-ins installed as WPILib give one). The rest of the build links the names it links with
# the stand-ins: wpiHal is WPILib's hal, wpinet its wpinet (or wpiutil, where there is no
# wpinet), wpiutil its wpiutil, wpiDataLog the library of its data log.
#
# Sets HALVERN_HAVE_STANDIN_CONTROLS when the platform is the stand-in installed as WPILib, whose
# own controls (halsim/SimControl.h: faults and serial ports; wpinetsim/UdpFaults.h) the tests of
# faults, the serial lidar's simulator, the benchmarks and the demo need.
find_package(wpilib CONFIG QUIET)
if(wpilib_FOUND)
  set(halvern_platform_package "${wpilib_DIR}")
else()
  # WPILib 2027's `hal` links `ntcore` without finding it itself: found first, where present.
  find_package(ntcore CONFIG QUIET)
  find_package(hal CONFIG)
  if(NOT hal_FOUND)
    message(FATAL_ERROR "HALVERN_PLATFORM=wpilib: neither WPILib's `hal` package nor a `wpilib` "
                        "package was found; put WPILib's prefix on CMAKE_PREFIX_PATH")
  endif()
  find_package(wpiutil CONFIG REQUIRED)
  find_package(wpinet CONFIG QUIET)
  set(halvern_platform_package "${hal_DIR}")
  set(wpilib_VERSION "${hal_VERSION}")  # WPILib's own packages carry none
endif()
foreach(target hal wpiutil)
  if(NOT TARGET ${target})
    message(FATAL_ERROR "WPILib's packages (${halvern_platform_package}) have no target '${target}'")
  endif()
endforeach()
add_library(wpiHal ALIAS hal)
if(NOT TARGET wpinet)
  message(STATUS "WPILib's packages have no wpinet: the UDP client comes from wpiutil")
  add_library(wpinet ALIAS wpiutil)
endif()
# The data log: WPILib 2027's own `datalog` library, in 2026 part of wpiutil.
find_package(datalog CONFIG QUIET)
if(TARGET datalog)
  add_library(wpiDataLog ALIAS datalog)
else()
  add_library(wpiDataLog ALIAS wpiutil)
endif()

set(HALVERN_HAVE_STANDIN_CONTROLS OFF)
get_target_property(hal_includes hal INTERFACE_INCLUDE_DIRECTORIES)
# wpinet's headers may come through its dependency on wpiutil, as the stand-in's do.
get_target_property(wpinet_includes wpinet INTERFACE_INCLUDE_DIRECTORIES)
get_target_property(wpiutil_includes wpiutil INTERFACE_INCLUDE_DIRECTORIES)
list(APPEND wpinet_includes ${wpiutil_includes})
foreach(dir IN LISTS hal_includes)
  if(EXISTS "${dir}/halsim/SimControl.h")
    foreach(net_dir IN LISTS wpinet_includes)
      if(EXISTS "${net_dir}/wpinetsim/UdpFaults.h")
        set(HALVERN_HAVE_STANDIN_CONTROLS ON)
      endif()
    endforeach()
  endif()
endforeach()
if(wpilib_STANDIN)
  set(kind "HalvernDriver's stand-in")
else()
  set(kind "WPILib")
endif()
if(wpilib_VERSION)
  string(APPEND kind " ${wpilib_VERSION}")
endif()
if(HALVERN_HAVE_STANDIN_CONTROLS)
  message(STATUS "Platform: ${kind} (${halvern_platform_package}), with the "
                 "stand-in's controls: every test, the benchmarks and the demo can build")
else()
  message(STATUS "Platform: ${kind} (${halvern_platform_package}), its "
                 "simulation API only: the tests that need the stand-in's faults or serial "
                 "ports, the benchmarks and the demo are left out")
endif()
unset(kind)
unset(hal_includes)
unset(wpinet_includes)
unset(wpiutil_includes)
unset(halvern_platform_package)
