# Checks that a program references no export of HalvernDriver that returns a C++ type, so that
# it works with the shipped library whichever compiler built it:
#   cmake -DNM=<nm> -DPROGRAM=<program> -DHEADERS=<include/halvern> -P CheckPlainExports.cmake
# The exports to shun are read from the C headers: every HALVERN_API function whose return type
# names the standard library, or a struct of the headers that holds a standard-library member.
cmake_minimum_required(VERSION 3.25)
foreach(variable NM PROGRAM HEADERS)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "CheckPlainExports: ${variable} is not given")
  endif()
endforeach()

file(GLOB headers "${HEADERS}/*.h")
set(declarations "")
set(cxx_structs "")
foreach(header IN LISTS headers)
  file(READ "${header}" text)
  string(APPEND declarations "${text}\n")
  # struct Name { ... }; bodies without nested braces, as the C headers write them (their
  # semicolons turned into commas first, or CMake would split the matches as a list)
  string(REPLACE ";" "," fields "${text}")
  string(REGEX MATCHALL "struct [A-Za-z0-9_]+ {[^}]*}" structs "${fields}")
  foreach(body IN LISTS structs)
    if(body MATCHES "std::")
      string(REGEX REPLACE "^struct ([A-Za-z0-9_]+).*" "\\1" name "${body}")
      list(APPEND cxx_structs "${name}")
    endif()
  endforeach()
endforeach()

set(shunned "")
string(REGEX MATCHALL "HALVERN_API [^;(]+\\(" exports "${declarations}")
foreach(export IN LISTS exports)
  string(REGEX REPLACE "^HALVERN_API (.*[^A-Za-z0-9_])([A-Za-z0-9_]+)\\($" "\\1" type "${export}")
  string(REGEX REPLACE "^HALVERN_API .*[^A-Za-z0-9_]([A-Za-z0-9_]+)\\($" "\\1" name "${export}")
  string(STRIP "${type}" type)
  if(type MATCHES "std::" OR type IN_LIST cxx_structs)
    list(APPEND shunned "${name}")
  endif()
endforeach()
list(LENGTH shunned shunned_count)
if(shunned_count LESS 5)
  message(FATAL_ERROR "CheckPlainExports: found only '${shunned}' returning C++ types; "
                      "the headers' declarations were not read as expected")
endif()
message(STATUS "Exports returning C++ types: ${shunned}")

execute_process(COMMAND "${NM}" -u "${PROGRAM}" OUTPUT_VARIABLE listing RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "CheckPlainExports: ${NM} -u ${PROGRAM} failed")
endif()
string(REGEX MATCHALL "[A-Za-z0-9_]+" words "${listing}")
set(found "")
foreach(name IN LISTS shunned)
  if(name IN_LIST words)
    list(APPEND found "${name}")
  endif()
endforeach()
if(found)
  message(STATUS "Referenced exports returning C++ types: ${found}")  # one line, unwrapped
  message(FATAL_ERROR "${PROGRAM} references exports that return C++ types")
endif()
# The program must reach every family, or the check proves nothing.
foreach(family c_Ordex_createOnBus c_Iridel_createUsb c_Dystal_createUsb c_LidarMini_copyDataTimed
        c_Lidar_getTimedData c_Ferix_getLatest c_MockDS_create c_Serial_findDevicePath
        c_Ordex_copySerialNumber c_Ordex_tryGetIdentity)
  if(NOT family IN_LIST words)
    message(FATAL_ERROR "${PROGRAM} does not reference ${family}: is it the program of every class?")
  endif()
endforeach()
message(STATUS "${PROGRAM} references only plain C exports of the library")
