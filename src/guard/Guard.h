// Standing down on game data whose engrams carry the marker.
#pragma once

#include "host/GameTypes.h"

extern GameFn::GameModeBeginPlay GameModeBeginPlayOriginal;

void CheckEngramMarker();
void OnGameModeBeginPlay(AShooterGameMode* gameMode);
