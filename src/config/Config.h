// The configuration document and its reading.
#pragma once

#include <nlohmann/json.hpp>

#include "host/GameTypes.h"

// The parsed configuration; null until the first successful read.
extern nlohmann::json PluginConfig;

// Opens the configuration file; false when it cannot be opened. When it opens, the whole document is parsed
// and only then replaces PluginConfig, so a parse error (thrown) leaves the previous document in force.
bool ReadConfigFile();

// ReadConfigFile, logging why it failed: the unopened-file line, or the exception's message as it stands.
bool ReadConfigFileOrLog();

// RCON "Tidywarden.reload".
void ReloadConfig(RCONClientConnection* connection, RCONPacket* packet, UWorld* world);
