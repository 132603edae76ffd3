# Writes the vendordep (run by the `vendordep` target of vendordep/CMakeLists.txt, which passes
# every -D below): a Maven repository under OUTPUT_DIR/repo and OUTPUT_DIR/HalvernDriver.json.
#
#   <group as path>/HalvernDriver-cpp/<version>/
#     HalvernDriver-cpp-<version>-headers.zip        include/'s contents at the root (halvern/*.h)
#     HalvernDriver-cpp-<version>-sources.zip        src/ and include/
#     HalvernDriver-cpp-<version>-linuxx86-64.zip    linux/x86-64/shared/libHalvernDriver.so
#     HalvernDriver-cpp-<version>-windowsx86-64.zip  windows/x86-64/shared/HalvernDriver.dll, .lib
#     HalvernDriver-cpp-<version>.pom
#   <group as path>/HalvernDriver-sim/<version>/
#     HalvernDriver-sim-<version>-headers.zip              halvern/sim/*.h, as they install
#     HalvernDriver-sim-<version>-linuxx86-64static.zip    linux/x86-64/static/libHalvernDriverSim.a
#     HalvernDriver-sim-<version>.pom
#   <group as path>/HalvernDriver-java/<version>/
#     HalvernDriver-java-<version>.jar, -sources.jar, -javadoc.jar, .pom
#
# The one native library serves C++ robot programs (cppDependencies) and, through its JNI entry
# points, Java ones (jniDependencies): both name the HalvernDriver-cpp platform zips. The
# simulated devices are a static library for desktop simulation only (simMode swsim), which is
# why their platform zip's classifier, as WPILib's tools ask for a static library's, ends in
# "static". They are shipped for Linux alone: the Windows build's are mingw-compiled C++, which
# an MSVC-built robot program cannot link.
cmake_minimum_required(VERSION 3.25)

foreach(var SOURCE_DIR OUTPUT_DIR VERSION GROUP_ID UUID FRC_YEAR MAVEN_URL JSON_URL LINUX_LIBRARY
            LINUX_SIM_LIBRARY SIM_HEADERS AR RANLIB WINDOWS_DIR JAR SOURCES_JAR JAVADOC_JAR)
  if(NOT DEFINED ${var} OR "${${var}}" STREQUAL "")
    message(FATAL_ERROR "make_vendordep.cmake: -D${var}=... is missing")
  endif()
endforeach()

# Everything it ships must be there before anything is written.
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
string(REPLACE "|" ";" SIM_HEADERS "${SIM_HEADERS}")
string(REPLACE "|" ";" SIM_LEFT_OUT "${SIM_LEFT_OUT}")
foreach(file ${LINUX_LIBRARY} ${LINUX_SIM_LIBRARY} ${SIM_HEADERS} ${JAR} ${SOURCES_JAR}
             ${JAVADOC_JAR})
  if(NOT EXISTS ${file})
    message(FATAL_ERROR "The vendordep needs ${file}, which is missing")
  endif()
endforeach()

# A Windows library older than the sources is shipped all the same, with a warning.
file(GLOB_RECURSE sources ${SOURCE_DIR}/src/* ${SOURCE_DIR}/include/*)
file(TIMESTAMP ${windows_dll} dll_time "%s" UTC)
foreach(source IN LISTS sources)
  file(TIMESTAMP ${source} source_time "%s" UTC)
  if(source_time GREATER dll_time)
    message(WARNING "${windows_dll} is older than ${source}: rebuild the Windows library "
      "(cmake --build ${WINDOWS_DIR} --target HalvernDriver) to ship the current sources.")
    break()
  endif()
endforeach()

set(repo ${OUTPUT_DIR}/repo)
set(stage ${OUTPUT_DIR}/stage)
file(REMOVE_RECURSE ${repo} ${stage} ${OUTPUT_DIR}/HalvernDriver.json)
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

# The build's copy looks for its platform libraries in the build: the shipped one beside itself.
set(linux_shared ${stage}/linuxx86-64/linux/x86-64/shared)
file(COPY ${LINUX_LIBRARY} DESTINATION ${linux_shared})
get_filename_component(linux_name ${LINUX_LIBRARY} NAME)
file(RPATH_SET FILE ${linux_shared}/${linux_name} NEW_RPATH "$ORIGIN")
zip_folder(${stage}/linuxx86-64 ${cpp_dir}/${cpp}-${VERSION}-linuxx86-64.zip)

file(COPY ${windows_dll} ${windows_lib} DESTINATION ${stage}/windowsx86-64/windows/x86-64/shared)
zip_folder(${stage}/windowsx86-64 ${cpp_dir}/${cpp}-${VERSION}-windowsx86-64.zip)

write_pom(${cpp_dir}/${cpp}-${VERSION}.pom ${cpp} pom
  "HalvernDriver's native library (C and JNI entry points) with its headers and sources")

# The simulators' artifact: halvern_sim's headers in halvern/sim/, where `cmake --install` puts
# them (they include one another by their own names, so they need nothing else of this project),
# and its static library, both less the simulators this build cannot give a program on WPILib's
# HAL (SIM_LEFT_OUT, vendordep/CMakeLists.txt says why).
set(sim HalvernDriver-sim)
set(sim_dir ${repo}/${group_path}/${sim}/${VERSION})
file(MAKE_DIRECTORY ${sim_dir})

foreach(header IN LISTS SIM_HEADERS)
  get_filename_component(stem ${header} NAME_WE)
  if(NOT stem IN_LIST SIM_LEFT_OUT)
    file(COPY ${header} DESTINATION ${stage}/sim-headers/halvern/sim)
  endif()
endforeach()
zip_folder(${stage}/sim-headers ${sim_dir}/${sim}-${VERSION}-headers.zip)

set(sim_static ${stage}/sim-linuxx86-64/linux/x86-64/static)
set(sim_archive ${sim_static}/libHalvernDriverSim.a)
file(MAKE_DIRECTORY ${sim_static})
file(COPY_FILE ${LINUX_SIM_LIBRARY} ${sim_archive})
execute_process(COMMAND ${AR} t ${sim_archive} OUTPUT_VARIABLE members RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${AR} cannot list ${LINUX_SIM_LIBRARY}")
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
zip_folder(${stage}/sim-linuxx86-64 ${sim_dir}/${sim}-${VERSION}-linuxx86-64static.zip)

write_pom(${sim_dir}/${sim}-${VERSION}.pom ${sim} pom
  "HalvernDriver's simulated devices for desktop simulation on WPILib's HAL, a static library")

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
configure_file(${CMAKE_CURRENT_LIST_DIR}/HalvernDriver.json.in ${OUTPUT_DIR}/HalvernDriver.json
  @ONLY)
file(READ ${OUTPUT_DIR}/HalvernDriver.json json)
string(JSON name ERROR_VARIABLE json_error GET "${json}" name)
if(json_error)
  message(FATAL_ERROR "${OUTPUT_DIR}/HalvernDriver.json is not valid JSON: ${json_error}")
endif()
message(STATUS "Vendordep ${name} ${VERSION}: ${OUTPUT_DIR}/HalvernDriver.json, Maven repository "
  "${repo} (mavenUrls: ${MAVEN_URL})")
