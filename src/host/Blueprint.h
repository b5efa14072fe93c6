// Blueprint paths: the "Blueprint'<path>'" texts that name a class in the configuration and in commands.
#pragma once

#include <string>

#include "host/EngineTypes.h"
#include "host/GameTypes.h"

// From the full name of the class's default object; the class must not be null.
host::OwnedString DefaultObjectBlueprint(UClass* cls);
// Empty for a null object or an object without a class.
host::OwnedString ObjectBlueprint(const void* object);
// From the class reference text; empty for a null class.
host::OwnedString ClassBlueprint(UClass* cls);
// The blueprint path of the structure an item places; empty when none can be derived.
std::string StructureBlueprintOfItem(std::string itemBlueprint);
