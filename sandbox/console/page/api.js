// The console's calls to the sandbox server: the token from the address, JSON requests, the event stream.
import { language } from './i18n.js';

// early.js has read the token and sent the World view's first request.
const { token, firstWorld } = window.consoleStart;

// The server of a cluster the page is about; empty for a console of one.
let server = '';

export function setServer(name) {
  server = name || '';
}

// Every call names the page's language: what the server writes for the page (the checker's findings) comes in it;
// and, for a cluster, the server it is about unless it names one itself.
function address(path) {
  const url = new URL(path, location.origin);
  url.searchParams.set('lang', language());
  if (server && !url.searchParams.has('server')) url.searchParams.set('server', server);
  return url.pathname + url.search;
}

export function hasToken() {
  return token !== '';
}

// Sends one request; answers the response, or {failed} with the reason when none came (the server is gone).
export async function send(method, path, body, contentType) {
  const headers = { Authorization: `Bearer ${token}` };
  let payload;
  if (body !== undefined) {
    headers['Content-Type'] = contentType || 'application/json';
    payload = typeof body === 'string' ? body : JSON.stringify(body);
  }
  try {
    return await fetch(address(path), { method, headers, body: payload, cache: 'no-store' });
  } catch (error) {
    return { failed: String(error.message || error) };
  }
}

function answerOf(status, text) {
  try {
    return { status, body: JSON.parse(text) };
  } catch {
    return { status, body: { error: `HTTP ${status}` } };
  }
}

// Reads what send() answered as {status, body}; body is the parsed JSON, or {error} when the server sent none.
export async function readAnswer(response) {
  if (response.failed !== undefined) return { status: 0, body: { error: response.failed } };
  let text = '';
  try {
    text = await response.text();
  } catch {
    // Cut off midway: answered as a response without JSON.
  }
  return answerOf(response.status, text);
}

// Answers {status, body} as readAnswer() does.
export async function request(method, path, body, contentType) {
  return readAnswer(await send(method, path, body, contentType));
}

// Splits a text/event-stream into {event, data} records; a record ends at an empty line.
export function eventParser(onEvent) {
  let pending = '';
  let name = 'message';
  let data = [];
  return (chunk) => {
    pending += chunk;
    // A CR at the end may be the first half of a CRLF whose LF is in the next chunk.
    const cut = pending.endsWith('\r') ? pending.length - 1 : pending.length;
    const lines = pending.slice(0, cut).split(/\r\n|\r|\n/);
    pending = lines.pop() + pending.slice(cut);
    for (const line of lines) {
      if (line === '') {
        if (data.length > 0) onEvent({ event: name, data: data.join('\n') });
        name = 'message';
        data = [];
      } else if (line.startsWith(':')) {
        continue;
      } else {
        const colon = line.indexOf(':');
        const field = colon < 0 ? line : line.slice(0, colon);
        const value = colon < 0 ? '' : line.slice(colon + 1).replace(/^ /, '');
        if (field === 'event') name = value;
        else if (field === 'data') data.push(value);
      }
    }
  };
}

// Reads /api/events for as long as the page lives, reconnecting after a pause when the stream ends.
// onState(true|false) tells whether the stream is open.
export function followEvents(onEvent, onState) {
  const decoder = new TextDecoder('utf-8');
  const connect = async () => {
    try {
      const response = await fetch(address('/api/events'), {
        headers: { Authorization: `Bearer ${token}`, Accept: 'text/event-stream' },
        cache: 'no-store',
      });
      if (!response.ok || !response.body) throw new Error(`HTTP ${response.status}`);
      onState(true);
      const feed = eventParser((record) => {
        let data;
        try {
          data = JSON.parse(record.data);
        } catch {
          return;
        }
        onEvent(record.event, data);
      });
      const reader = response.body.getReader();
      for (;;) {
        const { value, done } = await reader.read();
        if (done) break;
        feed(decoder.decode(value, { stream: true }));
      }
    } catch {
      // The server stopped or refused; try again below.
    }
    onState(false);
    setTimeout(connect, 2000);
  };
  connect();
}

// The World view's first answer, asked for by early.js, taken once; null without a token.
let firstWorldAnswer = firstWorld
  ? firstWorld.then((got) => (got.failed !== undefined ? readAnswer(got) : answerOf(got.status, got.text)))
  : null;

export function takeFirstWorld() {
  const answer = firstWorldAnswer;
  firstWorldAnswer = null;
  return answer;
}
