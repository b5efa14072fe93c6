// Fuzz target: command-line splitting, and the purge commands (with the creature command's number word) over RCON.
#include <cstdint>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "purge/Purge.h"
#include "sandbox/game/GameWorld.h"
#include "sandbox/host/Sandbox.h"
#include "sandbox/host/Text.h"

namespace {

using sandbox::game::GameObject;
using sandbox::game::Kind;

constexpr std::int32_t kPacketId = 7;

// The input's bytes as UTF-16 units, in a buffer of exactly that size and without a terminator of its own:
// a client's text is only as long as its count says.
void CheckSplit(const std::uint8_t* data, std::size_t size) {
  const std::size_t units = size / 2;
  std::unique_ptr<char16_t[]> buffer(units == 0 ? nullptr : new char16_t[units]);
  if (units != 0) std::memcpy(buffer.get(), data, units * sizeof(char16_t));
  EngineString text;
  text.data = buffer.get();
  text.count = static_cast<std::int32_t>(units);
  text.capacity = text.count;

  const auto expected = fuzz::Words(std::u16string_view(buffer.get(), units));
  const std::size_t live = sandbox::LiveAllocations();
  {
    const auto words = SplitCommandWords(text);
    if (words.Num() != static_cast<std::int32_t>(expected.size())) fuzz::Fail("SplitCommandWords: word count");
    for (std::int32_t i = 0; i < words.Num(); ++i) {
      const EngineString& word = words[i];
      const std::u16string& want = expected[static_cast<std::size_t>(i)];
      if (word.data == nullptr || word.count != static_cast<std::int32_t>(want.size() + 1) ||
          word.capacity < word.count || word.data[want.size()] != u'\0' ||
          std::u16string_view(word.data, want.size()) != want) {
        fuzz::Fail("SplitCommandWords: word " + std::to_string(i));
      }
    }
  }
  if (sandbox::LiveAllocations() != live) fuzz::Fail("SplitCommandWords left game-allocator buffers live");
}

struct World {
  std::vector<GameObject*> raptorsAnyTeam;  // spared by neither mode
  GameObject* protectedRaptor = nullptr;    // a team far above the protected boundary
  GameObject* dodo = nullptr;
  std::vector<GameObject*> walls;
  GameObject* otherStructure = nullptr;
  GameObject* wallItemClass = nullptr;
  std::string raptorPath;
};

World BuildWorld() {
  sandbox::game::ResetGame();
  World world;
  GameObject* raptor =
      sandbox::game::DefineClass("Raptor_Character_BP_C", "/Game/Fuzz/Dinos/Raptor_Character_BP", Kind::Creature);
  world.raptorPath = "Blueprint'/Game/Fuzz/Dinos/Raptor_Character_BP.Raptor_Character_BP'";
  world.raptorsAnyTeam = {sandbox::game::NewCreature(raptor, 10, 0), sandbox::game::NewCreature(raptor, 200, 7)};
  world.protectedRaptor = sandbox::game::NewCreature(raptor, 10, 60000);
  world.dodo = sandbox::game::NewCreature(
      sandbox::game::DefineClass("Dodo_Character_BP_C", "/Game/Fuzz/Dinos/Dodo", Kind::Creature), 1, 0);
  GameObject* wall = sandbox::game::DefineClass("Wall_Wood_C", "/Game/Fuzz/Structures/Wall_Wood", Kind::Structure);
  world.walls = {sandbox::game::NewStructure(wall), sandbox::game::NewStructure(wall)};
  world.otherStructure =
      sandbox::game::NewStructure(sandbox::game::DefineClass("Gate_C", "/Game/Fuzz/Structures/Gate", Kind::Structure));
  sandbox::game::ClassDefinition item;
  item.name = "PrimalItemStructure_Wall_Wood_C";
  item.package = "/Game/Fuzz/Items/PrimalItemStructure_Wall_Wood";
  item.kind = Kind::Item;
  item.structureToBuild = wall;
  world.wallItemClass = sandbox::game::DefineClass(item);
  return world;
}

int Destroyed(const std::vector<GameObject*>& objects) {
  int calls = 0;
  for (GameObject* object : objects) calls += sandbox::game::ForceDestroyCalls(object);
  return calls;
}

// The standard unsigned 64-bit conversion, for words whose characters are all ASCII (the C locale's rules).
enum class Parse { Zero, NonZero, Failed, Unknown };
Parse ModeOf(const std::u16string& word) {
  std::string narrow;
  for (const char16_t unit : word) {
    if (unit >= 0x80) return Parse::Unknown;
    narrow.push_back(static_cast<char>(unit));
  }
  try {
    return static_cast<std::uint32_t>(std::stoull(narrow, nullptr, 10)) == 0 ? Parse::Zero : Parse::NonZero;
  } catch (const std::logic_error&) {
    return Parse::Failed;
  }
}

void ExpectReply(const std::vector<sandbox::Reply>& replies, const std::string& text) {
  if (replies.size() != 1) fuzz::Fail("expected one reply, got " + std::to_string(replies.size()));
  if (replies[0].packetId != kPacketId || replies[0].type != 0) fuzz::Fail("reply sent with the wrong id or type");
  if (replies[0].Utf8() != text) fuzz::Fail("reply \"" + replies[0].Utf8() + "\", expected \"" + text + "\"");
}

void CheckDinoCommand(const World& world, const std::vector<std::u16string>& words,
                      const std::vector<sandbox::Reply>& replies) {
  const int raptors = Destroyed(world.raptorsAnyTeam);
  const int protectedCalls = sandbox::game::ForceDestroyCalls(world.protectedRaptor);
  if (sandbox::game::ForceDestroyCalls(world.dodo) != 0 || Destroyed(world.walls) != 0) {
    fuzz::Fail("the creature command destroyed something of another blueprint");
  }
  if (words.size() < 3) {
    if (raptors + protectedCalls != 0) fuzz::Fail("a malformed creature command destroyed something");
    return ExpectReply(replies, fuzz::kBadFormat);
  }
  const bool matches = words[1] == sandbox::Utf8ToUtf16(world.raptorPath);
  Parse mode = ModeOf(words[2]);
  if (mode == Parse::Unknown) {
    // The parse of a word with other characters is left to the handler; its outcome must still be one of these.
    mode = replies.empty() ? Parse::Failed : (protectedCalls != 0 ? Parse::NonZero : Parse::Zero);
  }
  const auto logged = sandbox::LogRecorder()->Lines();
  if (mode == Parse::Failed) {
    if (!replies.empty() || raptors + protectedCalls != 0) fuzz::Fail("a failed number parse still acted");
    if (logged.size() != 1 || logged[0].find("DestroySpecifydino) Parsing error ") == std::string::npos) {
      fuzz::Fail("a failed number parse was not logged as one command failure");
    }
    return;
  }
  if (!logged.empty()) fuzz::Fail("a creature command that succeeded logged: " + logged[0]);
  const int wantRaptors = matches ? 2 : 0;
  const int wantProtected = matches && mode == Parse::NonZero ? 1 : 0;
  if (raptors != wantRaptors || protectedCalls != wantProtected) fuzz::Fail("the creature command destroyed wrongly");
  ExpectReply(replies, fuzz::DinosReply(wantRaptors + wantProtected));
}

// The loader knows the item class by its reference, that reference wrapped, or its administrator's path; all
// three are ASCII, so a word with other characters (which reach the loader as question marks) names none.
bool NamesWallItem(const World& world, const std::u16string& word) {
  const std::string reference = sandbox::game::ReferenceOf(world.wallItemClass);
  const std::string typed = sandbox::Utf16ToUtf8(word);
  return typed == reference || typed == "Blueprint'" + reference + "'" ||
         typed == sandbox::game::BlueprintPathOf(world.wallItemClass);
}

void CheckStructureCommand(const World& world, const std::vector<std::u16string>& words,
                           const std::vector<sandbox::Reply>& replies) {
  if (Destroyed(world.raptorsAnyTeam) + sandbox::game::ForceDestroyCalls(world.protectedRaptor) +
          sandbox::game::ForceDestroyCalls(world.dodo) + sandbox::game::ForceDestroyCalls(world.otherStructure) !=
      0) {
    fuzz::Fail("the structure command destroyed something of another blueprint");
  }
  const int walls = Destroyed(world.walls);
  if (words.size() < 2) {
    if (walls != 0) fuzz::Fail("a malformed structure command destroyed something");
    return ExpectReply(replies, fuzz::kBadFormat);
  }
  const int want = NamesWallItem(world, words[1]) ? 2 : 0;
  if (walls != want) fuzz::Fail("the structure command destroyed " + std::to_string(walls) + " walls");
  ExpectReply(replies, fuzz::StructuresReply(want));
}

void RunCommand(std::string_view line) {
  const World world = BuildWorld();
  sandbox::LogRecorder()->Clear();
  sandbox::Connection connection;
  const std::size_t live = sandbox::LiveAllocations();
  const bool known = sandbox::ExecuteRcon(connection, line, kPacketId);
  if (sandbox::LiveAllocations() != live) fuzz::Fail("a command left game-allocator buffers live");

  const std::u16string units = sandbox::Utf8ToUtf16(line);
  const auto words = fuzz::Words(units);
  if (!known) {
    if (!connection.replies.empty()) fuzz::Fail("an unknown command was answered");
    return;
  }
  // Which white space ends the command's name is the host's business; the names are no prefixes of each other.
  std::size_t first = 0;
  while (first < units.size() && units[first] <= u' ') ++first;
  const std::u16string_view named = std::u16string_view(units).substr(first);
  const auto starts = [&](std::u16string_view name) { return named.substr(0, name.size()) == name; };
  if (starts(u"Tidywarden.DestroySpecifydino")) return CheckDinoCommand(world, words, connection.replies);
  if (starts(u"Tidywarden.DestroySpecifystructure")) return CheckStructureCommand(world, words, connection.replies);
  if (starts(u"Tidywarden.reload")) return ExpectReply(connection.replies, fuzz::kReloaded);
  fuzz::Fail("the host ran a command the plug-in does not have");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Plugin();
  CheckSplit(data, size);
  const std::string_view line(reinterpret_cast<const char*>(data), size);
  RunCommand(line);
  // The same bytes after each command name, so that most inputs reach a handler.
  for (const char* command : {"Tidywarden.DestroySpecifydino ", "Tidywarden.DestroySpecifystructure "}) {
    RunCommand(std::string(command) + std::string(line));
  }
  return 0;
}
