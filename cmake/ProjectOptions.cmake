# Per-target warning and sanitizer helpers.

# Where the header-only spdlog, fmt and nlohmann/json come from: empty for Debian's (the cross build links them in
# from /usr/include), or directories holding spdlog/, fmt/ and nlohmann/, such as a live host's own copies.
set(TIDYWARDEN_THIRD_PARTY_INCLUDE_DIRS "" CACHE STRING "Directories with spdlog/, fmt/ and nlohmann/ headers to use instead of Debian's")

# The JSON library from TIDYWARDEN_THIRD_PARTY_INCLUDE_DIRS, whichever copy it is, held to the 3.11 the sources are
# written for. Its package's CMake config is not used: it would add all of its own include directory.
function(tidywarden_json_from_include_dirs)
  set(_json_abi "")
  foreach(_directory IN LISTS TIDYWARDEN_THIRD_PARTY_INCLUDE_DIRS)
    if(NOT _json_abi AND EXISTS ${_directory}/nlohmann/detail/abi_macros.hpp)
      set(_json_abi ${_directory}/nlohmann/detail/abi_macros.hpp)
    endif()
  endforeach()
  if(NOT _json_abi)
    message(FATAL_ERROR "nlohmann/json 3.11 is required: no nlohmann/detail/abi_macros.hpp in ${TIDYWARDEN_THIRD_PARTY_INCLUDE_DIRS}")
  endif()
  file(STRINGS ${_json_abi} _json_minor REGEX "#define NLOHMANN_JSON_VERSION_MINOR ")
  if(NOT _json_minor MATCHES "MINOR 11 ")
    message(FATAL_ERROR "nlohmann/json 3.11 is required: ${_json_minor}")
  endif()
  add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
endfunction()

function(tidywarden_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 /WX)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
  endif()
endfunction()

function(tidywarden_sanitizers target)
  if(NOT TIDYWARDEN_SANITIZE)
    return()
  endif()
  target_compile_options(${target} PRIVATE -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_link_options(${target} PRIVATE -fsanitize=address,undefined)
endfunction()

# Code that goes into the plug-in module: only the host's functions are visible from outside, and g++ must not
# mark symbols unique, or the loader could never unmap the module and a reload would keep the old state.
function(tidywarden_module_code target)
  set_target_properties(${target} PROPERTIES CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND NOT WIN32)
    target_compile_options(${target} PRIVATE -fno-gnu-unique)
  endif()
endfunction()

# The path of `file`, one of `target`'s sources, as the build hands it to the compiler: what __FILE__ gives there.
function(tidywarden_compiled_path variable target file)
  get_target_property(sources ${target} SOURCES)
  get_target_property(directory ${target} SOURCE_DIR)
  cmake_path(ABSOLUTE_PATH file BASE_DIRECTORY "${directory}" NORMALIZE OUTPUT_VARIABLE wanted)
  foreach(source IN LISTS sources)
    cmake_path(ABSOLUTE_PATH source BASE_DIRECTORY "${directory}" NORMALIZE OUTPUT_VARIABLE path)
    if(path STREQUAL wanted)
      set(${variable} "${path}" PARENT_SCOPE)
      return()
    endif()
  endforeach()
  message(FATAL_ERROR "${file} is not a source of ${target}")
endfunction()

# The tests' own units are built for debugging: the code under test is built as the preset says, in its libraries and
# in the module. Test bodies at -O2 cost half as much again as at -Og. Not -O0: a library template the tests also
# use is linked from the tests' copy, and at -O0 the JSON library's parser reads four times slower.
function(tidywarden_test_code target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /Od)
  else()
    target_compile_options(${target} PRIVATE -Og)
  endif()
endfunction()

# One precompiled header for every test program: the test framework, the JSON library and the standard headers
# the tests use. The first program to ask makes it; the others reuse it, as their compile options are the same.
function(tidywarden_test_pch target)
  get_property(owner GLOBAL PROPERTY TIDYWARDEN_TEST_PCH_OWNER)
  if(owner)
    target_precompile_headers(${target} REUSE_FROM ${owner})
    return()
  endif()
  set_property(GLOBAL PROPERTY TIDYWARDEN_TEST_PCH_OWNER ${target})
  target_precompile_headers(${target} PRIVATE
    <algorithm> <chrono> <filesystem> <fstream> <functional> <map> <memory> <optional> <regex> <set> <sstream>
    <string> <string_view> <thread> <utility> <vector>
    <gtest/gtest.h> <nlohmann/json.hpp>)
endfunction()
