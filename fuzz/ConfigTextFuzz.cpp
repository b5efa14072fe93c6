// Fuzz target: any bytes as the configuration file, reloaded, then every hook run twice through the game.
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "sandbox/game/GameWorld.h"
#include "sandbox/host/Sandbox.h"

namespace {

using sandbox::game::GameObject;
using sandbox::game::Kind;

// The seeds name these blueprints, so mutated files keep reaching the matching paths.
struct World {
  GameObject* contraband = nullptr;
  GameObject* berry = nullptr;
  GameObject* raptor = nullptr;
  GameObject* rex = nullptr;
  GameObject* controller = nullptr;
  GameObject* inventory = nullptr;
};

World BuildWorld() {
  sandbox::game::ResetGame();
  World world;
  world.contraband = sandbox::game::DefineClass("Contraband_C", "/Game/Fuzz/Items/Contraband", Kind::Item);
  world.berry = sandbox::game::DefineClass("Berry_C", "/Game/Fuzz/Items/Berry", Kind::Item);
  world.raptor =
      sandbox::game::DefineClass("Raptor_Character_BP_C", "/Game/Fuzz/Dinos/Raptor_Character_BP", Kind::Creature);
  world.rex = sandbox::game::DefineClass("Rex_Character_BP_C", "/Game/Fuzz/Dinos/Rex_Character_BP", Kind::Creature);
  world.controller = sandbox::game::NewController();
  world.inventory = sandbox::game::NewInventory();
  for (GameObject* cls : {world.contraband, world.berry, world.contraband, static_cast<GameObject*>(nullptr)}) {
    sandbox::game::PutItem(world.inventory, sandbox::game::NewItem(cls));
  }
  return world;
}

void RunHooks(const World& world) {
  const auto& record = sandbox::game::Record();
  const std::size_t finishedBefore = record.finishedCalls.size();
  const std::size_t viewsBefore = record.viewCalls.size();
  const std::size_t addsBefore = record.addCalls.size();

  sandbox::game::AddToInventory(sandbox::game::NewItem(world.contraband), world.inventory);
  sandbox::game::AddToInventory(sandbox::game::NewItem(world.berry), world.inventory);
  sandbox::game::ViewRemoteInventory(world.controller, world.inventory);
  sandbox::game::FinishReceivingItems(world.controller, world.inventory);
  const std::size_t creatures = record.dinoBeginPlayCalls.size();
  sandbox::game::SpawnCreature(world.raptor, 30, 0);
  sandbox::game::SpawnCreature(world.rex, 150, 0);
  sandbox::game::SpawnCreature(world.rex, 1, 0, false);
  sandbox::game::DinoBeginPlay(sandbox::game::NewCreature(nullptr, 5, 0));

  // Whatever the configuration holds, the game's own functions that run before the plug-in's work always run.
  if (record.finishedCalls.size() != finishedBefore + 1) fuzz::Fail("the finished-receiving hook lost the call");
  if (record.dinoBeginPlayCalls.size() != creatures + 4) fuzz::Fail("the spawn hook lost a BeginPlay");
  if (record.viewCalls.size() > viewsBefore + 1 || record.addCalls.size() > addsBefore + 2) {
    fuzz::Fail("a hook called the game's function more than once");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::LoadedPlugin& plugin = fuzz::Plugin();
  // Each input starts from the same configuration: a reload that fails keeps the previous one in force.
  plugin.WriteConfig("{}");
  if (plugin.Reload().size() != 1) fuzz::Fail("the empty configuration did not reload");

  const World world = BuildWorld();
  sandbox::LogRecorder()->Clear();
  plugin.WriteConfig(std::string_view(reinterpret_cast<const char*>(data), size));
  const auto replies = plugin.Reload();
  if (replies.size() > 1) fuzz::Fail("a reload was answered more than once");
  if (replies.size() == 1 && replies[0].Utf8() != fuzz::kReloaded) fuzz::Fail("a reload answered " + replies[0].Utf8());
  if (replies.empty() && sandbox::LogRecorder()->Lines().empty()) fuzz::Fail("a reload failed without a log line");

  const std::size_t live = sandbox::LiveAllocations();
  // The second round meets the null members that the first one may have added to the document.
  RunHooks(world);
  RunHooks(world);
  if (sandbox::LiveAllocations() != live) fuzz::Fail("the hooks left game-allocator buffers live");
  sandbox::LogRecorder()->Clear();
  return 0;
}
