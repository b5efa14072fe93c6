// The Commands view: the plug-in's three commands and the sandbox's actions as forms, a free command line,
// and for every run the RCON line it sent and the reply it got.
import { request } from './api.js';
import { element } from './dom.js';
import { t } from './i18n.js';
import { listResults, replyText, showResult } from './replies.js';

// Field kinds: 'class' picks a class of the world (value: its path when `path` is set, else its name),
// 'inventory' picks an inventory by name, 'number', 'text', 'choice' (fixed options).
const FORMS = [
  { id: 'reload', group: 'plugin', fields: [], line: () => 'Tidywarden.reload' },
  {
    id: 'structure', group: 'plugin', purge: true,
    fields: [{ name: 'path', type: 'class', kinds: ['item'], builds: true, path: true }],
    line: (v) => `Tidywarden.DestroySpecifystructure ${v.path}`,
  },
  {
    id: 'dino', group: 'plugin', purge: true,
    fields: [{ name: 'path', type: 'class', kinds: ['creature'], path: true },
      { name: 'mode', type: 'choice', options: ['0', '1'] }],
    line: (v) => `Tidywarden.DestroySpecifydino ${v.path} ${v.mode}`,
  },
  {
    id: 'spawn', group: 'sandbox',
    fields: [{ name: 'class', type: 'class', kinds: ['creature'] },
      { name: 'level', type: 'number', value: '1' }, { name: 'team', type: 'number', value: '0' }],
    line: (v) => `sandbox.spawn ${v.class} ${v.level || 1} ${v.team || 0}`,
  },
  {
    id: 'place', group: 'sandbox', fields: [{ name: 'class', type: 'class', kinds: ['structure'] }],
    line: (v) => `sandbox.place ${v.class}`,
  },
  {
    id: 'give', group: 'sandbox',
    fields: [{ name: 'inventory', type: 'inventory' }, { name: 'class', type: 'class', kinds: ['item'] },
      { name: 'how', type: 'choice', options: ['', 'equip', 'ignoremax'] }],
    line: (v) => `sandbox.give ${v.inventory} ${v.class}${v.how ? ` ${v.how}` : ''}`,
  },
  { id: 'view', group: 'sandbox', fields: [{ name: 'inventory', type: 'inventory' }], line: (v) => `sandbox.view ${v.inventory}` },
  {
    id: 'finish', group: 'sandbox', fields: [{ name: 'inventory', type: 'inventory' }],
    line: (v) => `sandbox.finish ${v.inventory}`,
  },
  {
    id: 'engram', group: 'sandbox', fields: [{ name: 'class', type: 'class', kinds: ['item'] }],
    line: (v) => `sandbox.engram ${v.class}`,
  },
  { id: 'startgame', group: 'sandbox', fields: [], line: () => 'sandbox.startgame' },
  { id: 'unload', group: 'sandbox', fields: [], line: () => 'sandbox.unload' },
  { id: 'load', group: 'sandbox', fields: [], line: () => 'sandbox.load' },
];

// The choices a field offers for a world snapshot: [{value, label}].
export function fieldChoices(field, snapshot) {
  if (field.type === 'inventory') {
    const names = [...new Set((snapshot.inventories || []).map((inventory) => inventory.name))];
    return names.map((name) => ({ value: name, label: name }));
  }
  if (field.type !== 'class') return [];
  return (snapshot.classes || [])
    .filter((entry) => field.kinds.includes(entry.kind) && (!field.builds || entry.builds))
    .map((entry) => ({
      value: field.path ? entry.path : entry.name,
      label: field.path ? `${entry.name}${entry.builds ? ` → ${entry.builds}` : ''}  ${entry.path}` : entry.name,
    }));
}

export function formLine(id, values) {
  return FORMS.find((form) => form.id === id).line(values);
}


// One field's caption and control; a choice lists its fixed options, a picker is filled from the world later. On a
// live server a class is free text, offered the paths the configuration names.
function fieldControl(form, field, live) {
  let control;
  if (live && field.type === 'class') {
    control = element('input', { type: 'text', spellcheck: false, autocomplete: 'off' });
    control.setAttribute('list', 'config-paths');
  } else if (field.type === 'number' || field.type === 'text') {
    control = element('input', { type: field.type, value: field.value || '' });
  } else {
    control = element('select', {}, ...(field.options || []).map((value) => element('option', {
      value, data: { i18n: `choice.${form.id}.${field.name}.${value || 'none'}` },
    })));
  }
  control.dataset.field = field.name;
  const label = element('label', {}, element('span', { className: 'caption', data: { i18n: `field.${field.name}` } }),
    control);
  return { label, control };
}

// A form of one command: its title, help and fields, the line it will run, and its Run button. On a live server a
// purge asks first: it cannot be undone.
function commandForm(form, run, live) {
  const box = element('form', { className: 'command-form', data: { form: form.id } },
    element('h3', { data: { i18n: `form.${form.id}.title` } }),
    element('p', { className: 'help', data: { i18n: `form.${form.id}.help` } }));
  const controls = [];
  for (const field of form.fields) {
    const { label, control } = fieldControl(form, field, live);
    box.append(label);
    controls.push({ field, control });
    if (form.id === 'dino' && field.name === 'mode') {
      box.append(element('ul', { className: 'mode-notes' },
        ...field.options.map((value) => element('li', { data: { i18n: `form.dino.mode${value}` } }))));
    }
  }
  const preview = element('code', { className: 'preview' });
  const button = element('button',
    { className: 'primary', type: 'submit', data: { role: 'run-form', i18n: 'command.run' } });
  box.append(element('div', { className: 'form-footer' }, preview, button));
  const values = () => Object.fromEntries(controls.map(({ field, control }) => [field.name, control.value.trim()]));
  const refresh = () => {
    const missing = controls.some(({ field, control }) => field.type !== 'choice' && field.type !== 'number'
      && control.value.trim() === '');
    preview.textContent = formLine(form.id, values());
    button.disabled = missing;
  };
  box.addEventListener('input', refresh);
  box.addEventListener('change', refresh);
  box.addEventListener('submit', async (event) => {
    event.preventDefault();
    const line = formLine(form.id, values());
    if (live && form.purge && !window.confirm(t('live.confirmPurge', { line }))) return;
    button.disabled = true;
    try {
      await run(line);
    } finally {
      refresh();
    }
  });
  return { box, controls, refresh };
}

