// Which lists of a configuration make the loaded plug-in's hooks log a failure, found by driving the hooks in the
// simulated game, and whether the configuration checker says the same list by list.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "Check.h"

namespace verdicts {

// Writes the configuration file and has the loaded plug-in reload it; true when it answered that it reloaded.
using Install = std::function<bool(const std::string& text)>;

struct HookFailures {
  bool loaded = false;  // the reload accepted the file
  // What the three inventory detours logged for an inventory holding one item, and an add of an unlisted item.
  std::vector<std::string> itemLines;
  // What the spawn of a creature without a "DestroyDinoLevel" entry logged.
  std::vector<std::string> creatureLines;
  // For each "DestroyDinoLevel" name that a creature's path can be, what the spawn of such a creature logged with
  // "DestroyDinolist" taken out (its failure would hide the level check); empty when nothing was logged.
  std::map<std::string, std::string> levelLines;
};

// Only the failure lines of the detours are kept; the plug-in's other log lines are not expected here.
HookFailures DriveHooks(const std::string& text, const Install& install);

// Where the checker and the hooks disagree, in words; empty when they agree for every list.
std::vector<std::string> Disagreements(const check::Findings& findings, const HookFailures& hooks);

}  // namespace verdicts
