// The servers a live console serves: one from the command line, or a cluster's list from a file.
#pragma once

#include <string>
#include <vector>

namespace live {

struct ServerEntry {
  std::string name;
  std::string serverDir;
  std::string rcon = "127.0.0.1:27020";
  std::string passwordFile;  // empty: the page asks for the password
  std::string log;           // empty: the newest .log file below serverDir/ArkApi
};

// A JSON list of {"name", "serverDir", "rcon", "passwordFile", "log"}; only name and serverDir are required, and
// names are unique. Throws std::runtime_error saying what is wrong, and where.
std::vector<ServerEntry> ParseServers(const std::string& jsonText);
std::vector<ServerEntry> ReadServersFile(const std::string& path);

}  // namespace live
