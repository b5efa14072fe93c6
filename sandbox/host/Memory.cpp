// The game allocator: counts live buffers and refuses to free what it did not hand out.
#include <cstdlib>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_set>

#include "sandbox/host/HostInternal.h"

namespace sandbox {
namespace {

std::mutex gMutex;
std::unordered_set<void*>& LiveSet() {
  static std::unordered_set<void*> live;
  return live;
}
std::uint64_t gTotal = 0;
AllocatorCalls gCalls;

void* Allocate(std::size_t size, std::string_view what) {
  void* buffer = std::malloc(size == 0 ? 1 : size);
  if (buffer == nullptr) detail::Fail(std::string(what) + ": out of memory");
  LiveSet().insert(buffer);
  ++gTotal;
  return buffer;
}

void* Malloc(std::size_t size, std::uint32_t /*alignment*/) {
  std::lock_guard lock(gMutex);
  ++gCalls.mallocs;
  return Allocate(size, members::Malloc::name);
}

void* Realloc(void* buffer, std::size_t size) {
  std::lock_guard lock(gMutex);
  if (buffer == nullptr) {
    ++gCalls.reallocsOfNull;
    return Allocate(size, members::Realloc::name);
  }
  ++gCalls.reallocs;
  if (LiveSet().erase(buffer) == 0)
    detail::Fail(std::string(members::Realloc::name) + " of a buffer the game allocator did not hand out");
  void* grown = std::realloc(buffer, size == 0 ? 1 : size);
  if (grown == nullptr) detail::Fail(std::string(members::Realloc::name) + ": out of memory");
  LiveSet().insert(grown);
  return grown;
}

void Free(void* buffer) {
  if (buffer == nullptr) return;
  std::lock_guard lock(gMutex);
  ++gCalls.frees;
  if (LiveSet().erase(buffer) == 0)
    detail::Fail(std::string(members::Free::name) + " of a buffer the game allocator did not hand out");
  std::free(buffer);
}

}  // namespace

void detail::RegisterMemoryMembers() {
  RegisterFunction<members::Malloc>(&Malloc);
  RegisterFunction<members::Realloc>(&Realloc);
  RegisterFunction<members::Free>(&Free);
}

std::size_t LiveAllocations() {
  std::lock_guard lock(gMutex);
  return LiveSet().size();
}

std::uint64_t TotalAllocations() {
  std::lock_guard lock(gMutex);
  return gTotal;
}

AllocatorCalls AllocatorCallCounts() {
  std::lock_guard lock(gMutex);
  return gCalls;
}

}  // namespace sandbox
