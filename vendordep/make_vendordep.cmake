# Writes a vendordep (run by the `vendordep` and `vendordep-2027` targets of
# vendordep/CMakeLists.txt, which pass every -D below): a Maven repository under OUTPUT_DIR/repo
# and OUTPUT_DIR/JSON_NAME, from JSON_TEMPLATE.
#
#   <group as path>/HalvernDriver-cpp/<version>/
#     HalvernDriver-cpp-<version>-headers.zip          include/'s contents at the root (halvern/*.h)
#     HalvernDriver-cpp-<version>-sources.zip          src/ and include/
#     HalvernDriver-cpp-<version>-linuxx86-64.zip      linux/x86-64/shared/libHalvernDriver.so, .so.debug
#     HalvernDriver-cpp-<version>-linuxarm64.zip       linux/arm64/shared/libHalvernDriver.so, .so.debug
#     HalvernDriver-cpp-<version>-linuxsystemcore.zip  linux/systemcore/shared/libHalvernDriver.so, .so.debug
#     HalvernDriver-cpp-<version>-windowsx86-64.zip    windows/x86-64/shared/HalvernDriver.dll, .lib
#     HalvernDriver-cpp-<version>-<platform>debug.zip  the same folders and file names: the Debug
#                                                      build's library, whole (no .so.debug beside it)
#     HalvernDriver-cpp-<version>.pom
#   <group as path>/HalvernDriver-sim/<version>/
#     HalvernDriver-sim-<version>-headers.zip              halvern/sim/*.h, as they install
#     HalvernDriver-sim-<version>-linuxx86-64static.zip    linux/x86-64/static/libHalvernDriverSim.a
#     HalvernDriver-sim-<version>-linuxx86-64staticdebug.zip  the same, of the Debug build
#     HalvernDriver-sim-<version>.pom
#   <group as path>/HalvernDriver-java/<version>/
#     HalvernDriver-java-<version>.jar, -sources.jar, -javadoc.jar, .pom
#
# Each platform zip is there when its library is given: LINUX_LIBRARY (linuxx86-64, always),
# ARM64_LIBRARY (one 64-bit ARM Linux library for both linuxarm64 and linuxsystemcore, the robot
# controller's platform), WINDOWS_DIR (the Windows build's HalvernDriver.dll and its import
# library HalvernDriver.lib). The JSON template lists the same platforms. Each comes with its
# debug zip, which WPILib's tools take for a robot program built for debugging: the Debug build's
# library (LINUX_DEBUG_LIBRARY, ARM64_DEBUG_LIBRARY, WINDOWS_DEBUG_DIR), built with a name ending
# in d and shipped under the release library's name, which is the one WPILib's tools look for in
# every zip. So that a program linked against it loads it by that name, a Linux one gets the
# release SONAME, and a Windows one the release name in its export directory and an import
# library naming HalvernDriver.dll (made again from the Debug build's export list,
# WINDOWS_DEBUG_DIR/src/HalvernDriver-exports.def). A debug library needs WPILib's debug
# libraries, whose names end in d (libwpiHald.so, wpiHald.dll): a Linux one built against
# WPILib's release libraries (WPILIB_LIBRARIES) is made to name the debug ones.
#
# The release libraries are shipped stripped, a Linux one with its debug symbols beside it
# (lib<name>.so.debug, linked by .gnu_debuglink), as WPILib ships its own; the debug ones whole.
#
# The one native library serves C++ robot programs (cppDependencies) and, through its JNI entry
# points, Java ones (jniDependencies): both name the HalvernDriver-cpp platform zips. The
# simulated devices are a static library for desktop simulation only (simMode swsim), which is
# why their platform zip's classifier, as WPILib's tools ask for a static library's, ends in
# "static"; a robot program built for debugging asks for "staticdebug", the Debug build's archive
# (LINUX_SIM_DEBUG_LIBRARY) under the same file name. They are shipped for Linux alone: the
# Windows build's are mingw-compiled C++, which an MSVC-built robot program cannot link. With
# SIM_OPTIONAL, a LINUX_SIM_LIBRARY that is not there leaves the simulators' artifact out, and the
# JSON's entry for it.
cmake_minimum_required(VERSION 3.25)

