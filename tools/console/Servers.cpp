// Reading the cluster's list of servers.
#include "Servers.h"

#include <fstream>
#include <set>
#include <sstream>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "RconClient.h"

namespace live {
namespace {

using nlohmann::json;

std::string Text(const json& entry, const char* key, std::size_t index, bool required) {
  const auto found = entry.find(key);
  const std::string where = "server " + std::to_string(index + 1);
  if (found == entry.end() || found->is_null()) {
    if (required) throw std::runtime_error(where + " has no \"" + key + "\"");
    return {};
  }
  if (!found->is_string()) throw std::runtime_error(where + ": \"" + key + "\" must be a string");
  const std::string value = found->get<std::string>();
  if (required && value.empty()) throw std::runtime_error(where + ": \"" + key + "\" is empty");
  return value;
}

}  // namespace

std::vector<ServerEntry> ParseServers(const std::string& jsonText) {
  const json list = json::parse(jsonText, nullptr, false);
  if (list.is_discarded()) throw std::runtime_error("the list of servers is not JSON");
  if (!list.is_array() || list.empty()) throw std::runtime_error("the list of servers must be a non-empty JSON array");
  std::vector<ServerEntry> servers;
  std::set<std::string> names;
  for (std::size_t i = 0; i < list.size(); ++i) {
    const json& entry = list[i];
    if (!entry.is_object()) throw std::runtime_error("server " + std::to_string(i + 1) + " is not an object");
    ServerEntry server;
    server.name = Text(entry, "name", i, true);
    server.serverDir = Text(entry, "serverDir", i, true);
    if (std::string rcon = Text(entry, "rcon", i, false); !rcon.empty()) server.rcon = std::move(rcon);
    server.passwordFile = Text(entry, "passwordFile", i, false);
    server.log = Text(entry, "log", i, false);
    if (!ParseRconAddress(server.rcon)) {
      throw std::runtime_error("server " + server.name + ": \"rcon\" is not HOST:PORT: " + server.rcon);
    }
    if (!names.insert(server.name).second) throw std::runtime_error("two servers are named " + server.name);
    servers.push_back(std::move(server));
  }
  return servers;
}

std::vector<ServerEntry> ReadServersFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file.is_open()) throw std::runtime_error("cannot open " + path);
  std::ostringstream text;
  text << file.rdbuf();
  try {
    return ParseServers(text.str());
  } catch (const std::runtime_error& error) {
    throw std::runtime_error(path + ": " + error.what());
  }
}

}  // namespace live
