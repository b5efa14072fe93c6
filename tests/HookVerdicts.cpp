// Driving the loaded plug-in's hooks with a configuration, list by list, and comparing with the checker.
#include "HookVerdicts.h"

#include <regex>
#include <sstream>

#include <nlohmann/json.hpp>

#include "sandbox/game/GameWorld.h"
#include "sandbox/host/Sandbox.h"

namespace verdicts {
namespace {

namespace game = sandbox::game;
using game::GameObject;
using game::Kind;
using nlohmann::json;

// Paths no configuration of the tests lists, so an add walks the whole item list and the neutral creature has no
// level entry unless a configuration names it on purpose.
const std::string kProbeItemName = "CheckProbeItem_C";
const std::string kProbeItemPackage = "/Game/CheckProbe/CheckProbeItem";
const std::string kNeutralPathStart = "Blueprint'/Game/CheckProbe/Neutral";

// The messages of the error lines logged since the recorder was last cleared.
std::vector<std::string> LoggedFailures() {
  static const std::regex kLine(R"(^\d\d/\d\d/\d\d \d\d:\d\d \[[^\]]*\]\[error\] ([\s\S]*)$)");
  std::vector<std::string> messages;
  for (const std::string& line : sandbox::LogRecorder()->Lines()) {
    std::smatch match;
    messages.push_back(std::regex_match(line, match, kLine) ? match[1].str() : "unexpected log line: " + line);
  }
  sandbox::LogRecorder()->Clear();
  return messages;
}

// The document as the plug-in reads it: the first JSON value of the text.
json FirstValue(const std::string& text) {
  std::istringstream stream(text);
  json document;
  try {
    stream >> document;
  } catch (const std::exception&) {
    return json();
  }
  return document;
}

// A creature class whose path, as the spawn filter derives it, is `path`; null when no class can have it.
GameObject* CreatureClassWithPath(const std::string& path, int index) {
  constexpr std::string_view kPrefix = "Blueprint'";
  if (path.size() <= kPrefix.size() || path.rfind(kPrefix, 0) != 0 || path.back() != '\'') return nullptr;
  // The filter drops the reference's last two characters and wraps the rest.
  game::ClassDefinition definition;
  definition.name = "CheckProbeCreature" + std::to_string(index) + "_C";
  definition.package = "/Game/CheckProbe/Creature" + std::to_string(index);
  definition.kind = Kind::Creature;
  definition.reference = path.substr(kPrefix.size(), path.size() - kPrefix.size() - 1) + "_C";
  return game::DefineClass(definition);
}

std::vector<const check::Finding*> ErrorsWithCodes(const check::Findings& findings,
                                                   std::initializer_list<std::string_view> codes) {
  std::vector<const check::Finding*> errors;
  for (const auto& finding : findings) {
    for (const auto code : codes) {
      if (finding.code == code) errors.push_back(&finding);
    }
  }
  return errors;
}

std::string EntryPointer(const std::string& path) {
  return (json::json_pointer("/DestroyDinoLevel") / path).to_string();
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& line : lines) text += "\n    " + line;
  return text.empty() ? " (nothing)" : text;
}

}  // namespace

