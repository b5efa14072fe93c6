// The Commands view: the plug-in's three commands and the sandbox's actions as forms, a free command line,
// and for every run the RCON line it sent and the reply it got.
import { t } from './i18n.js';

// Field kinds: 'class' picks a class of the world (value: its path when `path` is set, else its name),
// 'inventory' picks an inventory by name, 'number', 'text', 'choice' (fixed options).
const FORMS = [
  { id: 'reload', group: 'plugin', fields: [], line: () => 'Tidywarden.reload' },
  {
    id: 'structure', group: 'plugin',
    fields: [{ name: 'path', type: 'class', kinds: ['item'], builds: true, path: true }],
    line: (v) => `Tidywarden.DestroySpecifystructure ${v.path}`,
  },
  {
    id: 'dino', group: 'plugin',
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

export const COMMAND_WORDS = [
  'Tidywarden.reload', 'Tidywarden.DestroySpecifystructure', 'Tidywarden.DestroySpecifydino', 'sandbox.help',
  'sandbox.classes', 'sandbox.creatures', 'sandbox.structures', 'sandbox.inventories', 'sandbox.spawn',
  'sandbox.place', 'sandbox.give', 'sandbox.view', 'sandbox.finish', 'sandbox.engram', 'sandbox.startgame',
  'sandbox.hooks', 'sandbox.commands', 'sandbox.unload', 'sandbox.load', 'sandbox.log', 'sandbox.check',
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

function element(tag, className, text) {
  const node = document.createElement(tag);
  if (className) node.className = className;
  if (text !== undefined) node.textContent = text;
  return node;
}

export function createCommandsView(root, { runCommand }) {
  const ranLine = root.querySelector('[data-role="ran-line"]');
  const reply = root.querySelector('[data-role="reply"]');
  const history = root.querySelector('[data-role="history"]');
  const commandLine = root.querySelector('[data-role="command-line"]');
  const runButton = root.querySelector('[data-role="run"]');
  const groups = { plugin: root.querySelector('[data-role="plugin-forms"]'),
    sandbox: root.querySelector('[data-role="sandbox-forms"]') };
  const words = root.querySelector('#command-words');
  words.replaceChildren(...COMMAND_WORDS.map((word) => {
    const option = document.createElement('option');
    option.value = word;
    return option;
  }));

  let snapshot = { classes: [], inventories: [] };
  const forms = [];
  const typed = [];
  let typedAt = 0;

  async function run(line) {
    ranLine.textContent = line;
    reply.textContent = t('command.running');
    reply.dataset.state = 'running';
    reply.classList.remove('failed');
    const result = await runCommand(line);
    ranLine.textContent = result.line;
    reply.textContent = result.error ? t('command.failed', { error: result.error }) : result.reply;
    reply.classList.toggle('failed', Boolean(result.error));
    reply.dataset.state = result.error ? 'failed' : 'done';
    const entry = element('li');
    entry.append(element('code', 'line', `> ${result.line}`), element('pre', 'text', reply.textContent));
    history.prepend(entry);
    while (history.children.length > 50) history.lastChild.remove();
  }

  for (const form of FORMS) {
    const box = element('form', 'command-form');
    box.dataset.form = form.id;
    box.append(element('h3', '', ''), element('p', 'help', ''));
    box.querySelector('h3').dataset.i18n = `form.${form.id}.title`;
    box.querySelector('.help').dataset.i18n = `form.${form.id}.help`;
    const controls = [];
    for (const field of form.fields) {
      const label = element('label');
      const caption = element('span', 'caption');
      caption.dataset.i18n = `field.${field.name}`;
      let control;
      if (field.type === 'number' || field.type === 'text') {
        control = element('input');
        control.type = field.type === 'number' ? 'number' : 'text';
        control.value = field.value || '';
      } else {
        control = element('select');
      }
      control.dataset.field = field.name;
      label.append(caption, control);
      box.append(label);
      controls.push({ field, control });
      if (field.type === 'choice') {
        for (const value of field.options) {
          const option = element('option');
          option.value = value;
          option.dataset.i18n = `choice.${form.id}.${field.name}.${value || 'none'}`;
          control.append(option);
        }
      }
      if (form.id === 'dino' && field.name === 'mode') {
        const notes = element('ul', 'mode-notes');
        for (const value of field.options) {
          const note = element('li');
          note.dataset.i18n = `form.dino.mode${value}`;
          notes.append(note);
        }
        box.append(notes);
      }
    }
    const preview = element('code', 'preview');
    const button = element('button', 'primary');
    button.type = 'submit';
    button.dataset.role = 'run-form';
    button.dataset.i18n = 'command.run';
    const footer = element('div', 'form-footer');
    footer.append(preview, button);
    box.append(footer);
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
      button.disabled = true;
      try {
        await run(formLine(form.id, values()));
      } finally {
        refresh();
      }
    });
    groups[form.group].append(box);
    forms.push({ controls, refresh });
  }

  function fillPickers() {
    for (const { controls, refresh } of forms) {
      for (const { field, control } of controls) {
        if (field.type !== 'class' && field.type !== 'inventory') continue;
        const choices = fieldChoices(field, snapshot);
        const keep = control.value;
        control.replaceChildren(...choices.map((choice) => {
          const option = element('option', '', choice.label);
          option.value = choice.value;
          return option;
        }));
        if (choices.some((choice) => choice.value === keep)) control.value = keep;
        if (choices.length === 0) {
          const none = element('option', '', t('command.nothingToPick'));
          none.value = '';
          control.append(none);
        }
      }
      refresh();
    }
  }

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

  return {
    setWorld: (next) => {
      snapshot = next;
      fillPickers();
    },
    relabel: fillPickers,
  };
}
