// Runs first in every document a web view shows in the browser display (a
// sandboxed frame of the display page; see frames.js). It gives the page
// what the app's pages expect of their engine, over messages to the display
// page, the frame's only way out:
//
// - window.webkit.messageHandlers.NAME.postMessage(body) for the handlers the
//   web view registered (the body goes as JSON);
// - evaluations: the display page posts {kind: 'evaluate', id, script}; the
//   script runs in the page and its value, or its exception's message, goes
//   back;
// - the document's DOMContentLoaded and load;
// - the text of a paste, which becomes the app's pasteboard;
// - whether an element that takes typing has the focus ("editing"), so that
//   native code shows the keyboard's accessory view (the card editor's
//   formatting toolbar) while it does;
// - pointer input, so that the app's gesture recognisers on the web view see
//   the touches as on the phone;
// - URLs of the custom schemes the web view registered ("card-attachment:")
//   load through the frame's own path, which native code's handler answers.
//
// The server puts the configuration in window.__frameEngineConfig before
// this script: {handlers: [names], schemes: [names], schemePrefix: path}.
'use strict';

(() => {
  const config = window.__frameEngineConfig || { handlers: [], schemes: [], schemePrefix: '' };
  delete window.__frameEngineConfig;
  const display = window.parent;
  const post = (message) => display.postMessage(message, '*');

  // What postMessage can carry of a value, as JSON; undefined stays undefined.
  function jsonValue(value) {
    if (value === undefined) return undefined;
    const text = JSON.stringify(value);
    return text === undefined ? undefined : JSON.parse(text);
  }

  // The handlers the web view registered; the display page adds those
  // registered after the document started ({kind: 'handlers', names}).
  const handlers = {};
  function addHandlers(names) {
    for (const name of names) {
      if (typeof name !== 'string' || Object.prototype.hasOwnProperty.call(handlers, name)) continue;
      Object.defineProperty(handlers, name, {
        enumerable: true,
        value: Object.freeze({
          postMessage(body) {
            const value = jsonValue(body);
            post({ kind: 'message', name, body: value === undefined ? null : value });
          },
        }),
      });
    }
  }
  addHandlers(config.handlers);
  Object.defineProperty(window, 'webkit', { value: Object.freeze({ messageHandlers: handlers }), enumerable: false });

  window.addEventListener('message', (event) => {
    const data = event.data;
    if (event.source !== display || !data) return;
    if (data.kind === 'handlers' && Array.isArray(data.names)) {
      event.stopImmediatePropagation();
      addHandlers(data.names);
      return;
    }
    if (data.kind !== 'evaluate') return;
    event.stopImmediatePropagation();
    let value;
    try {
      value = (0, eval)(String(data.script));
    } catch (error) {
      post({ kind: 'result', id: data.id, error: error instanceof Error ? `${error.name}: ${error.message}` : String(error) });
      return;
    }
    try {
      if (typeof value === 'function' || typeof value === 'symbol' || (typeof value === 'object' && value instanceof Node))
        throw new TypeError('unsupported');
      post({ kind: 'result', id: data.id, value: jsonValue(value) });
    } catch (error) {
      post({ kind: 'result', id: data.id, code: 5, error: 'JavaScript execution returned a result of an unsupported type' });
    }
  });

  // A paste's text becomes the app's pasteboard first, as the phone's
  // pasteboard holds what the user copied: the page's paste handling asks
  // native code for it right after.
  window.addEventListener(
    'paste',
    (event) => {
      const text = event.clipboardData ? event.clipboardData.getData('text/plain') : '';
      post({ kind: 'pasteboard', text });
    },
    { capture: true },
  );

  // An element takes typing when it is content-editable, a text area or an
  // input of text. The focus may leave the frame for the display page (a tap
  // on the accessory view over it) without ending the editing: the element
  // keeps its caret, as a web view keeps its first responder when a bar is
  // tapped; only another element, or none, in the frame ends it.
  const nonTextInputs = new Set(['button', 'checkbox', 'color', 'file', 'hidden', 'image', 'radio', 'range', 'reset', 'submit']);
  function takesTyping(element) {
    if (!element || element === document.body || element === document.documentElement) return false;
    if (element.isContentEditable || element instanceof HTMLTextAreaElement) return !element.readOnly;
    return element instanceof HTMLInputElement && !element.readOnly && !nonTextInputs.has(element.type);
  }
  let editing = false;
  // A field that gets the focus again is reported again: the display page
  // forgets the editing of a frame it hid.
  function reportEditing(event) {
    const now = takesTyping(document.activeElement);
    if (now === editing && !(now && event?.type === 'focusin')) return;
    editing = now;
    post({ kind: 'editing', editing: now });
  }
  window.addEventListener('focusin', reportEditing, true);
  // The focus moves on after focusout: look once it has.
  window.addEventListener('focusout', () => setTimeout(reportEditing, 0), true);

  document.addEventListener('DOMContentLoaded', () => post({ kind: 'event', event: 'DOMContentLoaded' }), { once: true });
  window.addEventListener('load', () => post({ kind: 'event', event: 'load' }), { once: true });

  for (const type of ['pointerdown', 'pointermove', 'pointerup', 'pointercancel']) {
    window.addEventListener(
      type,
      (event) => {
        if (!event.isPrimary || (type === 'pointermove' && event.buttons === 0)) return;
        post({ kind: 'pointer', phase: type.slice(7), x: event.clientX, y: event.clientY });
      },
      { capture: true, passive: true },
    );
  }

  // Custom scheme URLs in attributes load through the frame's path.
  const schemes = config.schemes.map((scheme) => `${scheme}:`);
  const attributes = ['src', 'href', 'poster'];
  function rewrite(element) {
    for (const name of attributes) {
      const value = element.getAttribute(name);
      if (value && schemes.some((scheme) => value.toLowerCase().startsWith(scheme)))
        element.setAttribute(name, config.schemePrefix + value);
    }
  }
  function rewriteTree(root) {
    if (root.nodeType !== Node.ELEMENT_NODE) return;
    rewrite(root);
    for (const element of root.querySelectorAll('[src],[href],[poster]')) rewrite(element);
  }
  if (schemes.length > 0) {
    new MutationObserver((records) => {
      for (const record of records) {
        if (record.type === 'attributes') rewrite(record.target);
        else for (const node of record.addedNodes) rewriteTree(node);
      }
    }).observe(document, { subtree: true, childList: true, attributes: true, attributeFilter: attributes });
  }
})();
