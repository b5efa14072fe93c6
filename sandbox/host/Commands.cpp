// RCON command registration and dispatch by a line's first word, and the host's view of the running world.
#include <algorithm>
#include <map>

#include "sandbox/host/HostInternal.h"
#include "sandbox/host/Text.h"

namespace sandbox {
namespace {

std::u16string Units(const EngineString& text) {
  if (text.data == nullptr || text.count <= 1) return {};
  return {text.data, static_cast<std::size_t>(text.count - 1)};
}

std::map<std::u16string, ArkApi::RconCommandHandler>& RconCommands() {
  static std::map<std::u16string, ArkApi::RconCommandHandler> commands;
  return commands;
}

std::map<std::u16string, std::function<void(const EngineString&)>>& ConsoleCommands() {
  static std::map<std::u16string, std::function<void(const EngineString&)>> commands;
  return commands;
}

std::map<std::string, std::function<void()>>& TickCallbacks() {
  static std::map<std::string, std::function<void()>> callbacks;
  return callbacks;
}

std::vector<CommandEvent>& Events() {
  static std::vector<CommandEvent> events;
  return events;
}

// The command name: the first run of characters up to white space. Consoles let administrators type a tab
// there, and the line still reaches the command, which then splits its own words.
std::u16string FirstWord(std::u16string_view line) {
  constexpr std::u16string_view kWhiteSpace = u" \t\r\n";
  const auto start = line.find_first_not_of(kWhiteSpace);
  if (start == std::u16string_view::npos) return {};
  const auto end = line.find_first_of(kWhiteSpace, start);
  return std::u16string(line.substr(start, end == std::u16string_view::npos ? std::u16string_view::npos : end - start));
}

class Commands final : public ArkApi::ICommands {
 public:
  bool HasRconCommand(const EngineString& name) const override { return RconCommands().count(Units(name)) != 0; }

  std::vector<std::string> RconCommandNames() const override {
    std::vector<std::string> names;
    for (const auto& [name, handler] : RconCommands()) names.push_back(Utf16ToUtf8(name));
    return names;
  }

  bool ExecuteRconCommand(RCONClientConnection* connection, RCONPacket* packet, UWorld* world) override {
    const auto found = RconCommands().find(FirstWord(Units(packet->body)));
    if (found == RconCommands().end()) return false;
    // A copy: the handler may unregister itself while it runs.
    const ArkApi::RconCommandHandler handler = found->second;
    handler(connection, packet, world);
    return true;
  }

  bool RegisterRconCommand(const EngineString& name, const ArkApi::RconCommandHandler& handler) override {
    const std::u16string key = Units(name);
    const bool accepted = !key.empty() && handler && RconCommands().count(key) == 0;
    Events().push_back({detail::NextEventSequence(), true, Utf16ToUtf8(key), accepted});
    if (accepted) RconCommands().emplace(key, handler);
    return accepted;
  }

  bool RegisterConsoleCommand(const EngineString& name,
                              const std::function<void(const EngineString&)>& handler) override {
    return !Units(name).empty() && handler && ConsoleCommands().emplace(Units(name), handler).second;
  }

  bool UnregisterConsoleCommand(const EngineString& name) override { return ConsoleCommands().erase(Units(name)) != 0; }

  bool ExecuteConsoleCommand(const EngineString& line) override {
    const auto found = ConsoleCommands().find(FirstWord(Units(line)));
    if (found == ConsoleCommands().end()) return false;
    const auto handler = found->second;
    handler(line);
    return true;
  }

  bool RegisterTickCallback(const std::string& id, const std::function<void()>& callback) override {
    return callback && TickCallbacks().emplace(id, callback).second;
  }

  bool UnregisterTickCallback(const std::string& id) override { return TickCallbacks().erase(id) != 0; }

  bool UnregisterRconCommand(const EngineString& name) override {
    const std::u16string key = Units(name);
    const bool accepted = RconCommands().erase(key) != 0;
    Events().push_back({detail::NextEventSequence(), false, Utf16ToUtf8(key), accepted});
    return accepted;
  }
};

class ApiUtils final : public ArkApi::IApiUtils {
 public:
  bool IsServerReady() const override { return detail::CurrentWorld() != nullptr; }
  UWorld* CurrentWorld() override { return reinterpret_cast<UWorld*>(detail::CurrentWorld()); }
};

Commands& CommandsInstance() {
  static Commands commands;
  return commands;
}

// Called by the game: records what is sent back to the client.
void SendMessageW(RCONClientConnection* connection, std::int32_t id, std::int32_t type, EngineString* message) {
  if (connection == nullptr) detail::Fail(std::string(members::SendMessageW::name) + " on a null connection");
  if (message == nullptr) detail::Fail(std::string(members::SendMessageW::name) + " without a message");
  Connection::From(connection)->replies.push_back({id, type, Units(*message)});
}

}  // namespace

void detail::ResetCommands() {
  RconCommands().clear();
  ConsoleCommands().clear();
  TickCallbacks().clear();
  Events().clear();
}

void detail::RegisterRconMembers() { RegisterFunction<members::SendMessageW>(&SendMessageW); }

std::vector<CommandEvent> CommandEvents() { return Events(); }

bool ExecuteRcon(Connection& connection, std::string_view line, std::int32_t packetId) {
  std::u16string body = Utf8ToUtf16(line);
  body.push_back(u'\0');
  RCONPacket packet;
  packet.size = static_cast<std::int32_t>(line.size() + 10);
  packet.id = packetId;
  packet.type = 2;
  packet.body.data = body.data();
  packet.body.count = static_cast<std::int32_t>(body.size());
  packet.body.capacity = packet.body.count;
  return CommandsInstance().ExecuteRconCommand(connection.Handle(), &packet,
                                               reinterpret_cast<UWorld*>(detail::CurrentWorld()));
}

}  // namespace sandbox

ArkApi::ICommands& ArkApi::GetCommands() { return sandbox::CommandsInstance(); }

ArkApi::IApiUtils& ArkApi::GetApiUtils() {
  static sandbox::ApiUtils utils;
  return utils;
}
