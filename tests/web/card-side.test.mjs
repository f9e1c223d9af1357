// The card-side page template in a real engine: the two sides of a card as
// the card page fills the template (written by the C++ test
// FICardPageViewControllerTest.WritesTheCardSideFixture to
// build/tests/web-fixtures, or to $MEMORANT_WEB_FIXTURES), with the library's
// page scripts installed as in the app, the handler "studyViewController"
// played by a stub and "card-attachment" URLs served by a stubbed handler.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { chromium } from 'playwright-core';

const here = path.dirname(fileURLToPath(import.meta.url));
const resources = process.env.MEMORANT_UMBRELLA_RESOURCES ?? path.resolve(here, '../../umbrella/resources');
const fixtures = process.env.MEMORANT_WEB_FIXTURES ?? path.resolve(here, '../../build/tests/web-fixtures');
const sides = {
  left: readFileSync(path.join(fixtures, 'card-side-left.html'), 'utf8'),
  right: readFileSync(path.join(fixtures, 'card-side-right.html'), 'utf8'),
};
const libraryScripts = ['javascript-swift-bridge.js', 'default-error-handler.js', 'webview-helpers.js'].map(
  (file) => readFileSync(path.join(resources, file), 'utf8'),
);
const picture = '<svg xmlns="http://www.w3.org/2000/svg" width="30" height="20"><rect width="30" height="20"/></svg>';

// Every call to "studyViewController" is kept with what the page looked like
// when it was made.
function installNativeStub() {
  window.__calls = [];
  const ignore = { postMessage() {} };
  window.webkit = {
    messageHandlers: {
      console: ignore,
      events: ignore,
      studyViewController: {
        postMessage(body) {
          const image = document.getElementById('picture');
          window.__calls.push({
            method: body.method,
            args: structuredClone(body.args),
            readyState: document.readyState,
            imageWidth: image ? image.naturalWidth : null,
            laidOutHeight: document.getElementById('card-side')?.getBoundingClientRect().height ?? 0,
          });
        },
      },
    },
  };
}

let userDataDir;
let context;
let attachmentRequests = [];

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
  // The pages come from a stand-in origin; nothing leaves the machine.
  await context.route((url) => url.protocol === 'http:' || url.protocol === 'https:', (route) => {
    const side = new URL(route.request().url()).pathname.replace('/', '');
    if (sides[side] === undefined) return route.abort();
    return route.fulfill({ status: 200, contentType: 'text/html; charset=utf-8', body: sides[side] });
  });
  await context.route((url) => url.protocol === 'card-attachment:', (route) => {
    attachmentRequests.push(route.request().url());
    return route.fulfill({ status: 200, contentType: 'image/svg+xml', body: picture });
  });
});

after(async () => {
  await context?.close();
  if (userDataDir) rmSync(userDataDir, { recursive: true, force: true });
});

async function open(side) {
  attachmentRequests = [];
  const page = await context.newPage();
  await page.goto(`http://cards.test/${side}`);
  await page.waitForFunction(() => window.__calls.some((c) => c.method.endsWith('CardSideReady')));
  return page;
}

test('the left side fills its placeholders, loads its image and then reports ready', async () => {
  const page = await open('left');
  const shown = await page.evaluate(() => ({
    side: document.getElementById('card-side').className,
    text: document.getElementById('card-side').textContent,
    marginLeft: getComputedStyle(document.documentElement).getPropertyValue('--side-margin-left').trim(),
    marginRight: getComputedStyle(document.documentElement).getPropertyValue('--side-margin-right').trim(),
    imageWidth: document.getElementById('picture').naturalWidth,
  }));
  // The card's own text keeps a placeholder's name as written.
  assert.deepEqual(shown, { side: 'left', text: 'Question & @@SIDE@@', marginLeft: '44px', marginRight: '48px',
    imageWidth: 30 });
  assert.deepEqual(attachmentRequests, ['card-attachment:/picture.svg']);

  const calls = await page.evaluate(() => window.__calls);
  assert.deepEqual(calls.map((c) => [c.method, c.args]), [['leftCardSideReady', []]]);
  assert.equal(calls[0].readyState, 'complete');
  assert.equal(calls[0].imageWidth, 30, 'ready only once the image has loaded');
  assert.ok(calls[0].laidOutHeight > 0);

  // A tap on an image asks to zoom into it; log: goes with its text.
  await page.click('#picture');
  await page.evaluate(() => window.cardSide.log('measured'));
  await page.waitForFunction(() => window.__calls.length >= 3);
  assert.deepEqual((await page.evaluate(() => window.__calls)).slice(1).map((c) => [c.method, c.args]), [
    ['zoomIntoImage', ['card-attachment:/picture.svg']],
    ['log', ['measured']],
  ]);
  await page.close();
});

test('the right side reports its own side once', async () => {
  const page = await open('right');
  await page.evaluate(() => new Promise((resolve) => requestAnimationFrame(() => requestAnimationFrame(resolve))));
  const calls = await page.evaluate(() => window.__calls.map((c) => c.method));
  assert.deepEqual(calls, ['rightCardSideReady']);
  assert.equal(await page.evaluate(() => document.getElementById('card-side').className), 'right');
  assert.deepEqual(attachmentRequests, []);
  await page.close();
});
