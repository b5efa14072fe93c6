// The plug-in's own texts: log messages as GBK bytes, RCON replies as wide text.
#pragma once

namespace messages {

// Log lines are GBK-encoded, as the host's log expects.
inline constexpr const char* kLoggerName = "Sweepmark1.4.1";
inline constexpr const char* kLogPattern = "%D %R [%n][%l] %v";
// "无法打开文件配置config.json"
inline constexpr const char* kConfigNotOpened =
    "\xce\xde\xb7\xa8\xb4\xf2\xbf\xaa\xce\xc4\xbc\xfe\xc5\xe4\xd6\xc3"
    "config.json";
// "已加载:{}.插件发布群730528146"
inline constexpr const char* kLoaded =
    "\xd2\xd1\xbc\xd3\xd4\xd8:{}.\xb2\xe5\xbc\xfe\xb7\xa2\xb2\xbc\xc8\xba"
    "730528146";
// "Tidywarden开发组赞助制作"
inline constexpr const char* kCredit = "Tidywarden\xbf\xaa\xb7\xa2\xd7\xe9\xd4\xde\xd6\xfa\xd6\xc6\xd7\xf7";
// "【插件加载失败】非常抱歉！由于Orrin抄袭Velka，Orrin与我二选一！"
inline constexpr const char* kMarkerFound =
    "\xa1\xbe\xb2\xe5\xbc\xfe\xbc\xd3\xd4\xd8\xca\xa7\xb0\xdc\xa1\xbf\xb7\xc7\xb3\xa3\xb1\xa7\xc7\xb8\xa3\xa1\xd3\xc9"
    "\xd3\xdaOrrin\xb3\xad\xcf\xaeVelka\xa3\xacOrrin\xd3\xeb\xce\xd2\xb6\xfe\xd1\xa1\xd2\xbb\xa3\xa1";
inline constexpr const char* kCommandFailure = "({} {}) Parsing error {}";

// RCON replies.
inline constexpr const wchar_t* kReloaded = L"重新加载配置";
inline constexpr const wchar_t* kStructuresDestroyed = L"清理指定建筑{}个，执行完毕！";
inline constexpr const wchar_t* kDinosDestroyed = L"清理指定恐龙{}条，执行完毕！";
inline constexpr const wchar_t* kBadFormat = L"格式错误！";

}  // namespace messages
