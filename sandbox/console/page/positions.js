// Where each JSON pointer of a configuration text starts (1-based line and column), read with a small
// tolerant scanner: a text broken part way still gives the places before the break.

function escapeToken(key) {
  return key.replace(/~/g, '~0').replace(/\//g, '~1');
}

// Line and column of an offset, by binary search over the offsets where lines start.
function lineIndex(text) {
  const lineStarts = [0];
  for (let index = 0; index < text.length; index++) if (text[index] === '\n') lineStarts.push(index + 1);
  return (offset) => {
    let low = 0;
    let high = lineStarts.length - 1;
    while (low < high) {
      const middle = (low + high + 1) >> 1;
      if (lineStarts[middle] <= offset) low = middle;
      else high = middle - 1;
    }
    return { line: low + 1, column: offset - lineStarts[low] + 1 };
  };
}

// The scanner's state: the text, where it stands, and the places found so far.
function fail(scan) {
  throw new SyntaxError(`unexpected text at ${scan.at}`);
}

function skip(scan) {
  while (scan.at < scan.text.length && ' \t\r\n\ufeff'.includes(scan.text[scan.at])) scan.at++;
}

function readString(scan) {
  const { text } = scan;
  if (text[scan.at] !== '"') fail(scan);
  const start = scan.at;
  scan.at++;
  while (scan.at < text.length && text[scan.at] !== '"') scan.at += text[scan.at] === '\\' ? 2 : 1;
  if (scan.at >= text.length) fail(scan);
  scan.at++;
  return JSON.parse(text.slice(start, scan.at));
}

// Reads the members or elements of an object or array, the opening bracket already consumed.
function readMembers(scan, pointer, close, readOne) {
  skip(scan);
  if (scan.text[scan.at] === close) return scan.at++;
  for (let index = 0; ; index++) {
    skip(scan);
    readOne(index);
    skip(scan);
    if (scan.text[scan.at] === ',') scan.at++;
    else if (scan.text[scan.at] === close) return scan.at++;
    else fail(scan);
  }
}

function readMember(scan, pointer) {
  const keyAt = scan.at;
  const member = `${pointer}/${escapeToken(readString(scan))}`;
  scan.places.set(member, scan.placeOf(keyAt));
  skip(scan);
  if (scan.text[scan.at] !== ':') fail(scan);
  scan.at++;
  readValue(scan, member);
}

function readValue(scan, pointer) {
  skip(scan);
  if (!scan.places.has(pointer)) scan.places.set(pointer, scan.placeOf(scan.at));
  const first = scan.text[scan.at];
  if (first === '{') {
    scan.at++;
    return readMembers(scan, pointer, '}', () => readMember(scan, pointer));
  }
  if (first === '[') {
    scan.at++;
    return readMembers(scan, pointer, ']', (index) => readValue(scan, `${pointer}/${index}`));
  }
  if (first === '"') return readString(scan);
  const literal = /^(?:-?\d+(?:\.\d+)?(?:[eE][+-]?\d+)?|true|false|null)/.exec(scan.text.slice(scan.at, scan.at + 64));
  if (!literal) fail(scan);
  scan.at += literal[0].length;
  return undefined;
}

export function locatePointers(text) {
  const scan = { text, at: 0, places: new Map(), placeOf: lineIndex(text) };
  try {
    readValue(scan, '');
  } catch {
    // Keep the places found before the fault.
  }
  return scan.places;
}

// The line a finding belongs to: its own when the checker gave one, else the deepest located part of its
// pointer, else the first line.
export function findingLine(finding, places) {
  if (Number.isInteger(finding.line) && finding.line > 0) return finding.line;
  let pointer = typeof finding.pointer === 'string' ? finding.pointer : '';
  for (;;) {
    const place = places.get(pointer);
    if (place) return place.line;
    if (pointer === '') return 1;
    pointer = pointer.slice(0, pointer.lastIndexOf('/'));
  }
}
