// The engram marker guard: on game data whose engrams carry the marker, the plug-in removes itself.
#include "guard/Guard.h"

#include <string>
#include <string_view>

#include "host/Blueprint.h"
#include "host/Game.h"
#include "plugin/Log.h"
#include "plugin/Messages.h"
#include "plugin/Plugin.h"

GameFn::GameModeBeginPlay GameModeBeginPlayOriginal = nullptr;

namespace {

constexpr std::string_view kMarker = "QVX517";

UObject* ChosenGameData() {
  UObject* engine = host::GameEngine();
  if (engine == nullptr) return nullptr;
  UObject* singleton = host::GameSingleton(engine);
  if (singleton == nullptr) return nullptr;
  UObject* dataOverride = host::PrimalGameDataOverride(singleton);
  return dataOverride != nullptr ? dataOverride : host::PrimalGameData(singleton);
}

}  // namespace

void CheckEngramMarker() {
  UObject* gameData = ChosenGameData();
  if (gameData == nullptr) return;
  const auto engrams = host::EngramEntriesCopy(gameData);
  for (UObject* entry : engrams) {
    if (entry == nullptr) continue;
    UClass* itemClass = host::EngramItemClass(entry);
    if (itemClass == nullptr) continue;
    if (DefaultObjectBlueprint(itemClass).ToUtf8().find(kMarker) == std::string::npos) continue;
    LogError(messages::kMarkerFound);
    UnloadPlugin();
    return;
  }
}

void OnGameModeBeginPlay(AShooterGameMode* gameMode) {
  GameModeBeginPlayOriginal(gameMode);
  RunAtBoundary(__FILE__, "OnGameModeBeginPlay", [] { CheckEngramMarker(); });
}
