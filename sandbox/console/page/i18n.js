// Every text of the page in English and Simplified Chinese, and the language shown. The plug-in's replies and
// log lines are never translated: they are shown exactly as the plug-in writes them.

export const LANGUAGES = ['en', 'zh-CN'];
const STORAGE_KEY = 'tidywarden.language';

export const CATALOGUE = {
  en: {
    'app.title': 'Tidywarden sandbox',
    'app.language': 'Language',
    'app.noToken': 'This address has no access token. Open the address the sandbox printed (it ends in #token=…).',
    'app.refused': 'The sandbox refused the page ({error}). Open the address it printed at its last start.',
    'app.offline': 'The sandbox is not answering; the page reconnects when it is back.',
    'app.pluginLoaded': 'Plug-in loaded',
    'app.pluginUnloaded': 'Plug-in not loaded',
    'tab.world': 'World',
    'tab.config': 'Configuration',
    'tab.commands': 'Commands',
    'tab.log': 'Log',
    'kind.creature': 'creature',
    'kind.structure': 'structure',
    'kind.item': 'item',
    'world.filter': 'Filter',
    'world.filterHint': 'class, path or inventory',
    'world.perClass': 'Classes',
    'world.perClassHint': 'Each class with the path to write in config.json and how many the world holds. Click a class to filter by it.',
    'world.class': 'Class',
    'world.kind': 'Kind',
    'world.pathToWrite': 'Path to write in the configuration',
    'world.count': 'Count',
    'world.creatures': 'Creatures',
    'world.structures': 'Structures',
    'world.items': 'Items in inventories',
    'world.id': 'Id',
    'world.path': 'Path',
    'world.level': 'Level',
    'world.team': 'Team',
    'world.status': 'Status component',
    'world.persistent': 'Persistent level',
    'world.inventory': 'Inventory',
    'world.inventoriesLabel': '{count} inventories:',
    'world.inventoryItems': '{name} ({count})',
    'world.moreInventories': 'and {count} more (use the filter)',
    'world.yes': 'yes',
    'world.no': 'no',
    'world.shownOf': '{shown} of {total}',
    'world.changes': 'Last action: {removed} removed (struck out), {added} added (highlighted)',
    'world.noAction': 'Rows an action changes stay marked here until the next action.',
    'config.loading': 'Loading…',
    'config.failed': 'Could not read the configuration: {error}',
    'config.missing': 'There is no config.json yet; saving creates it.',
    'config.clean': 'As saved',
    'config.dirty': 'Unsaved changes',
    'config.saving': 'Saving…',
    'config.saved': 'Saved (the previous file kept as config.json.bak)',
    'config.saveFailed': 'Not saved: {error}. config.json is unchanged.',
    'config.changedElsewhere': 'config.json was saved elsewhere; “Reload from disk” shows it (your changes would be lost).',
    'config.confirmRevert': 'Discard your unsaved changes and show config.json as saved?',
    'config.fix': 'Fix: {to}',
    'config.revert': 'Reload from disk',
    'config.save': 'Save',
    'config.saveReload': 'Save and reload',
    'config.worldFromConfig': 'World from this configuration',
    'config.editor': 'config.json',
    'config.findings': 'Findings',
    'config.findingsHint': 'What the checker says about this text. Choose one to go to its line.',
    'config.noFindings': 'none',
    'config.atLine': 'line {line}',
    'config.lastReply': 'Reply to the reload',
    'config.unmatched': '{count} paths of the configuration match no class of the world:',
    'config.allMatched': 'The world was built; every path of the configuration matches one of its classes.',
    'config.worldFailed': 'No world was built: {error}',
    'severity.error': 'Error',
    'severity.warning': 'Warning',
    'severity.note': 'Note',
    'command.pluginCommands': 'The plug-in’s commands',
    'command.sandboxActions': 'Sandbox actions',
    'command.freeLine': 'Command line',
    'command.lineHint': 'any RCON command, e.g. sandbox.help',
    'command.run': 'Run',
    'command.running': 'Running…',
    'command.failed': 'Not run: {error}',
    'command.lastRun': 'Last command',
    'command.lastRunHint': 'The RCON line the page sent, then the reply exactly as an RCON client receives it.',
    'command.history': 'Earlier',
    'command.nothingToPick': '(nothing in this world)',
    'field.path': 'Class (the path the command takes)',
    'field.mode': 'Mode',
    'field.class': 'Class',
    'field.level': 'Level',
    'field.team': 'Team',
    'field.inventory': 'Inventory',
    'field.how': 'How',
    'form.reload.title': 'Reload the configuration',
    'form.reload.help': 'The plug-in reads config.json again.',
    'form.structure.title': 'Destroy structures of a class',
    'form.structure.help': 'Takes the path of the item that builds the structure; only the persistent level is searched.',
    'form.dino.title': 'Destroy creatures of a class',
    'form.dino.help': 'Takes the creature path.',
    'form.dino.mode0': '0: spares creatures of team 49999 and above (players’ tames).',
    'form.dino.mode1': '1: destroys every creature of the class, whatever its team.',
    'choice.dino.mode.0': '0: spare players’ tames',
    'choice.dino.mode.1': '1: destroy all',
    'form.spawn.title': 'Spawn a creature',
    'form.spawn.help': 'It enters play through the plug-in’s spawn check.',
    'form.place.title': 'Place a structure',
    'form.place.help': 'In the persistent level.',
    'form.give.title': 'Give an item',
    'form.give.help': 'Added through the plug-in’s add check.',
    'choice.give.how.none': 'plainly',
    'choice.give.how.equip': 'equipped',
    'choice.give.how.ignoremax': 'ignoring the limit',
    'form.view.title': 'View an inventory',
    'form.view.help': 'A player views it remotely; the plug-in purges it first.',
    'form.finish.title': 'Finish receiving an inventory',
    'form.finish.help': 'A client finishes receiving its items; the plug-in purges it.',
    'form.engram.title': 'Add an engram',
    'form.engram.help': 'Adds the item class to the game data.',
    'form.startgame.title': 'Start the game',
    'form.startgame.help': 'The game mode starts; the plug-in’s marker guard runs.',
    'form.unload.title': 'Unload the plug-in',
    'form.unload.help': 'As a server stop would.',
    'form.load.title': 'Load the plug-in',
    'form.load.help': 'As a server start would.',
    'log.pause': 'Pause',
    'log.resume': 'Resume',
    'log.held': 'Paused: {count} new lines held back',
    'log.live': 'Live',
    'log.disconnected': 'Not connected; retrying…',
    'log.pluginOnly': 'Only the plug-in’s lines',
    'log.legend': 'The plug-in’s own lines',
  },
  'zh-CN': {
    'app.title': 'Tidywarden 沙盒',
    'app.language': '语言',
    'app.noToken': '此地址没有访问令牌。请打开沙盒启动时打印的地址（以 #token=… 结尾）。',
    'app.refused': '沙盒拒绝了此页面（{error}）。请打开沙盒最近一次启动时打印的地址。',
    'app.offline': '沙盒没有响应；它恢复后页面会自动重新连接。',
    'app.pluginLoaded': '插件已加载',
    'app.pluginUnloaded': '插件未加载',
    'tab.world': '世界',
    'tab.config': '配置',
    'tab.commands': '命令',
    'tab.log': '日志',
    'kind.creature': '恐龙',
    'kind.structure': '建筑',
    'kind.item': '物品',
    'world.filter': '筛选',
    'world.filterHint': '类、路径或物品栏',
    'world.perClass': '类',
    'world.perClassHint': '每个类在 config.json 中应写的路径，以及世界中的数量。点击一个类即按它筛选。',
    'world.class': '类',
    'world.kind': '种类',
    'world.pathToWrite': '配置中应写的路径',
    'world.count': '数量',
    'world.creatures': '恐龙',
    'world.structures': '建筑',
    'world.items': '物品栏中的物品',
    'world.id': '编号',
    'world.path': '路径',
    'world.level': '等级',
    'world.team': '队伍',
    'world.status': '状态组件',
    'world.persistent': '位于持久关卡',
    'world.inventory': '物品栏',
    'world.inventoriesLabel': '物品栏 {count} 个：',
    'world.inventoryItems': '{name}（{count}）',
    'world.moreInventories': '另有 {count} 个（请用筛选）',
    'world.yes': '是',
    'world.no': '否',
    'world.shownOf': '{shown} / {total}',
    'world.changes': '上一次操作：移除 {removed} 个（划线），新增 {added} 个（高亮）',
    'world.noAction': '操作改动的行会在此保持标记，直到下一次操作。',
    'config.loading': '正在读取…',
    'config.failed': '无法读取配置：{error}',
    'config.missing': '还没有 config.json；保存即会创建。',
    'config.clean': '与已保存的相同',
    'config.dirty': '有未保存的修改',
    'config.saving': '正在保存…',
    'config.saved': '已保存（原文件保留为 config.json.bak）',
    'config.saveFailed': '未保存：{error}。config.json 没有改动。',
    'config.changedElsewhere': 'config.json 已在别处保存；点击“从磁盘重新读取”查看（您的修改将丢失）。',
    'config.confirmRevert': '放弃未保存的修改，显示已保存的 config.json？',
    'config.fix': '修正为：{to}',
    'config.revert': '从磁盘重新读取',
    'config.save': '保存',
    'config.saveReload': '保存并重新加载',
    'config.worldFromConfig': '按此配置生成世界',
    'config.editor': 'config.json',
    'config.findings': '检查结果',
    'config.findingsHint': '检查器对这份配置的检查结果。点一条即可跳到它所在的行。',
    'config.noFindings': '无',
    'config.atLine': '第 {line} 行',
    'config.lastReply': '重新加载的回复',
    'config.unmatched': '配置中有 {count} 个路径不匹配世界中的任何类：',
    'config.allMatched': '已生成世界；配置中的每个路径都对应世界中的一个类。',
    'config.worldFailed': '未能生成世界：{error}',
    'severity.error': '错误',
    'severity.warning': '警告',
    'severity.note': '提示',
    'command.pluginCommands': '插件的命令',
    'command.sandboxActions': '沙盒操作',
    'command.freeLine': '命令行',
    'command.lineHint': '任意 RCON 命令，例如 sandbox.help',
    'command.run': '运行',
    'command.running': '正在运行…',
    'command.failed': '未运行：{error}',
    'command.lastRun': '上一条命令',
    'command.lastRunHint': '页面发送的 RCON 命令行，以及与 RCON 客户端收到的完全相同的回复。',
    'command.history': '更早的命令',
    'command.nothingToPick': '（此世界中没有）',
    'field.path': '类（命令所用的路径）',
    'field.mode': '模式',
    'field.class': '类',
    'field.level': '等级',
    'field.team': '队伍',
    'field.inventory': '物品栏',
    'field.how': '方式',
    'form.reload.title': '重新加载配置',
    'form.reload.help': '插件重新读取 config.json。',
    'form.structure.title': '清理某类建筑',
    'form.structure.help': '参数是建造该建筑的物品的路径；只搜索持久关卡。',
    'form.dino.title': '清理某类恐龙',
    'form.dino.help': '参数是恐龙路径。',
    'form.dino.mode0': '0：保留队伍编号 49999 及以上的恐龙（玩家驯服的）。',
    'form.dino.mode1': '1：清理该类的所有恐龙，不论队伍编号。',
    'choice.dino.mode.0': '0：保留玩家驯服的',
    'choice.dino.mode.1': '1：全部清理',
    'form.spawn.title': '刷出恐龙',
    'form.spawn.help': '恐龙经过插件的刷出检查进入游戏。',
    'form.place.title': '放置建筑',
    'form.place.help': '放在持久关卡中。',
    'form.give.title': '给予物品',
    'form.give.help': '经过插件的添加检查加入物品栏。',
    'choice.give.how.none': '普通',
    'choice.give.how.equip': '装备',
    'choice.give.how.ignoremax': '忽略上限',
    'form.view.title': '查看物品栏',
    'form.view.help': '玩家远程查看物品栏；插件先从中移除清单中的物品。',
    'form.finish.title': '物品栏接收完毕',
    'form.finish.help': '客户端接收完物品；插件从该物品栏移除清单中的物品。',
    'form.engram.title': '添加印记',
    'form.engram.help': '把该物品类加入游戏数据。',
    'form.startgame.title': '开始游戏',
    'form.startgame.help': '游戏模式启动，插件的印记标记检测随之运行。',
    'form.unload.title': '卸载插件',
    'form.unload.help': '如同服务器停止。',
    'form.load.title': '加载插件',
    'form.load.help': '如同服务器启动。',
    'log.pause': '暂停',
    'log.resume': '继续',
    'log.held': '已暂停：{count} 行新日志待显示',
    'log.live': '实时',
    'log.disconnected': '未连接；正在重试…',
    'log.pluginOnly': '只看插件的行',
    'log.legend': '插件自己的行',
  },
};

