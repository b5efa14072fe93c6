// The first thing the page runs: the token from the address, and the World view's first answer asked for at once.
// A classic script, placed ahead of everything in index.html, so the request leaves while the document is still
// being read, before the first layout and before any module has loaded; api.js takes both from here.
'use strict';

window.consoleStart = (() => {
  const token = new URLSearchParams(location.hash.replace(/^#/, '')).get('token') || '';
  // More rows of each kind than a tall window shows.
  const firstRows = 100;
  const firstWorld = token
    ? fetch(`/api/world?rows=${firstRows}`, { headers: { Authorization: `Bearer ${token}` }, cache: 'no-store' })
      .catch((error) => ({ failed: String(error.message || error) }))
    : null;
  return { token, firstWorld };
})();
