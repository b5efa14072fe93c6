// The sandbox console: four views over the running sandbox server, in English or Simplified Chinese.
import { followEvents, hasToken, request } from './api.js';
import { applyTexts, t } from './i18n.js';
import { createShell } from './shell.js';
import { createWorldView } from './world.js';

const VIEWS = ['world', 'config', 'commands', 'log'];

// Whether the plug-in is loaded, beside the world it was last seen with; null until a world has been seen.
function pluginStatePainter() {
  const pluginState = document.querySelector('[data-role="plugin-state"]');
  let loaded = null;
  return (next = loaded) => {
    loaded = next;
    pluginState.hidden = loaded === null;
    pluginState.textContent = loaded ? t('app.pluginLoaded') : t('app.pluginUnloaded');
    pluginState.dataset.loaded = String(Boolean(loaded));
  };
}

// Runs one line as an RCON client would; the world's rows then show what the line changed.
function commandRunner(world) {
  return async (line) => {
    await world.beginAction();
    const { status, body } = await request('POST', '/api/command', { line });
    await world.load().catch(() => {});
    if (status !== 200) return { line, reply: '', error: body.error || `HTTP ${status}` };
    return { line: body.line ?? line, reply: body.reply ?? '' };
  };
}

// The other views' modules are loaded and the views built once the World view shows its first rows: a large world
// is what the page waits for.
async function buildOtherViews(shell, state) {
  const [{ createCommandsView }, { createConfigView }, { createLogView }] = await Promise.all([
    import('./commands.js'), import('./config.js'), import('./log.js')]);
  const runCommand = commandRunner(state.world);
  state.commands = createCommandsView(shell.view('commands'), { runCommand });
  state.config = createConfigView(shell.view('config'), { world: state.world, runCommand });
  state.log = createLogView(shell.view('log'));
  applyTexts(document);
  if (state.lastSnapshot) state.commands.setWorld(state.lastSnapshot);
  if (shell.firstView === 'log') state.log.shown();
  state.log.relabel();
}

function followSandboxEvents(shell, { world, config, log }) {
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
      shell.showBanner('');
      world.load().catch(() => {});
      config.changedOnDisk();
    }
    if (!open) shell.showBanner('app.offline');
  });
}

export async function startSandbox() {
  const paintPluginState = pluginStatePainter();
  const state = { world: null, commands: null, config: null, log: null, lastSnapshot: null };
  const shell = createShell(VIEWS, {
    onShow: (chosen) => {
      if (chosen === 'world') state.world?.repaint();
      if (chosen === 'log') state.log?.shown();
    },
    relabel: () => {
      paintPluginState();
      state.world.repaint();
      for (const each of [state.commands, state.log, state.config]) each?.relabel();
    },
  });
  state.world = createWorldView(shell.view('world'), {
    onSnapshot: (snapshot) => {
      state.lastSnapshot = snapshot;
      paintPluginState(snapshot.plugin ? Boolean(snapshot.plugin.loaded) : null);
      state.commands?.setWorld(snapshot);
    },
  });
  shell.showView(shell.firstView);
  if (!hasToken()) {
    await buildOtherViews(shell, state);
    shell.showBanner('app.noToken');
    return;
  }
  const loaded = state.world.load();
  await state.world.firstShown();
  await buildOtherViews(shell, state);
  try {
    await loaded;
  } catch (error) {
    shell.showBanner('app.refused', { error: error.message });
    return;
  }
  state.config.load();
  followSandboxEvents(shell, state);
}
