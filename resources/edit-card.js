// The card editor's page script: window.fcEditor, which native code calls,
// and the page's own reports to native code (window.nativeApp.editorViewController):
//   handleEditorInputChanged(id, html)   after every edit of a field (installed by native code)
//   updateFormattingButtons(bold, italic, underline, superscript, subscript, unorderedList, orderedList)
//                                       whenever the caret moves or the formatting changes
//   pasteClean()                         in place of a paste, which native code answers with
//                                       insertHtmlSnippet(plain text as HTML)
// The fields are editable when the body's data-editable is "true".
(function () {
  'use strict';
  if (window.fcEditor) {
    return;
  }

  const editorIds = ['top-editor', 'bottom-editor', 'title-editor'];
  // The caret in a field, kept for commands that arrive while no field has the focus.
  let savedRange = null;

  // Methods of the native handler, called by name; a page without the
  // native side (or a refused call) changes nothing.
  if (!window.nativeApp) {
    window.nativeApp = {};
  }
  if (!window.nativeApp.editorViewController) {
    window.nativeApp.editorViewController = new Proxy({}, {
      get: function (target, method) {
        if (typeof method !== 'string' || method === 'then') {
          return undefined;
        }
        return function (...args) {
          if (!window.nativeBridge) {
            return Promise.resolve(undefined);
          }
          return window.nativeBridge.call('editorViewController', method, ...args).catch(function () {});
        };
      },
    });
  }
  function nativeEditor() {
    return window.nativeApp.editorViewController;
  }

  function editors() {
    return editorIds.map(function (id) { return document.getElementById(id); }).filter(Boolean);
  }

  function editorContaining(node) {
    let current = node;
    while (current) {
      if (current.nodeType === Node.ELEMENT_NODE && editorIds.indexOf(current.id) >= 0) {
        return current;
      }
      current = current.parentNode;
    }
    return null;
  }

  function currentRangeInEditor() {
    const selection = window.getSelection();
    if (!selection || selection.rangeCount === 0) {
      return null;
    }
    const range = selection.getRangeAt(0);
    return editorContaining(range.startContainer) ? range : null;
  }

  // Puts the caret back where it was in a field (or at the end of the first
  // field) so a command acts where the user left off.
  function restoreCaret() {
    if (currentRangeInEditor()) {
      return editorContaining(window.getSelection().getRangeAt(0).startContainer);
    }
    let range = savedRange;
    let editor = range ? editorContaining(range.startContainer) : null;
    if (!editor || !editor.isConnected) {
      editor = editors()[0];
      if (!editor) {
        return null;
      }
      range = document.createRange();
      range.selectNodeContents(editor);
      range.collapse(false);
    }
    editor.focus();
    const selection = window.getSelection();
    selection.removeAllRanges();
    selection.addRange(range);
    return editor;
  }

  function reportInput(editor) {
    if (editor) {
      editor.dispatchEvent(new Event('input', { bubbles: true }));
    }
  }

  function state(command) {
    try {
      return document.queryCommandState(command) === true;
    } catch (ignored) {
      return false;
    }
  }

  function reportFormatting() {
    if (!currentRangeInEditor()) {
      return;
    }
    nativeEditor().updateFormattingButtons(
      state('bold'), state('italic'), state('underline'), state('superscript'), state('subscript'),
      state('insertUnorderedList'), state('insertOrderedList'));
  }

  function insertHtmlSnippet(html) {
    const editor = restoreCaret();
    if (!editor || editor.isContentEditable !== true) {
      return;
    }
    document.execCommand('insertHTML', false, String(html));
  }

  function execFormattingCommand(name, value) {
    const editor = restoreCaret();
    if (!editor || editor.isContentEditable !== true) {
      return;
    }
    if (name === 'backColor' || name === 'foreColor') {
      document.execCommand('styleWithCSS', false, true);
    }
    document.execCommand(String(name), false, value === undefined ? null : String(value));
    reportFormatting();
  }

  function deleteInsertImagePlaceholderWithId(id) {
    const placeholder = document.getElementById(String(id));
    if (!placeholder || !placeholder.classList.contains('fcInsertSoonImagePlaceholder')) {
      return;
    }
    const editor = editorContaining(placeholder);
    placeholder.remove();
    reportInput(editor);
  }

  function updateInsertImagePlaceholder(id, url, width, height, nativeWidth, nativeHeight) {
    const placeholder = document.getElementById(String(id));
    if (!placeholder || !placeholder.classList.contains('fcInsertSoonImagePlaceholder')) {
      return;
    }
    const image = document.createElement('img');
    image.setAttribute('width', String(Math.round(width)));
    image.setAttribute('height', String(Math.round(height)));
    image.setAttribute('data-fc-native-width', String(Math.round(nativeWidth)));
    image.setAttribute('data-fc-native-height', String(Math.round(nativeHeight)));
    image.setAttribute('src', String(url));
    const editor = editorContaining(placeholder);
    placeholder.replaceWith(image);
    reportInput(editor);
  }

  function blurFocusedElement() {
    const focused = document.activeElement;
    if (focused && focused !== document.body && typeof focused.blur === 'function') {
      focused.blur();
    }
  }

  window.fcEditor = Object.freeze({
    execFormattingCommand: execFormattingCommand,
    insertHtmlSnippet: insertHtmlSnippet,
    deleteInsertImagePlaceholderWithId: deleteInsertImagePlaceholderWithId,
    updateInsertImagePlaceholder: updateInsertImagePlaceholder,
    blurFocusedElement: blurFocusedElement,
  });

  function setUpFields() {
    const editable = document.body && document.body.dataset.editable === 'true';
    editors().forEach(function (editor) {
      editor.contentEditable = editable ? 'true' : 'false';
      editor.addEventListener('paste', function (event) {
        event.preventDefault();
        if (!editable) {
          return;
        }
        savedRange = currentRangeInEditor() || savedRange;
        nativeEditor().pasteClean();
      });
      editor.addEventListener('input', reportFormatting);
    });
    document.addEventListener('selectionchange', function () {
      const range = currentRangeInEditor();
      if (range) {
        savedRange = range.cloneRange();
        reportFormatting();
      }
    });
  }

  if (document.readyState === 'loading') {
    document.addEventListener('DOMContentLoaded', setUpFields, { once: true });
  } else {
    setUpFields();
  }
})();
