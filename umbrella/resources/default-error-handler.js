// Reports the page's uncaught errors and unhandled promise rejections as
// console errors, which the bridge passes on to native code.
(function () {
  'use strict';

  function describe(reason) {
    if (reason instanceof Error) {
      return reason.name + ': ' + reason.message;
    }
    return String(reason);
  }

  window.addEventListener('error', function (event) {
    const where = event.filename ? ' (' + event.filename + ':' + event.lineno + ':' + event.colno + ')' : '';
    const what = event.error !== undefined && event.error !== null ? describe(event.error) : event.message;
    console.error('Uncaught error: ' + what + where);
  });

  window.addEventListener('unhandledrejection', function (event) {
    console.error('Unhandled promise rejection: ' + describe(event.reason));
  });
})();
