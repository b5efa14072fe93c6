// A world made from an administrator's configuration, so every listed path can be tried against something.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

namespace sandbox::console {

struct ConfigWorld {
  nlohmann::json world;      // a world file
  nlohmann::json unmatched;  // [{path, code, message}]: paths no class can have, and why
};

// From the configuration's text and the checker's findings on it (FindingsJson). An item class for each item path,
// each building a structure of its own (a few placed); a creature class for each creature path, with creatures
// below, at and above its threshold on teams either side of the creature command's limit; a chest holding one of
// each listed item and one unlisted item. Throws std::runtime_error when the text is not JSON.
ConfigWorld WorldFromConfig(const std::string& configText, const nlohmann::json& findings);

}  // namespace sandbox::console
