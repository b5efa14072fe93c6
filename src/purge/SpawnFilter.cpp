// The creature spawn filter: listed creatures and creatures at or above their level threshold are destroyed.
#include <string>

#include "common/Log.h"
#include "config/Config.h"
#include "config/ConfigAccess.h"
#include "host/Blueprint.h"
#include "host/Game.h"
#include "purge/Purge.h"

GameFn::DinoBeginPlay DinoBeginPlayOriginal = nullptr;

namespace {

using nlohmann::json;

// Walks "DestroyDinolist" as a copy would be walked, so nothing is added to the document.
void ListCheck(AActor* creature, const std::string& blueprint) {
  if (!PluginConfig.is_object()) {
    throw json::type_error::create(306, std::string("cannot use value() with ") + PluginConfig.type_name(), nullptr);
  }
  const auto list = PluginConfig.find("DestroyDinolist");
  if (list == PluginConfig.end()) return;
  for (auto member = list->cbegin(); member != list->cend(); ++member) {
    (void)member.key();
    if (config::BlueprintOfCopy(member.value()) == blueprint) host::ForceDestroy(creature);
  }
}

void LevelCheck(AActor* creature, const std::string& blueprint) {
  json& levels = config::MutableMember(PluginConfig, "DestroyDinoLevel");
  if (!levels.is_object()) return;
  const auto found = levels.find(blueprint);
  if (found == levels.end()) return;
  const std::int32_t* baseLevel = host::BaseCharacterLevel(creature);
  json& entry = *found;
  const std::int32_t threshold = config::ThresholdOf(config::MutableMember(entry, "ExceedSestructionLevel"));
  // A creature without a status component has no level to compare.
  if (baseLevel == nullptr) return;
  if (*baseLevel >= threshold) host::ForceDestroy(creature);
}

}  // namespace

void OnDinoBeginPlay(APrimalDinoCharacter* creature) {
  DinoBeginPlayOriginal(creature);
  if (creature == nullptr) return;
  RunAtBoundary(__FILE__, "OnDinoBeginPlay", [&] {
    auto* actor = reinterpret_cast<AActor*>(creature);
    const std::string blueprint = ClassBlueprint(host::ClassOf(creature)).ToUtf8();
    ListCheck(actor, blueprint);
    LevelCheck(actor, blueprint);
  });
}
