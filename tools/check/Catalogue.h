// Everything the checker says, in each language it speaks: fmt templates with named fields.
#pragma once

namespace check::text {

struct Text {
  const char* en;
  const char* zh;
};

// ---- Kinds of JSON value ----
inline constexpr Text kNull{"null", "null"};
inline constexpr Text kObject{"an object", "对象"};
inline constexpr Text kArray{"an array", "数组"};
inline constexpr Text kString{"a string", "字符串"};
inline constexpr Text kBoolean{"a boolean", "布尔值"};
inline constexpr Text kNumber{"a number", "数字"};
inline constexpr Text kOtherKind{"a {kind}", "{kind}"};
inline constexpr Text kItem{"item", "物品"};
inline constexpr Text kCreature{"creature", "恐龙"};

// ---- The walks' effects ----
inline constexpr Text kItemWalkEffect{
    "The inventory hooks fail here on every call that has an item to check, each call logging the line below: no "
    "item that the add check inspects can be added (an item listed under an earlier member is still refused), no "
    "inventory holding an item can be viewed remotely, and listed items are no longer removed when a client finishes "
    "receiving an inventory.",
    "只要有物品要检查，物品栏钩子每次都在这里出错，并记录下面的日志行：要经过添加检查的物品都放不进物品栏（前面条目列出的物品仍会被拒绝），"
    "装有物品的物品栏都无法远程查看，客户端接收完物品栏后，清单中的物品也不再被移除。"};
inline constexpr Text kCreatureWalkEffect{
    "Every creature that enters play fails the list check here, each spawn logging the line below: creatures listed "
    "under later members are not destroyed, and the level check never runs, so no creature is destroyed by level.",
    "每只恐龙刷出时，清单检查都在这里出错，并记录下面的日志行：后面条目列出的恐龙不会被清理，"
    "等级检查也不再执行，所以没有恐龙会因等级被清理。"};
inline constexpr Text kLaterMember{" Until it is mended, the 1 member sorting after it is not checked.",
                                   "修正它之前，排在它后面的 1 个条目不会被检查。"};
inline constexpr Text kLaterMembers{" Until it is mended, the {count} members sorting after it are not checked.",
                                    "修正它之前，排在它后面的 {count} 个条目都不会被检查。"};

// ---- The document ----
inline constexpr Text kNotObject{"the file holds {kind}, not an object", "文件内容是{kind}，不是对象"};
inline constexpr Text kSpawnFilterFails{
    "Every creature that enters play fails the spawn check, each spawn logging the line below: no creature is "
    "destroyed by the list or by level.",
    "每只恐龙刷出时，刷出检查都会出错，并记录下面的日志行：没有恐龙会因清单或等级被清理。"};
inline constexpr Text kSpawnFilterFailsUntil{
    "Every creature that enters play fails the spawn check, each spawn logging the line below: no creature is "
    "destroyed by the list or by level until an inventory hook first reads the item list, which turns the document "
    "in memory into an object.",
    "每只恐龙刷出时，刷出检查都会出错，并记录下面的日志行：在某个物品栏钩子第一次读取物品清单（这会把内存中的文档变成对象）之前，"
    "没有恐龙会因清单或等级被清理。"};

// ---- The labelled lists ----
inline constexpr Text kListWrongKind{"{list} is {kind}; it must be an object of labelled members",
                                     "{list} 是{kind}；它必须是由带标签的条目组成的对象"};
inline constexpr Text kListMissing{"{list} is missing", "缺少 {list}"};
inline constexpr Text kListNull{"{list} is null", "{list} 为 null"};
inline constexpr Text kListWalksNothing{
    "{list} is {kind}, not an object of labelled members: the plug-in walks nothing in it",
    "{list} 是{kind}，不是由带标签的条目组成的对象：插件不会从中读取任何条目"};
inline constexpr Text kItemListOff{"No item is kept out of inventories.", "没有物品会被禁止进入物品栏。"};
inline constexpr Text kCreatureListOff{"No creature is destroyed for its class as it enters play.",
                                       "没有恐龙会因其种类在刷出时被清理。"};
inline constexpr Text kItemListedTwice{
    "Such an item gets one removal call per member when an inventory is purged; only the first removes anything.",
    "从物品栏移除清单中的物品时，这种物品每个条目各调用一次移除，只有第一次真正移除。"};
inline constexpr Text kCreatureListedTwice{"Such a creature is force-destroyed once per member as it enters play.",
                                           "这种恐龙刷出时，每个条目各强制清理一次。"};
inline constexpr Text kSamePathLabels{"the {what} path {path} is listed under {count} labels: {names}",
                                      "{what}路径 {path} 列在 {count} 个标签下：{names}"};
inline constexpr Text kMemberNotObject{
    "member {label} is {kind}; each member must be an object holding a \"Blueprint\" string",
    "条目 {label} 是{kind}；每个条目都必须是含 \"Blueprint\" 字符串的对象"};
inline constexpr Text kBlueprintNotString{"\"Blueprint\" of member {label} is {kind}, not a string",
                                          "条目 {label} 的 \"Blueprint\" 是{kind}，不是字符串"};
inline constexpr Text kNoBlueprint{"member {label} has no \"Blueprint\"", "条目 {label} 没有 \"Blueprint\""};
inline constexpr Text kBlueprintMisspelt{
    "member {label} has no \"Blueprint\"; its {name} is not read (the name is \"Blueprint\", exactly)",
    "条目 {label} 没有 \"Blueprint\"；其中的 {name} 不会被读取（名称必须正好是 \"Blueprint\"）"};

// ---- Paths ----
inline constexpr Text kEmptyPath{"empty path: {reason}", "空路径：{reason}"};
inline constexpr Text kMatchesNothingReal{"It matches no {what} in a real game.", "在真实游戏中它匹配不到任何{what}。"};
inline constexpr Text kNeverDerived{"{text} can never equal a path the game derives: {reason}",
                                    "{text} 永远匹配不上游戏给出的路径：{reason}"};
inline constexpr Text kMatchesNothing{"It matches no {what}, silently.", "它匹配不到任何{what}，而且不会有任何提示。"};
inline constexpr Text kNotMeant{"{text} is almost certainly not the path meant: {reason}",
                                "{text} 几乎肯定不是想写的路径：{reason}"};
inline constexpr Text kMatchesNothingOrdinary{"It matches no {what} of an ordinarily named class, silently.",
                                              "它匹配不到任何正常命名的{what}，而且不会有任何提示。"};
inline constexpr Text kPerhaps{"; perhaps {suggestion}", "；也许应为 {suggestion}"};
inline constexpr Text kEmptyItem{
    "the empty path matches only an item whose class's default object has a full name without a space, which no real "
    "item has",
    "空路径只匹配其类的默认对象全名中没有空格的物品，而真实物品都不是这样"};
inline constexpr Text kEmptyCreature{"the empty path matches only a creature without a class, which no real creature is",
                                     "空路径只匹配没有类的恐龙，而真实恐龙都有类"};
inline constexpr Text kLeadingSpace{"it starts with whitespace before Blueprint'", "它在 Blueprint' 之前有空白字符"};
inline constexpr Text kTrailingSpace{"it ends with whitespace after the closing '", "它在结尾的 ' 之后有空白字符"};
inline constexpr Text kPrefixCase{
    "it starts with {start}: the paths start with Blueprint' exactly, compared letter case and all",
    "它以 {start} 开头：路径必须以 Blueprint' 开头，大小写也要完全一致"};
inline constexpr Text kNoWrapper{"it lacks the Blueprint'...' wrapper that every derived path has",
                                 "它缺少游戏给出的路径都有的 Blueprint'...' 外壳"};
inline constexpr Text kNoClose{"it does not end with the closing '", "它没有以结尾的 ' 结束"};
inline constexpr Text kOnlyPrefix{"it holds nothing but Blueprint'", "它只有 Blueprint'，没有别的内容"};
inline constexpr Text kItemSuffix{
    "it ends in _C': the game drops a class's final _C when it derives an item's path, so this matches only a class "
    "whose name ends in _C_C",
    "它以 _C' 结尾：游戏给出物品路径时会去掉类名末尾的 _C，因此它只匹配类名以 _C_C 结尾的类"};
inline constexpr Text kCreatureSuffix{
    "it ends in _C': a creature's path drops the last two characters of its class reference (Name_C), so this "
    "matches only a reference ending in _C_C",
    "它以 _C' 结尾：恐龙路径去掉了其类引用（Name_C）的最后两个字符，因此它只匹配以 _C_C 结尾的引用"};
inline constexpr Text kItemDefault{
    "it contains Default__: the game removes every Default__ from an item's path, so this matches only a name in "
    "which a removal joins the text into a new Default__",
    "它含有 Default__：游戏会从物品路径中删去所有 Default__，因此它只匹配删去后恰好又拼出新 Default__ 的名称"};
inline constexpr Text kCreatureDefault{
    "it contains Default__: a creature's path comes from its class reference, which names the class, not its "
    "default object",
    "它含有 Default__：恐龙路径来自其类引用，类引用指向类本身，而不是它的默认对象"};
inline constexpr Text kInnerSpace{"it has whitespace just inside the quotes, which no game path has",
                                  "它在引号内侧紧挨着空白字符，游戏中的路径都不会这样"};

// ---- The level list ----
inline constexpr Text kLevelListOff{"No creature is destroyed for its level as it enters play.",
                                    "没有恐龙会在刷出时因等级被清理。"};
inline constexpr Text kLevelListNotObject{
    "{list} is {kind}, not an object of creature paths: the level check never runs",
    "{list} 是{kind}，不是以恐龙路径为名称的对象：等级检查永远不会执行"};
inline constexpr Text kEntryNotObject{
    "it is {kind}; an entry must be an object holding an \"ExceedSestructionLevel\" number",
    "它是{kind}；条目必须是含 \"ExceedSestructionLevel\" 数字的对象"};
inline constexpr Text kThresholdNotNumber{"\"ExceedSestructionLevel\" is {kind}, not a number",
                                          "\"ExceedSestructionLevel\" 是{kind}，不是数字"};
inline constexpr Text kNoThreshold{"it has no \"ExceedSestructionLevel\"", "它没有 \"ExceedSestructionLevel\""};
inline constexpr Text kThresholdMisspelt{
    "it has no \"ExceedSestructionLevel\"; its {name} is not read (the name is spelt \"ExceedSestructionLevel\")",
    "它没有 \"ExceedSestructionLevel\"；其中的 {name} 不会被读取（名称的拼写是 \"ExceedSestructionLevel\"）"};
inline constexpr Text kEntryFault{"entry {path}: {fault}", "条目 {path}：{fault}"};
inline constexpr Text kLevelCheckFails{
    "Every creature of this path that has a status component fails the level check as it enters play, each spawn "
    "logging the line below, and is never destroyed for its level; other creatures are not affected.",
    "此路径的恐龙只要有状态组件，刷出时等级检查都会出错，每次刷出都记录下面的日志行，也永远不会因等级被清理；其他恐龙不受影响。"};
inline constexpr Text kEntryNeverRead{"entry {path}: {fault}; no creature's path can equal its name, so no spawn reads it",
                                      "条目 {path}：{fault}；没有恐龙的路径能与它的名称相同，所以任何一次刷出都不会读取它"};
inline constexpr Text kEntryNeverReadEffect{
    "None while the name stays as it is; once it is corrected, the entry would fail the level check of every "
    "creature of that path.",
    "名称保持不变时没有影响；一旦名称改正，此路径的每只恐龙刷出时，等级检查都会在该条目处出错。"};
inline constexpr Text kThresholdBoolean{"is a boolean, not a number", "是布尔值，不是数字"};
inline constexpr Text kThresholdSaturates{"is beyond the 32-bit range, so it stops at the range's limit",
                                          "超出了 32 位范围，按上限或下限处理"};
inline constexpr Text kThresholdFraction{"is a fraction, which is cut off", "是小数，小数部分会被舍去"};
inline constexpr Text kThresholdWraps{"is beyond the 32-bit range, so only its low 32 bits count",
                                      "超出了 32 位范围，因此只有低 32 位有效"};
inline constexpr Text kThresholdUsed{"the threshold {value} {why}: the plug-in uses {used}",
                                     "阈值 {value} {why}：插件实际使用 {used}"};
inline constexpr Text kThresholdAll{
    "Every creature of this path with a status component is destroyed as it enters play (base level {used} or "
    "more: all of them).",
    "此路径的恐龙只要有状态组件，刷出时都会被清理（基础等级 {used} 及以上，也就是全部）。"};
inline constexpr Text kThresholdOff{
    "Only a creature at base level 2147483647 would be destroyed: the level check is in effect off.",
    "只有基础等级为 2147483647 的恐龙才会被清理：等级检查实际上不生效。"};
inline constexpr Text kThresholdFrom{"Creatures of this path are destroyed from base level {used} up.",
                                     "此路径的恐龙从基础等级 {used} 起会被清理。"};
inline constexpr Text kListedAndCapped{
    "the creature path {path} is also listed in \"DestroyDinolist\" (label {label})",
    "恐龙路径 {path} 也列在 \"DestroyDinolist\" 中（标签 {label}）"};
inline constexpr Text kListedAndCappedEffect{
    "Every such creature is destroyed by the list already; those at or above the threshold get a second destroy "
    "call from the level check.",
    "这种恐龙已经按清单被清理；达到阈值的，等级检查还会再调用一次清理。"};

// ---- Keys and names ----
inline constexpr Text kUnknownKey{"{name} is not a key the plug-in reads", "{name} 不是插件读取的键"};
inline constexpr Text kDidYouMean{"; did you mean {nearest}?", "；你是不是想写 {nearest}？"};
inline constexpr Text kIgnored{"The plug-in ignores it.", "插件会忽略它。"};
inline constexpr Text kIgnoredListOff{"The plug-in ignores it, and {nearest} is missing: that list is off.",
                                      "插件会忽略它，而 {nearest} 缺失：这份清单不生效。"};
inline constexpr Text kRepeatedName{
    "the name {name} appears {count} times in {object} (lines {lines}); the plug-in keeps the last, at line {kept}",
    "名称 {name} 在 {object} 中出现了 {count} 次（第 {lines} 行）；插件只保留最后一个（第 {kept} 行）"};
inline constexpr Text kTopLevel{"the top-level object", "顶层对象"};
inline constexpr Text kLost{"The entry at line {line}, {value}, is ignored.", "第 {line} 行的条目 {value} 被忽略。"};
inline constexpr Text kLineSeparator{", ", "、"};

// ---- The file ----
inline constexpr Text kDoesNotParse{"the file does not parse", "文件无法解析"};
inline constexpr Text kDoesNotParseAt{"the file does not parse at line {line}, column {column}",
                                      "文件在第 {line} 行第 {column} 列处无法解析"};
inline constexpr Text kUtf16{"saved as UTF-16: save it as UTF-8", "文件以 UTF-16 保存：请另存为 UTF-8"};
inline constexpr Text kNotUtf8{
    "not UTF-8 (looks like GBK/ANSI; the first such byte is at line {line}, column {column}): save it as UTF-8",
    "不是 UTF-8（看起来是 GBK/ANSI；第一个这样的字节在第 {line} 行第 {column} 列）：请另存为 UTF-8"};
inline constexpr Text kParseEffect{
    "The plug-in logs the line below and stays idle when it loads: no hook and no command is installed. A reload "
    "logs it and keeps the previous configuration in force.",
    "插件加载时记录下面的日志行，之后不生效：不安装任何钩子，也不注册任何命令。重新加载时同样记录该行，原来的配置继续生效。"};
inline constexpr Text kCannotRead{"cannot read {path}: {why}", "无法读取 {path}：{why}"};
inline constexpr Text kIsDirectory{"it is a directory, not a file", "它是文件夹，不是文件"};
inline constexpr Text kNotRegular{"it is not a regular file", "它不是普通文件"};
inline constexpr Text kDoesNotOpen{"it does not open", "无法打开"};
inline constexpr Text kUnreadableEffect{
    "If the plug-in's own file is unreadable, it logs that it cannot open config.json and stays idle; a reload keeps "
    "the previous configuration in force.",
    "如果插件读取的正是这个文件，插件会记录无法打开 config.json，之后不生效；重新加载时原来的配置继续生效。"};
inline constexpr Text kTrailing{"the file goes on after its JSON value ends: {text}", "JSON 值结束后文件还有内容：{text}"};
inline constexpr Text kTrailingEffect{"The plug-in reads the first JSON value and ignores the rest.",
                                      "插件只读取第一个 JSON 值，其余内容都会被忽略。"};
inline constexpr Text kMoreBytes{"... ({count} more bytes)", "……（另有 {count} 字节）"};

// ---- Output ----
inline constexpr Text kNoFindings{"no findings: the plug-in reads this configuration as it is written",
                                  "没有发现问题：插件会按所写的内容读取这份配置"};
inline constexpr Text kEffect{"effect", "影响"};
inline constexpr Text kPluginLog{"plug-in log", "插件日志"};
inline constexpr Text kSummary{"{errors} error{es}, {warnings} warning{ws}, {notes} note{ns}",
                               "{errors} 个错误，{warnings} 个警告，{notes} 个提示"};
inline constexpr Text kSeverityError{"error", "错误"};
inline constexpr Text kSeverityWarning{"warning", "警告"};
inline constexpr Text kSeverityNote{"note", "提示"};
inline constexpr Text kCodesHeading{"Code  Severity  Meaning", "代码  严重级别  含义"};

// ---- The program ----
inline constexpr Text kPressEnter{"Press Enter to close this window.", "按回车键关闭此窗口。"};
inline constexpr Text kNothingToCheck{
    "No config.json beside this program and none at {path}: run it from a command prompt with the file to check, "
    "or place it beside config.json.",
    "此程序旁边没有 config.json，{path} 也没有：请在命令提示符中运行它并给出要检查的文件，或把它放到 config.json 旁边。"};
inline constexpr Text kVerdictFine{"Verdict: the plug-in can use this file.", "结论：插件可以使用这个文件。"};
inline constexpr Text kVerdictWarnings{"Verdict: the plug-in reads this file, but not as it seems to be meant.",
                                       "结论：插件能读取这个文件，但效果和你想要的不一样。"};
inline constexpr Text kVerdictErrors{"Verdict: do not put this file on the server until the errors are mended.",
                                     "结论：改正错误之前，不要把这个文件放到服务器上。"};
inline constexpr Text kFixed{"{file}:{line}:{column}: changed {from} to {to}", "{file}:{line}:{column}：已把 {from} 改为 {to}"};
inline constexpr Text kBackup{"the original is kept as {path}", "原文件已保存为 {path}"};
inline constexpr Text kCannotWrite{"cannot write {path}; nothing was changed", "无法写入 {path}；没有做任何修改"};
inline constexpr Text kNothingToFix{"nothing to fix with certainty", "没有可以确定无误地修正的内容"};

}  // namespace check::text