let current = 'en';

// More texts, from a module of the page that has its own: {en: {...}, 'zh-CN': {...}}.
export function addTexts(extra) {
  for (const name of LANGUAGES) Object.assign(CATALOGUE[name], extra[name]);
}

// The language of a browser's preference list: Chinese of any region shows Simplified Chinese.
export function languageFor(preferences) {
  for (const tag of preferences || []) {
    const lower = String(tag).toLowerCase();
    if (lower.startsWith('zh')) return 'zh-CN';
    if (lower.startsWith('en')) return 'en';
  }
  return 'en';
}

export function initialLanguage() {
  let stored = null;
  try {
    stored = localStorage.getItem(STORAGE_KEY);
  } catch {
    // Storage may be off; the browser's preference still applies.
  }
  if (LANGUAGES.includes(stored)) return stored;
  return languageFor(navigator.languages && navigator.languages.length ? navigator.languages : [navigator.language]);
}

export function language() {
  return current;
}

export function format(text, vars) {
  return text.replace(/\{(\w+)\}/g, (whole, name) => (name in vars ? String(vars[name]) : whole));
}

export function t(key, vars = {}) {
  const text = CATALOGUE[current][key] ?? CATALOGUE.en[key] ?? key;
  return format(text, vars);
}

export function setLanguage(next, remember) {
  current = LANGUAGES.includes(next) ? next : 'en';
  document.documentElement.lang = current;
  if (remember) {
    try {
      localStorage.setItem(STORAGE_KEY, current);
    } catch {
      // Not remembered; the page still switches.
    }
  }
  applyTexts(document);
}

export function applyTexts(root) {
  for (const node of root.querySelectorAll('[data-i18n]')) node.textContent = t(node.dataset.i18n);
  for (const node of root.querySelectorAll('[data-i18n-placeholder]')) {
    node.placeholder = t(node.dataset.i18nPlaceholder);
  }
  for (const node of root.querySelectorAll('[data-i18n-aria-label]')) {
    node.setAttribute('aria-label', t(node.dataset.i18nAriaLabel));
  }
  document.title = t('app.title');
}
