// Where each JSON pointer of a configuration text starts (1-based line and column), read with a small
// tolerant scanner: a text broken part way still gives the places before the break.

function escapeToken(key) {
  return key.replace(/~/g, '~0').replace(/\//g, '~1');
}

export function locatePointers(text) {
  const places = new Map();
  const lineStarts = [0];
  for (let index = 0; index < text.length; index++) if (text[index] === '\n') lineStarts.push(index + 1);
  const placeOf = (offset) => {
    let low = 0;
    let high = lineStarts.length - 1;
    while (low < high) {
      const middle = (low + high + 1) >> 1;
      if (lineStarts[middle] <= offset) low = middle;
      else high = middle - 1;
    }
    return { line: low + 1, column: offset - lineStarts[low] + 1 };
  };

  let at = 0;
  const fail = () => {
    throw new SyntaxError(`unexpected text at ${at}`);
  };
  const skip = () => {
    while (at < text.length && ' \t\r\n\ufeff'.includes(text[at])) at++;
  };
  const readString = () => {
    if (text[at] !== '"') fail();
    const start = at;
    at++;
    while (at < text.length && text[at] !== '"') at += text[at] === '\\' ? 2 : 1;
    if (at >= text.length) fail();
    at++;
    return JSON.parse(text.slice(start, at));
  };
  const readValue = (pointer) => {
    skip();
    if (!places.has(pointer)) places.set(pointer, placeOf(at));
    const first = text[at];
    if (first === '{') {
      at++;
      skip();
      if (text[at] === '}') return at++;
      for (;;) {
        skip();
        const keyAt = at;
        const key = readString();
        const member = `${pointer}/${escapeToken(key)}`;
        places.set(member, placeOf(keyAt));
        skip();
        if (text[at] !== ':') fail();
        at++;
        readValue(member);
        skip();
        if (text[at] === ',') at++;
        else if (text[at] === '}') return at++;
        else fail();
      }
    }
    if (first === '[') {
      at++;
      skip();
      if (text[at] === ']') return at++;
      for (let index = 0; ; index++) {
        readValue(`${pointer}/${index}`);
        skip();
        if (text[at] === ',') at++;
        else if (text[at] === ']') return at++;
        else fail();
      }
    }
    if (first === '"') return readString();
    const literal = /^(?:-?\d+(?:\.\d+)?(?:[eE][+-]?\d+)?|true|false|null)/.exec(text.slice(at, at + 64));
    if (!literal) fail();
    at += literal[0].length;
    return undefined;
  };
  try {
    readValue('');
  } catch {
    // Keep the places found before the fault.
  }
  return places;
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
