# The folders' ladder, checked on every build: each folder includes only from itself and the folders it builds on.
set(TIDYWARDEN_LADDER
  "src/host:"
  "src/common: src/host"
  "src/config: src/host src/common"
  "src/inventory: src/host src/common src/config"
  "src/purge: src/host src/common src/config"
  "src/guard: src/host src/common src/config"
  "src/plugin: src/host src/common src/config src/inventory src/purge src/guard"
  "tools/check: src/host src/common src/config src/inventory src/purge"
  "sandbox/host: src/host"
  "sandbox/game: src/host sandbox/host"
  "sandbox/rcon:"
  "sandbox/platform:"
  "sandbox/console: src/host src/common tools/check sandbox/host sandbox/game"
  "sandbox/server: src/host src/common tools/check sandbox/host sandbox/game sandbox/rcon sandbox/platform sandbox/console"
  "tools/console: src/common tools/check sandbox/rcon sandbox/platform sandbox/console"
)

set(_ladder_files "")
foreach(_rung IN LISTS TIDYWARDEN_LADDER)
  string(REGEX REPLACE ":.*$" "" _folder "${_rung}")
  file(GLOB _found CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${_folder}/*.h ${PROJECT_SOURCE_DIR}/${_folder}/*.cpp
                                     ${PROJECT_SOURCE_DIR}/${_folder}/*.in)
  list(APPEND _ladder_files ${_found})
endforeach()
set(_ladder_stamp ${PROJECT_BINARY_DIR}/ladder.stamp)
add_custom_command(
  OUTPUT ${_ladder_stamp}
  COMMAND ${CMAKE_COMMAND} -DROOT=${PROJECT_SOURCE_DIR} "-DLADDER=${TIDYWARDEN_LADDER}" -DSTAMP=${_ladder_stamp}
          -P ${CMAKE_CURRENT_LIST_DIR}/CheckLadder.cmake
  DEPENDS ${_ladder_files} ${CMAKE_CURRENT_LIST_DIR}/CheckLadder.cmake
  COMMENT "Checking the folders' ladder"
  VERBATIM)
add_custom_target(ladder ALL DEPENDS ${_ladder_stamp})
