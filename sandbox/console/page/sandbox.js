// The sandbox console: four views over the running sandbox server, in English or Simplified Chinese.
import { followEvents, hasToken, request } from './api.js';
import { applyTexts, t } from './i18n.js';
import { createShell } from './shell.js';
import { createWorldView } from './world.js';

const VIEWS = ['world', 'config', 'commands', 'log'];

export function startSandbox() {
  const pluginState = document.querySelector('[data-role="plugin-state"]');
  let pluginLoaded = null;

  function paintPluginState() {
    pluginState.hidden = pluginLoaded === null;
    pluginState.textContent = pluginLoaded ? t('app.pluginLoaded') : t('app.pluginUnloaded');
    pluginState.dataset.loaded = String(Boolean(pluginLoaded));
  }

  // The other views' modules are loaded and the views built once the World view shows its first rows: a large
  // world is what the page waits for.
  let commands = null;
  let config = null;
  let log = null;
  let lastSnapshot = null;
  let world = null;
  const shell = createShell(VIEWS, {
    onShow: (chosen) => {
      if (chosen === 'world') world?.repaint();
      if (chosen === 'log') log?.shown();
    },
    relabel: () => {
      paintPluginState();
      world.repaint();
      commands?.relabel();
      log?.relabel();
      config?.relabel();
    },
  });
  const { view, showBanner } = shell;
  world = createWorldView(view('world'), {
    onSnapshot: (snapshot) => {
      lastSnapshot = snapshot;
      pluginLoaded = snapshot.plugin ? Boolean(snapshot.plugin.loaded) : null;
      paintPluginState();
      commands?.setWorld(snapshot);
    },
  });
  shell.showView(shell.firstView);

  // Runs one line as an RCON client would; the world's rows then show what the line changed.
  async function runCommand(line) {
    await world.beginAction();
    const { status, body } = await request('POST', '/api/command', { line });
    await world.load().catch(() => {});
    if (status !== 200) return { line, reply: '', error: body.error || `HTTP ${status}` };
    return { line: body.line ?? line, reply: body.reply ?? '' };
  }

  async function buildOtherViews() {
    const [{ createCommandsView }, { createConfigView }, { createLogView }] = await Promise.all([
      import('./commands.js'), import('./config.js'), import('./log.js')]);
    commands = createCommandsView(view('commands'), { runCommand });
    config = createConfigView(view('config'), { world, runCommand });
    log = createLogView(view('log'));
    applyTexts(document);
    if (lastSnapshot) commands.setWorld(lastSnapshot);
    if (shell.firstView === 'log') log.shown();
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
      if (open && shell.bannerKey() === 'app.offline') {
        // Back after an outage: what changed meanwhile was not announced.
        showBanner('');
        world.load().catch(() => {});
        config.changedOnDisk();
      }
      if (!open) showBanner('app.offline');
    });
  }

  start();
}
