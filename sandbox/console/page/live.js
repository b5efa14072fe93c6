// The live console: the Configuration, Commands and Log views of a live server (or of each server of a cluster),
// reached through its files and its own RCON port. A live world cannot be seen through RCON: there is no World view.
import { followEvents, hasToken, request, setServer } from './api.js';
import { applyTexts, t } from './i18n.js';
import './live-texts.js';
import { createShell } from './shell.js';

const VIEWS = ['config', 'commands', 'log'];
const SERVER_KEY = 'tidywarden.server';
// How long a reload that answered nothing is watched for the error line the plug-in logs meanwhile.
const WATCH_SILENCE_MS = 3000;

const $ = (role) => document.querySelector(`[data-role="${role}"]`);

// The paths a configuration names: its lists' blueprints and the level list's keys, for the commands' pickers.
export function configPaths(text) {
  let document;
  try {
    document = JSON.parse(text);
  } catch {
    return [];
  }
  const paths = new Set();
  for (const list of ['Destroylist', 'DestroyDinolist']) {
    for (const entry of Object.values(document?.[list] || {})) {
      if (typeof entry?.Blueprint === 'string') paths.add(entry.Blueprint);
    }
  }
  for (const key of Object.keys(document?.DestroyDinoLevel || {})) paths.add(key);
  return [...paths];
}

// The header: which server, its RCON address and its state; the picker of a cluster's servers.
function createHeader(onPick) {
  const box = $('live-server');
  const picker = $('server-pick');
  const stateLabel = $('rcon-state');
  let servers = [];
  let chosen = '';
  box.hidden = false;
  picker.addEventListener('change', () => onPick(picker.value));

  function paint() {
    const server = servers.find((each) => each.name === chosen);
    picker.hidden = servers.length < 2;
    picker.replaceChildren(...servers.map((each) => new Option(each.name, each.name, false, each.name === chosen)));
    $('server-name').textContent = servers.length < 2 && server ? server.name : '';
    $('rcon-address').textContent = server ? server.rcon : '';
    stateLabel.textContent = server ? t(`live.state.${server.state}`) : '';
    stateLabel.dataset.state = server ? server.state : '';
    stateLabel.title = server?.reason || '';
  }

  return {
    set: (list, name) => {
      servers = list;
      chosen = name;
      paint();
    },
    relabel: paint,
  };
}

// Runs a line on one server; a reply that is empty is watched a few seconds for the plug-in's error line.
function lineRunner(errorLines) {
  return async (line, server) => {
    const since = errorLines.mark();
    const path = `/api/command?server=${encodeURIComponent(server)}`;
    const { status, body } = await request('POST', path, { line });
    if (status !== 200) return { line, reply: '', error: body.error || `HTTP ${status}`, server };
    const reply = body.reply ?? '';
    if (reply !== '') return { line: body.line ?? line, reply, server };
    const logged = await errorLines.after(since, server, WATCH_SILENCE_MS);
    return { line: body.line ?? line, reply, silent: true, logged, server };
  };
}

// The plug-in's error lines as they come, so a silent reload can show the one it logged.
function createErrorLines() {
  const seen = [];
  let count = 0;
  const waiting = new Set();
  return {
    add: (entry) => {
      if (!entry.plugin || !/\[(error|critical)\]/.test(entry.line)) return;
      seen.push({ at: ++count, ...entry });
      if (seen.length > 200) seen.shift();
      for (const wake of waiting) wake();
    },
    mark: () => count,
    after: (since, server, ms) => new Promise((resolve) => {
      const found = () => seen.filter((each) => each.at > since && each.server === server).map((each) => each.line);
      const done = () => {
        waiting.delete(check);
        clearTimeout(timer);
        resolve(found());
      };
      const check = () => {
        if (found().length) done();
      };
      const timer = setTimeout(done, ms);
      waiting.add(check);
      check();
    }),
  };
}

