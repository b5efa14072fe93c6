// The language findings are written in: named on the command line, or the user's own.
#include <cstdlib>
#include <optional>
#include <string_view>

#if defined(_WIN32)
#include <windows.h>
#endif

#include "Check.h"

namespace check {

std::optional<Language> ParseLanguage(std::string_view name) {
  if (name == "en") return Language::English;
  if (name == "zh-CN" || name == "zh_CN" || name == "zh") return Language::Chinese;
  return std::nullopt;
}

Language LanguageFromLocale(std::string_view locale) {
  return locale.starts_with("zh") ? Language::Chinese : Language::English;
}

Language EnvironmentLanguage() {
  // A locale set in the environment is the user's choice; Windows sets none of its own (a POSIX shell on it may).
  for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && *value != '\0') return LanguageFromLocale(value);
  }
#if defined(_WIN32)
  return PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_CHINESE ? Language::Chinese : Language::English;
#else
  return Language::English;
#endif
}

}  // namespace check
