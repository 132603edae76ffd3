# HALVERN_PLATFORM=wpilib: the HAL and utility libraries of an installed WPILib, found through its
# own CMake package (CMAKE_PREFIX_PATH or wpilib_DIR). The rest of the build keeps linking the
# names it links with the stand-ins: wpiHal is WPILib's hal, wpinet its wpinet (or wpiutil, where
# the package has no wpinet), wpiutil its wpiutil. Sets HALVERN_HAVE_SIM_CONTROLS when the
# platform has the stand-in's simulation controls (halsim/SimControl.h, wpinetsim/UdpFaults.h),
# which only the stand-in installed as WPILib has; the simulated devices, the tests, the
# benchmarks and the demo need them.
find_package(wpilib CONFIG REQUIRED)
foreach(target hal wpiutil)
  if(NOT TARGET ${target})
    message(FATAL_ERROR "WPILib's package (${wpilib_DIR}) has no target '${target}'")
  endif()
endforeach()
add_library(wpiHal ALIAS hal)
if(NOT TARGET wpinet)
  message(STATUS "WPILib's package has no wpinet: the UDP client comes from wpiutil")
  add_library(wpinet ALIAS wpiutil)
endif()

set(HALVERN_HAVE_SIM_CONTROLS OFF)
get_target_property(hal_includes hal INTERFACE_INCLUDE_DIRECTORIES)
# wpinet's headers may come through its dependency on wpiutil, as the stand-in's do.
get_target_property(wpinet_includes wpinet INTERFACE_INCLUDE_DIRECTORIES)
get_target_property(wpiutil_includes wpiutil INTERFACE_INCLUDE_DIRECTORIES)
list(APPEND wpinet_includes ${wpiutil_includes})
foreach(dir IN LISTS hal_includes)
  if(EXISTS "${dir}/halsim/SimControl.h")
    foreach(net_dir IN LISTS wpinet_includes)
      if(EXISTS "${net_dir}/wpinetsim/UdpFaults.h")
        set(HALVERN_HAVE_SIM_CONTROLS ON)
      endif()
    endforeach()
  endif()
endforeach()
if(wpilib_STANDIN)
  set(kind "HalvernDriver's stand-in")
else()
  set(kind "WPILib")
endif()
if(HALVERN_HAVE_SIM_CONTROLS)
  message(STATUS "Platform: ${kind} ${wpilib_VERSION} (${wpilib_DIR}), with simulation "
                 "controls: the simulated devices, tests, benchmarks and demo can build")
else()
  message(STATUS "Platform: ${kind} ${wpilib_VERSION} (${wpilib_DIR}), without simulation "
                 "controls (halsim/SimControl.h, wpinetsim/UdpFaults.h): building the library "
                 "and the jar only")
endif()
unset(kind)
unset(hal_includes)
unset(wpinet_includes)
unset(wpiutil_includes)
