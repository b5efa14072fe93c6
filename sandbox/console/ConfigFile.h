// config.json as the console reads and saves it: the text, the checker's findings, and a save that never loses it.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "Check.h"

namespace sandbox::console {

// The file's bytes; nothing (and `exists` false) when there is no file. Throws std::runtime_error when a file that
// exists cannot be read.
struct ConfigText {
  bool exists = false;
  std::string text;
};
ConfigText ReadConfig(const std::string& path);

// Writes `text` beside the file under a temporary name, flushes it to the disk, keeps the old file as
// `<path>.bak` and renames the new one over it. Throws std::runtime_error saying why; the file is then as it was.
void SaveConfig(const std::string& path, const std::string& text);

// The checker's findings on the file, as the API gives them: [{severity, code, pointer, message, effect, log}].
nlohmann::json FindingsJson(const std::string& path, check::Language language = check::Language::English);

// The checker's findings on a text not saved yet, read from a temporary file of its own (the checker reads files as
// the plug-in does). Throws std::runtime_error when that file cannot be written.
nlohmann::json FindingsOfText(const std::string& text, check::Language language = check::Language::English);

bool IsValidUtf8(const std::string& text);

}  // namespace sandbox::console
