// The structure and creature purge commands.
#include "purge/Purge.h"

#include <cstdint>
#include <stdexcept>
#include <string>

#include <fmt/xchar.h>

#include "common/Log.h"
#include "common/Messages.h"
#include "host/Blueprint.h"
#include "host/Game.h"
#include "host/Services.h"

namespace {

constexpr std::int32_t kProtectedTeam = 49999;

void Reply(RCONClientConnection* connection, const RCONPacket* packet, const std::wstring& text) {
  auto reply = host::OwnedString::FromWide(text);
  host::SendRconReply(connection, host::PacketId(packet), reply);
}

// The level whose actors the purges walk; a missing world or level is an error, never an empty success.
ULevel* PersistentLevelOfCurrentWorld() {
  UWorld* world = host::CurrentWorld();
  if (world == nullptr) throw std::runtime_error("there is no current world");
  ULevel* level = host::PersistentLevel(world);
  if (level == nullptr) throw std::runtime_error("the world has no persistent level");
  return level;
}

bool IsWhiteSpace(char16_t unit) { return unit == u' ' || (unit >= u'\t' && unit <= u'\r'); }

// The standard wide-to-unsigned-64-bit conversion in base 10, with its failure texts.
std::uint64_t ParseUnsigned64(std::u16string_view word) {
  std::size_t position = 0;
  while (position < word.size() && IsWhiteSpace(word[position])) ++position;
  bool negative = false;
  if (position < word.size() && (word[position] == u'+' || word[position] == u'-')) {
    negative = word[position] == u'-';
    ++position;
  }
  if (position >= word.size() || word[position] < u'0' || word[position] > u'9') {
    throw std::invalid_argument("invalid stoull argument");
  }
  std::uint64_t value = 0;
  bool overflow = false;
  for (; position < word.size() && word[position] >= u'0' && word[position] <= u'9'; ++position) {
    const auto digit = static_cast<std::uint64_t>(word[position] - u'0');
    if (value > (UINT64_MAX - digit) / 10) overflow = true;
    value = value * 10 + digit;
  }
  if (overflow) throw std::out_of_range("stoull argument out of range");
  return negative ? 0 - value : value;
}

}  // namespace

void DestroySpecifystructure(RCONClientConnection* connection, RCONPacket* packet, UWorld* /*world*/) {
  RunAtBoundary(__FILE__, "DestroySpecifystructure", [&] {
    const auto body = host::OwnedString::CopyOf(host::PacketBody(packet));
    const auto words = SplitCommandWords(body);
    if (words.Num() < 2) return Reply(connection, packet, messages::kBadFormat);

    const std::string target = StructureBlueprintOfItem(words[1].ToUtf8());
    const auto actors = host::LevelActorsCopy(PersistentLevelOfCurrentWorld());
    std::int32_t count = 0;
    // An empty target names no structure, not the structures whose own path happens to be empty.
    for (AActor* actor : actors) {
      if (target.empty()) break;
      if (actor == nullptr || !host::IsA(actor, host::StructureClass())) continue;
      if (ObjectBlueprint(actor).ToUtf8() != target) continue;
      host::ForceDestroy(actor);
      ++count;
    }
    Reply(connection, packet, fmt::format(messages::kStructuresDestroyed, count));
  });
}

void DestroySpecifydino(RCONClientConnection* connection, RCONPacket* packet, UWorld* /*world*/) {
  RunAtBoundary(__FILE__, "DestroySpecifydino", [&] {
    const auto body = host::OwnedString::CopyOf(host::PacketBody(packet));
    const auto words = SplitCommandWords(body);
    if (words.Num() < 3) return Reply(connection, packet, messages::kBadFormat);

    const auto creatureBlueprint = host::OwnedString::CopyOf(words[1]);
    // Only whether the low 32 bits are zero matters: zero spares the creatures of protected teams.
    const auto destroyAll = static_cast<std::uint32_t>(ParseUnsigned64(words[2].View())) != 0;
    const auto actors = host::LevelActorsCopy(PersistentLevelOfCurrentWorld());
    const std::string wanted = creatureBlueprint.ToUtf8();
    std::int32_t count = 0;
    for (AActor* actor : actors) {
      if (actor == nullptr || !host::IsA(actor, host::DinoClass())) continue;
      if (ClassBlueprint(host::ClassOf(actor)).ToUtf8() != wanted) continue;
      if (!destroyAll && host::TargetingTeam(actor) >= kProtectedTeam) continue;
      host::ForceDestroy(actor);
      ++count;
    }
    Reply(connection, packet, fmt::format(messages::kDinosDestroyed, count));
  });
}
