// The host's own services, through its exported accessors.
#include "host/Services.h"

#include "host/EngineTypes.h"
#include "host/HostApi.h"

namespace host {

std::string CurrentDir() { return ArkApi::Tools::GetCurrentDir(); }

UWorld* CurrentWorld() { return ArkApi::GetApiUtils().CurrentWorld(); }

std::vector<std::shared_ptr<spdlog::sinks::sink>>& LogSinks() { return GetLogSinks(); }

void RegisterCommand(const char* name, CommandHandler handler) {
  ArkApi::GetCommands().RegisterRconCommand(OwnedString::FromNarrow(name), handler);
}

void UnregisterCommand(const char* name) { ArkApi::GetCommands().UnregisterRconCommand(OwnedString::FromNarrow(name)); }

}  // namespace host
