// Reading the configuration file and the reload command.
#include "config/Config.h"

#include <string>

#include "common/Log.h"
#include "common/Messages.h"
#include "config/ConfigFile.h"
#include "host/Game.h"
#include "host/Services.h"

// Constructed before the library's attach notification runs LoadPlugin.
#if defined(_WIN32)
nlohmann::json PluginConfig;
#else
nlohmann::json PluginConfig __attribute__((init_priority(101)));
#endif

namespace {

std::string ConfigPath() { return host::CurrentDir() + config::kConfigPathInServerDir; }

}  // namespace

// The document is replaced only once the whole file has parsed.
bool ReadConfigFile() { return config::ReadDocumentFile(ConfigPath(), PluginConfig); }

bool ReadConfigFileOrLog() {
  try {
    if (ReadConfigFile()) return true;
    LogError(messages::kConfigNotOpened);
  } catch (const std::exception& error) {
    LogError(error.what());
  }
  return false;
}

void ReloadConfig(RCONClientConnection* connection, RCONPacket* packet, UWorld* /*world*/) {
  RunAtBoundary(__FILE__, "ReloadConfig", [&] {
    PluginLog();
    PluginLogInit();
    try {
      if (!ReadConfigFileOrLog()) return;
      auto reply = host::OwnedString::FromWide(messages::kReloaded);
      host::SendRconReply(connection, host::PacketId(packet), reply);
    } catch (const std::exception& error) {
      LogError(error.what());
    }
  });
}