// The password typed once into the page: sent to the console, which keeps it in memory only. What comes of it
// arrives as the server's state changes.
function passwordForm(currentServer) {
  const form = $('password-form');
  const input = $('password');
  form.addEventListener('submit', async (event) => {
    event.preventDefault();
    if (!input.value) return;
    const path = `/api/password?server=${encodeURIComponent(currentServer())}`;
    await request('POST', path, { password: input.value });
    input.value = '';
  });
  return (state) => {
    form.hidden = state !== 'no-password' && state !== 'password-refused';
  };
}

function hideSandboxParts() {
  document.body.classList.add('live');
  document.title = t('app.liveTitle');
  for (const role of ['world-from-config', 'plugin-state', 'sandbox-forms', 'sandbox-heading']) $(role).hidden = true;
  for (const node of document.querySelectorAll('[data-i18n="app.title"]')) node.dataset.i18n = 'app.liveTitle';
}

async function loadServers() {
  const { status, body } = await request('GET', '/api/servers');
  if (status !== 200 || !Array.isArray(body.servers)) throw new Error(body.error || `HTTP ${status}`);
  return body.servers;
}

function storedServer(servers) {
  let stored = '';
  try {
    stored = sessionStorage.getItem(SERVER_KEY) || '';
  } catch {
    // The first server then.
  }
  return servers.some((each) => each.name === stored) ? stored : servers[0].name;
}

// The servers and the one the page is about: their states as the events tell them, the header and the banner kept
// in step, and the choice of another server.
function serverState(shell, header, showPasswordForm) {
  const state = { servers: [], chosen: '', views: null };

  state.note = (name, next, reason) => {
    const server = state.servers.find((each) => each.name === name);
    if (!server) return;
    const was = server.state;
    Object.assign(server, { state: next, reason });
    header.set(state.servers, state.chosen);
    if (name !== state.chosen) return;
    showPasswordForm(next);
    if (next === 'unreachable') shell.showBanner('live.unreachableBanner', { address: server.rcon });
    else if (next === 'answering' && was === 'unreachable') shell.showBanner('live.backBanner', { address: server.rcon });
    else if (next === 'answering' && shell.bannerKey() === 'live.unreachableBanner') shell.showBanner('');
  };

  state.pick = (name) => {
    state.chosen = name;
    setServer(name);
    try {
      sessionStorage.setItem(SERVER_KEY, name);
    } catch {
      // Not remembered across reloads.
    }
    header.set(state.servers, name);
    showPasswordForm(state.servers.find((each) => each.name === name)?.state);
    shell.showBanner('');
    state.views?.serverChanged();
  };
  return state;
}

function followLiveEvents(shell, state, errorLines) {
  followEvents((event, data) => {
    if (event === 'log') {
      errorLines.add(data);
      if (data.server === state.chosen) state.views.log.add(data);
    } else if (event === 'rcon') {
      state.note(data.server, data.state, data.reason);
    } else if (event === 'config' && data.server === state.chosen) {
      state.views.config.changedOnDisk();
    }
  }, (open) => {
    state.views.log.connected(open);
    if (!open) shell.showBanner('live.offline');
    else if (shell.bannerKey() === 'live.offline') shell.showBanner('');
    // What changed while the stream was closed was not announced.
    if (open) {
      loadServers().then((servers) => {
        for (const server of servers) state.note(server.name, server.state, server.reason);
      }).catch(() => {});
    }
  });
}

export async function startLive() {
  hideSandboxParts();
  let state = null;
  const header = createHeader((name) => state.pick(name));
  const shell = createShell(VIEWS, {
    onShow: (chosen) => chosen === 'log' && state?.views?.log.shown(),
    relabel: () => {
      header.relabel();
      state?.views?.relabel();
    },
  });
  shell.showView(shell.firstView);
  state = serverState(shell, header, passwordForm(() => state.chosen));
  if (!hasToken()) {
    shell.showBanner('live.noToken');
    return;
  }
  try {
    state.servers = await loadServers();
  } catch (error) {
    shell.showBanner('live.refused', { error: error.message });
    return;
  }
  state.pick(storedServer(state.servers));
  const errorLines = createErrorLines();
  const { createLiveViews } = await import('./live-views.js');
  state.views = await createLiveViews(shell, { state, runOn: lineRunner(errorLines), configPaths });
  applyTexts(document);
  followLiveEvents(shell, state, errorLines);
}
