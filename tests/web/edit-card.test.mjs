// The card editor's pages in a real engine: the templates as the editor
// fills them (written by the C++ test EditStudyCardTest.WritesTheEditorPagesFixture
// to build/tests/web-fixtures, or to $MEMORANT_WEB_FIXTURES) with their own
// script and style files from resources/, the library's page scripts
// installed as in the app, the listener script native code evaluates on each
// DOM load, and the handler "editorViewController" played by a stub.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { chromium } from 'playwright-core';

const here = path.dirname(fileURLToPath(import.meta.url));
const libraryResources = process.env.MEMORANT_UMBRELLA_RESOURCES ?? path.resolve(here, '../../umbrella/resources');
const appResources = process.env.MEMORANT_APP_RESOURCES ?? path.resolve(here, '../../resources');
const fixtures = process.env.MEMORANT_WEB_FIXTURES ?? path.resolve(here, '../../build/tests/web-fixtures');
const pages = Object.fromEntries(['edit-study-card.html', 'edit-study-card-readonly.html', 'edit-topic-card.html']
  .map((name) => [name, readFileSync(path.join(fixtures, name), 'utf8')]));
const assets = {
  'edit-card.js': ['text/javascript', readFileSync(path.join(appResources, 'edit-card.js'), 'utf8')],
  'edit-card.css': ['text/css', readFileSync(path.join(appResources, 'edit-card.css'), 'utf8')],
};
const inputListeners = readFileSync(path.join(fixtures, 'editor-input-listeners.js'), 'utf8');
const libraryScripts = ['javascript-swift-bridge.js', 'default-error-handler.js', 'webview-helpers.js'].map(
  (file) => readFileSync(path.join(libraryResources, file), 'utf8'),
);
const picture = '<svg xmlns="http://www.w3.org/2000/svg" width="30" height="20"><rect width="30" height="20"/></svg>';

// Every call to "editorViewController", answered as native code does.
function installNativeStub() {
  window.__calls = [];
  const ignore = { postMessage() {} };
  window.webkit = {
    messageHandlers: {
      console: ignore,
      events: ignore,
      editorViewController: {
        postMessage(body) {
          window.__calls.push({ method: body.method, args: structuredClone(body.args) });
          setTimeout(() => window._resolvePromise(body.promiseId, '', false), 0);
        },
      },
    },
  };
}

let userDataDir;
let context;

before(async () => {
  userDataDir = mkdtempSync(path.join(tmpdir(), 'memorant-chromium-'));
  context = await chromium.launchPersistentContext(userDataDir, {
    executablePath: process.env.CHROMIUM ?? '/usr/bin/chromium',
    headless: true,
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--no-first-run', '--disable-background-networking',
      '--disable-component-update', '--disable-sync'],
  });
  await context.addInitScript(installNativeStub);
  for (const script of libraryScripts) await context.addInitScript({ content: script });
  // The pages come from a stand-in origin (their base URL); nothing leaves the machine.
  await context.route((url) => url.protocol === 'http:' || url.protocol === 'https:', (route) => {
    const name = new URL(route.request().url()).pathname.replace('/', '');
    if (pages[name] !== undefined) {
      return route.fulfill({ status: 200, contentType: 'text/html; charset=utf-8', body: pages[name] });
    }
    if (assets[name] !== undefined) {
      return route.fulfill({ status: 200, contentType: assets[name][0], body: assets[name][1] });
    }
    return route.abort();
  });
  await context.route((url) => url.protocol === 'card-attachment:', (route) => {
    if (route.request().url().includes('missing')) return route.fulfill({ status: 404, body: '' });
    return route.fulfill({ status: 200, contentType: 'image/svg+xml', body: picture });
  });
});

after(async () => {
  await context?.close();
  if (userDataDir) rmSync(userDataDir, { recursive: true, force: true });
});

async function open(name) {
  const page = await context.newPage();
  await page.goto(`http://editor.test/${name}`);
  await page.waitForFunction(() => document.readyState === 'complete' && window.fcEditor !== undefined);
  await page.evaluate(inputListeners);
  return page;
}

const calls = (page, method) => page.evaluate((m) => window.__calls.filter((c) => c.method === m), method);

async function placeCaretAtEnd(page, id) {
  await page.evaluate((editorId) => {
    const editor = document.getElementById(editorId);
    editor.focus();
    const range = document.createRange();
    range.selectNodeContents(editor);
    range.collapse(false);
    window.getSelection().removeAllRanges();
    window.getSelection().addRange(range);
  }, id);
}

test('script inside card text does not run, while the page script and the answer side\'s handler do', async () => {
  const page = await open('edit-study-card.html');
  await page.waitForTimeout(200);
  assert.equal(await page.evaluate(() => window.__cardScriptRan), undefined);
  assert.equal(await page.evaluate(() => typeof window.fcEditor.insertHtmlSnippet), 'function');
  // The placeholder's name in the answer stayed as written.
  assert.match(await page.evaluate(() => document.getElementById('bottom-editor').textContent), /Hello @@Question@@/);
  assert.equal(await page.evaluate(() => document.getElementById('top-editor').isContentEditable), true);
  await page.click('.answer', { position: { x: 5, y: 150 } });
  assert.equal(await page.evaluate(() => document.activeElement.id), 'bottom-editor');
  await page.close();
});

