// Building the simulated world from a JSON world file, or from the built-in demo world.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

namespace sandbox::server {

// Adds the file's classes, creatures, structures, inventories and engrams to the game. Throws
// std::runtime_error naming the entry at fault; nothing is half-built from a file that fails to validate.
void BuildWorld(const nlohmann::json& world);
nlohmann::json ReadWorldFile(const std::string& path);
nlohmann::json DemoWorld();
// The demo configuration as its file holds it, for writing into a server directory.
const char* DemoConfigText();

}  // namespace sandbox::server
