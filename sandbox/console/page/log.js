// The Log view: the host's log as it grows, newest last, the plug-in's own lines set apart, with a pause.
import { element } from './dom.js';
import { t } from './i18n.js';

const KEEP_LINES = 5000;

export function createLogView(root) {
  const list = root.querySelector('[data-role="log-lines"]');
  const pauseButton = root.querySelector('[data-role="pause"]');
  const pluginOnly = root.querySelector('[data-role="plugin-only"]');
  const state = root.querySelector('[data-role="log-state"]');
  let paused = false;
  let held = [];
  let connected = false;

  function paintState() {
    pauseButton.textContent = t(paused ? 'log.resume' : 'log.pause');
    pauseButton.setAttribute('aria-pressed', String(paused));
    if (paused) state.textContent = t('log.held', { count: held.length });
    else state.textContent = t(connected ? 'log.live' : 'log.disconnected');
    state.dataset.state = paused ? 'paused' : connected ? 'live' : 'disconnected';
  }

  function append(entries) {
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
  }

  pauseButton.addEventListener('click', () => {
    paused = !paused;
    if (!paused) {
      append(held);
      held = [];
      list.scrollTop = list.scrollHeight;
    }
    paintState();
  });
  pluginOnly.addEventListener('change', () => list.classList.toggle('plugin-only', pluginOnly.checked));

  return {
    add: (entry) => {
      if (paused) {
        held.push(entry);
        if (held.length > KEEP_LINES) held.shift();
        paintState();
      } else {
        append([entry]);
      }
    },
    // A fresh stream starts with the recent lines again, so what was shown is replaced.
    connected: (open) => {
      connected = open;
      if (open) {
        list.replaceChildren();
        held = [];
      }
      paintState();
    },
    relabel: paintState,
    // Lines that came while the view was hidden were not scrolled to.
    shown: () => {
      list.scrollTop = list.scrollHeight;
    },
  };
}
