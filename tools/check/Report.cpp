// A report's findings, each made from its row of the code table with the place it stands at, and their pointers.
#include <string>
#include <utility>
#include <vector>

#include "CheckInternal.h"

namespace check::detail {

void Report::Add(Code code, Anchor anchor, std::string message, std::string effect, LogLines log) {
  const CodeInfo& info = Info(code);
  findings.push_back({info.severity,
                      info.code,
                      0,
                      0,
                      Pointer(anchor.tokens),
                      std::move(message),
                      std::move(effect),
                      std::move(log),
                      {}});
  anchors.push_back(std::move(anchor));
}

std::string Pointer(const std::vector<std::string>& tokens) {
  std::string pointer;
  std::size_t size = 0;
  for (const std::string& token : tokens) size += 1 + token.size();
  pointer.reserve(size);
  for (const std::string& token : tokens) {
    pointer += '/';
    std::size_t run = 0;
    for (std::size_t at = 0; at < token.size(); ++at) {
      if (token[at] != '~' && token[at] != '/') continue;
      pointer.append(token, run, at - run).append(token[at] == '~' ? "~0" : "~1", 2);
      run = at + 1;
    }
    pointer.append(token, run);
  }
  return pointer;
}

}  // namespace check::detail
