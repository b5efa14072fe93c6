// Reading the RCON password's file.
#include "PasswordFile.h"

#include <fstream>
#include <stdexcept>

namespace sandbox::rcon {

std::string ReadPasswordFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file.is_open()) throw std::runtime_error("cannot open " + path);
  std::string line;
  std::getline(file, line);
  if (file.bad()) throw std::runtime_error("cannot read " + path);
  if (line.rfind("\xEF\xBB\xBF", 0) == 0) line.erase(0, 3);
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
  if (line.empty()) throw std::runtime_error("the first line of " + path + " is empty");
  return line;
}

}  // namespace sandbox::rcon
