// The module loaded once per process, failure reports and the expected texts of the fuzz targets.
#include "FuzzSupport.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace fuzz {

void Fail(const std::string& what) {
  std::fprintf(stderr, "fuzz property broken: %s\n", what.c_str());
  std::fflush(stderr);
  std::abort();
}

LoadedPlugin::LoadedPlugin()
    : directory_(std::filesystem::temp_directory_path() / ("tidywarden-fuzz-" + std::to_string(::getpid()))) {
  std::filesystem::create_directories(ConfigPath().parent_path());
  sandbox::SetCurrentDir(directory_.generic_string());
  WriteConfig("{}");
  module_.Load(TIDYWARDEN_PLUGIN_PATH);
}

LoadedPlugin::~LoadedPlugin() {
  module_.Unload();
  std::error_code ignored;
  std::filesystem::remove_all(directory_, ignored);
}

std::filesystem::path LoadedPlugin::ConfigPath() const { return directory_ / "ArkApi/Plugins/Tidywarden/config.json"; }

void LoadedPlugin::WriteConfig(std::string_view bytes) {
  std::ofstream file(ConfigPath(), std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::vector<sandbox::Reply> LoadedPlugin::Reload() {
  sandbox::Connection connection;
  sandbox::ExecuteRcon(connection, "Tidywarden.reload");
  return connection.replies;
}

LoadedPlugin& Plugin() {
  static LoadedPlugin plugin;
  return plugin;
}

std::vector<std::u16string> Words(std::u16string_view line) {
  std::vector<std::u16string> words;
  std::u16string word;
  for (const char16_t unit : line) {
    if (unit == u'\0') break;
    if (unit != u' ') {
      word.push_back(unit);
      continue;
    }
    if (!word.empty()) words.push_back(word);
    word.clear();
  }
  if (!word.empty()) words.push_back(word);
  return words;
}

std::string StructuresReply(int count) { return "清理指定建筑" + std::to_string(count) + "个，执行完毕！"; }
std::string DinosReply(int count) { return "清理指定恐龙" + std::to_string(count) + "条，执行完毕！"; }

}  // namespace fuzz
