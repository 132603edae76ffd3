# HALVERN_WPILIB_YEAR: the WPILib season whose API the library, the simulators and the tests are
# written against, decided here once for the whole build. What differs between seasons lives in
# the folders platform/wpilib<year>/ of src/, sim/ and tests/support/, which the build puts on
# the include path (or compiles) for this year alone; a new season is a new set of folders.
#   2026  the stand-in (shaped like WPILib 2026) and WPILib 2026, whose HAL's headers are hal/*.h
#   2027  WPILib 2027, whose HAL's headers moved under wpi/hal/
if(HALVERN_PLATFORM STREQUAL "standin")
  set(HALVERN_WPILIB_YEAR 2026)
else()
  set(HALVERN_WPILIB_YEAR 2026)
  get_target_property(halvern_hal_includes hal INTERFACE_INCLUDE_DIRECTORIES)
  foreach(dir IN LISTS halvern_hal_includes)
    if(EXISTS "${dir}/wpi/hal/HAL.h")
      set(HALVERN_WPILIB_YEAR 2027)
    endif()
  endforeach()
  unset(halvern_hal_includes)
endif()
foreach(part src sim tests/support)
  if(NOT IS_DIRECTORY "${PROJECT_SOURCE_DIR}/${part}/platform/wpilib${HALVERN_WPILIB_YEAR}")
    message(FATAL_ERROR "WPILib ${HALVERN_WPILIB_YEAR} has no folder ${part}/platform/"
                        "wpilib${HALVERN_WPILIB_YEAR}")
  endif()
endforeach()
message(STATUS "WPILib year: ${HALVERN_WPILIB_YEAR} (platform/wpilib${HALVERN_WPILIB_YEAR}/)")
