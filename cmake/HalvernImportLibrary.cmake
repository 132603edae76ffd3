# Writes HalvernDriver.lib, an import library in the format MSVC's linker reads, from the export
# list the linker wrote beside HalvernDriver.dll (-Wl,--output-def). Run by the Windows build
# after linking the DLL:
#   cmake -DDEF=<linker's .def> -DDLLTOOL=<llvm-dlltool> -DDLL_NAME=HalvernDriver.dll
#         -DOUTPUT=<.lib> -P HalvernImportLibrary.cmake
#
cmake_minimum_required(VERSION 3.25)

# Left out: the entry points that return a C++ library type (std::string, a struct holding a
# std::vector). A program built with MSVC cannot call them (its std::string is not libstdc++'s),
# so it gets a link error naming them instead of a crash; each has a C-friendly variant beside it.
# Keep this list in step with the headers and with tests/vendordep/check_vendordep.py.
set(HALVERN_CXX_TYPED_EXPORTS
  FindDevicePath              # c_Serial_findDevicePath
  c_LidarMini_getData         # c_LidarMini_copyData
  c_Ordex_getFirmwareVersion  # c_Ordex_copyFirmwareVersion
  c_Ordex_getHardwareVersion  # c_Ordex_copyHardwareVersion
  c_Ordex_getSerialNumber)    # c_Ordex_copySerialNumber

foreach(var DEF DLLTOOL DLL_NAME OUTPUT)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "HalvernImportLibrary.cmake: -D${var}=... is missing")
  endif()
endforeach()
if(NOT EXISTS "${DEF}")
  message(FATAL_ERROR "The linker's export list ${DEF} is missing")
endif()

# The linker's lines read "    name @ordinal" (with DATA for a variable); names alone are kept,
# so the library imports by name.
file(STRINGS "${DEF}" lines)
set(exports "")
foreach(line IN LISTS lines)
  if(line MATCHES "^[ \t]+([A-Za-z_][A-Za-z0-9_@?$]*)([ \t]+@[0-9]+)?([ \t]+DATA)?[ \t]*$")
    set(name "${CMAKE_MATCH_1}")
    if(NOT name IN_LIST HALVERN_CXX_TYPED_EXPORTS)
      string(APPEND exports "    ${name}${CMAKE_MATCH_3}\n")
    endif()
  endif()
endforeach()
if(exports STREQUAL "")
  message(FATAL_ERROR "No exports found in ${DEF}")
endif()

get_filename_component(out_dir "${OUTPUT}" DIRECTORY)
get_filename_component(out_name "${OUTPUT}" NAME_WE)
set(filtered "${out_dir}/${out_name}.def")
file(WRITE "${filtered}" "LIBRARY ${DLL_NAME}\nEXPORTS\n${exports}")
execute_process(
  COMMAND "${DLLTOOL}" -m i386:x86-64 -D "${DLL_NAME}" -d "${filtered}" -l "${OUTPUT}"
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${DLLTOOL} failed (${result}) writing ${OUTPUT}")
endif()