foreach(var SOURCE_DIR OUTPUT_DIR VERSION GROUP_ID UUID MAVEN_URL JSON_URL JSON_TEMPLATE JSON_NAME
            LINUX_LIBRARY LINUX_DEBUG_LIBRARY LINUX_OBJCOPY LINUX_STRIP PATCHELF WPILIB_LIBRARIES
            LINUX_SIM_LIBRARY LINUX_SIM_DEBUG_LIBRARY SIM_HEADERS AR RANLIB PYTHON JAR
            SOURCES_JAR JAVADOC_JAR)
  if(NOT DEFINED ${var} OR "${${var}}" STREQUAL "")
    message(FATAL_ERROR "make_vendordep.cmake: -D${var}=... is missing")
  endif()
endforeach()

# The tools that pack the libraries (the packages patchelf, binutils, binutils-mingw-w64-x86-64,
# binutils-aarch64-linux-gnu, llvm).
foreach(tool LINUX_OBJCOPY LINUX_STRIP PATCHELF WINDOWS_STRIP WINDOWS_DLLTOOL ARM64_OBJCOPY
             ARM64_STRIP)
  if("${${tool}}" MATCHES "NOTFOUND$")
    message(FATAL_ERROR "The vendordep needs ${${tool}}: install it (scripts/install-deps.sh)")
  endif()
endforeach()

# Everything it ships must be there before anything is written.
if(WINDOWS_DIR)
  set(windows_dll ${WINDOWS_DIR}/bin/HalvernDriver.dll)
  set(windows_lib ${WINDOWS_DIR}/lib/HalvernDriver.lib)
  if(NOT EXISTS ${windows_dll})
    message(FATAL_ERROR
      "The vendordep needs the Windows build's HalvernDriver.dll, and ${windows_dll} is missing.\n"
      "Build it first: cmake --preset windows && cmake --build --preset windows --target "
      "HalvernDriver\n(or point HALVERN_VENDORDEP_WINDOWS_DIR at another Windows build: "
      "cmake -B <this build> -DHALVERN_VENDORDEP_WINDOWS_DIR=<dir>).")
  endif()
  if(NOT EXISTS ${windows_lib})
    message(FATAL_ERROR
      "The vendordep needs HalvernDriver.lib, the import library for MSVC, beside the Windows "
      "build's HalvernDriver.dll, and ${windows_lib} is missing: rebuild HalvernDriver there "
      "(cmake --build ${WINDOWS_DIR} --target HalvernDriver).")
  endif()
  foreach(var WINDOWS_DEBUG_DIR WINDOWS_STRIP WINDOWS_DLLTOOL)
    if(NOT ${var})
      message(FATAL_ERROR "make_vendordep.cmake: -D${var}=... is missing")
    endif()
  endforeach()
  set(windows_debug_dll ${WINDOWS_DEBUG_DIR}/bin/HalvernDriverd.dll)
  # The linker's export list, from which the import library for the release name is made again.
  set(windows_debug_def ${WINDOWS_DEBUG_DIR}/src/HalvernDriver-exports.def)
  foreach(file ${windows_debug_dll} ${windows_debug_def})
    if(NOT EXISTS ${file})
      message(FATAL_ERROR "The vendordep needs the Windows Debug build's ${file}, which is "
        "missing. Build it first: cmake --preset windows-debug && cmake --build --preset "
        "windows-debug (or point HALVERN_VENDORDEP_WINDOWS_DEBUG_DIR at another such build).")
    endif()
  endforeach()
endif()
# A library from another build says how to build it (LINUX_HINT, ARM64_HINT, and for the debug
# ones LINUX_DEBUG_HINT, ARM64_DEBUG_HINT).
foreach(kind LINUX ARM64 LINUX_DEBUG ARM64_DEBUG)
  if(${kind}_LIBRARY AND NOT EXISTS ${${kind}_LIBRARY})
    message(FATAL_ERROR "The vendordep needs ${${kind}_LIBRARY}, which is missing. "
      "${${kind}_HINT}")
  endif()
endforeach()
if(ARM64_LIBRARY AND NOT (ARM64_DEBUG_LIBRARY AND ARM64_OBJCOPY AND ARM64_STRIP))
  message(FATAL_ERROR "make_vendordep.cmake: an ARM64_LIBRARY needs -DARM64_DEBUG_LIBRARY=..., "
    "-DARM64_OBJCOPY=... and -DARM64_STRIP=...")
endif()
string(REPLACE "|" ";" WPILIB_LIBRARIES "${WPILIB_LIBRARIES}")
if(SIM_OPTIONAL AND NOT EXISTS ${LINUX_SIM_LIBRARY})
  message(STATUS "No ${LINUX_SIM_LIBRARY}: the vendordep leaves the simulated devices out")
  set(LINUX_SIM_LIBRARY "")
  set(LINUX_SIM_DEBUG_LIBRARY "")
