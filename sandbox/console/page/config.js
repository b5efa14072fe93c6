// The Configuration view: the live config.json in an editor with line numbers, the checker's findings marked
// at their lines, saving, saving with a reload, and a world built from the configuration.
import { request } from './api.js';
import { element } from './dom.js';
import { t } from './i18n.js';
import { findingLine, locatePointers } from './positions.js';
import { listResults, showResult } from './replies.js';

const LINE_HEIGHT = 20;
const PADDING = 6;
const SEVERITY_RANK = { note: 1, warning: 2, error: 3 };

// Where the editor's text stands with the file, each state with the status it shows. In the states at rest the
// text is the file's; an edit undone returns to the last of them.
const STATUS_TEXTS = {
  loading: 'config.loading',
  unreadable: 'config.failed',
  missing: 'config.missing',
  clean: 'config.clean',
  edited: 'config.dirty',
  saving: 'config.saving',
  saved: 'config.saved',
  notSaved: 'config.saveFailed',
  changedElsewhere: 'config.changedElsewhere',
};
const AT_REST = new Set(['missing', 'clean', 'saved']);

export function lineStartOffset(text, line) {
  let offset = 0;
  for (let current = 1; current < line; current++) {
    const next = text.indexOf('\n', offset);
    if (next < 0) return text.length;
    offset = next + 1;
  }
  return offset;
}

// The severity that marks each line holding findings: the worst of them.
export function worstPerLine(findings) {
  const worst = new Map();
  for (const { markLine, severity } of findings) {
    const previous = worst.get(markLine);
    if (!previous || SEVERITY_RANK[severity] > SEVERITY_RANK[previous]) worst.set(markLine, severity);
  }
  return worst;
}

// Where a finding's certain fix stands in the editor's text: the checker gives the string's bytes in the file it
// read, which a text area holding CRLF line ends as LF no longer matches; the string as written, when the text holds
// it once, is found all the same. Null when it cannot be told.
export function fixSpan(text, fix) {
  const bytes = new TextEncoder().encode(text);
  const decoder = new TextDecoder();
  const start = decoder.decode(bytes.slice(0, fix.begin)).length;
  if (decoder.decode(bytes.slice(fix.begin, fix.end)) === fix.from) return { start, end: start + fix.from.length };
  const first = text.indexOf(fix.from);
  if (first < 0 || text.indexOf(fix.from, first + 1) >= 0) return null;
  return { start: first, end: first + fix.from.length };
}

// Tab inserts two spaces instead of leaving the editor; Escape then Tab still leaves it.
function keepTabInText(editor) {
  let escaped = false;
  editor.addEventListener('keydown', (event) => {
    if (event.key === 'Escape') escaped = true;
    if (event.key !== 'Tab' || event.shiftKey || escaped) {
      if (event.key !== 'Escape') escaped = false;
      return;
    }
    event.preventDefault();
    document.execCommand('insertText', false, '  ');
  });
}

// Replaces one span of the editor's text as typing would (so Undo takes it back), then tells its input listeners.
function replaceSpan(editor, { start, end }, to) {
  editor.focus();
  editor.setSelectionRange(start, end);
  if (document.execCommand('insertText', false, to)) return;
  editor.setRangeText(to, start, end, 'end');
  editor.dispatchEvent(new Event('input'));
}

// Selects a line and scrolls it into the upper third of the editor.
function selectLine(editor, line) {
  const text = editor.value;
  const start = lineStartOffset(text, line);
  const end = text.indexOf('\n', start);
  editor.focus();
  editor.setSelectionRange(start, end < 0 ? text.length : end);
  editor.scrollTop = Math.max(0, (line - 1) * LINE_HEIGHT - editor.clientHeight / 3);
}

// The mark behind a line's text.
function band(line, severity) {
  const node = element('div', { className: `band ${severity}`, data: { role: 'mark', line } });
  node.style.top = `${PADDING + (line - 1) * LINE_HEIGHT}px`;
  return node;
}

