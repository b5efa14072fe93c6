// The host's own services the plug-in calls besides the game: its directory, log sinks, world and RCON commands.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/GameTypes.h"

namespace spdlog::sinks {
class sink;
}

namespace host {

using CommandHandler = void (*)(RCONClientConnection* connection, RCONPacket* packet, UWorld* world);

// The server's working directory, as the host reports it.
std::string CurrentDir();
// The world the host says is current; null when there is none.
UWorld* CurrentWorld();
// The host's shared log sinks, in the host's order.
std::vector<std::shared_ptr<spdlog::sinks::sink>>& LogSinks();
// The host's answers are not examined.
void RegisterCommand(const char* name, CommandHandler handler);
void UnregisterCommand(const char* name);

}  // namespace host
