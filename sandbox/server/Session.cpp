// The sandbox's own commands, which drive game events and show the world before and after the plug-in acts.
#include "sandbox/server/Session.h"

#include <algorithm>
#include <charconv>
#include <functional>
#include <map>
#include <span>
#include <sstream>
#include <stdexcept>

#include "Check.h"
#include "common/Wording.h"
#include "sandbox/console/WorldJson.h"
#include "sandbox/host/Text.h"
#include "sandbox/server/Platform.h"

namespace sandbox::server {
namespace {

using console::CreaturePathOf;

using game::GameObject;
using game::Kind;

std::vector<std::string> SplitWords(const std::string& line) {
  std::vector<std::string> words;
  std::istringstream stream(line);
  for (std::string word; stream >> word;) words.push_back(word);
  return words;
}

std::int32_t IntArgument(const std::vector<std::string>& words, std::size_t index, std::int32_t fallback) {
  if (index >= words.size()) return fallback;
  std::int32_t value = 0;
  const auto& word = words[index];
  const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
  if (error != std::errc() || end != word.data() + word.size()) throw std::runtime_error("not a number: " + word);
  return value;
}

GameObject* ClassArgument(const std::vector<std::string>& words, std::size_t index) {
  if (index >= words.size()) throw std::runtime_error("a class name is missing");
  GameObject* cls = game::FindClass(words[index]);
  if (cls == nullptr) throw std::runtime_error("unknown class " + words[index] + " (see sandbox.classes)");
  return cls;
}

GameObject* InventoryArgument(const std::vector<std::string>& words, std::size_t index) {
  if (index >= words.size()) throw std::runtime_error("an inventory name is missing");
  for (GameObject* inventory : game::Inventories()) {
    if (game::NameOf(inventory) == words[index]) return inventory;
  }
  throw std::runtime_error("unknown inventory " + words[index] + " (see sandbox.inventories)");
}

// The checker's verdict on the file the plug-in reads, cut short so that a file with thousands of faulty members
// still gives a reply an RCON client can take; the checker program lists everything.
std::string CheckLiveConfiguration() {
  constexpr std::size_t kMostReplyBytes = 32 * 1024;
  const auto findings = check::CheckFile(check::ConfigPathInServerDir(ArkApi::Tools::GetCurrentDir()));
  std::string text = check::FormatText(findings);
  if (text.size() <= kMostReplyBytes) return text;
  const auto textOfFirst = [&](std::size_t count) {
    return check::FormatText(check::Findings(findings.begin(), findings.begin() + static_cast<std::ptrdiff_t>(count)));
  };
  // Each finding adds more to the text than its count can take from the summary line, so the text grows with the
  // number shown: the most that fit is found by halving, not by formatting every prefix.
  std::size_t fits = 0;
  std::size_t tooMany = findings.size();
  while (tooMany - fits > 1) {
    const std::size_t middle = fits + (tooMany - fits) / 2;
    (textOfFirst(middle).size() <= kMostReplyBytes ? fits : tooMany) = middle;
  }
  const std::string shownText = fits == 0 ? std::string() : textOfFirst(fits);
  return shownText + "(" + std::to_string(findings.size() - fits) +
         " more findings: run tidywarden-check on the file for all of them)\n";
}

std::string ItemList(const std::vector<GameObject*>& items) {
  if (items.empty()) return "(empty)";
  std::string text;
  for (GameObject* item : items) {
    if (!text.empty()) text += ", ";
    text += item == nullptr ? std::string("(null)") : game::NameOf(item) + " [" + game::NameOf(item->cls) + "]";
  }
  return text;
}

// Actors of one kind in the persistent level, with the count last.
std::string LevelActorList(Kind wanted) {
  std::ostringstream out;
  std::size_t count = 0;
  for (GameObject* actor : game::LevelActors()) {
    if (actor == nullptr || game::KindOf(actor) != wanted) continue;
    ++count;
    out << game::NameOf(actor) << "  "
        << (wanted == Kind::Creature ? CreaturePathOf(actor->cls) : game::BlueprintPathOf(actor->cls));
    if (wanted == Kind::Creature) {
      out << "  level " << (actor->statusComponent != nullptr ? actor->statusComponent->baseCharacterLevel : 0)
          << "  team " << actor->targetingTeam;
    }
    out << "\n";
  }
  out << wording::Counted(count, wanted == Kind::Creature ? "creature" : "structure") << " in the persistent level";
  return out.str();
}

// Runs an inventory event and shows what the game's own function saw, if the plug-in let it run.
std::string InventoryEvent(const std::vector<game::InventoryCall>& calls, GameObject* inventory,
                           const std::function<void()>& event) {
  const std::size_t before = calls.size();
  event();
  std::ostringstream out;
  if (calls.size() == before) {
    out << "the game's own function was not reached";
  } else {
    out << "the game saw: " << ItemList(calls.back().itemsSeen);
  }
  out << "\n" << game::NameOf(inventory) << " now: " << ItemList(game::Items(inventory));
  return out.str();
}

std::string CountedList(const std::vector<std::string>& names, std::string_view noun) {
  std::string text;
  for (const auto& name : names) text += name + "\n";
  return text + wording::Counted(names.size(), noun);
}

}  // namespace

Session::Session(std::string pluginPath) : pluginPath_(std::move(pluginPath)) {
  controller_ = game::NewController("AdminController");
  gameMode_ = game::NewGameMode();
}

Session::~Session() { UnloadPlugin(); }

void Session::LoadPlugin() { module_.Load(pluginPath_); }

void Session::UnloadPlugin() { module_.Unload(); }

void Session::ReplaceWorld(const std::function<void()>& build) {
  const bool loaded = module_.IsLoaded();
  UnloadPlugin();
  game::ResetGame();
  controller_ = game::NewController("AdminController");
  gameMode_ = game::NewGameMode();
  try {
    build();
  } catch (...) {
    if (loaded) LoadPlugin();
    throw;
  }
  if (loaded) LoadPlugin();
}

std::string Session::Execute(const std::string& line, std::int32_t packetId) {
  const auto words = SplitWords(line);
  if (words.empty()) return {};
  if (words[0].rfind("sandbox.", 0) == 0) {
    try {
      std::string reply = RunSandboxCommand(words[0].substr(8), words);
      while (!reply.empty() && reply.back() == '\n') reply.pop_back();
      return reply;
    } catch (const std::exception& error) {
      return std::string("error: ") + error.what();
    }
  }
  Connection connection;
  if (!ExecuteRcon(connection, line, packetId)) return "unknown command: " + words[0];
  std::string text;
  for (const auto& reply : connection.replies) {
    if (!text.empty()) text += "\n";
    text += reply.Utf8();
  }
  return text;
}

// The sandbox's commands: each one's name (after "sandbox."), its arguments and help as the help lists them, and
// what it does. The help is made from this table, so it cannot leave a command out.
struct Session::Command {
  std::string_view name;
  std::string_view arguments;
  std::string_view help;
  std::string (*run)(Session& session, const std::vector<std::string>& words);
};

std::span<const Session::Command> Session::Commands() {
  using Words = std::vector<std::string>;
  static const Command commands[] = {
      {"help", "", "these commands", [](Session&, const Words&) { return Help(); }},
      {"classes", "", "classes and the blueprint paths to write for them",
       [](Session&, const Words&) {
         std::ostringstream out;
         out << "class: item/structure path | creature path\n";
         for (GameObject* cls : game::Classes()) {
           // The engine's own classes are not something an administrator lists.
           if (game::ReferenceOf(cls).rfind("/Script/ShooterGame.", 0) == 0) continue;
           out << game::NameOf(cls) << ": " << game::BlueprintPathOf(cls) << " | " << CreaturePathOf(cls) << "\n";
         }
         return out.str();
       }},
      {"creatures", "", "creatures in the persistent level",
       [](Session&, const Words&) { return LevelActorList(Kind::Creature); }},
      {"structures", "", "structures in the persistent level",
       [](Session&, const Words&) { return LevelActorList(Kind::Structure); }},
      {"inventories", "", "inventories and their items",
       [](Session&, const Words&) {
         std::ostringstream out;
         for (GameObject* inventory : game::Inventories()) {
           out << game::NameOf(inventory) << ": " << ItemList(game::Items(inventory)) << "\n";
         }
         return out.str();
       }},
      {"spawn", "<class> [level] [team]", "a creature enters play (spawn hook)",
       [](Session&, const Words& words) {
         GameObject* cls = ClassArgument(words, 1);
         const std::int32_t level = IntArgument(words, 2, 1);
         const std::int32_t team = IntArgument(words, 3, 0);
         GameObject* creature = game::SpawnCreature(cls, level, team);
         std::ostringstream out;
         out << "spawned " << game::NameOf(creature) << " (" << CreaturePathOf(cls) << ", level " << level << ", team "
             << team << "): " << (game::IsDestroyed(creature) ? "destroyed as it entered play" : "alive");
         return out.str();
       }},
      {"place", "<class>", "place a structure in the level",
       [](Session&, const Words& words) {
         GameObject* structure = game::NewStructure(ClassArgument(words, 1));
         return "placed " + game::NameOf(structure);
       }},
      {"give", "<inventory> <item class> [equip|ignoremax]", "add an item (add hook)",
       [](Session&, const Words& words) {
         GameObject* inventory = InventoryArgument(words, 1);
         GameObject* item = game::NewItem(ClassArgument(words, 2));
         const bool equip = words.size() > 3 && words[3] == "equip";
         const bool ignoreMax = words.size() > 3 && words[3] == "ignoremax";
         game::AddToInventory(item, inventory, equip, false, 0, false, false, ignoreMax);
         const auto items = game::Items(inventory);
         const bool added = std::find(items.begin(), items.end(), item) != items.end();
         std::ostringstream out;
         out << (added ? "added " : "refused ") << game::NameOf(item) << " [" << game::NameOf(item->cls) << "]"
             << (added ? " to " : ", not added to ") << game::NameOf(inventory);
         return out.str();
       }},
      {"view", "<inventory>", "a player views it remotely (view hook)",
       [](Session& session, const Words& words) {
         GameObject* inventory = InventoryArgument(words, 1);
         return InventoryEvent(game::Record().viewCalls, inventory,
                               [&] { game::ViewRemoteInventory(session.controller_, inventory); });
       }},
      {"finish", "<inventory>", "a client finished receiving its items (hook)",
       [](Session& session, const Words& words) {
         GameObject* inventory = InventoryArgument(words, 1);
         return InventoryEvent(game::Record().finishedCalls, inventory,
                               [&] { game::FinishReceivingItems(session.controller_, inventory); });
       }},
      {"engram", "<item class>", "add an engram to the game data",
       [](Session&, const Words& words) {
         GameObject* cls = ClassArgument(words, 1);
         game::AddEngram(game::GameData(), cls);
         return "engram for " + game::BlueprintPathOf(cls) + " added to the game data";
       }},
      {"startgame", "", "the game mode starts (game-mode hook)",
       [](Session& session, const Words&) {
         game::GameModeBeginPlay(session.gameMode_);
         return "the game mode started; hooked game functions: " + std::to_string(HookedFunctions().size());
       }},
      {"hooks", "", "the game functions the plug-in has hooked",
       [](Session&, const Words&) { return CountedList(HookedFunctions(), "hooked game function"); }},
      {"commands", "", "the RCON commands the plug-in has registered",
       [](Session&, const Words&) { return CountedList(ArkApi::GetCommands().RconCommandNames(), "RCON command"); }},
      {"unload", "", "unload the plug-in module",
       [](Session& session, const Words&) {
         session.UnloadPlugin();
         return std::string("plug-in unloaded");
       }},
      {"load", "", "load the plug-in module",
       [](Session& session, const Words&) {
         if (session.module_.IsLoaded()) return std::string("the plug-in is already loaded");
         session.LoadPlugin();
         return std::string("plug-in loaded");
       }},
      {"log", "[lines]", "the end of the host's log",
       [](Session&, const Words& words) {
         const auto lines = LogRecorder()->Lines();
         const auto wanted = static_cast<std::size_t>(std::max(1, IntArgument(words, 1, 10)));
         std::ostringstream out;
         for (std::size_t i = lines.size() > wanted ? lines.size() - wanted : 0; i < lines.size(); ++i) {
           out << platform::GbkToUtf8(lines[i]) << "\n";
         }
         return out.str();
       }},
      {"check", "", "the configuration checker's verdict on the live config.json",
       [](Session&, const Words&) { return CheckLiveConfiguration(); }},
  };
  return commands;
}

std::vector<std::string> Session::CommandWords() {
  std::vector<std::string> words = ArkApi::GetCommands().RconCommandNames();
  for (const Command& command : Commands()) words.push_back("sandbox." + std::string(command.name));
  return words;
}

std::string Session::Help() {
  constexpr std::size_t kHelpColumn = 42;
  std::string text = "sandbox commands:\n";
  for (const Command& command : Commands()) {
    // Appended piece by piece: GCC 12 at -O3 warns falsely (-Wrestrict) about prefixing a literal to a temporary.
    std::string usage = "  sandbox.";
    usage.append(command.name);
    if (!command.arguments.empty()) usage.append(" ").append(command.arguments);
    usage.resize(std::max(usage.size() + 1, kHelpColumn), ' ');
    text += usage + std::string(command.help) + "\n";
  }
  return text + "anything else goes to the plug-in's RCON commands.";
}

std::string Session::RunSandboxCommand(const std::string& name, const std::vector<std::string>& words) {
  for (const Command& command : Commands()) {
    if (command.name == name) return command.run(*this, words);
  }
  return "unknown sandbox command: sandbox." + name + " (see sandbox.help)";
}

}  // namespace sandbox::server
