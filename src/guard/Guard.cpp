// The engram marker guard: on game data whose engrams carry the marker, the plug-in removes itself.
#include "guard/Guard.h"

#include <string>
#include <string_view>

#include "common/Log.h"
#include "common/Messages.h"
#include "host/Blueprint.h"
#include "host/Game.h"

members::GameModeBeginPlay::Type GameModeBeginPlayOriginal = nullptr;

namespace {

constexpr std::string_view kMarker = "QVX517";

void (*gUnloadPlugin)() = nullptr;

UObject* ChosenGameData() {
  UObject* engine = host::GameEngine();
  if (engine == nullptr) return nullptr;
  UObject* singleton = host::GameSingleton(engine);
  if (singleton == nullptr) return nullptr;
  UObject* dataOverride = host::PrimalGameDataOverride(singleton);
  return dataOverride != nullptr ? dataOverride : host::PrimalGameData(singleton);
}

}  // namespace

void SetGuardUnload(void (*unloadPlugin)()) { gUnloadPlugin = unloadPlugin; }

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
    if (gUnloadPlugin != nullptr) gUnloadPlugin();
    return;
  }
}

void OnGameModeBeginPlay(AShooterGameMode* gameMode) {
  GameModeBeginPlayOriginal(gameMode);
  RunAtBoundary(__FILE__, "OnGameModeBeginPlay", [] { CheckEngramMarker(); });
}
