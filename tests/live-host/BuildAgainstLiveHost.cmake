# Builds the plug-in alone as a live host's build would: another interface header, an import library found only by
# the option, and the headers from the option's directories; then checks the DLL's tables.
# -DSOURCE_DIR= -DWORK_DIR= -DIMPORT_LIBRARY= -DTHIRD_PARTY= -DOBJDUMP=
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR}/host)
# Away from the simulated host's build, so only the option can lead the linker to it.
file(COPY_FILE ${IMPORT_LIBRARY} ${WORK_DIR}/host/version.lib)

execute_process(
  COMMAND ${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${WORK_DIR}/build -G Ninja
          --toolchain ${SOURCE_DIR}/cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release
          -DTIDYWARDEN_HOST_API_HEADER=${SOURCE_DIR}/tests/live-host/host-header.h
          -DTIDYWARDEN_HOST_IMPORT_LIBRARY=${WORK_DIR}/host/version.lib
          -DTIDYWARDEN_THIRD_PARTY_INCLUDE_DIRS=${THIRD_PARTY}
  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "configure failed:\n${output}")
endif()
file(READ ${WORK_DIR}/build/build.ninja rules)
foreach(target IN ITEMS tidywarden-check tidywarden-sandbox tidywarden_host unit_tests)
  if(rules MATCHES "${target}")
    message(FATAL_ERROR "a live host's build makes the plug-in alone, yet it knows ${target}")
  endif()
endforeach()

execute_process(COMMAND ${CMAKE_COMMAND} --build ${WORK_DIR}/build --target Tidywarden -- -v
                RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "build failed:\n${output}")
endif()
if(NOT output MATCHES "TIDYWARDEN_HOST_API_HEADER in use")
  message(FATAL_ERROR "the plug-in was not compiled against the given interface header:\n${output}")
endif()
string(REPLACE "+" "\\+" escaped "${WORK_DIR}/host/version.lib")
if(NOT output MATCHES "${escaped}")
  message(FATAL_ERROR "the plug-in was not linked against the given import library:\n${output}")
endif()

execute_process(COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${OBJDUMP} -DHOST=version.dll
                        -DMODULE=${WORK_DIR}/build/bin/Tidywarden.dll -P ${SOURCE_DIR}/cmake/CheckDllTables.cmake
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the DLL's tables are not a plug-in's")
endif()
message(STATUS "live host build: ${WORK_DIR}/build/bin/Tidywarden.dll")
