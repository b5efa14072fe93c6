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

// By the file name's extension; text types say they are UTF-8.
std::string_view ContentTypeOf(std::string_view name);

}  // namespace sandbox::console
