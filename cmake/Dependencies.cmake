# tidywarden_deps: the header-only libraries every target uses (spdlog, fmt, nlohmann/json), and spdlog's code.

# spdlog's code is compiled once, in deps/Spdlog.cpp: in every unit that logs it costs seconds of code generation.
# A copy of spdlog too old to have its code in separate headers is used header-only, as it comes.
set(_spdlog_code FALSE)
foreach(_directory IN LISTS TIDYWARDEN_THIRD_PARTY_INCLUDE_DIRS)
  if(EXISTS ${_directory}/spdlog/logger-inl.h)
    set(_spdlog_code TRUE)
  endif()
endforeach()
if(NOT TIDYWARDEN_THIRD_PARTY_INCLUDE_DIRS AND EXISTS /usr/include/spdlog/logger-inl.h)
  set(_spdlog_code TRUE)
endif()

if(_spdlog_code)
  add_library(tidywarden_deps STATIC ${PROJECT_SOURCE_DIR}/deps/Spdlog.cpp)
  set(_scope PUBLIC)
  target_compile_definitions(tidywarden_deps PUBLIC SPDLOG_COMPILED_LIB)
  # Its code goes into the plug-in module like the plug-in's own.
  tidywarden_module_code(tidywarden_deps)
  tidywarden_sanitizers(tidywarden_deps)
else()
  add_library(tidywarden_deps INTERFACE)
  set(_scope INTERFACE)
endif()
target_compile_definitions(tidywarden_deps ${_scope} SPDLOG_FMT_EXTERNAL FMT_HEADER_ONLY [[SPDLOG_EOL="\n"]])
target_link_libraries(tidywarden_deps ${_scope} nlohmann_json::nlohmann_json Threads::Threads)
target_include_directories(tidywarden_deps SYSTEM ${_scope} ${TIDYWARDEN_THIRD_PARTY_INCLUDE_DIRS})
