// Fuzz target: blueprint paths derived from any default-object full name, class reference and typed item path.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "host/Blueprint.h"
#include "host/Game.h"
#include "sandbox/game/GameWorld.h"
#include "sandbox/host/Sandbox.h"
#include "sandbox/host/Text.h"

namespace {

using sandbox::game::GameObject;
using sandbox::game::Kind;

[[noreturn]] void Fail(const std::string& what) { fuzz::Fail(what); }

// The derivations written out from their rules, step by step, to compare the plug-in's results with.
struct Expected {
  bool empty = true;
  std::u16string text;
};

Expected FromFullName(const std::u16string& full) {
  const std::size_t space = full.find(u' ');
  if (space == std::u16string::npos) return {};
  const auto length = static_cast<std::int64_t>(full.size());
  const auto position = static_cast<std::int64_t>(space);
  const bool generated = length >= 2 && full[full.size() - 2] == u'_' && full[full.size() - 1] == u'C';
  const std::int64_t start = std::clamp<std::int64_t>(position + 1, 0, length);
  const std::int64_t count = generated ? length - position - 3 : length - position - 1;
  const std::int64_t end = std::max(start, std::clamp<std::int64_t>(position + 1 + count, 0, length));
  const std::u16string wrapped =
      u"Blueprint'" + full.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(end - start)) + u"'";
  Expected result{false, {}};
  constexpr std::u16string_view kRemoved = u"Default__";
  std::size_t from = 0;
  for (;;) {
    const std::size_t found = wrapped.find(kRemoved, from);
    result.text += wrapped.substr(from, found == std::u16string::npos ? std::u16string::npos : found - from);
    if (found == std::u16string::npos) break;
    from = found + kRemoved.size();
  }
  return result;
}

Expected FromReference(const std::u16string& reference) {
  const std::size_t kept = reference.size() > 2 ? reference.size() - 2 : 0;
  return {false, u"Blueprint'" + reference.substr(0, kept) + u"'"};
}

// What the class loader is handed for a typed path: one unit per byte up to the first NUL, '?' for bytes >= 0x80.
std::u16string Widened(std::string_view narrow) {
  std::u16string units;
  for (const char byte : narrow) {
    if (byte == '\0') break;
    const auto value = static_cast<unsigned char>(byte);
    units.push_back(value < 0x80 ? static_cast<char16_t>(value) : u'?');
  }
  return units;
}

void ExpectString(const EngineString& got, const Expected& want, const char* what) {
  if (want.empty) {
    if (got.data != nullptr || got.count != 0) Fail(std::string(what) + ": expected the empty string");
    return;
  }
  const auto length = static_cast<std::int32_t>(want.text.size());
  if (got.data == nullptr || got.count != length + 1 || got.capacity < got.count || got.data[length] != u'\0' ||
      std::u16string_view(got.data, want.text.size()) != want.text) {
    Fail(std::string(what) + ": expected " + sandbox::Utf16ToUtf8(want.text) + ", got " +
         sandbox::Utf16ToUtf8(host::OwnedString::ViewOf(got)));
  }
}

std::u16string Units(const host::OwnedString& text) { return std::u16string(text.View()); }

// Up to three lines: the full name of the class's default object, its class reference, and a typed item path.
void Check(std::string_view input) {
  std::string_view lines[3];
  for (auto& line : lines) {
    const std::size_t end = input.find('\n');
    line = input.substr(0, end);
    input = end == std::string_view::npos ? std::string_view() : input.substr(end + 1);
  }

  sandbox::game::ResetGame();
  sandbox::game::ClassDefinition definition;
  definition.name = "Thing_C";
  definition.package = "/Game/Fuzz/Thing";
  definition.kind = Kind::Structure;
  definition.defaultFullName = std::string(lines[0]);
  definition.reference = std::string(lines[1]);
  GameObject* thing = sandbox::game::DefineClass(definition);
  sandbox::game::ClassDefinition kit;
  kit.name = "PrimalItemStructure_Thing_C";
  kit.package = "/Game/Fuzz/Items/PrimalItemStructure_Thing";
  kit.kind = Kind::Item;
  kit.structureToBuild = thing;
  sandbox::game::DefineClass(kit);
  GameObject* placed = sandbox::game::NewStructure(thing, false);
  GameObject* classless = sandbox::game::NewStructure(nullptr, false);
  auto* cls = reinterpret_cast<UClass*>(thing);

  const std::size_t live = sandbox::LiveAllocations();
  {
    const std::u16string full = Units(host::FullNameOf(host::DefaultObjectOf(cls)));
    const std::u16string reference = Units(host::ClassReference(cls));
    const Expected fromFullName = FromFullName(full);
    ExpectString(DefaultObjectBlueprint(cls), fromFullName, "DefaultObjectBlueprint");
    ExpectString(ObjectBlueprint(placed), fromFullName, "ObjectBlueprint");
    ExpectString(ObjectBlueprint(classless), {}, "ObjectBlueprint of an object without a class");
    ExpectString(ObjectBlueprint(nullptr), {}, "ObjectBlueprint of null");
    ExpectString(ClassBlueprint(cls), FromReference(reference), "ClassBlueprint");
    ExpectString(ClassBlueprint(nullptr), {}, "ClassBlueprint of null");

    auto& record = sandbox::game::Record();
    const std::size_t requests = record.loadClassRequests.size();
    const std::size_t made = record.newItems.size();
    const std::string structure = StructureBlueprintOfItem(std::string(lines[2]));
    if (record.loadClassRequests.size() != requests + 1 || record.loadClassRequests.back() != Widened(lines[2])) {
      Fail("StructureBlueprintOfItem handed the loader another path");
    }
    std::string want;
    if (record.newItems.size() > made + 1) Fail("StructureBlueprintOfItem made more than one item");
    if (record.newItems.size() == made + 1 && record.newItems.back()->structureToBuild == thing &&
        !fromFullName.empty) {
      want = sandbox::Utf16ToUtf8(fromFullName.text);
    }
    if (structure != want) Fail("StructureBlueprintOfItem gave " + structure + ", expected " + want);
  }
  if (sandbox::LiveAllocations() != live) Fail("a derivation left game-allocator buffers live");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Check(std::string_view(reinterpret_cast<const char*>(data), size));
  return 0;
}
