// The library's page scripts in a real engine: headless Chromium with the
// native side played by a stub of the script message handlers.
//
// Page calls must arrive as {method, args, promiseId}; the reply and call
// scripts that the native side makes (written by the C++ test
// BridgeTest.WritesTheWebContractFixture to build/tests/web-fixtures, or to
// $MEMORANT_WEB_FIXTURES) must settle the right promises with the right
// values and reach page objects with the right arguments.
import { test, before, after, beforeEach } from 'node:test';
import assert from 'node:assert/strict';
import { mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { chromium } from 'playwright-core';

const here = path.dirname(fileURLToPath(import.meta.url));
const resources = process.env.MEMORANT_UMBRELLA_RESOURCES ?? path.resolve(here, '../../umbrella/resources');
const fixtureFile = path.join(
  process.env.MEMORANT_WEB_FIXTURES ?? path.resolve(here, '../../build/tests/web-fixtures'),
  'bridge-contract.json',
);
const libraryScripts = ['javascript-swift-bridge.js', 'default-error-handler.js', 'webview-helpers.js'].map(
  (file) => readFileSync(path.join(resources, file), 'utf8'),
);

// The native side: every message posted to a handler is kept in
// window.__posted (cloned, as the platform hands bodies over).
function installNativeStub() {
  window.__posted = [];
  const handler = (name) => ({
    postMessage(body) {
      window.__posted.push({ handler: name, body: structuredClone(body) });
    },
  });
  window.webkit = { messageHandlers: { console: handler('console'), events: handler('events'), study: handler('study') } };
}

let userDataDir;
let context;
let page;

before(async () => {
  userDataDir = mkdtempSync(path.join(tmpdir(), 'memorant-chromium-'));
  context = await chromium.launchPersistentContext(userDataDir, {
    executablePath: process.env.CHROMIUM ?? '/usr/bin/chromium',
    headless: true,
    args: [
      '--headless',
      '--no-sandbox',
      '--disable-gpu',
      '--disable-quic',
      '--no-first-run',
      '--disable-background-networking',
      '--disable-component-update',
      '--disable-sync',
    ],
  });
  await context.addInitScript(installNativeStub);
  for (const script of libraryScripts) {
    await context.addInitScript({ content: script });
  }
});

after(async () => {
  await context?.close();
  if (userDataDir) rmSync(userDataDir, { recursive: true, force: true });
});

beforeEach(async () => {
  page = page ?? (await context.newPage());
  await page.goto('data:text/html,<!doctype html><html><head></head><body><p>card</p></body></html>');
});

const posted = () => page.evaluate(() => window.__posted);

// Starts a call to the stub handler "study" and keeps track of its promise;
// returns the promise id the page chose.
function startCall(method, ...args) {
  return page.evaluate(
    ([method, args]) => {
      window.__states ??= {};
      const promise = window.nativeBridge.call('study', method, ...args);
      const id = window.__posted.at(-1).body.promiseId;
      promise.then(
        (value) => (window.__states[id] = { resolved: value }),
        (error) => (window.__states[id] = { rejected: String(error) }),
      );
      return id;
    },
    [method, args],
  );
}
const stateOf = (id) => page.evaluate((id) => window.__states[id] ?? 'pending', id);

test('page calls post method, args and promise id', async () => {
  await startCall('rate', 1, 'a', true, null);
  await startCall('didTapCard');
  await page.evaluate(() => {
    window.webViewHelpers.nativeHandler('study').rate(2);  // left pending
  });
  const calls = (await posted()).filter((m) => m.handler === 'study').map((m) => m.body);
  assert.equal(calls.length, 3);
  for (const body of calls) {
    assert.deepEqual(Object.keys(body).sort(), ['args', 'method', 'promiseId']);
    assert.equal(typeof body.promiseId, 'string');
  }
  assert.deepEqual(calls.map((b) => [b.method, b.args]), [
    ['rate', [1, 'a', true, null]],
    ['didTapCard', []],
    ['rate', [2]],
  ]);
  assert.equal(new Set(calls.map((b) => b.promiseId)).size, 3, 'every call has its own promise id');
});

test('console lines and load events go to their handlers', async () => {
  await page.evaluate(() => {
    console.log('a', 1, { b: [2] });
    console.error(new TypeError('bad card'));
    console.log();
  });
  const messages = (await posted()).filter((m) => m.handler !== 'study');
  const shape = messages.map((m) => [m.handler, m.body.method, m.body.args]);
  assert.deepEqual(shape, [
    ['events', 'didLoadDOMContent', []],
    ['events', 'didLoadFullPageAndResources', []],
    ['console', 'log', ['a', 1, '{"b":[2]}']],
    ['console', 'error', ['TypeError: bad card']],
  ]);
});

test('uncaught errors and unhandled rejections become console errors', async () => {
  await page.evaluate(() => {
    window.dispatchEvent(
      new ErrorEvent('error', { message: 'x', error: new RangeError('boom'), filename: 'card.html', lineno: 3, colno: 9 }),
    );
    window.dispatchEvent(
      new PromiseRejectionEvent('unhandledrejection', { promise: Promise.resolve(), reason: 'no deck' }),
    );
    setTimeout(() => {
      throw new Error('thrown in a timer');
    });
  });
  await page.waitForFunction(() => window.__posted.some((m) => String(m.body.args).includes('thrown in a timer')));
  const errors = (await posted()).filter((m) => m.handler === 'console').map((m) => [m.body.method, ...m.body.args]);
  assert.deepEqual(errors.slice(0, 2), [
    ['error', 'Uncaught error: RangeError: boom (card.html:3:9)'],
    ['error', 'Unhandled promise rejection: no deck'],
  ]);
  assert.match(errors[2][1], /^Uncaught error: Error: thrown in a timer/);
});

test('reply scripts settle the right promises with the right values', async () => {
  const { replies } = JSON.parse(readFileSync(fixtureFile, 'utf8'));
  const ordinary = replies.filter((r) => !r.name.startsWith('id '));
  assert.ok(ordinary.length >= 20, 'the fixture holds the reply cases');
  const unanswered = [];
  for (const reply of ordinary) {
    const id = await startCall('result');
    if (reply.script === null) {
      unanswered.push([reply.name, id]);
      continue;
    }
    const quotedId = JSON.stringify(reply.promiseId);
    assert.equal(reply.script.split(quotedId).length, 2, `${reply.name}: the id appears once`);
    await page.evaluate(reply.script.replace(quotedId, () => JSON.stringify(id)));
    assert.deepEqual(await stateOf(id), { resolved: reply.value }, reply.name);
  }
  assert.ok(unanswered.length > 0);
  for (const [name, id] of unanswered) assert.equal(await stateOf(id), 'pending', name);
});

test('a promise id stays inside its string literal', async () => {
  const { replies } = JSON.parse(readFileSync(fixtureFile, 'utf8'));
  const hostile = replies.filter((r) => r.name.startsWith('id '));
  assert.equal(hostile.length, 2);
  for (const reply of hostile) {
    const received = await page.evaluate((script) => {
      const calls = [];
      const resolve = window._resolvePromise;
      window._resolvePromise = (...args) => {
        calls.push(args);
        return resolve(...args);
      };
      window.eval(script);
      window._resolvePromise = resolve;
      return { calls, injected: window.injected ?? null };
    }, reply.script);
    assert.deepEqual(received, { calls: [[reply.promiseId, reply.value, false]], injected: null }, reply.name);
  }
});

test('an error reply rejects, and a promise settles only once', async () => {
  const failing = await startCall('result');
  await page.evaluate((id) => window._resolvePromise(id, 'Disk full', true), failing);
  assert.deepEqual(await stateOf(failing), { rejected: 'Error: Disk full' });

  const once = await startCall('result');
  await page.evaluate((id) => {
    window._resolvePromiseWithIntResult(id, 1, false);
    window._resolvePromiseWithIntResult(id, 2, false);
    window._resolvePromise('no such promise', 3, false);
  }, once);
  assert.deepEqual(await stateOf(once), { resolved: 1 });

  const missing = await page.evaluate(() =>
    window.nativeBridge.call('missing', 'm').then(
      () => 'resolved',
      (error) => String(error),
    ),
  );
  assert.equal(missing, 'Error: No native handler named missing');
});

test('call scripts reach page objects with the right arguments', async () => {
  const { calls } = JSON.parse(readFileSync(fixtureFile, 'utf8'));
  assert.ok(calls.length >= 8, 'the fixture holds the call cases');
  for (const call of calls) {
    const seen = await page.evaluate((script) => {
      const record = [];
      const pageObject = (object) =>
        new Proxy({}, { get: (target, method) => (...args) => (record.push({ object, method, args }), args.length) });
      window.fcEditor = pageObject('fcEditor');
      window.fcStudy = pageObject('fcStudy');
      const result = window.eval(script);
      return { record, result: result ?? null };
    }, call.script);
    assert.deepEqual(seen.record, [{ object: call.object, method: call.method, args: call.arguments }], call.name);
    // A function body without "return " gives nothing back; a bare call gives its value.
    const givesNothing = call.script.startsWith('(function(){ window.');
    assert.equal(seen.result, givesNothing ? null : call.arguments.length, `${call.name}: result`);
  }
});
