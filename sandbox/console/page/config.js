// The Configuration view: the live config.json in an editor with line numbers, the checker's findings marked
// at their lines, saving, saving with a reload, and a world built from the configuration.
import { request } from './api.js';
import { element } from './dom.js';
import { t } from './i18n.js';
import { findingLine, locatePointers } from './positions.js';

const LINE_HEIGHT = 20;
const PADDING = 6;

export function lineStartOffset(text, line) {
  let offset = 0;
  for (let current = 1; current < line; current++) {
    const next = text.indexOf('\n', offset);
    if (next < 0) return text.length;
    offset = next + 1;
  }
  return offset;
}

export function createConfigView(root, { world, runCommand }) {
  const editor = root.querySelector('[data-role="config-editor"]');
  const gutter = root.querySelector('[data-role="gutter"]');
  const marks = root.querySelector('[data-role="marks"]');
  const findingsList = root.querySelector('[data-role="findings"]');
  const findingsTotal = root.querySelector('[data-role="findings-total"]');
  const status = root.querySelector('[data-role="config-status"]');
  const pathLabel = root.querySelector('[data-role="config-path"]');
  const ranLine = root.querySelector('[data-role="ran-line"]');
  const reply = root.querySelector('[data-role="reply"]');
  const unmatchedBox = root.querySelector('[data-role="unmatched-box"]');
  const unmatchedList = root.querySelector('[data-role="unmatched"]');
  const buttons = root.querySelectorAll('button');

  let saved = '';
  let findings = [];
  let findingsOf = '';
  let statusKey = 'config.loading';
  let statusVars = {};
  let lineCount = 0;
  let checkTimer = 0;
  let liveCheck = true;

  const dirty = () => editor.value !== saved;
  function setStatus(key, vars = {}) {
    statusKey = key;
    statusVars = vars;
    status.textContent = t(key, vars);
    status.dataset.state = key.split('.').pop();
  }

  function paintGutter() {
    const count = editor.value.split('\n').length;
    if (count === lineCount) return;
    lineCount = count;
    const numbers = [];
    for (let line = 1; line <= count; line++) {
      const div = document.createElement('div');
      div.textContent = String(line);
      div.dataset.line = String(line);
      numbers.push(div);
    }
    gutter.replaceChildren(...numbers);
    paintLineMarks();
  }

  // Marks on the gutter and behind the text, one per finding line, the worst severity winning.
  function paintLineMarks() {
    const worst = new Map();
    const rank = { error: 3, warning: 2, note: 1 };
    for (const finding of findings) {
      const previous = worst.get(finding.markLine);
      if (!previous || rank[finding.severity] > rank[previous]) worst.set(finding.markLine, finding.severity);
    }
    for (const div of gutter.children) {
      const severity = worst.get(Number(div.dataset.line));
      div.className = severity ? `marked ${severity}` : '';
    }
    const bands = [];
    for (const [line, severity] of worst) {
      const band = document.createElement('div');
      band.className = `band ${severity}`;
      band.dataset.role = 'mark';
      band.dataset.line = String(line);
      band.style.top = `${PADDING + (line - 1) * LINE_HEIGHT}px`;
      bands.push(band);
    }
    marks.replaceChildren(...bands);
    followScroll();
  }

  function followScroll() {
    const shift = `translate(${-editor.scrollLeft}px, ${-editor.scrollTop}px)`;
    marks.style.transform = shift;
    gutter.style.transform = `translateY(${-editor.scrollTop}px)`;
  }

  function goToLine(line) {
    const text = editor.value;
    const start = lineStartOffset(text, line);
    const end = text.indexOf('\n', start);
    editor.focus();
    editor.setSelectionRange(start, end < 0 ? text.length : end);
    editor.scrollTop = Math.max(0, (line - 1) * LINE_HEIGHT - editor.clientHeight / 3);
    followScroll();
  }

  function showFindings(list, text) {
    const places = locatePointers(text);
    findingsOf = text;
    findings = (list || []).map((finding) => ({ ...finding, markLine: findingLine(finding, places) }));
    findings.sort((a, b) => a.markLine - b.markLine);
    const items = findings.map((finding) => {
      const li = document.createElement('li');
      li.dataset.role = 'finding';
      li.dataset.code = finding.code;
      li.dataset.line = String(finding.markLine);
      li.dataset.severity = finding.severity;
      li.tabIndex = 0;
      const head = document.createElement('div');
      head.className = 'finding-head';
      const badge = document.createElement('span');
      badge.className = `badge ${finding.severity}`;
      badge.textContent = `${t(`severity.${finding.severity}`)} ${finding.code}`;
      const where = document.createElement('span');
      where.className = 'where';
      where.textContent = t('config.atLine', { line: finding.markLine });
      head.append(badge, where);
      const message = document.createElement('div');
      message.className = 'message';
      message.textContent = finding.message || '';
      li.append(head, message);
      if (finding.effect) {
        const effect = document.createElement('div');
        effect.className = 'effect';
        effect.textContent = finding.effect;
        li.append(effect);
      }
      if (Array.isArray(finding.log) && finding.log.length) {
        // The plug-in's own log lines for this fault, exactly as it writes them.
        const log = element('pre', { className: 'finding-log' });
        log.textContent = finding.log.join('\n');
        li.append(log);
      }
      return li;
    });
    findingsList.replaceChildren(...items);
    findingsTotal.textContent = findings.length ? String(findings.length) : t('config.noFindings');
    paintLineMarks();
  }

  async function load() {
    const { status: code, body } = await request('GET', '/api/config');
    if (code !== 200) {
      setStatus('config.failed', { error: body.error || code });
      return;
    }
    pathLabel.textContent = body.path || '';
    editor.value = body.text || '';
    saved = editor.value;
    lineCount = 0;
    paintGutter();
    showFindings(body.findings, editor.value);
    setStatus(body.exists === false ? 'config.missing' : 'config.clean');
  }

  // Asks the checker about the editor's text without saving it, when the server offers that.
  async function checkUnsaved() {
    if (!liveCheck) return;
    const text = editor.value;
    const { status: code, body } = await request('POST', '/api/check',
      text, 'text/plain; charset=utf-8');
    if (code === 404 || code === 405) {
      liveCheck = false;
      return;
    }
    if (code === 200 && editor.value === text) showFindings(body.findings, text);
  }

  async function save() {
    const text = editor.value;
    setStatus('config.saving');
    const { status: code, body } = await request('PUT', '/api/config',
      text, 'text/plain; charset=utf-8');
    if (code !== 200 || !body.saved) {
      setStatus('config.saveFailed', { error: body.error || `HTTP ${code}` });
      return false;
    }
    saved = text;
    showFindings(body.findings, text);
    setStatus(dirty() ? 'config.dirty' : 'config.saved');
    return true;
  }

  function showReply(line, text, failed) {
    ranLine.textContent = line;
    reply.textContent = text;
    reply.classList.toggle('failed', Boolean(failed));
    reply.dataset.state = failed ? 'failed' : 'done';
  }

  // The server builds from the file, so the text in the editor is saved first.
  async function worldFromConfig() {
    if (dirty() && !(await save())) return;
    await world.beginAction();
    const { status: code, body } = await request('POST', '/api/world-from-config', {});
    world.load().catch(() => {});
    unmatchedBox.hidden = false;
    if (code !== 200) {
      unmatchedList.replaceChildren();
      unmatchedBox.dataset.state = 'failed';
      unmatchedBox.querySelector('.summary').textContent = t('config.worldFailed', { error: body.error || code });
      return;
    }
    const unmatched = body.unmatched || [];
    unmatchedBox.dataset.state = 'done';
    unmatchedBox.querySelector('.summary').textContent = unmatched.length
      ? t('config.unmatched', { count: unmatched.length }) : t('config.allMatched');
    unmatchedList.replaceChildren(...unmatched.map((entry) => {
      const li = document.createElement('li');
      li.dataset.role = 'unmatched-path';
      li.dataset.code = entry.code || '';
      const path = document.createElement('code');
      path.textContent = entry.path;
      const why = document.createElement('span');
      why.textContent = `${entry.code ? `${entry.code}: ` : ''}${entry.message || ''}`;
      li.append(path, why);
      return li;
    }));
  }

  async function busy(work) {
    for (const button of buttons) button.disabled = true;
    try {
      await work();
    } finally {
      for (const button of buttons) button.disabled = false;
    }
  }

  editor.addEventListener('input', () => {
    paintGutter();
    setStatus(dirty() ? 'config.dirty' : 'config.saved');
    clearTimeout(checkTimer);
    checkTimer = setTimeout(checkUnsaved, 400);
  });
  editor.addEventListener('scroll', followScroll, { passive: true });
  findingsList.addEventListener('click', (event) => {
    const li = event.target.closest('[data-role="finding"]');
    if (li) goToLine(Number(li.dataset.line));
  });
  findingsList.addEventListener('keydown', (event) => {
    const li = event.target.closest('[data-role="finding"]');
    if (li && (event.key === 'Enter' || event.key === ' ')) {
      event.preventDefault();
      goToLine(Number(li.dataset.line));
    }
  });
  root.querySelector('[data-role="save"]').addEventListener('click', () => busy(save));
  root.querySelector('[data-role="save-reload"]').addEventListener('click', () => busy(async () => {
    reply.dataset.state = 'running';
    if (!(await save())) {
      reply.dataset.state = 'failed';
      return;
    }
    const result = await runCommand('Tidywarden.reload');
    showReply(result.line, result.error ? t('command.failed', { error: result.error }) : result.reply,
      result.error);
  }));
  root.querySelector('[data-role="revert"]').addEventListener('click', () => busy(async () => {
    if (dirty() && !window.confirm(t('config.confirmRevert'))) return;
    await load();
  }));
  root.querySelector('[data-role="world-from-config"]').addEventListener('click', () => busy(worldFromConfig));
  // Tab inserts two spaces instead of leaving the editor; Escape then Tab still leaves it.
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

  return {
    load,
    // The server announces every save, this page's own too: only a text other than the one saved here counts.
    changedOnDisk: async () => {
      const { status: code, body } = await request('GET', '/api/config');
      if (code !== 200 || body.text === saved) return;
      if (dirty()) setStatus('config.changedElsewhere');
      else await load();
    },
    relabel: async () => {
      status.textContent = t(statusKey, statusVars);
      // The findings' texts come from the checker in the language asked for.
      if (!dirty()) await load();
      else showFindings(findings, findingsOf);
    },
  };
}
