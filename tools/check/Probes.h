// What the reviews of the lists share: the hooks' walks run on a probe document of one list or one member, their
// verdict taken once per shape of member, and the words for a list or a member the walks cannot use.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "CheckInternal.h"

namespace check::detail {

// What the walks raise, as the detours' boundary logs it; nothing when the walk completes. Each walk compares every
// member with a text no derived path can equal, so it matches none.
std::optional<std::string> ItemWalkFailure(nlohmann::json& document);
std::optional<std::string> CreatureWalkFailure(const nlohmann::json& document);
// The level check of a creature of this blueprint that has a status component.
std::optional<std::string> LevelCheckFailure(nlohmann::json& document, std::string_view blueprint);

// The lines the plug-in logs when the inventory hooks' walk fails, and when the spawn filter's does.
std::vector<std::string> ItemWalkLines(const std::string& what);
std::vector<std::string> SpawnLines(const std::string& what);

// A document of one list, or of one member of a list, lent from the configuration by swapping: a value nested ten
// thousand deep is not copied, and the walk meets exactly the value the hooks would meet. A swap moves no element,
// so what views the lent value still views it once it is given back.
class Probe {
 public:
  Probe(nlohmann::json& value, const char* list) : value_(value), slot_(&document_[list]) { slot_->swap(value_); }
  Probe(nlohmann::json& value, const char* list, const std::string& key) : value_(value) {
    nlohmann::json& members = document_[list] = nlohmann::json::object();
    slot_ = &members[key];
    slot_->swap(value_);
  }
  ~Probe() { slot_->swap(value_); }
  Probe(const Probe&) = delete;
  Probe& operator=(const Probe&) = delete;

  nlohmann::json& Document() { return document_; }

 private:
  nlohmann::json document_ = nlohmann::json::object();
  nlohmann::json& value_;
  nlohmann::json* slot_;
};

// The walks' verdict on a document of one member depends only on the member's kind and on the kind of the one member
// they read in it (the exception texts name kinds, never values): one probe walk per shape, whatever the count of
// members, and an exception raised once per shape instead of once per faulty member. The log lines of a failure
// are made once with it, and every member that fails alike shares them.
struct Verdict {
  std::optional<std::string> failure;
  LogLines log;
};

class VerdictByShape {
 public:
  using MakeLines = std::vector<std::string> (*)(const std::string&);
  explicit VerdictByShape(MakeLines lines) : lines_(lines) {}

  // `walk` runs the probe walk, only for a shape not met before. The verdict stays where it is while this lives.
  template <typename Walk>
  const Verdict& Of(const nlohmann::json& value, const char* member, Walk&& walk) {
    int inner = -1;
    if (value.is_object()) {
      const auto found = value.find(member);
      inner = found == value.end() ? -2 : static_cast<int>(found->type());
    }
    const auto key = std::make_pair(static_cast<int>(value.type()), inner);
    const auto known = verdicts_.find(key);
    if (known != verdicts_.end()) return known->second;
    Verdict verdict{walk(), {}};
    if (verdict.failure) verdict.log = lines_(*verdict.failure);
    return verdicts_.emplace(key, std::move(verdict)).first->second;
  }

 private:
  MakeLines lines_;
  std::map<std::pair<int, int>, Verdict> verdicts_;
};

// What a value was before a walk was lent it: a failing walk may add null members to it.
struct Before {
  Before(const nlohmann::json& value, const char* member, Language language)
      : kind(KindOf(value, language)), object(value.is_object()), memberPresent(object && value.contains(member)) {}
  std::string kind;
  bool object;
  bool memberPresent;
};

// What a member must hold: one member of a given name, which the walk reads.
struct Shape {
  const char* member;
  const text::Text& notObject;
  const text::Text& wrongKind;
  const text::Text& missing;
  const text::Text& misspelt;
};
extern const Shape kLabelledShape;
extern const Shape kLevelShape;

// Why a member the walk failed on is faulty, in the administrator's terms; `quoted` is its label, quoted.
std::string ShapeFault(const Report& report, const Shape& shape, const std::string& quoted, const nlohmann::json& value,
                       const Before& before);
// What a failing member holds up: the `count` members the walk would read after it.
std::string LaterMembers(const Report& report, std::size_t count);
// A list that is missing, null (`found` nothing or null) or of a kind the plug-in walks nothing in.
void ListOff(Report& report, const char* key, const nlohmann::json* found, const text::Text& walksNothing,
             const text::Text& offEffect);
// A finding on a path the game cannot derive or almost certainly does not mean, at the anchor `anchorOf` makes (only
// for a finding: most paths are fine); nothing for a fine path.
void ReportPath(Report& report, const std::string& path, PathFamily family, const std::function<Anchor()>& anchorOf);

// The labels of the members the walk of a labelled list accepts, by the path each names, in label order (the order of
// the walk). The views are into the document, valid while it lives: an object is a std::map (asserted below), whose
// names and values stay where they are, and a probe lends a value by a swap, which moves no element.
struct Labels {
  std::string_view first;
  std::vector<std::string_view> more;
};
using ListedPaths = std::unordered_map<std::string_view, Labels>;

template <typename T>
struct IsMap : std::false_type {};
template <typename... Parameters>
struct IsMap<std::map<Parameters...>> : std::true_type {};
static_assert(IsMap<nlohmann::json::object_t>::value, "the listed paths view names and values in place");

// The item list, then the creature list; what the creature list's walk accepts, for the level list.
ListedPaths ReviewLabelledLists(nlohmann::json& document, Report& report);
void ReviewLevelList(nlohmann::json& document, const ListedPaths& listedCreatures, Report& report);

}  // namespace check::detail
