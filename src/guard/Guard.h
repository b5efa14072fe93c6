// Standing down on game data whose engrams carry the marker.
#pragma once

#include "host/Members.h"

extern members::GameModeBeginPlay::Type GameModeBeginPlayOriginal;

// The routine that takes the plug-in's hooks and commands back; the loader hands it over before installing the
// guard's hook, so the guard never needs to know who loaded it.
void SetGuardUnload(void (*unloadPlugin)());

void CheckEngramMarker();
void OnGameModeBeginPlay(AShooterGameMode* gameMode);
