// The first thing the page runs: the token from the address, and the World view's first answer asked for at once.
// A classic script, placed ahead of everything in index.html, so the request leaves while the document is still
// being read, before the first layout and before any module has loaded; api.js takes both from here.
'use strict';

window.consoleStart = (() => {
  const token = new URLSearchParams(location.hash.replace(/^#/, '')).get('token') || '';
  // More rows of each kind than a tall window shows.
  const firstRows = 100;
  // The body is read as it comes, so the answer is whole by the time the World view wants it: {status, text}, or
  // {failed} with the reason.
  // A live server's world cannot be seen: its console serves no world.
  const firstWorld = token && window.consoleMode !== 'live'
    ? fetch(`/api/world?rows=${firstRows}`, { headers: { Authorization: `Bearer ${token}` }, cache: 'no-store' })
      .then(async (response) => ({ status: response.status, text: await response.text() }))
      .catch((error) => ({ failed: String(error.message || error) }))
    : null;
  return { token, firstWorld };
})();
