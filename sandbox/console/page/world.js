// The World view: the objects of the running world, counts per class, a filter, and the rows the last action
// changed (removed rows struck out, added rows highlighted) until the next action begins.
import { readAnswer, request, send, takeFirstWorld } from './api.js';
import { element } from './dom.js';
import { t } from './i18n.js';
import { VirtualTable } from './table.js';

const cell = (text, className) => element('td', { text, title: text, className });

const row = (record, cells) => element('tr', {
  className: record.mark, data: { kind: record.kind, id: record.id, class: record.class },
}, ...cells);

const SHOWN_INVENTORIES = 30;

const yesNo = (value) => t(value ? 'world.yes' : 'world.no');

// Every object of a snapshot as one flat record, in the server's order. The snapshot's own objects are used, not
// copies: a large world is tens of thousands of them.
export function flatten(snapshot) {
  const records = [];
  for (const creature of snapshot.creatures || []) {
    creature.kind = 'creature';
    records.push(creature);
  }
  for (const structure of snapshot.structures || []) {
    structure.kind = 'structure';
    records.push(structure);
  }
  for (const inventory of snapshot.inventories || []) {
    for (const item of inventory.items || []) {
      item.kind = 'item';
      item.inventory = inventory.name;
      records.push(item);
    }
  }
  return records;
}

// Records by kind and id (ids are never reused), built only when an action needs to compare.
const indexes = new WeakMap();
function indexOf(records) {
  let index = indexes.get(records);
  if (!index) {
    index = new Map();
    for (const record of records) index.set(`${record.kind}:${record.id}`, record);
    indexes.set(records, index);
  }
  return index;
}

// The rows to show: the current objects, plus those the baseline had and the world no longer has, each with its
// mark. Marks compare with the baseline; without one nothing is marked and the server's order stands.
export function markChanges(current, baseline) {
  if (!baseline) {
    for (const record of current) record.mark = '';
    return current;
  }
  const before = indexOf(baseline);
  const now = indexOf(current);
  const rows = [];
  for (const [key, record] of now) {
    record.mark = before.has(key) ? '' : 'added';
    rows.push(record);
  }
  for (const [key, record] of before) {
    if (now.has(key)) continue;
    record.mark = 'removed';
    rows.push(record);
  }
  rows.sort((a, b) => a.id - b.id);
  return rows;
}

export function matchesFilter(record, words) {
  if (words.length === 0) return true;
  const haystack = [record.class, record.path, record.inventory || ''].join(' ').toLowerCase();
  return words.every((word) => haystack.includes(word));
}

// Live objects per class, in the order the world declares its classes. A first answer, which lists only some
// objects, brings the counts with it.
export function countsPerClass(snapshot, current) {
  if (snapshot.partial) return (snapshot.classes || []).map((entry) => ({ ...entry, count: entry.count || 0 }));
  const counts = new Map();
  for (const record of current) counts.set(record.class, (counts.get(record.class) || 0) + 1);
  return (snapshot.classes || []).map((entry) => ({ ...entry, count: counts.get(entry.name) || 0 }));
}

function createTables(root) {
  return {
    creature: new VirtualTable(
      root.querySelector('[data-role="creatures"]'),
      [{ key: 'world.id', className: 'narrow' }, { key: 'world.class' }, { key: 'world.path', className: 'wide' },
        { key: 'world.level', className: 'narrow' }, { key: 'world.team', className: 'narrow' },
        { key: 'world.status', className: 'mid' }],
      (r) => row(r, [cell(r.id), cell(r.class), cell(r.path, 'path'), cell(r.level), cell(r.team),
        cell(yesNo(r.status))])),
    structure: new VirtualTable(
      root.querySelector('[data-role="structures"]'),
      [{ key: 'world.id', className: 'narrow' }, { key: 'world.class' }, { key: 'world.path', className: 'wide' },
        { key: 'world.persistent', className: 'mid' }],
      (r) => {
        const tr = row(r, [cell(r.id), cell(r.class), cell(r.path, 'path'), cell(yesNo(r.persistent))]);
        tr.dataset.persistent = String(Boolean(r.persistent));
        return tr;
      }),
    item: new VirtualTable(
      root.querySelector('[data-role="items"]'),
      [{ key: 'world.id', className: 'narrow' }, { key: 'world.inventory' }, { key: 'world.class' },
        { key: 'world.path', className: 'wide' }],
      (r) => row(r, [cell(r.id), cell(r.inventory), cell(r.class), cell(r.path, 'path')])),
  };
}

// The table of each kind, their totals and the summary of the last action's changes.
function paintRows(view, words) {
  const { snapshot, rows, tables, totals } = view;
  const shown = { creature: [], structure: [], item: [] };
  const all = { creature: 0, structure: 0, item: 0 };
  let removed = 0;
  let added = 0;
  for (const record of rows) {
    if (record.mark === 'removed') removed++;
    else all[record.kind]++;
    if (record.mark === 'added') added++;
    if (matchesFilter(record, words)) shown[record.kind].push(record);
  }
  if (snapshot.partial) {
    const totalOf = snapshot.totals || {};
    Object.assign(all, { creature: totalOf.creatures, structure: totalOf.structures, item: totalOf.items });
  }
  for (const kind of Object.keys(tables)) {
    tables[kind].show(shown[kind]);
    const live = shown[kind].filter((record) => record.mark !== 'removed').length;
    totals[kind].textContent = words.length ? t('world.shownOf', { shown: live, total: all[kind] })
      : String(all[kind]);
  }
  view.summary.textContent = view.baseline ? t('world.changes', { removed, added }) : t('world.noAction');
  view.summary.classList.toggle('has-changes', removed + added > 0);
}

