// The sandbox's own commands: counted listings agree in number with their count.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "Check.h"
#include "sandbox/game/GameWorld.h"
#include "sandbox/game/WorldFile.h"
#include "sandbox/host/Sandbox.h"
#include "sandbox/server/Session.h"

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

// Every command the guides document runs, and the help lists each of them: the help is made from the commands.
TEST(SessionTest, EveryDocumentedCommandRunsAndIsInTheHelp) {
  sandbox::ResetHost();
  sandbox::server::Session session("no plug-in is loaded here");
  const std::string help = session.Execute("sandbox.help");
  std::vector<std::string> words;  // without the plug-in loaded, the sandbox's own, in the help's order
  for (const char* name : {"help", "classes", "creatures", "structures", "inventories", "spawn", "place", "give", "view",
                           "finish", "engram", "startgame", "hooks", "commands", "unload", "load", "log", "check"}) {
    const std::string command = std::string("sandbox.") + name;
    words.push_back(command);
    EXPECT_NE(help.find("  " + command + " "), std::string::npos) << command << " is missing from:\n" << help;
    EXPECT_EQ(session.Execute(command).rfind("unknown sandbox command", 0), std::string::npos) << command;
  }
  EXPECT_EQ(session.Execute("sandbox.nosuch"), "unknown sandbox command: sandbox.nosuch (see sandbox.help)");
  EXPECT_EQ(sandbox::server::Session::CommandWords(), words);
}

// A configuration with thousands of faulty members: the reply shows as many findings as fit in 32 KiB and counts
// the rest.
TEST(SessionTest, CheckReplyOfAHugeVerdictShowsWhatFitsAndCountsTheRest) {
  sandbox::ResetHost();
  const auto directory = std::filesystem::temp_directory_path() / "tidywarden-session-check";
  std::filesystem::create_directories(directory / "ArkApi/Plugins/Tidywarden");
  nlohmann::json list = nlohmann::json::object();
  for (int i = 0; i < 3000; ++i) list["member" + std::to_string(i)] = i;
  const auto config = directory / "ArkApi/Plugins/Tidywarden/config.json";
  std::ofstream(config) << nlohmann::json{{"Destroylist", list}}.dump();
  sandbox::SetCurrentDir(directory.generic_string());
  sandbox::server::Session session("no plug-in is loaded here");

  const std::string reply = session.Execute("sandbox.check");
  const check::Findings all = check::CheckFile(config.string());
  std::filesystem::remove_all(directory);
  ASSERT_GT(check::FormatText(all).size(), 32u * 1024);
  const std::string trailer = " more findings: run tidywarden-check on the file for all of them)";
  ASSERT_GT(reply.size(), trailer.size());
  ASSERT_EQ(reply.substr(reply.size() - trailer.size()), trailer);
  const std::size_t open = reply.rfind('(');
  const std::size_t hidden = std::stoul(reply.substr(open + 1));
  ASSERT_LT(hidden, all.size());
  const auto first = [&](std::size_t count) {
    return check::FormatText(check::Findings(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(count)));
  };
  const std::size_t shown = all.size() - hidden;
  EXPECT_EQ(reply.substr(0, open), first(shown));
  EXPECT_LE(first(shown).size(), 32u * 1024);
  EXPECT_GT(first(shown + 1).size(), 32u * 1024);
}

}  // namespace
