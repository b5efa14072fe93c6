// The Log view: the host's log as it grows, newest last, the plug-in's own lines set apart, with a pause.
import { element } from './dom.js';
import { t } from './i18n.js';

const KEEP_LINES = 5000;

// The list of lines: appended in batches, the oldest dropped, kept scrolled to the end while it is at the end.
function createLines(list) {
  return {
    append(entries) {
      if (entries.length === 0) return;
      const stick = list.scrollHeight - list.scrollTop - list.clientHeight < 40;
      const fragment = document.createDocumentFragment();
      for (const entry of entries) {
        fragment.append(element('li', {
          text: entry.line, className: entry.plugin ? 'plugin' : undefined,
          data: { role: 'log-line', plugin: entry.plugin ? 'true' : undefined },
        }));
      }
      list.append(fragment);
      while (list.children.length > KEEP_LINES) list.firstChild.remove();
      if (stick) list.scrollTop = list.scrollHeight;
    },
    clear: () => list.replaceChildren(),
    toEnd: () => {
      list.scrollTop = list.scrollHeight;
    },
  };
}

// The state beside the pause button: live, paused with the lines held back, or disconnected.
function paintState(root, { paused, held, connected }) {
  const pauseButton = root.querySelector('[data-role="pause"]');
  const state = root.querySelector('[data-role="log-state"]');
  pauseButton.textContent = t(paused ? 'log.resume' : 'log.pause');
  pauseButton.setAttribute('aria-pressed', String(paused));
  if (paused) state.textContent = t('log.held', { count: held.length });
  else state.textContent = t(connected ? 'log.live' : 'log.disconnected');
  state.dataset.state = paused ? 'paused' : connected ? 'live' : 'disconnected';
}

export function createLogView(root) {
  const list = root.querySelector('[data-role="log-lines"]');
  const pluginOnly = root.querySelector('[data-role="plugin-only"]');
  const lines = createLines(list);
  const status = { paused: false, held: [], connected: false };
  const paint = () => paintState(root, status);

  root.querySelector('[data-role="pause"]').addEventListener('click', () => {
    status.paused = !status.paused;
    if (!status.paused) {
      lines.append(status.held);
      status.held = [];
      lines.toEnd();
    }
    paint();
  });
  pluginOnly.addEventListener('change', () => list.classList.toggle('plugin-only', pluginOnly.checked));

  return {
    add: (entry) => {
      if (!status.paused) return lines.append([entry]);
      status.held.push(entry);
      if (status.held.length > KEEP_LINES) status.held.shift();
      paint();
    },
    // A fresh stream starts with the recent lines again, so what was shown is replaced.
    connected: (open) => {
      status.connected = open;
      if (open) {
        lines.clear();
        status.held = [];
      }
      paint();
    },
    // Another server's log is shown from here on.
    clear: () => {
      lines.clear();
      status.held = [];
      paint();
    },
    relabel: paint,
    // Lines that came while the view was hidden were not scrolled to.
    shown: lines.toEnd,
  };
}
