// Small helpers that the app's pages share.
//
//     webViewHelpers.onDocumentReady(function () { ... });
//     const editor = webViewHelpers.nativeHandler('cardEditor');
//     await editor.save(html);   // nativeBridge.call('cardEditor', 'save', html)
(function () {
  'use strict';
  if (window.webViewHelpers) {
    return;
  }

  // Runs the callback once the document has been parsed (at once if it has).
  function onDocumentReady(callback) {
    if (document.readyState === 'loading') {
      document.addEventListener('DOMContentLoaded', function () {
        callback();
      }, { once: true });
    } else {
      callback();
    }
  }

  // An object whose methods call the methods of the same name of a native handler.
  function nativeHandler(name) {
    return new Proxy({}, {
      get: function (target, method) {
        // Not a method: keeps the object from looking like a promise.
        if (typeof method !== 'string' || method === 'then') {
          return undefined;
        }
        return function (...args) {
          return window.nativeBridge.call(name, method, ...args);
        };
      },
    });
  }

  window.webViewHelpers = Object.freeze({ onDocumentReady: onDocumentReady, nativeHandler: nativeHandler });
})();
