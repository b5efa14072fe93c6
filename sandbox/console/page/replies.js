// What a command came to, as the Configuration and Commands views show it: the reply, a silence with the error line
// the plug-in logged meanwhile, or why it was not run; and, for a cluster, each server's.
import { element } from './dom.js';
import { t } from './i18n.js';

// result: {line, reply, error?, silent?, logged?: [lines]}.
export function replyText(result) {
  if (result.error) return t('command.failed', { error: result.error });
  if (!result.silent) return result.reply;
  const logged = result.logged || [];
  return logged.length ? `${t('live.silentLogged')}\n${logged.join('\n')}` : t('live.silent');
}

export function replyState(result) {
  if (result.error) return 'failed';
  return result.silent ? 'silent' : 'done';
}

// Shows a result in a view's reply box: the line run, then what came of it.
export function showResult(root, result) {
  const box = root.querySelector('[data-role="reply"]');
  root.querySelector('[data-role="ran-line"]').textContent = result.line;
  box.textContent = replyText(result);
  box.classList.toggle('failed', Boolean(result.error));
  box.dataset.state = replyState(result);
}

// Every server's result, in the order of the list of servers.
export function listResults(root, results) {
  const box = root.querySelector('[data-role="all-box"]');
  box.hidden = false;
  root.querySelector('[data-role="all-replies"]').replaceChildren(...results.map((result) => element('li', {
    data: { role: 'server-reply', server: result.server, state: replyState(result) },
  }, element('strong', { text: result.server }), ' ', element('code', { text: `> ${result.line}` }),
  element('pre', { className: 'text', text: replyText(result) }))));
}
