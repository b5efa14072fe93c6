// A scrolling table that keeps only the rows in sight in the document, so a world of tens of thousands of
// objects shows its first rows at once. Rows have one fixed height (style.css, .grid tbody tr).
import { element } from './dom.js';

const ROW_HEIGHT = 28;
const SPARE_ROWS = 12;

const spacer = (columns) => element('tr', { className: 'spacer' }, element('td', { colSpan: columns }));

// The rows [from, to) of `count` that a box scrolled to `scrollTop` and `height` pixels tall shows, with spares on
// both sides. Sized by its content up to a maximum, a box may not have its full height yet: until it scrolls, the
// tallest a box of rows grows (style.css, .scroll) stands for it. Every row more costs layout time. A box scrolled
// past the rows (a filter has just left fewer) shows the last of them.
export function rowsInSight(count, scrollTop, height) {
  const top = Math.min(Math.floor(scrollTop / ROW_HEIGHT), count);
  const from = Math.max(0, top - SPARE_ROWS);
  const to = Math.min(count, top + Math.ceil(Math.max(height, 360) / ROW_HEIGHT) + SPARE_ROWS);
  return [from, to];
}

// columns: [{key, className?}] - the header texts come from i18n keys on the <th>s.
// renderRow(record) answers a <tr>.
export class VirtualTable {
  constructor(container, columns, renderRow) {
    this.container = container;
    this.renderRow = renderRow;
    this.records = [];
    const head = element('thead', {}, element('tr', {},
      ...columns.map((column) => element('th', { className: column.className, data: { i18n: column.key } }))));
    this.body = element('tbody');
    this.table = element('table', { className: 'grid' }, head, this.body);
    this.top = spacer(columns.length);
    this.bottom = spacer(columns.length);
    container.append(this.table);
    this.first = -1;
    this.last = -1;
    // Where the box is scrolled and how tall it is, as last seen when it scrolled. Reading them while rows are being
    // replaced would make the browser lay out the whole page there and then, once per table.
    this.scrollTop = 0;
    this.height = 0;
    container.addEventListener('scroll', () => {
      this.scrollTop = container.scrollTop;
      this.height = container.clientHeight;
      this.paint(false);
    }, { passive: true });
  }

  show(records) {
    this.records = records;
    this.paint(true);
  }

  paint(force) {
    const [from, to] = rowsInSight(this.records.length, this.scrollTop, this.height);
    if (!force && from === this.first && to === this.last) return;
    this.first = from;
    this.last = to;
    this.top.firstChild.style.height = `${from * ROW_HEIGHT}px`;
    this.bottom.firstChild.style.height = `${(this.records.length - to) * ROW_HEIGHT}px`;
    const rows = [this.top];
    for (let index = from; index < to; index++) rows.push(this.renderRow(this.records[index]));
    rows.push(this.bottom);
    this.body.replaceChildren(...rows);
  }
}
