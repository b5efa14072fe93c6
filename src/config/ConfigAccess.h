// Reading the configuration document in place on the hooks' hot path, with the JSON library's own semantics.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace config {

// The keys the hooks read.
inline constexpr const char* kItemListKey = "Destroylist";
inline constexpr const char* kCreatureListKey = "DestroyDinolist";
inline constexpr const char* kLevelListKey = "DestroyDinoLevel";
inline constexpr const char* kBlueprintKey = "Blueprint";
inline constexpr const char* kThresholdKey = "ExceedSestructionLevel";

// The mutable subscript: a null value becomes an object, a missing member is added as null, any other kind
// throws type error 305. An existing member is found without building a key.
nlohmann::json& MutableMember(nlohmann::json& value, std::string_view key);

// The member's "Blueprint" through the mutable subscript, extracted as a string (type error 302 otherwise).
const std::string& BlueprintOf(nlohmann::json& member);

// The same result and errors as reading "Blueprint" from a copy of the member, without copying it or
// changing the document.
const std::string& BlueprintOfCopy(const nlohmann::json& member);

// Number extraction to a signed 32-bit integer; a floating-point value outside the range saturates.
std::int32_t ThresholdOf(const nlohmann::json& value);

}  // namespace config
