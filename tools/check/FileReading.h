// Reading the file through the plug-in's own reading routine, and what to say when that fails (E100, E101).
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "CheckInternal.h"
#include "Positions.h"

namespace check::detail {

// Why the plug-in's reading refused the file's text.
struct ParseFault {
  enum class Kind {
    Syntax,    // the parser's own error, after `read` characters of a text-mode stream
    Overflow,  // a number too large for a double
    Other,
  };
  Kind kind = Kind::Other;
  std::string what;
  std::size_t read = 0;
};

// The file as the plug-in reads it: its first JSON value, or why that does not parse.
struct PluginReading {
  nlohmann::json document;
  std::optional<std::string> trailing;  // the first characters after the value that are not whitespace
  std::optional<ParseFault> fault;
};

// Reads `path` as the plug-in does; false, with E100 in `report`, when it cannot be read at all.
bool ReadAsThePlugin(const std::string& path, PluginReading& reading, Report& report);

// The file's bytes, as they are on disk.
std::string FileBytes(const std::string& path);

// E101, placed where the plug-in's reading stopped when that can be told.
void ParseFailure(const Positions& positions, const ParseFault& fault, Report& report);

}  // namespace check::detail