// The text with line numbers, and the findings' marks on the gutter and behind the text, kept in step with the
// text's scrolling.
function createEditor(root) {
  const editor = root.querySelector('[data-role="config-editor"]');
  const gutter = root.querySelector('[data-role="gutter"]');
  const marks = root.querySelector('[data-role="marks"]');
  let lineCount = 0;
  let worst = new Map();

  function followScroll() {
    marks.style.transform = `translate(${-editor.scrollLeft}px, ${-editor.scrollTop}px)`;
    gutter.style.transform = `translateY(${-editor.scrollTop}px)`;
  }

  function paintMarks() {
    for (const div of gutter.children) {
      const severity = worst.get(Number(div.dataset.line));
      div.className = severity ? `marked ${severity}` : '';
    }
    marks.replaceChildren(...[...worst].map(([line, severity]) => band(line, severity)));
    followScroll();
  }

  function paintGutter() {
    const count = editor.value.split('\n').length;
    if (count === lineCount) return;
    lineCount = count;
    gutter.replaceChildren(...Array.from({ length: count }, (_, index) => element('div', {
      text: index + 1, data: { line: index + 1 },
    })));
    paintMarks();
  }

  function goToLine(line) {
    selectLine(editor, line);
    followScroll();
  }

  editor.addEventListener('input', paintGutter);
  editor.addEventListener('scroll', followScroll, { passive: true });
  keepTabInText(editor);

  return {
    text: () => editor.value,
    setText: (text) => {
      editor.value = text;
      lineCount = 0;
      paintGutter();
    },
    mark: (findings) => {
      worst = worstPerLine(findings);
      paintMarks();
    },
    goToLine,
    onInput: (handler) => editor.addEventListener('input', handler),
    replace: (span, to) => replaceSpan(editor, span, to),
  };
}

function findingItem(finding) {
  const { code, markLine: line, severity } = finding;
  const li = element('li', { tabIndex: 0, data: { role: 'finding', code, line, severity } },
    element('div', { className: 'finding-head' },
      element('span', { className: `badge ${severity}`, text: `${t(`severity.${severity}`)} ${code}` }),
      element('span', { className: 'where', text: t('config.atLine', { line }) })),
    element('div', { className: 'message', text: finding.message || '' }));
  if (finding.effect) li.append(element('div', { className: 'effect', text: finding.effect }));
  if (finding.fix) {
    li.append(element('button', {
      type: 'button', className: 'fix', text: t('config.fix', { to: finding.fix.to }), data: { role: 'fix' },
    }));
  }
  if (Array.isArray(finding.log) && finding.log.length) {
    // The plug-in's own log lines for this fault, exactly as it writes them.
    li.append(element('pre', { className: 'finding-log', text: finding.log.join('\n') }));
  }
  return li;
}

// The checker's findings about a text, listed by line and marked in the editor; choosing one goes to its line.
function createFindings(root, editor) {
  const list = root.querySelector('[data-role="findings"]');
  const total = root.querySelector('[data-role="findings-total"]');
  let shown = [];

  function draw() {
    list.replaceChildren(...shown.map(findingItem));
    total.textContent = shown.length ? String(shown.length) : t('config.noFindings');
  }

  function show(findings, text) {
    const places = locatePointers(text);
    shown = (findings || []).map((finding) => ({ ...finding, markLine: findingLine(finding, places) }));
    shown.sort((a, b) => a.markLine - b.markLine);
    draw();
    editor.mark(shown);
  }

  const chosen = (event) => event.target.closest('[data-role="finding"]');
  list.addEventListener('click', (event) => {
    const item = chosen(event);
    if (!item) return;
    if (event.target.closest('[data-role="fix"]')) {
      const finding = shown[[...list.children].indexOf(item)];
      const span = finding && fixSpan(editor.text(), finding.fix);
      if (span) editor.replace(span, finding.fix.to);
      else event.target.disabled = true;
      return;
    }
    editor.goToLine(Number(item.dataset.line));
  });
  list.addEventListener('keydown', (event) => {
    if (!chosen(event) || (event.key !== 'Enter' && event.key !== ' ')) return;
    event.preventDefault();
    editor.goToLine(Number(chosen(event).dataset.line));
  });

  // relabel: the same findings in the language now shown.
  return { show, relabel: draw };
}

const unmatchedItem = (entry) => element('li', { data: { role: 'unmatched-path', code: entry.code || '' } },
  element('code', { text: entry.path }),
  element('span', { text: `${entry.code ? `${entry.code}: ` : ''}${entry.message || ''}` }));

// Builds a world from the saved file and lists the paths of the file that no class of it matches, with why.
async function showWorldFromConfig(root, world) {
  const box = root.querySelector('[data-role="unmatched-box"]');
  const list = root.querySelector('[data-role="unmatched"]');
  await world.beginAction();
  const { status: code, body } = await request('POST', '/api/world-from-config', {});
  world.load().catch(() => {});
  box.hidden = false;
  if (code !== 200) {
    list.replaceChildren();
    box.dataset.state = 'failed';
    box.querySelector('.summary').textContent = t('config.worldFailed', { error: body.error || code });
    return;
  }
  const unmatched = body.unmatched || [];
  box.dataset.state = 'done';
  box.querySelector('.summary').textContent = unmatched.length
    ? t('config.unmatched', { count: unmatched.length }) : t('config.allMatched');
  list.replaceChildren(...unmatched.map(unmatchedItem));
}

