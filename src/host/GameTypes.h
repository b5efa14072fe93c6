// The game's opaque classes: a plug-in reaches their members by name only (Members.h).
#pragma once

#include <cstdint>

#include "host/HostApi.h"

struct AActor;
struct AShooterGameMode;
struct AShooterPlayerController;
struct APrimalDinoCharacter;
struct FItemNetID;
struct ULevel;
struct UPrimalInventoryComponent;
struct UPrimalItem;
