# The Windows cross build: Debian's header-only libraries, GoogleTest from source, and wine to run the tests.

# Windows 7 is the oldest system Asio's IOCP back end and the game's server support. One value for every unit: the
# system headers read it, so units that differ in it could not share a precompiled header.
add_compile_definitions(_WIN32_WINNT=0x0601)

set(TIDYWARDEN_SYSTEM_INCLUDE_DIR /usr/include CACHE PATH "Where Debian's header-only libraries live")
set(TIDYWARDEN_GOOGLETEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources, built with the cross compiler")

# Only these header-only libraries are exposed: the rest of the native /usr/include would shadow mingw's own headers.
if(NOT TIDYWARDEN_THIRD_PARTY_INCLUDE_DIRS)
  set(_links ${PROJECT_BINARY_DIR}/third-party/include)
  file(MAKE_DIRECTORY ${_links})
  foreach(_library spdlog fmt nlohmann CLI utf8cpp boost rapidjson)
    if(NOT IS_DIRECTORY ${TIDYWARDEN_SYSTEM_INCLUDE_DIR}/${_library})
      message(FATAL_ERROR "${TIDYWARDEN_SYSTEM_INCLUDE_DIR}/${_library} is missing; run ./scripts/setup")
    endif()
    file(CREATE_LINK ${TIDYWARDEN_SYSTEM_INCLUDE_DIR}/${_library} ${_links}/${_library} SYMBOLIC)
  endforeach()
  set(TIDYWARDEN_THIRD_PARTY_INCLUDE_DIRS ${_links})
endif()

# The package's CMake config would add all of /usr/include; the headers are already reachable through the links.
tidywarden_json_from_include_dirs()

if(TIDYWARDEN_BUILD_TESTS)
  # Debian's GTest package holds native libraries only; its sources build with the cross compiler.
  set(BUILD_GMOCK OFF)
  set(INSTALL_GTEST OFF)
  add_subdirectory(${TIDYWARDEN_GOOGLETEST_SOURCE_DIR} ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
endif()

# Tests run under wine in a prefix of the build's own, so nothing of the user's wine setup leaks in or out. A build
# on Windows itself (a live host's) runs nothing here.
if(NOT CMAKE_CROSSCOMPILING)
  return()
endif()
find_program(TIDYWARDEN_WINE wine64 HINTS /usr/lib/wine)
find_program(TIDYWARDEN_WINESERVER NAMES wineserver64 wineserver HINTS /usr/lib/wine)
if(NOT CMAKE_CROSSCOMPILING_EMULATOR AND TIDYWARDEN_WINE AND TIDYWARDEN_WINESERVER)
  set(TIDYWARDEN_WINEPREFIX ${PROJECT_BINARY_DIR}/wineprefix)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-run.in ${PROJECT_BINARY_DIR}/wine-run @ONLY
                 FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${PROJECT_BINARY_DIR}/wine-run)

  # ctest fixture "wine": one persistent wineserver for all test programs, so none pays its start-up.
  if(TIDYWARDEN_BUILD_TESTS)
    add_test(NAME wine.start COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} --start)
    add_test(NAME wine.stop COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} --stop)
    # Creating the prefix takes seconds on an idle machine and can take minutes on a busy one.
    set_tests_properties(wine.start PROPERTIES FIXTURES_SETUP wine TIMEOUT 900)
    set_tests_properties(wine.stop PROPERTIES FIXTURES_CLEANUP wine)
  endif()
elseif(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  message(WARNING "wine64 not found: the Windows tests are built but cannot run")
endif()
