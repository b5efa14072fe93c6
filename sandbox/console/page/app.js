// The sandbox console: four views over the running sandbox server, in English or Simplified Chinese.
import { followEvents, hasToken, request } from './api.js';
import { applyTexts, initialLanguage, language, setLanguage, t } from './i18n.js';
import { createWorldView } from './world.js';

const VIEWS = ['world', 'config', 'commands', 'log'];
const banner = document.querySelector('[data-role="banner"]');
const pluginState = document.querySelector('[data-role="plugin-state"]');
let bannerKey = '';
let bannerVars = {};
let pluginLoaded = null;

function showBanner(key, vars = {}) {
  bannerKey = key;
  bannerVars = vars;
  banner.hidden = !key;
  banner.textContent = key ? t(key, vars) : '';
}

function paintPluginState() {
  pluginState.hidden = pluginLoaded === null;
  pluginState.textContent = pluginLoaded ? t('app.pluginLoaded') : t('app.pluginUnloaded');
  pluginState.dataset.loaded = String(Boolean(pluginLoaded));
}

const view = (name) => document.querySelector(`[data-view="${name}"]`);

// The other views' modules are loaded and the views built once the World view shows its first rows: a large world
// is what the page waits for.
let commands = null;
let config = null;
let log = null;
let lastSnapshot = null;
const world = createWorldView(view('world'), {
  onSnapshot: (snapshot) => {
    lastSnapshot = snapshot;
    pluginLoaded = snapshot.plugin ? Boolean(snapshot.plugin.loaded) : null;
    paintPluginState();
    commands?.setWorld(snapshot);
  },
});

// Runs one line as an RCON client would; the world's rows then show what the line changed.
async function runCommand(line) {
  await world.beginAction();
  const { status, body } = await request('POST', '/api/command', { line });
  await world.load().catch(() => {});
  if (status !== 200) return { line, reply: '', error: body.error || `HTTP ${status}` };
  return { line: body.line ?? line, reply: body.reply ?? '' };
}

function showView(name) {
  const chosen = VIEWS.includes(name) ? name : 'world';
  for (const each of VIEWS) view(each).hidden = each !== chosen;
  for (const tab of document.querySelectorAll('[data-tab]')) {
    const selected = tab.dataset.tab === chosen;
    tab.setAttribute('aria-selected', String(selected));
    tab.classList.toggle('selected', selected);
  }
  try {
    sessionStorage.setItem('tidywarden.view', chosen);
  } catch {
    // The view is not remembered across reloads; nothing else depends on it.
  }
  if (chosen === 'world') world.repaint();
  if (chosen === 'log') log?.shown();
}

for (const tab of document.querySelectorAll('[data-tab]')) {
  tab.addEventListener('click', () => showView(tab.dataset.tab));
}

const languagePicker = document.querySelector('[data-role="language"]');
function relabel() {
  languagePicker.value = language();
  showBanner(bannerKey, bannerVars);
  paintPluginState();
  world.repaint();
  commands?.relabel();
  log?.relabel();
  config?.relabel();
}
languagePicker.addEventListener('change', () => {
  setLanguage(languagePicker.value, true);
  relabel();
});

setLanguage(initialLanguage(), false);
languagePicker.value = language();
applyTexts(document);
let firstView = 'world';
try {
  firstView = sessionStorage.getItem('tidywarden.view') || 'world';
} catch {
  // Start on the world.
}
showView(firstView);

async function buildOtherViews() {
  const [{ createCommandsView }, { createConfigView }, { createLogView }] = await Promise.all([
    import('./commands.js'), import('./config.js'), import('./log.js')]);
  commands = createCommandsView(view('commands'), { runCommand });
  config = createConfigView(view('config'), { world, runCommand });
  log = createLogView(view('log'));
  applyTexts(document);
  if (lastSnapshot) commands.setWorld(lastSnapshot);
  if (firstView === 'log') log.shown();
  log.relabel();
}

async function start() {
  if (!hasToken()) {
    await buildOtherViews();
    showBanner('app.noToken');
    return;
  }
  const loaded = world.load();
  await world.firstShown();
  await buildOtherViews();
  try {
    await loaded;
  } catch (error) {
    showBanner('app.refused', { error: error.message });
    return;
  }
  config.load();
  let pendingWorld = 0;
  followEvents((event, data) => {
    if (event === 'log') log.add(data);
    else if (event === 'config') config.changedOnDisk();
    else if (event === 'world' && data.version !== world.version()) {
      // Changes come in bursts; one load after the burst is enough.
      clearTimeout(pendingWorld);
      pendingWorld = setTimeout(() => world.load().catch(() => {}), 50);
    }
  }, (open) => {
    log.connected(open);
    if (open && bannerKey === 'app.offline') {
      // Back after an outage: what changed meanwhile was not announced.
      showBanner('');
      world.load().catch(() => {});
      config.changedOnDisk();
    }
    if (!open) showBanner('app.offline');
  });
}

start();
