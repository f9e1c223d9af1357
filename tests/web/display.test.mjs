// The program on its browser screen, end to end: the real Memorant binary on
// a fresh $MEMORANT_HOME, driven in headless Chromium only through its page,
// finding controls by their accessible names. Every screen visited is saved
// as a PNG in the output folder ($MEMORANT_E2E_OUTPUT).
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import { mkdirSync, mkdtempSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { chromium } from 'playwright-core';

const here = path.dirname(fileURLToPath(import.meta.url));
const program = process.env.MEMORANT_PROGRAM ?? path.resolve(here, '../../build/Memorant');
const output = process.env.MEMORANT_E2E_OUTPUT ?? path.resolve(here, '../../build/tests/e2e-screens');

let home;
let userDataDir;
let child;
let exited;
let context;
let page;
let stderr = '';

// The program's address line, "... http://127.0.0.1:PORT/#TOKEN".
function startProgram() {
  child = spawn(program, ['--no-browser', '--no-display', '--port', '0'], {
    env: { ...process.env, MEMORANT_HOME: home, DISPLAY: '', WAYLAND_DISPLAY: '' },
    stdio: ['ignore', 'pipe', 'pipe'],
  });
  exited = new Promise((resolve) => child.on('exit', (code, signal) => resolve({ code, signal })));
  child.stderr.on('data', (chunk) => {
    stderr += chunk;
  });
  return new Promise((resolve, reject) => {
    let out = '';
    child.stdout.on('data', (chunk) => {
      out += chunk;
      const match = out.match(/(http:\/\/127\.0\.0\.1:\d+\/#[0-9a-f]+)/);
      if (match) resolve(match[1]);
    });
    child.on('exit', (code) => reject(new Error(`the program ended (${code}) before its address:\n${stderr}`)));
  });
}

async function saveScreen(name) {
  await page.locator('#screen').screenshot({ path: path.join(output, `${name}.png`) });
}

before(async () => {
  mkdirSync(output, { recursive: true });
  home = mkdtempSync(path.join(tmpdir(), 'memorant-home-'));
  userDataDir = mkdtempSync(path.join(tmpdir(), 'memorant-chromium-'));
  const address = await startProgram();
  context = await chromium.launchPersistentContext(userDataDir, {
    executablePath: process.env.CHROMIUM ?? '/usr/bin/chromium',
    headless: true,
    viewport: { width: 500, height: 900 },
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--no-first-run', '--disable-background-networking',
      '--disable-component-update', '--disable-sync'],
  });
  page = context.pages()[0] ?? (await context.newPage());
  await page.goto(address);
});

after(async () => {
  await context?.close();
  if (child && child.exitCode === null && child.signalCode === null) child.kill('SIGKILL');
  if (userDataDir) rmSync(userDataDir, { recursive: true, force: true });
  if (home) rmSync(home, { recursive: true, force: true });
});

test('a user answers the storage question, opens the tutorial and sees its cards, then quits', async () => {
  const later = page.getByRole('button', { name: 'Later', exact: true });
  await later.waitFor();
  await assert.doesNotReject(page.getByRole('button', { name: 'Use iCloud', exact: true }).waitFor());
  await saveScreen('01-storage-question');
  await later.click();
  await later.waitFor({ state: 'detached' });

  const tutorial = page.getByRole('row', { name: /^Tutorial/ });
  await tutorial.waitFor();
  await saveScreen('02-library');
  await tutorial.click();

  await page.getByRole('row', { name: /What is a deck\?/ }).waitFor();
  await assert.doesNotReject(page.getByRole('row', { name: /How do I rate myself\?/ }).waitFor());
  await saveScreen('03-card-list');

  // A reload, and a second tab, show the current screen.
  await page.reload();
  await page.getByRole('row', { name: /How do I rate myself\?/ }).waitFor();
  const second = await context.newPage();
  await second.goto(page.url());
  await second.getByRole('row', { name: /What is a deck\?/ }).waitFor();
  await second.close();

  child.kill('SIGINT');
  const { code, signal } = await exited;
  assert.equal(signal, null, stderr);
  assert.equal(code, 0, stderr);
});
