// English wording shared by the programs' replies: a count with its noun.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace wording {

// "1 creature", "2 creatures": `noun` names one thing and takes an "s" for any other count.
inline std::string Counted(std::size_t count, std::string_view noun) {
  std::string text = std::to_string(count) + " ";
  text += noun;
  if (count != 1) text += "s";
  return text;
}

}  // namespace wording
