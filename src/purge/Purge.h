// Destroying structures and creatures: the two RCON commands and the spawn filter.
#pragma once

#include "host/EngineTypes.h"
#include "host/Members.h"

extern members::DinoBeginPlay::Type DinoBeginPlayOriginal;

// Runs of characters between single spaces, in order; never an empty word.
host::OwnedArray<host::OwnedString> SplitCommandWords(const EngineString& text);

// RCON "Tidywarden.DestroySpecifystructure <item blueprint>".
void DestroySpecifystructure(RCONClientConnection* connection, RCONPacket* packet, UWorld* world);
// RCON "Tidywarden.DestroySpecifydino <creature blueprint> <mode>".
void DestroySpecifydino(RCONClientConnection* connection, RCONPacket* packet, UWorld* world);

void OnDinoBeginPlay(APrimalDinoCharacter* creature);
