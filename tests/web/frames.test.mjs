// The app's web pages on its browser screen, end to end: the real Memorant
// binary on a fresh $MEMORANT_HOME with fixture decks, driven in headless
// Chromium through its page. Card pages run in frames over their web views;
// the tests read what a frame shows through the browser, and act as a user
// does (taps).
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { spawn, execFileSync } from 'node:child_process';
import { copyFileSync, mkdirSync, mkdtempSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { chromium } from 'playwright-core';

const here = path.dirname(fileURLToPath(import.meta.url));
const program = process.env.MEMORANT_PROGRAM ?? path.resolve(here, '../../build/Memorant');
const deckTool = process.env.MEMORANT_DECK_TOOL ?? path.resolve(here, '../../build/make_tutorial_deck');
const fixtures = path.resolve(here, '../fixtures/browser-decks');
const output = process.env.MEMORANT_E2E_OUTPUT ?? path.resolve(here, '../../build/tests/e2e-screens');

let browser;
let decks;
const running = [];

// The fixture decks, built from their text with the project's own deck
// writer; the picture deck gets its image as an attachment.
function buildDecks() {
  decks = mkdtempSync(path.join(tmpdir(), 'memorant-decks-'));
  for (const name of ['Pictures', 'Hostile'])
    execFileSync(deckTool, [path.join(fixtures, `${name}.txt`), path.join(decks, `${name}.flashcards`)]);
  const stage = path.join(decks, 'stage');
  mkdirSync(path.join(stage, 'Data', 'Files'), { recursive: true });
  copyFileSync(path.resolve(here, '../../resources/PointingFinger.png'), path.join(stage, 'Data', 'Files', 'finger.png'));
  execFileSync('zip', ['-q', '-D', path.join(decks, 'Pictures.flashcards'), 'Data/Files/finger.png'], { cwd: stage });
}

// Starts the program on a fresh home holding the decks (or on the home of an
// earlier run), and a page showing it.
async function startApp(deckNames = [], earlierHome = null) {
  const home = earlierHome ?? mkdtempSync(path.join(tmpdir(), 'memorant-home-'));
  mkdirSync(path.join(home, 'Documents'), { recursive: true });
  for (const name of deckNames) copyFileSync(path.join(decks, `${name}.flashcards`), path.join(home, 'Documents', `${name}.flashcards`));
  const child = spawn(program, ['--no-browser', '--no-display', '--port', '0'], {
    env: { ...process.env, MEMORANT_HOME: home, DISPLAY: '', WAYLAND_DISPLAY: '' },
    stdio: ['ignore', 'pipe', 'pipe'],
  });
  const app = { home, child, stderr: '' };
  if (!earlierHome) running.push(app);
  app.exited = new Promise((resolve) => child.on('exit', (code, signal) => resolve({ code, signal })));
  child.stderr.on('data', (chunk) => {
    app.stderr += chunk;
  });
  const address = await new Promise((resolve, reject) => {
    let out = '';
    child.stdout.on('data', (chunk) => {
      out += chunk;
      const match = out.match(/(http:\/\/127\.0\.0\.1:\d+\/#[0-9a-f]+)/);
      if (match) resolve(match[1]);
    });
    child.on('exit', (code) => reject(new Error(`the program ended (${code}) before its address:\n${app.stderr}`)));
  });
  app.context = await browser.newContext({ viewport: { width: 500, height: 900 } });
  app.page = await app.context.newPage();
  await app.page.goto(address);
  if (!earlierHome) {
    const later = app.page.getByRole('button', { name: 'Later', exact: true });
    await later.click();
    await later.waitFor({ state: 'detached' });
  }
  return app;
}

async function quit(app) {
  app.child.kill('SIGINT');
  const { code, signal } = await app.exited;
  assert.equal(signal, null, app.stderr);
  assert.equal(code, 0, app.stderr);
}

function button(app, name) {
  return app.page.getByRole('button', { name, exact: true });
}

// The frames shown now (their web views visible), with a reader of each.
function shownFrames(app) {
  return app.page.locator('#frames iframe[data-visible="true"]');
}

// The texts of the frames shown, once there are `count` of them.
async function shownTexts(app, count = 1) {
  const frames = shownFrames(app);
  await assert.doesNotReject(async () => {
    for (let i = 0; i < 100 && (await frames.count()) !== count; i++) await app.page.waitForTimeout(50);
  });
  const texts = [];
  for (const handle of await frames.elementHandles()) {
    const frame = await handle.contentFrame();
    texts.push(await frame.evaluate(() => document.body.innerText.trim()));
  }
  return texts;
}

async function waitForShownText(app, pattern) {
  for (let i = 0; i < 200; i++) {
    const texts = await shownTexts(app, (await shownFrames(app).count()) || 1).catch(() => []);
    if (texts.some((text) => pattern.test(text))) return texts;
    await app.page.waitForTimeout(50);
  }
  assert.fail(`no frame shows ${pattern}`);
}

async function saveScreen(app, name) {
  await app.page.locator('#screen').screenshot({ path: path.join(output, `frames-${name}.png`) });
}

async function openDeck(app, name) {
  await app.page.getByRole('row', { name: new RegExp(`^${name}`) }).click();
  await button(app, 'Memorize').waitFor();
}

before(async () => {
  mkdirSync(output, { recursive: true });
  buildDecks();
  browser = await chromium.launch({
    executablePath: process.env.CHROMIUM ?? '/usr/bin/chromium',
    headless: true,
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--no-first-run', '--disable-background-networking',
      '--disable-component-update', '--disable-sync'],
  });
});

after(async () => {
  await browser?.close();
  for (const app of running) {
    if (app.child.exitCode === null && app.child.signalCode === null) app.child.kill('SIGKILL');
    rmSync(app.home, { recursive: true, force: true });
  }
  if (decks) rmSync(decks, { recursive: true, force: true });
});

test('the study screen shows a card with its image, and a tap turns it over', async () => {
  const app = await startApp(['Pictures']);
  await openDeck(app, 'Pictures');
  await button(app, 'Memorize').click();

  await waitForShownText(app, /What does the finger point at\?/);
  const card = shownFrames(app).first();
  const image = (await card.elementHandle().then((handle) => handle.contentFrame())).locator('#finger');
  await assert.doesNotReject(image.evaluate((img) => img.decode()));
  assert.ok((await image.evaluate((img) => img.naturalWidth)) > 0, 'the attachment shows');
  await saveScreen(app, '01-question');

  await card.click({ position: { x: 300, y: 300 } });
  await waitForShownText(app, /Up, at the question\./);
  await saveScreen(app, '02-answer');
  await button(app, 'Done').click();
  await button(app, 'Done').waitFor({ state: 'detached' });
  await quit(app);
});

test('a card that reaches for the page, the connection, the window or pop-ups, or never yields, harms nothing', async () => {
  const app = await startApp(['Hostile']);
  await openDeck(app, 'Hostile');
  await button(app, 'Memorize').click();
  const [question] = await waitForShownText(app, /Where can this card reach\?/);
  const frame = await shownFrames(app).first().elementHandle().then((handle) => handle.contentFrame());
  const attempts = frame.locator('#attempts');
  for (let i = 0; i < 100 && !/fetch blocked;.*socket blocked|socket blocked;.*fetch blocked/.test(await attempts.textContent()); i++)
    await app.page.waitForTimeout(50);
  const said = await attempts.textContent();
  for (const outcome of ['parent blocked', 'top blocked', 'popup blocked', 'fetch blocked', 'socket blocked'])
    assert.match(said, new RegExp(outcome), `${question}: ${said}`);
  assert.doesNotMatch(said, /read|navigated|opened|answered/);
  assert.equal(app.context.pages().length, 1, 'no pop-up');
  assert.match(app.page.url(), /^http:\/\/127\.0\.0\.1:\d+\/#/);
  // The forged taps on the bar above the card went nowhere: still studying.
  await assert.doesNotReject(button(app, 'Done').waitFor());

  // The answer never yields: the display page and the app go on, and the
  // next pages run.
  await shownFrames(app).first().click({ position: { x: 300, y: 300 } });
  await app.page.waitForTimeout(500);
  const before = Number(await app.page.locator('#screen').getAttribute('data-frames'));
  await button(app, 'Done').click();
  await button(app, 'Done').waitFor({ state: 'detached' });
  assert.ok(Number(await app.page.locator('#screen').getAttribute('data-frames')) > before);
  await saveScreen(app, '03-after-hostile-card');
  await button(app, 'Memorize').click();
  await waitForShownText(app, /Where can this card reach\?/);
  await quit(app);
});
