// Name-based access to game members: every use resolves its name through the host again.
#pragma once

#include <cstdint>
#include <string>

#include "host/HostApi.h"

namespace host {

// Calls the game function `name` with the call shape Fn (a function pointer type from GameTypes.h).
template <typename Fn, typename... Args>
auto CallGame(const char* name, Args&&... args) {
  auto function = reinterpret_cast<Fn>(GetAddress(std::string(name)));
  return function(std::forward<Args>(args)...);
}

// The field `name` inside `object`, typed as T.
template <typename T>
T& GameField(const void* object, const char* name) {
  return *reinterpret_cast<T*>(static_cast<std::uintptr_t>(GetAddress(object, std::string(name))));
}

}  // namespace host
