# The ladder check against planted files: each climb, and each call of the host outside src/host, fails the build
# with its file named; a file that only includes downwards passes.
# cmake -DSOURCE_DIR= -DWORK_DIR= -P PlantedClimbs.cmake
cmake_minimum_required(VERSION 3.25)

set(ladder "src/host:" "src/common: src/host" "src/config: src/host src/common" "src/plugin: src/host src/common src/config"
           "sandbox/host: src/host" "sandbox/server: src/host sandbox/host" "tools/check: src/host")
# name | planted file | its text | what the check must say, or PASS
set(cases
  "config includes plugin|src/config/Planted.cpp|#include \"plugin/Plugin.h\"|src/config/Planted.cpp includes \"plugin/Plugin.h\" of src/plugin: src/config builds on src/host, src/common"
  "host includes common|src/host/Planted.h|#  include \"common/Log.h\"|src/host/Planted.h includes \"common/Log.h\" of src/common: src/host builds on none"
  "sandbox host includes server|sandbox/host/Planted.cpp|#include \"sandbox/server/Main.h\"|of sandbox/server: sandbox/host builds on src/host"
  "config calls the host|src/config/Planted.cpp|auto dir = ArkApi::Tools::GetCurrentDir()|src/config/Planted.cpp reaches the host outside src/host"
  "common includes the host's declarations|src/common/Planted.cpp|#include \"host/HostApi.h\"|src/common/Planted.cpp reaches the host outside src/host"
  "config includes plugin by a bare name|src/config/Planted.cpp|#include \"Plugin.h\"|src/config/Planted.cpp includes \"Plugin.h\" of src/plugin"
  "sandbox host includes a tool's header|sandbox/host/Planted.cpp|#include \"tools/check/Check.h\"|of tools/check: sandbox/host builds on src/host"
  "plugin includes downwards|src/plugin/Planted.cpp|#include \"config/Config.h\"|PASS"
  "src/host calls the host|src/host/Planted.cpp|auto dir = ArkApi::Tools::GetCurrentDir()|PASS"
  "a bare name of the folder's own header|src/plugin/Planted.cpp|#include \"Plugin.h\"|PASS"
)

set(failures "")
foreach(case IN LISTS cases)
  string(REPLACE "|" ";" fields "${case}")
  list(GET fields 0 name)
  list(GET fields 1 planted)
  list(GET fields 2 text)
  list(GET fields 3 expected)
  set(tree ${WORK_DIR}/tree)
  file(REMOVE_RECURSE ${tree})
  foreach(folder IN ITEMS src/host src/common src/config src/plugin sandbox/host sandbox/server tools/check)
    file(MAKE_DIRECTORY ${tree}/${folder})
  endforeach()
  file(WRITE ${tree}/src/plugin/Plugin.h "#pragma once\n")
  file(WRITE ${tree}/tools/check/Check.h "#pragma once\n")
  file(WRITE ${tree}/${planted} "// planted\n${text}\n")
  execute_process(COMMAND ${CMAKE_COMMAND} -DROOT=${tree} "-DLADDER=${ladder}" -P ${SOURCE_DIR}/cmake/CheckLadder.cmake
                  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
  string(REGEX REPLACE "[ \t\r\n]+" " " output "${output}")
  if(expected STREQUAL "PASS")
    if(NOT status EQUAL 0)
      string(APPEND failures "\n  ${name}: should pass, failed with: ${output}")
    endif()
  elseif(status EQUAL 0)
    string(APPEND failures "\n  ${name}: passed, but should have failed")
  else()
    string(FIND "${output}" "${expected}" at)
    if(at EQUAL -1)
      string(APPEND failures "\n  ${name}: failed without saying '${expected}': ${output}")
    endif()
  endif()
endforeach()
file(REMOVE_RECURSE ${WORK_DIR}/tree)
if(failures)
  message(FATAL_ERROR "the ladder check:${failures}")
endif()
