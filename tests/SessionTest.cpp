// The sandbox's own commands: counted listings agree in number with their count.
#include <gtest/gtest.h>

#include <string>

#include "sandbox/GameWorld.h"
#include "sandbox/server/Session.h"
#include "sandbox/server/WorldFile.h"

namespace {

// The last line of a reply, where a listing says how many it listed.
std::string LastLine(const std::string& reply) { return reply.substr(reply.find_last_of('\n') + 1); }

TEST(SessionTest, CountedListingsAreSingularForOne) {
  sandbox::ResetHost();
  sandbox::server::BuildWorld(nlohmann::json::parse(R"({
    "classes": [{"name": "Raptor_C", "package": "/Game/R", "kind": "creature"},
                {"name": "Wall_C", "package": "/Game/W", "kind": "structure"}],
    "creatures": [{"class": "Raptor_C"}],
    "structures": [{"class": "Wall_C"}, {"class": "Wall_C"}]
  })"));
  sandbox::server::Session session("no plug-in is loaded here");
  EXPECT_EQ(LastLine(session.Execute("sandbox.creatures")), "1 creature in the persistent level");
  EXPECT_EQ(LastLine(session.Execute("sandbox.structures")), "2 structures in the persistent level");
  EXPECT_EQ(LastLine(session.Execute("sandbox.hooks")), "0 hooked game functions");
  EXPECT_EQ(LastLine(session.Execute("sandbox.commands")), "0 RCON commands");
  session.Execute("sandbox.spawn Raptor_C");
  EXPECT_EQ(LastLine(session.Execute("sandbox.creatures")), "2 creatures in the persistent level");
}

}  // namespace
