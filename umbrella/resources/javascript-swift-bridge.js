// The page side of the bridge between this page and native code.
//
// Native handlers are reached through window.webkit.messageHandlers.<name>.
// A call posts {method, args, promiseId} to the handler and returns a promise;
// native code settles it by evaluating window._resolvePromise(promiseId,
// value, hadError) or one of the typed variants below. Calls that native code
// does not answer stay pending.
//
//     const count = await nativeBridge.call('studyPage', 'cardCount');
//     await nativeBridge.call('console', 'log', 'a', 1);
//
// The page's console.log and console.error lines also go to native code
// (handler "console"), and so do the two load events (handler "events").
(function () {
  'use strict';
  if (window.nativeBridge) {
    return;
  }

  const pending = new Map();
  let nextPromiseId = 1;

  function messageHandler(name) {
    const handlers = window.webkit && window.webkit.messageHandlers;
    return handlers ? handlers[name] : undefined;
  }

  // Calls a method of a native handler with any number of arguments.
  function call(handlerName, method, ...args) {
    return new Promise(function (resolve, reject) {
      const handler = messageHandler(handlerName);
      if (!handler) {
        reject(new Error('No native handler named ' + handlerName));
        return;
      }
      const promiseId = String(nextPromiseId++);
      pending.set(promiseId, { resolve: resolve, reject: reject });
      try {
        handler.postMessage({ method: String(method), args: args, promiseId: promiseId });
      } catch (error) {
        pending.delete(promiseId);
        reject(error);
      }
    });
  }

  function settle(promiseId, value, hadError) {
    const key = String(promiseId);
    const entry = pending.get(key);
    if (!entry) {
      return;
    }
    pending.delete(key);
    if (hadError) {
      entry.reject(value instanceof Error ? value : new Error(String(value)));
    } else {
      entry.resolve(value);
    }
  }

  // The replies. The typed variants get a boolean, an integer or a number
  // (null for a number that is not finite) and hand it on as it is.
  window._resolvePromise = settle;
  window._resolvePromiseWithBoolResult = settle;
  window._resolvePromiseWithIntResult = settle;
  window._resolvePromiseWithFloatResult = settle;

  window.nativeBridge = Object.freeze({ call: call });

  // Console lines: strings, numbers and booleans go as they are, anything
  // else as text (the native side joins the arguments into one line).
  function consoleArgument(value) {
    const type = typeof value;
    if (type === 'string' || type === 'number' || type === 'boolean') {
      return value;
    }
    if (value instanceof Error) {
      return String(value);
    }
    try {
      const json = JSON.stringify(value);
      if (json !== undefined) {
        return json;
      }
    } catch (ignored) {
      // Cycles and the like: the plain text below.
    }
    return String(value);
  }

  ['log', 'error'].forEach(function (level) {
    const original = console[level];
    console[level] = function (...args) {
      if (original) {
        original.apply(console, args);
      }
      if (args.length === 0) {
        return;
      }
      // A page without the handler just keeps its line to itself.
      call('console', level, ...args.map(consoleArgument)).catch(function () {});
    };
  });

  function reportLoad(method) {
    call('events', method).catch(function () {});
  }

  if (document.readyState === 'loading') {
    document.addEventListener('DOMContentLoaded', function () {
      reportLoad('didLoadDOMContent');
    }, { once: true });
  } else {
    reportLoad('didLoadDOMContent');
  }
  if (document.readyState === 'complete') {
    reportLoad('didLoadFullPageAndResources');
  } else {
    window.addEventListener('load', function () {
      reportLoad('didLoadFullPageAndResources');
    }, { once: true });
  }
})();
