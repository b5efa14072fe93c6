// The checker's one table of codes: every finding is made from a row of it; and what the findings' severities make
// of the exit status.
#include "Codes.h"

#include <array>

namespace check {
namespace {

using enum Severity;

constexpr std::array kCodes = std::to_array<CodeInfo>({
    {"E100", Error, {"The file cannot be read: missing, unreadable, a directory or not a regular file (exit status 3).",
                     "文件无法读取：不存在、不可读、是文件夹，或不是普通文件（退出码 3）。"}},
    {"E101", Error, {"The file does not parse; the plug-in stays idle. A hint is given for a file saved as UTF-16 or GBK/ANSI.",
                     "文件无法解析，插件不生效。若文件以 UTF-16 或 GBK/ANSI 保存，会给出提示。"}},
    {"E110", Error, {"The file holds an array, string, number or boolean: the inventory hooks fail on every call.",
                     "文件内容是数组、字符串、数字或布尔值：物品栏钩子每次调用都会失败。"}},
    {"E111", Error, {"\"Destroylist\" is a string, number, boolean or non-empty array: the inventory hooks fail.",
                     "\"Destroylist\" 是字符串、数字、布尔值或非空数组：物品栏钩子会失败。"}},
    {"E112", Error, {"A \"Destroylist\" entry is not an object holding a \"Blueprint\" string: the inventory hooks fail there.",
                     "\"Destroylist\" 的某个条目不是含 \"Blueprint\" 字符串的对象：物品栏钩子在此失败。"}},
    {"E120", Error, {"The file holds something other than an object: every creature spawn fails the spawn check.",
                     "文件内容不是对象：每只恐龙刷出时，刷出检查都会出错。"}},
    {"E121", Error, {"\"DestroyDinolist\" is a string, number, boolean or non-empty array: every spawn fails the list check.",
                     "\"DestroyDinolist\" 是字符串、数字、布尔值或非空数组：每次刷出时清单检查都会出错。"}},
    {"E122", Error, {"A \"DestroyDinolist\" entry is faulty as in E112: the list check ends there on every spawn.",
                     "\"DestroyDinolist\" 的某个条目有 E112 所述的问题：每次刷出时清单检查都在此中断。"}},
    {"E132", Error, {"A \"DestroyDinoLevel\" entry lacks a number \"ExceedSestructionLevel\": every spawn of that creature logs an error.",
                     "\"DestroyDinoLevel\" 的某个条目缺少数字 \"ExceedSestructionLevel\"：该恐龙每次刷出都会记录一条错误。"}},
    {"W201", Warning, {"A top-level key the plug-in does not read, with the nearest known key.",
                       "插件不读取的顶层键，并给出最接近的已知键。"}},
    {"W202", Warning, {"A path that can never equal a path the game derives (no Blueprint'...' wrapper, wrong letter case, whitespace outside).",
                       "永远匹配不上的路径（缺少 Blueprint'...' 外壳、大小写不对、外壳之外有空白）。"}},
    {"W203", Warning, {"A path that is almost certainly wrong: it ends in _C', contains Default__, or has whitespace inside the quotes.",
                       "几乎肯定写错的路径：以 _C' 结尾、含 Default__，或引号内侧有空白。"}},
    {"W204", Warning, {"An empty path.", "空路径。"}},
    {"W205", Warning, {"A threshold the plug-in converts to another number, with the value it uses.",
                       "插件会换算成另一个数的阈值，并给出插件实际使用的值。"}},
    {"W206", Warning, {"Content after the JSON value; the plug-in ignores it.", "JSON 值之后还有内容；插件会忽略它。"}},
    {"W207", Warning, {"A list the plug-in walks nothing in: an empty array, or a \"DestroyDinoLevel\" that is not an object.",
                       "插件不会从中读取任何条目的清单：空数组，或不是对象的 \"DestroyDinoLevel\"。"}},
    {"W208", Warning, {"A faulty \"DestroyDinoLevel\" entry whose name no creature's path can be: no spawn reads it.",
                       "\"DestroyDinoLevel\" 中有问题的条目，其名称不可能是任何恐龙的路径：任何一次刷出都不会读取它。"}},
    {"W209", Warning, {"A name written more than once in one object: the plug-in keeps only the last, the others are lost.",
                       "同一对象中重复出现的名称：插件只保留最后一个，其余的被忽略。"}},
    {"N301", Note, {"The same path under several labels: removed or destroyed once per entry.",
                    "同一路径出现在多个标签下：每个条目各移除或清理一次。"}},
    {"N302", Note, {"A creature both listed in \"DestroyDinolist\" and level-capped: a second destroy call.",
                    "某种恐龙既在 \"DestroyDinolist\" 中，又设了等级阈值：会多调用一次清理。"}},
    {"N303", Note, {"A list missing or null: that feature is off.", "清单缺失或为 null：该功能关闭。"}},
});

static_assert(kCodes.size() == static_cast<std::size_t>(Code::Count), "one row per code, in the order of Code");

}  // namespace

std::span<const CodeInfo> CodeTable() { return kCodes; }

const CodeInfo& Info(Code code) { return kCodes[static_cast<std::size_t>(code)]; }

// SARIF's levels are these same three words.
const char* SeverityName(Severity severity) {
  switch (severity) {
    case Severity::Error:
      return "error";
    case Severity::Warning:
      return "warning";
    default:
      return "note";
  }
}

int ExitStatus(const Findings& findings) {
  int status = 0;
  for (const Finding& finding : findings) {
    if (finding.code == Info(Code::E100).code) return 3;
    if (finding.severity == Severity::Error) status = 2;
    if (finding.severity == Severity::Warning && status < 1) status = 1;
  }
  return status;
}

}  // namespace check