test('input events reach the handler with the field\'s id and HTML', async () => {
  const page = await open('edit-study-card.html');
  await placeCaretAtEnd(page, 'bottom-editor');
  await page.keyboard.type('!');
  await page.waitForFunction(() => window.__calls.some((c) => c.method === 'handleEditorInputChanged'));
  const [change] = await calls(page, 'handleEditorInputChanged');
  assert.equal(change.args[0], 'bottom-editor');
  assert.equal(change.args[1], 'Hello @@Question@@!');
  await page.close();
});

test('the placeholder appears at the caret and becomes the image', async () => {
  const page = await open('edit-study-card.html');
  await placeCaretAtEnd(page, 'bottom-editor');
  await page.evaluate(() => window.fcEditor.insertHtmlSnippet(
    '<img width="10" height="10" class="fcInsertSoonImagePlaceholder" id="0123456789abcdef0123456789abcdef">'));
  const placed = await page.evaluate(() => {
    const placeholder = document.getElementById('0123456789abcdef0123456789abcdef');
    return placeholder && placeholder.closest('.editor').id;
  });
  assert.equal(placed, 'bottom-editor');
  await page.evaluate(() => window.fcEditor.updateInsertImagePlaceholder(
    '0123456789abcdef0123456789abcdef', 'card-attachment://photo.jpg', 425.0, 250.0, 850.0, 500.0));
  const image = await page.evaluate(() => {
    const img = document.querySelector('#bottom-editor img[src="card-attachment://photo.jpg"]');
    return img && { width: img.getAttribute('width'), height: img.getAttribute('height'),
      nativeWidth: img.dataset.fcNativeWidth, left: document.querySelectorAll('.fcInsertSoonImagePlaceholder').length };
  });
  assert.deepEqual(image, { width: '425', height: '250', nativeWidth: '850', left: 0 });
  const changes = await calls(page, 'handleEditorInputChanged');
  assert.match(changes.at(-1).args[1], /<img width="425" height="250"[^>]*src="card-attachment:\/\/photo.jpg">$/);

  // A removed placeholder leaves nothing behind and reports the field.
  await page.evaluate(() => window.fcEditor.insertHtmlSnippet(
    '<img width="10" height="10" class="fcInsertSoonImagePlaceholder" id="ffff">'));
  await page.evaluate(() => window.fcEditor.deleteInsertImagePlaceholderWithId('ffff'));
  assert.equal(await page.evaluate(() => document.querySelectorAll('.fcInsertSoonImagePlaceholder').length), 0);
  await page.close();
});

test('formatting reports follow the caret, and a paste asks native code for clean text', async () => {
  const page = await open('edit-study-card.html');
  await placeCaretAtEnd(page, 'top-editor');
  await page.evaluate(() => { window.__calls.length = 0; });
  await page.evaluate(() => window.fcEditor.execFormattingCommand('bold'));
  await page.keyboard.type('B');
  await page.waitForFunction(() => window.__calls.some((c) => c.method === 'updateFormattingButtons'));
  const bold = (await calls(page, 'updateFormattingButtons')).at(-1).args;
  assert.equal(bold.length, 7);
  assert.equal(bold[0], true);

  await placeCaretAtEnd(page, 'bottom-editor');
  await page.waitForFunction(() => {
    const reports = window.__calls.filter((c) => c.method === 'updateFormattingButtons');
    return reports.length > 0 && reports.at(-1).args[0] === false;
  });
  assert.deepEqual((await calls(page, 'updateFormattingButtons')).at(-1).args,
    [false, false, false, false, false, false, false]);

  await page.evaluate(() => {
    const event = new ClipboardEvent('paste', { bubbles: true, cancelable: true, clipboardData: new DataTransfer() });
    document.getElementById('bottom-editor').dispatchEvent(event);
  });
  await page.waitForFunction(() => window.__calls.some((c) => c.method === 'pasteClean'));
  await page.evaluate(() => window.fcEditor.insertHtmlSnippet('it&#x27;s<br/>ok'));
  assert.match(await page.evaluate(() => document.getElementById('bottom-editor').innerHTML), /it's<br>ok$/);
  await page.close();
});

test('a read-only card and a topic', async () => {
  const page = await open('edit-study-card-readonly.html');
  const readOnly = await page.evaluate(() => ({
    top: document.getElementById('top-editor').isContentEditable,
    bottom: document.getElementById('bottom-editor').isContentEditable,
    onclick: document.querySelector('.answer').hasAttribute('onclick'),
  }));
  assert.deepEqual(readOnly, { top: false, bottom: false, onclick: false });
  await page.evaluate(() => window.fcEditor.insertHtmlSnippet('<b>never</b>'));
  assert.equal(await page.evaluate(() => document.body.innerHTML.includes('never')), false);
  await page.close();

  const topic = await open('edit-topic-card.html');
  await placeCaretAtEnd(topic, 'title-editor');
  await topic.keyboard.type('!');
  await topic.waitForFunction(() => window.__calls.some((c) => c.method === 'handleEditorInputChanged'));
  assert.deepEqual((await calls(topic, 'handleEditorInputChanged'))[0].args, ['title-editor', 'Verbs!']);
  await topic.close();
});