function paintClassCounts(view) {
  const countRows = countsPerClass(view.snapshot, view.current).map((entry) => {
    const tr = element('tr', { data: { class: entry.name } }, cell(entry.name), cell(t(`kind.${entry.kind}`)),
      cell(entry.path, 'path'), cell(String(entry.count), 'number'));
    if (entry.builds) tr.children[2].title = `${entry.path} → ${entry.builds}`;
    return tr;
  });
  view.countsBody.replaceChildren(...countRows);
}

// Every inventory, empty ones too, each a button that filters by its name.
function paintInventories(view) {
  const { snapshot } = view;
  const inventories = snapshot.inventories || [];
  const buttons = inventories.slice(0, SHOWN_INVENTORIES).map(({ name, count, items }) => element('button', {
    type: 'button', className: 'chip', data: { inventory: name },
    text: t('world.inventoryItems', { name, count: count ?? (items || []).length }),
  }));
  const inventoryTotal = snapshot.partial ? snapshot.totals.inventories : inventories.length;
  const more = inventoryTotal - buttons.length;
  view.inventoryLine.replaceChildren(t('world.inventoriesLabel', { count: inventoryTotal }), ' ', ...buttons,
    more > 0 ? ` ${t('world.moreInventories', { count: more })}` : '');
}

function paint(view) {
  paintRows(view, view.filterInput.value.toLowerCase().split(/\s+/).filter(Boolean));
  paintClassCounts(view);
  paintInventories(view);
}

function take(view, answer) {
  const { status, body } = answer;
  if (status !== 200) throw new Error(body.error || `HTTP ${status}`);
  view.snapshot = body;
  view.current = flatten(body);
  view.rows = markChanges(view.current, view.baseline);
  paint(view);
  if (performance.getEntriesByName('world-rows-shown').length === 0) {
    // For measuring how soon a large world shows its first rows (bench/console_world.py). A frame's callbacks run
    // before its layout and paint; a task posted from one runs after them.
    performance.mark('world-rows-shown');
    requestAnimationFrame(() => setTimeout(() => performance.mark('world-rows-painted')));
  }
  view.onSnapshot(body);
}

// The page's first load draws the small first answer (the first rows of each kind, and the counts), then asks for
// the whole world, and reads it once the browser has painted those rows: its size keeps the page busy a while.
async function fetchSnapshot(view) {
  const first = takeFirstWorld();
  if (!first) return take(view, await request('GET', '/api/world'));
  let whole;
  try {
    take(view, await first);
    whole = send('GET', '/api/world');
    await new Promise((resolve) => {
      requestAnimationFrame(() => setTimeout(resolve));
      // A page in a background tab gets no frames.
      setTimeout(resolve, 200);
    });
  } finally {
    view.firstDrawn();
  }
  take(view, await readAnswer(await whole));
  if (performance.getEntriesByName('world-whole-shown').length === 0) performance.mark('world-whole-shown');
}

// A click on an inventory's button or a class's row filters by it; a second click clears the filter.
function filterOnClick(view, container, selector, valueOf) {
  container.addEventListener('click', (event) => {
    const target = event.target.closest(selector);
    if (!target) return;
    const value = valueOf(target);
    view.filterInput.value = view.filterInput.value === value ? '' : value;
    paint(view);
  });
}

export function createWorldView(root, { onSnapshot }) {
  // Its elements, the snapshot shown, its records, the baseline the marks compare with, and the rows drawn.
  const view = {
    filterInput: root.querySelector('[data-role="filter"]'),
    summary: root.querySelector('[data-role="changes"]'),
    countsBody: root.querySelector('[data-role="class-counts"] tbody'),
    inventoryLine: root.querySelector('[data-role="inventories"]'),
    tables: createTables(root),
    totals: {
      creature: root.querySelector('[data-role="creature-total"]'),
      structure: root.querySelector('[data-role="structure-total"]'),
      item: root.querySelector('[data-role="item-total"]'),
    },
    snapshot: { version: -1, classes: [], creatures: [], structures: [], inventories: [] },
    current: [],
    baseline: null,
    rows: [],
    onSnapshot,
  };
  const firstShown = new Promise((resolve) => {
    view.firstDrawn = resolve;
  });
  let queue = Promise.resolve();

  // Loads run one after another, each asking afresh, so a load asked after an action sees its effect.
  function load() {
    const next = () => fetchSnapshot(view);
    queue = queue.then(next, next);
    queue.then(view.firstDrawn, view.firstDrawn);
    return queue;
  }

  view.filterInput.addEventListener('input', () => paint(view));
  filterOnClick(view, view.inventoryLine, '[data-inventory]', (button) => button.dataset.inventory);
  filterOnClick(view, view.countsBody, 'tr', (tr) => tr.dataset.class);

  return {
    load,
    // Settles once the first load's rows are drawn and painted, or the load failed.
    firstShown: () => firstShown,
    repaint: () => paint(view),
    version: () => view.snapshot.version,
    // An action is about to run: what the world holds now is what its marks compare with.
    beginAction: async () => {
      await load().catch(() => {});
      view.baseline = view.current;
      view.rows = markChanges(view.current, view.baseline);
      paint(view);
    },
  };
}
