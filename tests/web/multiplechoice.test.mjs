// The "multiplechoice" page template in a real engine: headless Chromium,
// with the native handler "studyViewController" played by a stub that keeps
// every message. The template is filled the way the question page fills it.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { copyFileSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';
import { chromium } from 'playwright-core';

const here = path.dirname(fileURLToPath(import.meta.url));
const appResources = process.env.MEMORANT_APP_RESOURCES ?? path.resolve(here, '../../resources');
const libraryResources = process.env.MEMORANT_UMBRELLA_RESOURCES ?? path.resolve(here, '../../umbrella/resources');
const libraryScripts = ['javascript-swift-bridge.js', 'default-error-handler.js', 'webview-helpers.js'].map(
  (file) => readFileSync(path.join(libraryResources, file), 'utf8'),
);

function installNativeStub() {
  window.__posted = [];
  const handler = (name) => ({
    postMessage(body) {
      window.__posted.push({ handler: name, body: structuredClone(body) });
    },
  });
  window.webkit = {
    messageHandlers: { console: handler('console'), events: handler('events'), studyViewController: handler('studyViewController') },
  };
}

// The rows as the native side writes them.
function rowsHTML(answers, correct, selected) {
  return answers
    .map((answer, i) => {
      let classes = correct.includes(i) ? 'correct' : '';
      if (selected.includes(i)) classes += ' marked';
      return `<tr class='${classes}'><td class='indent'></td><td>${String.fromCharCode(65 + i)}.</td>` +
        `<td><div class='editor break-word'>${answer}</div></td></tr>\n`;
    })
    .join('');
}

function predefinedHTML(choicesHTML, seed, selected) {
  return `<script id='predefined-answers' type='text/x-template' data-seed='${seed}' ` +
    `data-selected-indices=',${selected.join(',')},'>${choicesHTML}</script>`;
}

let folder;
let context;
let page;

before(async () => {
  folder = mkdtempSync(path.join(tmpdir(), 'memorant-mc-'));
  for (const file of ['multiplechoice.css', 'multiplechoice.js']) {
    copyFileSync(path.join(appResources, file), path.join(folder, file));
  }
  context = await chromium.launchPersistentContext(path.join(folder, 'profile'), {
    executablePath: process.env.CHROMIUM ?? '/usr/bin/chromium',
    headless: true,
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--no-first-run', '--disable-background-networking',
      '--disable-component-update', '--disable-sync', '--allow-file-access-from-files'],
  });
  await context.addInitScript(installNativeStub);
  for (const script of libraryScripts) await context.addInitScript({ content: script });
  page = await context.newPage();
});

after(async () => {
  await context?.close();
  if (folder) rmSync(folder, { recursive: true, force: true });
});

let pageNumber = 0;
async function openQuestion(answersHTML, bodyClass = '') {
  const template = readFileSync(path.join(appResources, 'multiplechoice.html'), 'utf8');
  const html = template
    .replaceAll('@@BODY_CLASS@@', bodyClass)
    .replaceAll('@@Number@@', '1.')
    .replaceAll('@@Question@@', 'Capital of France?')
    .replaceAll('@@Answers@@', answersHTML);
  const file = path.join(folder, `page${++pageNumber}.html`);
  writeFileSync(file, html);
  await page.goto(pathToFileURL(file).href);
  await page.waitForFunction(() => window.MultipleChoicePage !== undefined);
}

const reports = async () =>
  (await page.evaluate(() => window.__posted))
    .filter((m) => m.handler === 'studyViewController')
    .map((m) => [m.body.method, m.body.args]);
const rowClasses = () => page.$$eval('#answers tr', (rows) => rows.map((row) => [...row.classList].join(' ')));
const rowTexts = () => page.$$eval('#answers tr', (rows) => rows.map((row) => row.cells[1].textContent + row.cells[2].textContent));
const tapRow = (i) => page.locator('#answers tr').nth(i).click();

test('every change of the selection is reported', async () => {
  await openQuestion(rowsHTML(['Lyon', 'Paris', 'Nice'], [1], []));
  await tapRow(2);
  await tapRow(1);
  await tapRow(2);
  await tapRow(1);
  assert.deepEqual(await reports(), [
    ['updateAnswersForQuestion', [false, '2']],
    ['updateAnswersForQuestion', [false, '1,2']],
    ['updateAnswersForQuestion', [true, '1']],
    ['updateAnswersForQuestion', [false, '']],
  ]);
});

test('checkAnswers marks the rows, reports and stops changes', async () => {
  await openQuestion(rowsHTML(['Lyon', 'Paris', 'Nice'], [1], [2]));
  assert.deepEqual(await rowClasses(), ['', 'correct', 'marked']);
  await page.evaluate(() => window.MultipleChoicePage.checkAnswers());
  assert.ok(await page.evaluate(() => document.body.classList.contains('didCheck')));
  assert.deepEqual(await rowClasses(), ['', 'correct missing', 'marked wrong']);
  assert.deepEqual(await reports(), [['updateAnswersForQuestion', [false, '2']]]);
  await tapRow(1);
  assert.deepEqual(await rowClasses(), ['', 'correct missing', 'marked wrong']);
  assert.equal((await reports()).length, 1);
});

test('predefined choices are laid out from the seed', async () => {
  const choices = ['<p class="__fC-mA">one</p>', '<p class="__fC-mA correct">two</p>', '<p class="__fC-mA">three</p>',
    '<p class="__fC-mA">four</p>', '<p class="__fC-mA correct">five</p>'].join('');
  await openQuestion(predefinedHTML(choices, 0, []));
  assert.deepEqual(await rowTexts(), ['A.one', 'B.two', 'C.three', 'D.four', 'E.five']);
  assert.deepEqual(await rowClasses(), ['', 'correct', '', '', 'correct']);

  await openQuestion(predefinedHTML(choices, 4711, [1, 3]));
  const shuffled = await rowTexts();
  const again = (await openQuestion(predefinedHTML(choices, 4711, [1, 3])), await rowTexts());
  assert.deepEqual(again, shuffled, 'one seed gives one order');
  assert.deepEqual(shuffled.map((t) => t.slice(2)).sort(), ['five', 'four', 'one', 'three', 'two']);
  assert.deepEqual(shuffled.map((t) => t.slice(0, 2)), ['A.', 'B.', 'C.', 'D.', 'E.']);
  // The selection counts in the written order, whatever the layout.
  const marked = await page.$$eval('#answers tr.marked', (rows) => rows.map((r) => r.cells[2].textContent).sort());
  assert.deepEqual(marked, ['four', 'two']);
  await page.locator('#answers tr', { hasText: 'four' }).click();
  await page.locator('#answers tr', { hasText: 'five' }).click();
  assert.deepEqual((await reports()).at(-1), ['updateAnswersForQuestion', [true, '1,4']]);
});
