// The live console's three views, built over one server at a time, with what a cluster adds: saving to every
// server and running a line on each, every reply listed.
import { request } from './api.js';

const RELOAD = 'Tidywarden.reload';

// Saves the text as another server's config.json; its error, or null once saved.
async function saveTo(name, text) {
  const path = `/api/config?server=${encodeURIComponent(name)}`;
  const { status, body } = await request('PUT', path, text, 'text/plain; charset=utf-8');
  return status === 200 && body.saved ? null : body.error || `HTTP ${status}`;
}

// Saves the text as each server's config.json, then reloads each: a server whose file was not saved is not reloaded.
// The server shown is saved by the page's own save, so the page knows its file as saved and hears no change elsewhere.
function saverToAll(state, runOn) {
  return (text, saveShown) => Promise.all(state.servers.map(async ({ name }) => {
    const error = name === state.chosen ? await saveShown() : await saveTo(name, text);
    if (error) return { server: name, line: RELOAD, reply: '', error };
    return runOn(RELOAD, name);
  }));
}

export async function createLiveViews(shell, { state, runOn, configPaths }) {
  const [{ createCommandsView }, { createConfigView }, { createLogView }] = await Promise.all([
    import('./commands.js'), import('./config.js'), import('./log.js')]);
  const many = state.servers.length > 1;
  const runCommand = (line) => runOn(line, state.chosen);
  const runEverywhere = (line) => Promise.all(state.servers.map(({ name }) => runOn(line, name)));
  const commands = createCommandsView(shell.view('commands'), {
    runCommand, live: { runEverywhere: many ? runEverywhere : null },
  });
  const config = createConfigView(shell.view('config'), {
    runCommand,
    live: {
      saveEverywhere: many ? saverToAll(state, runOn) : null,
      onText: (text) => commands.setPaths(configPaths(text)),
    },
  });
  const log = createLogView(shell.view('log'));
  config.load();
  if (shell.firstView === 'log') log.shown();
  log.relabel();
  return {
    config,
    commands,
    log,
    relabel: () => {
      commands.relabel();
      log.relabel();
      config.relabel();
    },
    serverChanged: () => {
      log.clear();
      config.load();
    },
  };
}
