// Deriving blueprint paths from game objects, classes and item blueprints.
#include "host/Blueprint.h"

#include "host/BlueprintForm.h"
#include "host/Game.h"

namespace {

host::OwnedString Wrapped(std::u16string_view path) {
  auto result = host::OwnedString::FromNarrow(blueprint::kOpen);
  result.Append(path);
  result.Append(u"'");
  return result;
}

host::OwnedString WithoutDefaultPrefix(host::OwnedString text) {
  const std::u16string_view units = text.View();
  if (units.find(blueprint::Texts<char16_t>::removedPart) == std::u16string_view::npos) return text;
  host::OwnedString result;
  blueprint::ForEachPartWithoutRemoved(units, [&](std::u16string_view part) { result.Append(part); });
  return result;
}

}  // namespace

host::OwnedString DefaultObjectBlueprint(UClass* cls) {
  const host::OwnedString fullName = host::FullNameOf(host::DefaultObjectOf(cls));
  const auto path = blueprint::PathOfFullName(fullName.View());
  if (!path) return {};
  return WithoutDefaultPrefix(Wrapped(*path));
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
  return Wrapped(blueprint::PathOfClassReference(reference.View()));
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
