// In-place configuration reads that fail exactly as the JSON library's own operations do.
#include "config/ConfigAccess.h"

#include <limits>

namespace config {
namespace {

using nlohmann::json;

[[noreturn]] void ThrowNotString(const json& value) {
  throw json::type_error::create(302, std::string("type must be string, but is ") + value.type_name(), nullptr);
}

}  // namespace

json& MutableMember(json& value, std::string_view key) {
  if (value.is_object()) {
    const auto found = value.find(key);
    if (found != value.end()) return *found;
  }
  return value[std::string(key)];
}

const std::string& BlueprintOf(json& member) {
  const json& blueprint = MutableMember(member, kBlueprintKey);
  if (!blueprint.is_string()) ThrowNotString(blueprint);
  return blueprint.get_ref<const std::string&>();
}

const std::string& BlueprintOfCopy(const json& member) {
  // On a copy, a null member would become an object whose new "Blueprint" is null.
  if (member.is_null()) ThrowNotString(json());
  if (!member.is_object()) {
    throw json::type_error::create(
        305, std::string("cannot use operator[] with a string argument with ") + member.type_name(), nullptr);
  }
  const auto found = member.find(kBlueprintKey);
  if (found == member.end()) ThrowNotString(json());
  if (!found->is_string()) ThrowNotString(*found);
  return found->get_ref<const std::string&>();
}

std::int32_t ThresholdOf(const json& value) {
  if (!value.is_number_float()) return value.get<std::int32_t>();
  const double number = value.get<double>();
  if (number != number) return 0;  // NaN cannot come from a parsed file, but must not reach the cast
  if (number >= 2147483648.0) return std::numeric_limits<std::int32_t>::max();
  if (number <= -2147483649.0) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(number);
}

}  // namespace config
