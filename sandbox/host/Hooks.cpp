// Hook sites: a chain of detours per game function, each calling the next through its replaced-function pointer.
#include <algorithm>
#include <unordered_map>

#include "sandbox/host/HostInternal.h"

namespace sandbox {
namespace {

struct Detour {
  void* detour = nullptr;
  void** original = nullptr;
};

struct HookSite {
  void* function = nullptr;
  std::vector<Detour> chain;  // innermost first; the game calls the last one
};

std::unordered_map<std::string, HookSite>& Sites() {
  static std::unordered_map<std::string, HookSite> sites;
  return sites;
}

std::vector<HookEvent>& Events() {
  static std::vector<HookEvent> events;
  return events;
}

HookSite* FindSite(const std::string& name) {
  detail::EnsureRegistered();
  const auto found = Sites().find(name);
  return found == Sites().end() ? nullptr : &found->second;
}

class Hooks final : public ArkApi::IHooks {
 public:
  bool IsHooked(const std::string& name) const override {
    const HookSite* site = FindSite(name);
    return site != nullptr && !site->chain.empty();
  }

  // A detour that is already in place is refused, so a repeated install cannot make the chain call itself.
  bool InstallHook(const std::string& name, void* detour, void** original) override {
    HookSite* site = FindSite(name);
    const bool accepted = site != nullptr && detour != nullptr && original != nullptr &&
                          std::none_of(site->chain.begin(), site->chain.end(),
                                       [&](const Detour& entry) { return entry.detour == detour; });
    Events().push_back({detail::NextEventSequence(), true, name, detour, original, accepted});
    if (!accepted) return false;
    *original = site->chain.empty() ? site->function : site->chain.back().detour;
    site->chain.push_back({detour, original});
    return true;
  }

  // Removing a detour from the middle re-links the one above it to whatever the removed one was calling.
  bool RemoveHook(const std::string& name, void* detour) override {
    HookSite* site = FindSite(name);
    auto found = site == nullptr ? std::vector<Detour>::iterator{}
                                 : std::find_if(site->chain.begin(), site->chain.end(),
                                                [&](const Detour& entry) { return entry.detour == detour; });
    const bool accepted = site != nullptr && found != site->chain.end();
    Events().push_back({detail::NextEventSequence(), false, name, detour, nullptr, accepted});
    if (!accepted) return false;
    if (found + 1 != site->chain.end()) *(found + 1)->original = *found->original;
    site->chain.erase(found);
    return true;
  }
};

}  // namespace

std::uint64_t detail::NextEventSequence() {
  static std::uint64_t sequence = 0;
  return ++sequence;
}

void detail::RegisterHookSite(const std::string& name, void* function) { Sites()[name] = HookSite{function, {}}; }

void* detail::HookEntry(const std::string& name) {
  HookSite* site = FindSite(name);
  if (site == nullptr) Fail("no hookable game function named \"" + name + "\"");
  return site->chain.empty() ? site->function : site->chain.back().detour;
}

void detail::ResetHooks() {
  detail::EnsureRegistered();
  for (auto& [name, site] : Sites()) site.chain.clear();
  Events().clear();
}

std::vector<HookEvent> HookEvents() { return Events(); }

std::vector<void*> InstalledDetours(const std::string& function) {
  std::vector<void*> detours;
  const HookSite* site = FindSite(function);
  if (site == nullptr) return detours;
  for (auto it = site->chain.rbegin(); it != site->chain.rend(); ++it) detours.push_back(it->detour);
  return detours;
}

std::vector<std::string> HookedFunctions() {
  detail::EnsureRegistered();
  std::vector<std::string> names;
  for (const auto& [name, site] : Sites()) {
    if (!site.chain.empty()) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

ArkApi::IHooks& HooksInstance() {
  static Hooks hooks;
  return hooks;
}

}  // namespace sandbox

ArkApi::IHooks& ArkApi::GetHooks() { return sandbox::HooksInstance(); }
