// Reading a configuration document from its file, with nothing of the host: the plug-in and its checker share it.
#pragma once

#include <functional>
#include <istream>
#include <string>

#include <nlohmann/json.hpp>

namespace config {

// Where the configuration lives below the server's working directory.
inline constexpr const char* kConfigPathInServerDir = "/ArkApi/Plugins/Tidywarden/config.json";

// Opens `path` for input in text mode; false when it does not open. When it does, the stream's first JSON value
// is extracted (a parse error is thrown) and only then replaces `document`. Whatever follows the value is left
// unread; `afterValue`, when given, receives the stream positioned right after it.
bool ReadDocumentFile(const std::string& path, nlohmann::json& document,
                      const std::function<void(std::istream&)>& afterValue = {});

}  // namespace config
