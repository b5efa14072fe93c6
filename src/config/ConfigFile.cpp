// Reading a configuration document from its file.
#include "config/ConfigFile.h"

#include <fstream>
#include <utility>

namespace config {

bool ReadDocumentFile(const std::string& path, nlohmann::json& document,
                      const std::function<void(std::istream&)>& afterValue) {
  std::ifstream file(path);
  if (!file.is_open()) return false;
  nlohmann::json parsed;
  file >> parsed;
  if (afterValue) afterValue(file);
  document = std::move(parsed);
  return true;
}

}  // namespace config
