// What both consoles' pages share around their views: the tabs, the banner and the language picker.
import { applyTexts, initialLanguage, language, setLanguage, t } from './i18n.js';

const view = (name) => document.querySelector(`[data-view="${name}"]`);

// `views` are the tabs offered, the first shown unless the page remembers another; `onShow(name)` follows each
// change of view and `relabel()` each change of language.
export function createShell(views, { onShow, relabel }) {
  const banner = document.querySelector('[data-role="banner"]');
  let bannerKey = '';
  let bannerVars = {};

  for (const tab of document.querySelectorAll('[data-tab]')) tab.hidden = !views.includes(tab.dataset.tab);

  function showBanner(key, vars = {}) {
    bannerKey = key;
    bannerVars = vars;
    banner.hidden = !key;
    banner.textContent = key ? t(key, vars) : '';
  }

  function showView(name) {
    const chosen = views.includes(name) ? name : views[0];
    for (const each of views) view(each).hidden = each !== chosen;
    for (const tab of document.querySelectorAll('[data-tab]')) {
      const selected = tab.dataset.tab === chosen;
      tab.setAttribute('aria-selected', String(selected));
      tab.classList.toggle('selected', selected);
    }
    try {
      sessionStorage.setItem('tidywarden.view', chosen);
    } catch {
      // The view is not remembered across reloads; nothing else depends on it.
    }
    onShow(chosen);
  }

  for (const tab of document.querySelectorAll('[data-tab]')) {
    tab.addEventListener('click', () => showView(tab.dataset.tab));
  }

  const languagePicker = document.querySelector('[data-role="language"]');
  languagePicker.addEventListener('change', () => {
    setLanguage(languagePicker.value, true);
    languagePicker.value = language();
    showBanner(bannerKey, bannerVars);
    relabel();
  });

  setLanguage(initialLanguage(), false);
  languagePicker.value = language();
  applyTexts(document);
  let firstView = views[0];
  try {
    firstView = sessionStorage.getItem('tidywarden.view') || views[0];
  } catch {
    // Start on the first view.
  }
  if (!views.includes(firstView)) firstView = views[0];

  return { showBanner, showView, firstView, bannerKey: () => bannerKey, view };
}