endif()
string(REPLACE "|" ";" SIM_HEADERS "${SIM_HEADERS}")
string(REPLACE "|" ";" SIM_LEFT_OUT "${SIM_LEFT_OUT}")
foreach(file ${LINUX_LIBRARY} ${LINUX_DEBUG_LIBRARY} ${LINUX_SIM_LIBRARY} ${SIM_HEADERS} ${JAR}
             ${SOURCES_JAR} ${JAVADOC_JAR})
  if(NOT EXISTS ${file})
    message(FATAL_ERROR "The vendordep needs ${file}, which is missing")
  endif()
endforeach()
if(LINUX_SIM_LIBRARY AND NOT EXISTS ${LINUX_SIM_DEBUG_LIBRARY})
  message(FATAL_ERROR "The vendordep needs the simulators' Debug archive "
    "${LINUX_SIM_DEBUG_LIBRARY}, which is missing. ${LINUX_DEBUG_HINT}")
endif()

# A library of another build (the Windows one, and EXTERNAL_LIBRARIES: those built against
# another WPILib) older than the sources is shipped all the same, with a warning.
string(REPLACE "|" ";" EXTERNAL_LIBRARIES "${EXTERNAL_LIBRARIES}")
file(GLOB_RECURSE sources ${SOURCE_DIR}/src/* ${SOURCE_DIR}/include/*)
foreach(library IN ITEMS ${windows_dll} ${windows_debug_dll} ${EXTERNAL_LIBRARIES})
  file(TIMESTAMP ${library} library_time "%s" UTC)
  foreach(source IN LISTS sources)
    file(TIMESTAMP ${source} source_time "%s" UTC)
    if(source_time GREATER library_time)
      cmake_path(GET library PARENT_PATH library_dir)
      cmake_path(GET library_dir PARENT_PATH library_build)
      message(WARNING "${library} is older than ${source}: rebuild it "
        "(cmake --build ${library_build} --target HalvernDriver) to ship the current sources.")
      break()
    endif()
  endforeach()
endforeach()

set(repo ${OUTPUT_DIR}/repo)
set(stage ${OUTPUT_DIR}/stage)
file(REMOVE_RECURSE ${repo} ${stage} ${OUTPUT_DIR}/${JSON_NAME})
string(REPLACE "." "/" group_path ${GROUP_ID})

# Zips the contents of `dir` (its entries at the zip's root) into `zip`.
function(zip_folder dir zip)
  file(GLOB entries RELATIVE ${dir} ${dir}/*)
  execute_process(COMMAND ${CMAKE_COMMAND} -E tar cf ${zip} --format=zip -- ${entries}
    WORKING_DIRECTORY ${dir} RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "Could not write ${zip}")
  endif()
endfunction()

# A Maven POM: Gradle resolves no artifact without one.
function(write_pom file artifact packaging description)
  file(WRITE ${file} [=[<?xml version="1.0" encoding="UTF-8"?>
<project xmlns="http://maven.apache.org/POM/4.0.0"
    xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance"
    xsi:schemaLocation="http://maven.apache.org/POM/4.0.0 http://maven.apache.org/xsd/maven-4.0.0.xsd">
  <modelVersion>4.0.0</modelVersion>
]=] "  <groupId>${GROUP_ID}</groupId>
  <artifactId>${artifact}</artifactId>
  <version>${VERSION}</version>
  <packaging>${packaging}</packaging>
  <name>${artifact}</name>
  <description>${description}</description>
</project>
")
endfunction()

# The C++ artifact: headers, sources and one zip a platform.
set(cpp HalvernDriver-cpp)
set(cpp_dir ${repo}/${group_path}/${cpp}/${VERSION})
file(MAKE_DIRECTORY ${cpp_dir})

file(COPY ${SOURCE_DIR}/include/ DESTINATION ${stage}/headers)
zip_folder(${stage}/headers ${cpp_dir}/${cpp}-${VERSION}-headers.zip)

file(COPY ${SOURCE_DIR}/src ${SOURCE_DIR}/include DESTINATION ${stage}/sources)
zip_folder(${stage}/sources ${cpp_dir}/${cpp}-${VERSION}-sources.zip)

# A build's copy looks for its platform libraries in the build: the shipped one beside itself.
# It is shipped as `name`.
function(stage_linux_library library shared name)
  file(MAKE_DIRECTORY ${shared})
  file(COPY_FILE ${library} ${shared}/${name})
  file(RPATH_SET FILE ${shared}/${name} NEW_RPATH "$ORIGIN")
  set(staged ${shared}/${name} PARENT_SCOPE)
endfunction()

function(run_tool)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result ERROR_VARIABLE error)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${ARGN} failed: ${error}")
  endif()
endfunction()

# The release library, stripped, with its debug symbols in <name>.debug beside it.
function(zip_linux_library library platform folder objcopy strip)
  set(shared ${stage}/${platform}/${folder}/shared)
  get_filename_component(name ${library} NAME)
  stage_linux_library(${library} ${shared} ${name})
  run_tool(${objcopy} --only-keep-debug ${staged} ${staged}.debug)
  run_tool(${strip} --strip-unneeded ${staged})
  run_tool(${objcopy} --add-gnu-debuglink=${staged}.debug ${staged})  # records the file name
  zip_folder(${stage}/${platform} ${cpp_dir}/${cpp}-${VERSION}-${platform}.zip)
endfunction()

# The Debug build's library, whole, under the release library's name and SONAME (a program
# linked against it then looks for that name), naming WPILib's debug libraries (lib<name>d.so)
# where it was linked against the release ones.
function(zip_linux_debug_library library platform folder)
  set(shared ${stage}/${platform}debug/${folder}/shared)
  get_filename_component(name ${LINUX_LIBRARY} NAME)  # the release library's
  stage_linux_library(${library} ${shared} ${name})
  run_tool(${PATCHELF} --set-soname ${name} ${staged})
  foreach(wpilib IN LISTS WPILIB_LIBRARIES)
    run_tool(${PATCHELF} --replace-needed lib${wpilib}.so lib${wpilib}d.so ${staged})
  endforeach()
  zip_folder(${stage}/${platform}debug ${cpp_dir}/${cpp}-${VERSION}-${platform}debug.zip)
endfunction()

zip_linux_library(${LINUX_LIBRARY} linuxx86-64 linux/x86-64 ${LINUX_OBJCOPY} ${LINUX_STRIP})
zip_linux_debug_library(${LINUX_DEBUG_LIBRARY} linuxx86-64 linux/x86-64)
if(ARM64_LIBRARY)
  foreach(platform linuxarm64 linuxsystemcore)
    string(REPLACE "linux" "linux/" folder ${platform})
    zip_linux_library(${ARM64_LIBRARY} ${platform} ${folder} ${ARM64_OBJCOPY} ${ARM64_STRIP})
    zip_linux_debug_library(${ARM64_DEBUG_LIBRARY} ${platform} ${folder})
  endforeach()
endif()

if(WINDOWS_DIR)
  set(shared ${stage}/windowsx86-64/windows/x86-64/shared)
  file(COPY ${windows_dll} ${windows_lib} DESTINATION ${shared})
  run_tool(${WINDOWS_STRIP} --strip-unneeded ${shared}/HalvernDriver.dll)
  zip_folder(${stage}/windowsx86-64 ${cpp_dir}/${cpp}-${VERSION}-windowsx86-64.zip)
  # The Debug DLL, whole, under the release name: its own name (its export directory) and the
  # import library's DLL name are the release one's, so a program linked against either loads
  # HalvernDriver.dll.
  set(shared ${stage}/windowsx86-64debug/windows/x86-64/shared)
  file(MAKE_DIRECTORY ${shared})
  file(COPY_FILE ${windows_debug_dll} ${shared}/HalvernDriver.dll)
  run_tool(${PYTHON} ${SOURCE_DIR}/vendordep/rename_dll.py ${shared}/HalvernDriver.dll
           HalvernDriver.dll)
  run_tool(${CMAKE_COMMAND} -DDEF=${windows_debug_def} -DDLLTOOL=${WINDOWS_DLLTOOL}
           -DDLL_NAME=HalvernDriver.dll -DOUTPUT=${stage}/windows-debug-lib/HalvernDriver.lib
           -P ${SOURCE_DIR}/cmake/HalvernImportLibrary.cmake)
  file(COPY ${stage}/windows-debug-lib/HalvernDriver.lib DESTINATION ${shared})
  zip_folder(${stage}/windowsx86-64debug ${cpp_dir}/${cpp}-${VERSION}-windowsx86-64debug.zip)
endif()

write_pom(${cpp_dir}/${cpp}-${VERSION}.pom ${cpp} pom
  "HalvernDriver's native library (C and JNI entry points) with its headers and sources")

# The simulators' static library `archive`, less the members of SIM_LEFT_OUT, zipped as
# linux/x86-64/static/libHalvernDriverSim.a in the zip of `classifier`.
function(zip_sim_archive archive classifier)
  set(sim_static ${stage}/sim-${classifier}/linux/x86-64/static)
  set(sim_archive ${sim_static}/libHalvernDriverSim.a)
  file(MAKE_DIRECTORY ${sim_static})
  file(COPY_FILE ${archive} ${sim_archive})
  execute_process(COMMAND ${AR} t ${sim_archive} OUTPUT_VARIABLE members RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${AR} cannot list ${archive}")
  endif()
  string(REGEX REPLACE "\n$" "" members "${members}")
  string(REPLACE "\n" ";" members "${members}")
  set(left_out_members)
  foreach(member IN LISTS members)
    string(REGEX REPLACE "\\..*$" "" stem "${member}")  # SimLidar.cpp.o: SimLidar
    if(stem IN_LIST SIM_LEFT_OUT)
      list(APPEND left_out_members ${member})
    endif()
  endforeach()
  if(left_out_members)
    execute_process(COMMAND ${AR} d ${sim_archive} ${left_out_members} RESULT_VARIABLE result)
    if(result EQUAL 0)
      execute_process(COMMAND ${RANLIB} ${sim_archive} RESULT_VARIABLE result)
    endif()
    if(NOT result EQUAL 0)
      message(FATAL_ERROR "Could not take ${left_out_members} out of ${sim_archive}")
    endif()
  endif()
  zip_folder(${stage}/sim-${classifier} ${sim_dir}/${sim}-${VERSION}-${classifier}.zip)
endfunction()

# The simulators' artifact: halvern_sim's headers in halvern/sim/, where `cmake --install` puts
# them (they include one another by their own names, so they need nothing else of this project),
# and its static library, both less the simulators this build cannot give a program on WPILib's
# HAL (SIM_LEFT_OUT, vendordep/CMakeLists.txt says why).
set(sim HalvernDriver-sim)
if(LINUX_SIM_LIBRARY)
  set(sim_dir ${repo}/${group_path}/${sim}/${VERSION})
  file(MAKE_DIRECTORY ${sim_dir})

  foreach(header IN LISTS SIM_HEADERS)
    get_filename_component(stem ${header} NAME_WE)
    if(NOT stem IN_LIST SIM_LEFT_OUT)
      file(COPY ${header} DESTINATION ${stage}/sim-headers/halvern/sim)
    endif()
  endforeach()
  zip_folder(${stage}/sim-headers ${sim_dir}/${sim}-${VERSION}-headers.zip)

  zip_sim_archive(${LINUX_SIM_LIBRARY} linuxx86-64static)
  zip_sim_archive(${LINUX_SIM_DEBUG_LIBRARY} linuxx86-64staticdebug)

  write_pom(${sim_dir}/${sim}-${VERSION}.pom ${sim} pom
    "HalvernDriver's simulated devices for desktop simulation on WPILib's HAL, a static library")
endif()

# The Java artifact.
set(java HalvernDriver-java)
set(java_dir ${repo}/${group_path}/${java}/${VERSION})
file(MAKE_DIRECTORY ${java_dir})
file(COPY_FILE ${JAR} ${java_dir}/${java}-${VERSION}.jar)
file(COPY_FILE ${SOURCES_JAR} ${java_dir}/${java}-${VERSION}-sources.jar)
file(COPY_FILE ${JAVADOC_JAR} ${java_dir}/${java}-${VERSION}-javadoc.jar)
write_pom(${java_dir}/${java}-${VERSION}.pom ${java} jar
  "HalvernDriver's Java classes (com.halvern.frc); they load the native library HalvernDriver")

file(REMOVE_RECURSE ${stage})

# The vendordep file, checked to be well-formed JSON.
set(json_file ${OUTPUT_DIR}/${JSON_NAME})
configure_file(${JSON_TEMPLATE} ${json_file} @ONLY)
file(READ ${json_file} json)
string(JSON name ERROR_VARIABLE json_error GET "${json}" name)
if(json_error)
  message(FATAL_ERROR "${json_file} is not valid JSON: ${json_error}")
endif()
if(NOT LINUX_SIM_LIBRARY)
  string(JSON count LENGTH "${json}" cppDependencies)
  math(EXPR last "${count} - 1")
  foreach(index RANGE ${last} 0 -1)
    string(JSON artifact GET "${json}" cppDependencies ${index} artifactId)
    if(artifact STREQUAL "HalvernDriver-sim")
      string(JSON json REMOVE "${json}" cppDependencies ${index})
    endif()
  endforeach()
  file(WRITE ${json_file} "${json}\n")
endif()
message(STATUS "Vendordep ${name} ${VERSION}: ${json_file}, Maven repository "
  "${repo} (mavenUrls: ${MAVEN_URL})")
