// The console's page, built into the program: every file of sandbox/console/page/ as it was at build time.
#pragma once

#include <span>
#include <string_view>

namespace sandbox::console {

struct PageFile {
  std::string_view name;  // "index.html"
  std::string_view bytes;
};

std::span<const PageFile> PageFiles();

}  // namespace sandbox::console