// The file as the server has it and the editor's text against it: loading, checking unsaved text, saving.
function createFile(root, { editor, findings }) {
  const status = root.querySelector('[data-role="config-status"]');
  const pathLabel = root.querySelector('[data-role="config-path"]');
  let saved = '';
  let state = { name: 'loading', vars: {} };
  let rest = state;

  const dirty = () => editor.text() !== saved;
  const draw = () => {
    status.textContent = t(STATUS_TEXTS[state.name], state.vars);
    status.dataset.state = state.name;
  };
  const enter = (name, vars = {}) => {
    state = { name, vars };
    if (AT_REST.has(name)) rest = state;
    draw();
  };
  const settle = () => (dirty() ? enter('edited') : enter(rest.name, rest.vars));

  async function load() {
    const { status: code, body } = await request('GET', '/api/config');
    if (code !== 200) return enter('unreadable', { error: body.error || code });
    pathLabel.textContent = body.path || '';
    editor.setText(body.text || '');
    // As the editor holds it: a text area reads line ends as LF.
    saved = editor.text();
    findings.show(body.findings, saved);
    return enter(body.exists === false ? 'missing' : 'clean');
  }

  async function save() {
    const text = editor.text();
    enter('saving');
    const { status: code, body } = await request('PUT', '/api/config', text, 'text/plain; charset=utf-8');
    if (code !== 200 || !body.saved) {
      enter('notSaved', { error: body.error || `HTTP ${code}` });
      return false;
    }
    saved = text;
    findings.show(body.findings, text);
    enter('saved');
    // Typed while it was being saved.
    if (dirty()) enter('edited');
    return true;
  }

  // The server announces every save, this page's own too: only a text other than the one saved here counts.
  async function changedOnDisk() {
    const { status: code, body } = await request('GET', '/api/config');
    if (code !== 200 || body.text === saved) return;
    if (dirty()) enter('changedElsewhere');
    else await load();
  }

  // The last failed save's reason.
  const error = () => state.vars.error;
  return { load, save, changedOnDisk, settle, dirty, draw, error };
}

// Asks the checker about the editor's text without saving it, while the server offers that; findings about a text
// since changed are dropped.
function liveChecker(editor, findings) {
  let offered = true;
  return async () => {
    if (!offered) return;
    const text = editor.text();
    const { status: code, body } = await request('POST', '/api/check', text, 'text/plain; charset=utf-8');
    if (code === 404 || code === 405) offered = false;
    else if (code === 200 && editor.text() === text) findings.show(body.findings, text);
  };
}

// The view's buttons are disabled while one of them works.
async function whileBusy(buttons, work) {
  for (const button of buttons) button.disabled = true;
  try {
    await work();
  } finally {
    for (const button of buttons) button.disabled = false;
  }
}

// `live`, on a live server: `onText(text)` hears of each text shown, or typed once typing pauses (the commands offer
// its paths), and `saveEverywhere(text, saveShown)`, for a cluster, saves to every server (the one shown through
// `saveShown`) and reloads each, answering their results.
export function createConfigView(root, { world, runCommand, live }) {
  const editor = createEditor(root);
  const findings = createFindings(root, editor);
  const file = createFile(root, { editor, findings });
  const check = liveChecker(editor, findings);
  const buttons = root.querySelectorAll('button');
  let checkTimer = 0;
  const on = (role, work) => root.querySelector(`[data-role="${role}"]`)
    .addEventListener('click', () => whileBusy(buttons, work));
  on('save', file.save);
  on('save-reload', async () => {
    const reply = root.querySelector('[data-role="reply"]');
    reply.dataset.state = 'running';
    if (!(await file.save())) {
      reply.dataset.state = 'failed';
      return;
    }
    showResult(root, await runCommand('Tidywarden.reload'));
  });
  if (live?.saveEverywhere) {
    root.querySelector('[data-role="save-all"]').hidden = false;
    const saveShown = async () => ((await file.save()) ? null : String(file.error()));
    on('save-all', async () => listResults(root, await live.saveEverywhere(editor.text(), saveShown)));
  }
  on('revert', async () => {
    if (file.dirty() && !window.confirm(t('config.confirmRevert'))) return;
    await file.load();
  });
  // The server builds from the file, so the text in the editor is saved first.
  on('world-from-config', async () => {
    if (file.dirty() && !(await file.save())) return;
    await showWorldFromConfig(root, world);
  });
  editor.onInput(() => {
    file.settle();
    clearTimeout(checkTimer);
    // The command forms' path choices come from the same pause in typing, not from every keystroke.
    checkTimer = setTimeout(() => {
      live?.onText(editor.text());
      check();
    }, 400);
  });

  return {
    load: async () => {
      await file.load();
      live?.onText(editor.text());
    },
    changedOnDisk: file.changedOnDisk,
    relabel: async () => {
      file.draw();
      // The findings' texts come from the checker in the language asked for.
      if (!file.dirty()) await file.load();
      else findings.relabel();
    },
  };
}
