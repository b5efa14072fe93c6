// The checker's one pass over a file, for those who need more than its findings: the fix planner.
#pragma once

#include <optional>
#include <string>

#include "CheckInternal.h"
#include "Positions.h"

namespace check::detail {

// The findings in the order they were made, each placed, and the file's positions when its document was read.
struct Checked {
  explicit Checked(Language language) : report(language) {}
  Report report;
  std::optional<Positions> positions;
};

// Reads the file as the plug-in does, reviews what it holds and places every finding.
Checked Check(const std::string& path, Language language);

// The change an anchor's fix makes, when it can be made as it stands: its token found and a string, and a key's new
// name not one its object already holds. Without a line and column.
std::optional<Change> CertainChange(const Positions& positions, const Anchor& anchor);

}  // namespace check::detail
