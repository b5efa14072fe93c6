// The sandbox's own commands: counted listings agree in number with their count.
#include <gtest/gtest.h>

#include <string>

#include "sandbox/GameWorld.h"
#include "sandbox/server/Session.h"
#include "sandbox/server/WorldFile.h"

namespace {

using nlohmann::json;

class SessionTest : public ::testing::Test {
 protected:
  void SetUp() override { sandbox::ResetHost(); }
};

// The last line of a reply: where a listing says how many it listed.
std::string LastLine(const std::string& reply) {
  const auto end = reply.find_last_of('\n');
  return end == std::string::npos ? reply : reply.substr(end + 1);
}

TEST_F(SessionTest, CountedListingsAreSingularForOne) {
  sandbox::server::BuildWorld(json::parse(R"({
    "classes": [{"name": "Raptor_C", "package": "/Game/R", "kind": "creature"},
                {"name": "Wall_C", "package": "/Game/W", "kind": "structure"}],
    "creatures": [{"class": "Raptor_C"}],
    "structures": [{"class": "Wall_C"}, {"class": "Wall_C"}]
  })"));
  sandbox::server::Session session("no plug-in is loaded here");
  struct Case {
    const char* command;
    const char* last;
  };
  const Case before[] = {
      {"sandbox.creatures", "1 creature in the persistent level"},
      {"sandbox.structures", "2 structures in the persistent level"},
      {"sandbox.hooks", "0 hooked game functions"},
      {"sandbox.commands", "0 RCON commands"},
  };
  for (const auto& c : before) EXPECT_EQ(LastLine(session.Execute(c.command)), c.last) << c.command;

  session.Execute("sandbox.spawn Raptor_C");
  EXPECT_EQ(LastLine(session.Execute("sandbox.creatures")), "2 creatures in the persistent level");
}

}  // namespace