HookFailures DriveHooks(const std::string& text, const Install& install) {
  HookFailures failures;
  game::ResetGame();
  sandbox::LogRecorder()->Clear();
  if (!install(text)) {
    LoggedFailures();
    return failures;
  }
  failures.loaded = true;
  LoggedFailures();

  // The inventory hooks: each meets a fresh document, as the in-memory one changes as they read it.
  GameObject* itemClass = game::DefineClass(kProbeItemName, kProbeItemPackage, Kind::Item);
  GameObject* controller = game::NewController();
  const auto inventoryWithItem = [&] {
    GameObject* inventory = game::NewInventory();
    game::PutItem(inventory, game::NewItem(itemClass));
    return inventory;
  };
  game::ViewRemoteInventory(controller, inventoryWithItem());
  install(text);
  game::AddToInventory(game::NewItem(itemClass), game::NewInventory());
  install(text);
  game::FinishReceivingItems(controller, inventoryWithItem());
  failures.itemLines = LoggedFailures();

  // The spawn filter with a creature that has no level entry: only the list check or the document can fail.
  const json document = FirstValue(text);
  const json* levels = nullptr;
  if (document.is_object() && document.contains("DestroyDinoLevel") && document.at("DestroyDinoLevel").is_object()) {
    levels = &document.at("DestroyDinoLevel");
  }
  std::string neutral = kNeutralPathStart + ".Neutral'";
  for (int i = 0; levels != nullptr && levels->contains(neutral); ++i) {
    neutral = kNeutralPathStart + std::to_string(i) + ".Neutral'";
  }
  install(text);
  game::SpawnCreature(CreatureClassWithPath(neutral, -1), 10, 0);
  failures.creatureLines = LoggedFailures();

  // The level check of a creature of each name, without the list check in front of it.
  if (levels == nullptr) return failures;
  json withoutList = document;
  withoutList.erase("DestroyDinolist");
  install(withoutList.dump());
  LoggedFailures();
  int index = 0;
  for (auto entry = levels->begin(); entry != levels->end(); ++entry, ++index) {
    const std::string& path = entry.key();
    GameObject* creature = nullptr;
    if (path.empty()) {
      creature = game::NewCreature(nullptr, 10, 0);
    } else if (GameObject* cls = CreatureClassWithPath(path, index)) {
      creature = game::NewCreature(cls, 10, 0);
    } else {
      continue;
    }
    game::DinoBeginPlay(creature);
    const auto lines = LoggedFailures();
    failures.levelLines[path] = lines.empty() ? std::string() : lines.front();
  }
  return failures;
}

std::vector<std::string> Disagreements(const check::Findings& findings, const HookFailures& hooks) {
  std::vector<std::string> problems;
  const bool parseError = !ErrorsWithCodes(findings, {"E101"}).empty();
  if (!hooks.loaded || parseError) {
    if (hooks.loaded != !parseError) {
      problems.push_back(hooks.loaded ? "the checker reports a parse error, the plug-in reloaded the file"
                                      : "the plug-in did not reload the file, the checker reports no parse error");
    }
    return problems;
  }

  // The hooks stop at the first failing member in key order; the checker reports that one first.
  const auto compareList = [&](const char* list, std::initializer_list<std::string_view> codes,
                               const std::vector<std::string>& logged) {
    const auto errors = ErrorsWithCodes(findings, codes);
    if (errors.empty() && logged.empty()) return;
    if (errors.empty() || errors.front()->log != logged) {
      problems.push_back(std::string(list) + ": the hooks logged" + Joined(logged) + "\n  the checker expects" +
                         Joined(errors.empty() ? std::vector<std::string>{} : errors.front()->log.Lines()));
    }
  };
  compareList("Destroylist", {"E110", "E111", "E112"}, hooks.itemLines);
  compareList("DestroyDinolist", {"E120", "E121", "E122"}, hooks.creatureLines);

  const auto levelErrors = ErrorsWithCodes(findings, {"E132"});
  for (const auto& [path, line] : hooks.levelLines) {
    const std::string entry = EntryPointer(path);
    const check::Finding* error = nullptr;
    for (const auto* candidate : levelErrors) {
      if (candidate->pointer == entry || candidate->pointer == entry + "/ExceedSestructionLevel") error = candidate;
    }
    const std::vector<std::string> expected = error == nullptr ? std::vector<std::string>{} : error->log.Lines();
    const std::vector<std::string> logged = line.empty() ? std::vector<std::string>{} : std::vector<std::string>{line};
    if (expected != logged) {
      problems.push_back("DestroyDinoLevel entry " + path + ": the hooks logged" + Joined(logged) +
                         "\n  the checker expects" + Joined(expected));
    }
  }
  // An error for a name that no creature can have would be one that no spawn ever shows.
  for (const auto* error : levelErrors) {
    bool driven = false;
    for (const auto& [path, line] : hooks.levelLines) {
      const std::string entry = EntryPointer(path);
      driven = driven || error->pointer == entry || error->pointer == entry + "/ExceedSestructionLevel";
    }
    if (!driven) problems.push_back("an E132 at " + error->pointer + " that no creature can reach");
  }
  return problems;
}

}  // namespace verdicts
