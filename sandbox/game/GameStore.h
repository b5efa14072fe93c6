// The game's object store as the game's own functions see it: records behind the objects, and the world's state.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sandbox/game/GameWorld.h"

namespace sandbox::game {

struct ObjectRecord {
  GameObject view;
  Kind kind = Kind::Plain;
  std::string name;
  std::u16string fullName;
  // Classes.
  Kind instanceKind = Kind::Plain;
  GameObject* parent = nullptr;
  std::u16string reference;
  GameObject* defaultObject = nullptr;
  GameObject* structureToBuild = nullptr;
  // Backing storage of the engine arrays in `view`.
  std::vector<GameObject*> items;
  std::vector<GameObject*> actors;
  std::vector<GameObject*> engrams;
  // Actors.
  GameObject* level = nullptr;
  bool destroyed = false;
  int forceDestroyCalls = 0;
};

namespace store {

struct State {
  std::vector<std::unique_ptr<ObjectRecord>> objects;
  std::vector<GameObject*> classes;
  GameObject* nativeClasses[static_cast<int>(Kind::GameMode) + 1] = {};
  GameObject* world = nullptr;
  GameObject* level = nullptr;
  GameObject* currentWorld = nullptr;
  GameObject* singleton = nullptr;
  GameObject* gameData = nullptr;
  GameObject* engineGlobal = nullptr;  // members::Engine
  std::int32_t nextItemId = 1;
  std::int32_t nextActorNumber = 1;
  GameRecord record;
};

// Built on first use; everything runs on the game thread.
State& TheState();
ObjectRecord& RecordOf(const GameObject* object);
GameObject* NewObject(Kind kind, GameObject* cls, std::string name, std::u16string fullName);
GameObject* NativeClass(Kind kind);
bool DerivesFrom(const GameObject* cls, const GameObject* ancestor);
void RemoveFromLevel(GameObject* actor);

// Points an engine array at the vector that backs it.
template <typename T>
void Sync(EngineArray<T>& array, std::vector<T>& backing) {
  array.data = backing.empty() ? nullptr : backing.data();
  array.count = static_cast<std::int32_t>(backing.size());
  array.capacity = static_cast<std::int32_t>(backing.capacity());
}

}  // namespace store

}  // namespace sandbox::game