// A picker keeps its choice when the world still offers it.
function fillPicker(control, choices) {
  const keep = control.value;
  control.replaceChildren(...choices.map((choice) => element('option', { value: choice.value, text: choice.label })));
  if (choices.some((choice) => choice.value === keep)) control.value = keep;
  if (choices.length === 0) control.append(element('option', { value: '', text: t('command.nothingToPick') }));
}

// The free command line: Enter runs it, the up and down keys walk the lines typed before.
function followTypedLines(commandLine, runButton, run) {
  const typed = [];
  let typedAt = 0;
  async function runTyped() {
    const line = commandLine.value.trim();
    if (!line) return;
    typed.push(line);
    typedAt = typed.length;
    commandLine.value = '';
    runButton.disabled = true;
    try {
      await run(line);
    } finally {
      runButton.disabled = false;
    }
  }
  runButton.addEventListener('click', runTyped);
  commandLine.addEventListener('keydown', (event) => {
    if (event.key === 'Enter') {
      event.preventDefault();
      runTyped();
    } else if (event.key === 'ArrowUp' && typedAt > 0) {
      event.preventDefault();
      commandLine.value = typed[--typedAt];
    } else if (event.key === 'ArrowDown' && typedAt < typed.length) {
      event.preventDefault();
      typedAt++;
      commandLine.value = typed[typedAt] || '';
    }
  });
}

// Runs a line showing it, then its reply, which also heads the list of earlier runs; with `everywhere` (a
// cluster's "run on every server" ticked) on each server, every reply listed.
function shownRun(root, runCommand, everywhere) {
  const reply = root.querySelector('[data-role="reply"]');
  const history = root.querySelector('[data-role="history"]');
  return async (line) => {
    root.querySelector('[data-role="ran-line"]').textContent = line;
    reply.textContent = t('command.running');
    reply.dataset.state = 'running';
    reply.classList.remove('failed');
    const all = everywhere?.() ? await everywhere.run(line) : null;
    if (all) listResults(root, all);
    const result = all ? all[0] : await runCommand(line);
    showResult(root, result);
    history.prepend(element('li', {}, element('code', { className: 'line', text: `> ${result.line}` }),
      element('pre', { className: 'text', text: replyText(result) })));
    while (history.children.length > 50) history.lastChild.remove();
  };
}

// On a cluster, whether the line goes to every server, and how.
function everywhereOf(root, live) {
  if (!live?.runEverywhere) return null;
  const box = root.querySelector('[data-role="all-servers-box"]');
  box.hidden = false;
  const ticked = () => box.querySelector('input').checked;
  ticked.run = live.runEverywhere;
  return ticked;
}

// `live`, on a live server: the plug-in's forms only, classes typed or picked from the configuration's paths
// (setPaths), and `runEverywhere(line)` for a cluster.
export function createCommandsView(root, { runCommand, live }) {
  const groups = { plugin: root.querySelector('[data-role="plugin-forms"]'),
    sandbox: root.querySelector('[data-role="sandbox-forms"]') };
  const words = root.querySelector('#command-words');
  const paths = element('datalist', { id: 'config-paths' });
  root.append(paths);
  const run = shownRun(root, runCommand, everywhereOf(root, live));
  let snapshot = { classes: [], inventories: [] };
  let pluginLoaded;

  // The words the server runs; the plug-in's come and go as it is loaded and unloaded.
  async function loadWords() {
    const { status, body } = await request('GET', '/api/commands');
    if (status !== 200 || !Array.isArray(body.commands)) return;
    words.replaceChildren(...body.commands.map((word) => element('option', { value: word })));
  }

  const forms = FORMS.filter((form) => !live || form.group === 'plugin').map((form) => {
    const built = commandForm(form, run, live);
    groups[form.group].append(built.box);
    return built;
  });

  function fillPickers() {
    for (const { controls, refresh } of forms) {
      for (const { field, control } of controls) {
        if (field.type === 'class' || field.type === 'inventory') fillPicker(control, fieldChoices(field, snapshot));
      }
      refresh();
    }
  }

  const commandLine = root.querySelector('[data-role="command-line"]');
  followTypedLines(commandLine, root.querySelector('[data-role="run"]'), run);
  if (live) {
    // The plug-in's words; what else a live server runs is its own.
    commandLine.dataset.i18nPlaceholder = 'live.lineHint';
    words.replaceChildren(...FORMS.filter((form) => form.group === 'plugin')
      .map((form) => element('option', { value: form.line({ path: '', mode: '' }).trim() })));
  }

  return {
    setWorld: (next) => {
      snapshot = next;
      fillPickers();
      const loaded = Boolean(next.plugin?.loaded);
      if (loaded === pluginLoaded) return;
      pluginLoaded = loaded;
      loadWords();
    },
    relabel: () => (live ? forms.forEach(({ refresh }) => refresh()) : fillPickers()),
    setPaths: (list) => {
      paths.replaceChildren(...list.map((path) => element('option', { value: path })));
    },
  };
}
