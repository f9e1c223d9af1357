// A run of the real Memorant binary on a fresh $MEMORANT_HOME with its
// browser screen open in headless Chromium, for the end-to-end tests: start
// it, find controls by role and accessible name, tap and swipe through the
// page, save the screens visited, quit, and read the decks it left on disk
// with the project's own reader (deck_inspect).
import assert from 'node:assert/strict';
import { execFileSync, spawn } from 'node:child_process';
import { mkdirSync, mkdtempSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { chromium } from 'playwright-core';

const here = path.dirname(fileURLToPath(import.meta.url));
export const program = process.env.MEMORANT_PROGRAM ?? path.resolve(here, '../../build/Memorant');
const deckInspect = process.env.MEMORANT_DECK_INSPECT ?? path.resolve(here, '../../build/deck_inspect');
export const output = process.env.MEMORANT_E2E_OUTPUT ?? path.resolve(here, '../../build/tests/e2e-screens');

// How long a step may take before a wait fails (the program under the
// sanitizers is slow).
const stepTimeout = 30000;

export class Session {
  // `prefix` names the saved screens of this session ("<prefix>-<step>.png").
  constructor(prefix) {
    this.prefix = prefix;
    this.stdout = '';
    this.stderr = '';
    this.layoutFaultShots = 0;
  }

  // Starts the program (on this session's home, a fresh one the first time)
  // and opens its address in a new browser; resolves once the page shows a
  // frame.
  async start() {
    mkdirSync(output, { recursive: true });
    this.home ??= mkdtempSync(path.join(tmpdir(), 'memorant-home-'));
    this.userDataDir ??= mkdtempSync(path.join(tmpdir(), 'memorant-chromium-'));
    this.address = await this.#startProgram();
    this.context ??= await chromium.launchPersistentContext(this.userDataDir, {
      executablePath: process.env.CHROMIUM ?? '/usr/bin/chromium',
      headless: true,
      viewport: { width: 500, height: 900 },
      args: ['--headless', '--no-sandbox', '--disable-gpu', '--no-first-run', '--disable-background-networking',
        '--disable-component-update', '--disable-sync'],
    });
    this.context.setDefaultTimeout(stepTimeout);
    this.page = this.context.pages()[0] ?? (await this.context.newPage());
    // The program checks the layout of every frame it sends (see #startProgram);
    // the page keeps what the newest frame's header says.
    if (!this.watchingLayout) {
      await this.context.addInitScript(() => {
        document.addEventListener('display-frame', (event) => {
          window.memorantLayoutFaults = event.detail.layoutFaults ?? [];
          window.memorantAnimating = event.detail.animating === true;
        });
      });
      this.watchingLayout = true;
    }
    await this.page.goto(this.address);
    await this.page.locator('#screen[data-frames]').waitFor();
    return this;
  }

  #startProgram() {
    this.child = spawn(program, ['--no-browser', '--no-display', '--port', '0'], {
      env: { ...process.env, MEMORANT_HOME: this.home, DISPLAY: '', WAYLAND_DISPLAY: '', MEMORANT_DISPLAY_CHECK_LAYOUT: '1' },
      stdio: ['ignore', 'pipe', 'pipe'],
    });
    const child = this.child;
    this.exited = new Promise((resolve) => child.on('exit', (code, signal) => resolve({ code, signal })));
    child.stderr.on('data', (chunk) => {
      this.stderr += chunk;
    });
    return new Promise((resolve, reject) => {
      child.stdout.on('data', (chunk) => {
        this.stdout += chunk;
        const match = this.stdout.match(/(http:\/\/127\.0\.0\.1:\d+\/#[0-9a-f]+)/);
        if (match) resolve(match[1]);
      });
      child.on('exit', (code) => reject(new Error(`the program ended (${code}) before its address:\n${this.stderr}`)));
    });
  }

  // The port and token of the address the program printed.
  get port() {
    return Number(new URL(this.address).port);
  }

  get token() {
    return new URL(this.address).hash.slice(1);
  }

  // Elements of the screen by role and accessible name (a string matches
  // exactly, a RegExp anywhere).
  find(role, name) {
    return this.page.getByRole(role, { name, exact: typeof name === 'string' });
  }

  // A label's text on the screen.
  text(name) {
    return this.page.locator('#elements').getByText(name, { exact: typeof name === 'string' });
  }

  button(name) {
    return this.find('button', name);
  }

  row(name) {
    return this.find('row', name);
  }

  // Waits until the screen has settled: the newest frame says that nothing
  // moves on its own (no animation, no screen coming or going: the program
  // knows, and sends one more frame when the last movement ends), and no new
  // frame came for a quarter of a second (the app may not take taps while a
  // screen comes or goes). How long frames take to come does not matter: on a
  // slow machine a frame in the middle of a push may stand for seconds, but
  // it says it moves. A settled screen must look right: the test fails when
  // its frame names layout faults (texts that overlap or are cut).
  async settle() {
    await this.page.waitForFunction(() => {
      const screen = document.getElementById('screen');
      const now = performance.now();
      if (screen.dataset.settleFrames !== screen.dataset.frames) {
        screen.dataset.settleFrames = screen.dataset.frames;
        screen.dataset.settleSince = String(now);
        return false;
      }
      return !window.memorantAnimating && now - Number(screen.dataset.settleSince) >= 250;
    }, null, { polling: 50 });
    const faults = await this.page.evaluate(() => window.memorantLayoutFaults ?? []);
    if (faults.length) {
      const shot = `${this.prefix}-layout-fault-${++this.layoutFaultShots}.png`;
      await this.page.locator('#screen').screenshot({ path: path.join(output, shot) });
      assert.fail(`the screen (${shot}) shows layout faults:\n  ${faults.join('\n  ')}\n` +
        `on it:\n  ${(await this.names()).join('\n  ')}`);
    }
  }

  // Taps the topmost of several matches (a later element lies over an
  // earlier one) once the screen has settled.
  async tap(locator) {
    await locator.last().waitFor();
    await this.settle();
    await locator.last().click();
  }

  // Taps the text field and types into the page's text input once it lies
  // over the field being edited.
  async typeInto(locator, text) {
    await this.tap(locator);
    await this.page.locator('#typing:focus').waitFor();
    await this.settle();
    await this.page.keyboard.type(text);
  }

  // Waits until the button is enabled (the app may turn touches away while
  // it animates) and taps it.
  async tapButton(name) {
    const enabled = this.button(name).and(this.page.locator(':not([aria-disabled="true"])'));
    await this.tap(enabled);
  }

  // The number of frames the page has drawn.
  async frames() {
    return Number(await this.page.locator('#screen').getAttribute('data-frames'));
  }

  // Taps the button once it is enabled and waits for the screen to answer
  // (a frame drawn after the tap), so that a next tap meets what this one did.
  async tapAndWait(name) {
    const before = await this.frames();
    await this.tapButton(name);
    await this.page.waitForFunction((n) => Number(document.getElementById('screen').dataset.frames) > n, before);
  }

  // Waits until the element is gone from the screen.
  async gone(locator) {
    await locator.last().waitFor({ state: 'detached' });
  }

  // A drag in the page from the element's middle (or from `fromX` of its
  // width): pointer down, moves by (dx, dy) page pixels, up.
  async drag(locator, dx, dy = 0, { fromX = 0.5 } = {}) {
    await this.settle();
    const box = await locator.last().boundingBox();
    assert.ok(box, 'the element to drag from is on screen');
    const x = box.x + box.width * fromX;
    const y = box.y + box.height / 2;
    const { mouse } = this.page;
    await mouse.move(x, y);
    await mouse.down();
    await mouse.move(x + dx, y + dy, { steps: 8 });
    await mouse.up();
  }

  // Saves the screen as "<prefix>-<step>.png" in the output folder.
  async save(step) {
    await this.page.locator('#screen').screenshot({ path: path.join(output, `${this.prefix}-${step}.png`) });
  }

  // The names of the elements on screen, for failure messages.
  async names() {
    return this.page.locator('#elements > *').evaluateAll((nodes) =>
      nodes.map((node) => `${node.getAttribute('role') ?? node.tagName.toLowerCase()}: ${node.getAttribute('aria-label') ?? node.textContent}`));
  }

  // SIGINT (a quit saves); the program must end with 0.
  async quit() {
    this.child.kill('SIGINT');
    const { code, signal } = await this.exited;
    assert.equal(signal, null, this.stderr);
    assert.equal(code, 0, this.stderr);
  }

  // The decks in Documents as the project's reader finds them: file name to
  // {title, cards: [{top, bottom, forward, reverse}]}.
  decks() {
    return JSON.parse(execFileSync(deckInspect, [path.join(this.home, 'Documents')], { encoding: 'utf8' }));
  }

  async close() {
    await this.context?.close();
    if (this.child && this.child.exitCode === null && this.child.signalCode === null) this.child.kill('SIGKILL');
    if (this.userDataDir) rmSync(this.userDataDir, { recursive: true, force: true });
    if (this.home) rmSync(this.home, { recursive: true, force: true });
  }
}

// Starts a session and answers the storage question ("Later": decks stay
// in Documents), leaving the library on screen.
export async function startInLibrary(prefix) {
  const session = await new Session(prefix).start();
  await session.tapButton('Later');
  await session.gone(session.button('Later'));
  await session.row(/^Tutorial/).waitFor();
  return session;
}

// Starts a session in the tutorial's card list.
export async function startInTutorial(prefix) {
  const session = await startInLibrary(prefix);
  await session.tap(session.row(/^Tutorial/));
  await session.row(/What is a deck\?/).waitFor();
  return session;
}
