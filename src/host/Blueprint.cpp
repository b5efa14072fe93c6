// Deriving blueprint paths from game objects, classes and item blueprints.
#include "host/Blueprint.h"

#include <algorithm>

#include "host/BlueprintForm.h"
#include "host/Game.h"

namespace {

using blueprint::kRemovedPartUnits;

host::OwnedString Wrapped(std::u16string_view path) {
  auto result = host::OwnedString::FromNarrow(blueprint::kOpen);
  result.Append(path);
  result.Append(u"'");
  return result;
}

// One left-to-right pass; an occurrence formed only by joining the neighbours of a removal stays.
host::OwnedString WithoutDefaultPrefix(host::OwnedString text) {
  const std::u16string_view units = text.View();
  std::size_t found = units.find(kRemovedPartUnits);
  if (found == std::u16string_view::npos) return text;
  host::OwnedString result;
  std::size_t position = 0;
  for (; found != std::u16string_view::npos; found = units.find(kRemovedPartUnits, position)) {
    result.Append(units.substr(position, found - position));
    position = found + kRemovedPartUnits.size();
  }
  result.Append(units.substr(position));
  return result;
}

}  // namespace

host::OwnedString DefaultObjectBlueprint(UClass* cls) {
  const host::OwnedString fullName = host::FullNameOf(host::DefaultObjectOf(cls));
  const std::u16string_view units = fullName.View();
  const std::size_t space = units.find(u' ');
  if (space == std::u16string_view::npos) return {};
  const std::size_t length = units.size();
  const bool generated = length >= 2 && units[length - 2] == u'_' && units[length - 1] == u'C';
  const std::size_t end = std::max(space + 1, generated ? length - 2 : length);
  return WithoutDefaultPrefix(Wrapped(units.substr(space + 1, end - (space + 1))));
}

host::OwnedString ObjectBlueprint(const void* object) {
  if (object == nullptr) return {};
  UClass* cls = host::ClassOf(object);
  if (cls == nullptr) return {};
  return DefaultObjectBlueprint(cls);
}

host::OwnedString ClassBlueprint(UClass* cls) {
  if (cls == nullptr) return {};
  const host::OwnedString reference = host::ClassReference(cls);
  const std::u16string_view units = reference.View();
  return Wrapped(units.size() > 2 ? units.substr(0, units.size() - 2) : std::u16string_view{});
}

std::string StructureBlueprintOfItem(std::string itemBlueprint) {
  const auto path = host::OwnedString::FromNarrow(itemBlueprint);
  UClass* itemClass = host::LoadClass(path);
  if (itemClass == nullptr) return {};
  UPrimalItem* item = host::AddNewItem(itemClass);
  if (item == nullptr) return {};
  UClass* structure = host::StructureToBuild(item);
  if (structure == nullptr) return {};
  return DefaultObjectBlueprint(structure).ToUtf8();
}
