// The creature spawn filter: listed creatures and creatures at or above their level threshold are destroyed.
#include <string>

#include "common/Log.h"
#include "config/Config.h"
#include "config/Walks.h"
#include "host/Blueprint.h"
#include "host/Game.h"
#include "purge/DetourNames.h"
#include "purge/Purge.h"

members::DinoBeginPlay::Type DinoBeginPlayOriginal = nullptr;

void OnDinoBeginPlay(APrimalDinoCharacter* creature) {
  DinoBeginPlayOriginal(creature);
  if (creature == nullptr) return;
  RunAtBoundary(__FILE__, detours::kDinoBeginPlay, [&] {
    auto* actor = reinterpret_cast<AActor*>(creature);
    const std::string blueprint = ClassBlueprint(host::ClassOf(creature)).ToUtf8();
    config::WalkDinolist(PluginConfig, blueprint, [&] { host::ForceDestroy(actor); });
    if (config::LevelReached(PluginConfig, blueprint, [&] { return host::BaseCharacterLevel(actor); })) {
      host::ForceDestroy(actor);
    }
  });
}
