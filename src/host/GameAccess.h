// Reaching game members through the host by their tags (Members.h): every use resolves the name again.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "host/HostApi.h"
#include "host/Members.h"

namespace host {

// The host takes names as std::string; most names are too long for the small-string buffer, so each is
// built once rather than allocated on every call of a hook.
template <typename M>
const std::string& HostName() {
  static const std::string name(M::name);
  return name;
}

// Calls the game function M with its own call shape.
template <FunctionMember M, typename... Args>
auto Call(Args&&... args) {
  auto function = reinterpret_cast<typename M::Type>(GetAddress(HostName<M>()));
  return function(std::forward<Args>(args)...);
}

// The field M inside `object`.
template <FieldMember M>
typename M::Type& FieldOf(const void* object) {
  return *reinterpret_cast<typename M::Type*>(static_cast<std::uintptr_t>(GetAddress(object, HostName<M>())));
}

// Where the global M lives.
template <GlobalMember M>
typename M::Type* GlobalOf() {
  return static_cast<typename M::Type*>(GetDataAddress(HostName<M>()));
}

}  // namespace host
