// The page's one way of making an element, so every view builds its nodes alike.

// props: `text` (the text content) and `data` (dataset entries); every other key is set as a property of the
// element (className, type, value, title, tabIndex…). Undefined and null values are left out, so a caller can
// pass what a record may lack. Children are nodes or strings.
export function element(tag, props = {}, ...children) {
  const node = document.createElement(tag);
  const { text, data, ...properties } = props;
  const given = (entries) => Object.entries(entries || {}).filter(([, value]) => value !== undefined && value !== null);
  for (const [name, value] of given(properties)) node[name] = value;
  for (const [name, value] of given(data)) node.dataset[name] = value;
  if (text !== undefined && text !== null) node.textContent = text;
  node.append(...children);
  return node;
}
