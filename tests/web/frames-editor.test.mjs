// The card editor on the browser screen, end to end: the real binary on a
// fresh home, driven only through its page in headless Chromium. The editor
// page runs in its frame over the web view; cards are typed into it with the
// keyboard, formatting goes through the toolbar the app shows above the
// keyboard while a field is edited, and after quitting the project's reader
// (deck_inspect) finds the HTML in the deck file.
import { describe, test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { existsSync, mkdirSync, mkdtempSync, readdirSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { randomBytes } from 'node:crypto';
import { fileURLToPath } from 'node:url';
import { Session, startInLibrary } from './display-session.mjs';

const here = path.dirname(fileURLToPath(import.meta.url));
const deckTool = process.env.MEMORANT_DECK_TOOL ?? path.resolve(here, '../../build/make_tutorial_deck');
const deckInspect = process.env.MEMORANT_DECK_INSPECT ?? path.resolve(here, '../../build/deck_inspect');

// The editor's page: the frame shown last (the editor lies over the list).
function editorFrame(s) {
  return s.page.frameLocator('#frames iframe[data-visible="true"]').last();
}

// Waits until the field's HTML in the page satisfies the test.
async function fieldHTML(s, id, test, what) {
  const field = editorFrame(s).locator(`#${id}`);
  for (;;) {
    const html = await field.evaluate((node) => node.innerHTML).catch(() => null);
    if (html !== null && test(html)) return html;
    await s.page.waitForFunction((n) => Number(document.getElementById('screen').dataset.frames) > n, await s.frames())
      .catch(() => assert.fail(`the ${id} never ${what}: ${String(html).slice(-300)}`));
  }
}

// Taps into the field and waits until the browser's focus is in it.
async function editField(s, id) {
  await s.settle();
  const field = editorFrame(s).locator(`#${id}`);
  await field.click();
  await editorFrame(s).locator(`#${id}:focus`).waitFor();
  await s.page.keyboard.press('End');
}

// Makes a deck with the new-deck dialog; it opens with its first card in the editor.
async function newDeck(s, title) {
  await s.tapButton('plus');
  await s.tapButton('Create Deck');
  await s.typeInto(s.find('textbox', 'Title'), title);
  await s.tapButton('Create');
  await s.gone(s.find('textbox', 'Title'));
  await editorFrame(s).locator('#top-editor[contenteditable="true"]').waitFor();
}

describe('the card editor', () => {
  let s;
  before(async () => {
    s = await startInLibrary('editor');
    await s.context.grantPermissions(['clipboard-read', 'clipboard-write']);
  });
  after(() => s?.close());

  test('a new deck\'s card is typed in, a word made bold from the toolbar and a paste cleaned', async () => {
    await newDeck(s, 'Vocabulary');
    // No field is edited yet: no formatting toolbar.
    assert.equal(await s.button('B').count(), 0);

    await editField(s, 'top-editor');
    // A field of the page being edited shows the toolbar above the keyboard.
    await s.button('B').waitFor();
    await s.page.keyboard.type('perro');
    await editField(s, 'bottom-editor');
    await s.page.keyboard.type('the dog barks');
    await fieldHTML(s, 'bottom-editor', (html) => html === 'the dog barks', 'took the typing');
    await s.page.keyboard.press('Shift+Control+ArrowLeft');
    await s.save('01-word-selected');
    await s.tap(s.button('B'));
    await fieldHTML(s, 'bottom-editor', (html) => /<b>barks<\/b>/.test(html), 'made the word bold');
    await s.save('02-bold');

    // Typing goes on in the field after the tap on the toolbar.
    await editorFrame(s).locator('#bottom-editor:focus').waitFor();
    await s.page.keyboard.press('End');
    await s.page.keyboard.type('!');
    await fieldHTML(s, 'bottom-editor', (html) => html.includes('!'), 'took typing after the toolbar');

    // A snippet copied from a page: its script neither runs nor stays as markup.
    await s.page.evaluate(() => {
      const html = '<p>loud <script>window.parent.pwned = 1<\/script></p>';
      const text = ' <script>alert(1)</script> loud';
      return navigator.clipboard.write([
        new ClipboardItem({ 'text/html': new Blob([html], { type: 'text/html' }), 'text/plain': new Blob([text], { type: 'text/plain' }) }),
      ]);
    });
    await editField(s, 'bottom-editor');
    await s.page.keyboard.press('Control+V');
    const pasted = await fieldHTML(s, 'bottom-editor', (html) => html.includes('loud'), 'took the paste');
    assert.match(pasted, /&lt;script&gt;alert\(1\)&lt;\/script&gt; loud$/);
    assert.equal(await editorFrame(s).locator('.editor script').count(), 0, 'no script element in a field');
    await s.save('03-pasted');
  });

  test('the editor\'s add button gives the new deck its second card, typed in the same way', async () => {
    // The editor's page is edited: the keyboard and its toolbar show.
    await s.button('B').waitFor();
    await s.tapButton('plus');
    await s.tapButton('Add Card');
    await s.gone(s.button('Add Card'));
    // The editor shows the new, empty card after the first.
    await s.text('2/2').waitFor();
    await fieldHTML(s, 'top-editor', (html) => html === '', 'showed the new card');
    await editField(s, 'top-editor');
    await s.page.keyboard.type('gato');
    await fieldHTML(s, 'top-editor', (html) => html === 'gato', 'took the typing');
    await editField(s, 'bottom-editor');
    await s.page.keyboard.type('the cat');
    await fieldHTML(s, 'bottom-editor', (html) => html === 'the cat', 'took the typing');
    await s.save('04-second-card');
  });

  test('after quitting, the deck file holds both cards as typed and formatted', async () => {
    await s.quit();
    const deck = s.decks()['Vocabulary.flashcards'];
    assert.ok(deck, 'the new deck is saved');
    const cards = deck.cards.map(({ top, bottom }) => ({ top, bottom }));
    assert.equal(cards.length, 2, JSON.stringify(cards));
    assert.equal(cards[0].top, 'perro');
    assert.match(cards[0].bottom, /^the dog <b>barks!/);
    assert.match(cards[0].bottom, /&lt;script&gt;alert\(1\)&lt;\/script&gt; loud$/);
    assert.doesNotMatch(cards[0].bottom, /<script/i);
    assert.deepEqual(cards[1], { top: 'gato', bottom: 'the cat' });
  });
});

// The program's log file.
function appLog(s) {
  const caches = path.join(s.home, 'Library', 'Caches');
  for (const bundle of existsSync(caches) ? readdirSync(caches) : []) {
    const file = path.join(caches, bundle, 'Logs', 'Memorant.log');
    if (existsSync(file)) return readFileSync(file, 'utf8');
  }
  return '';
}

// A card whose question holds an image inline, of about `bytes` bytes.
function inlineImageCard(question, bytes) {
  const data = randomBytes(Math.ceil((bytes * 3) / 4)).toString('base64');
  return `${question} <img alt="inline" src="data:image/jpeg;base64,${data}"> | ${question} answer`;
}

describe('a frame\'s messages', () => {
  let s;
  let folder;
  before(async () => {
    // A deck of two cards with images inline: one over the bound the frames'
    // messages had (60 KB) and under today's, one over today's.
    folder = mkdtempSync(path.join(tmpdir(), 'memorant-inline-'));
    const text = path.join(folder, 'Inline.txt');
    writeFileSync(text, `${inlineImageCard('Under', 1024 * 1024)}\n${inlineImageCard('Over', 3.5 * 1024 * 1024)}\n`);
    s = new Session('editor-bound');
    s.home = mkdtempSync(path.join(tmpdir(), 'memorant-home-'));
    mkdirSync(path.join(s.home, 'Documents'));
    execFileSync(deckTool, [text, path.join(s.home, 'Documents', 'Inline.flashcards')]);
    await s.start();
    await s.tapButton('Later');
    await s.gone(s.button('Later'));
  });
  after(async () => {
    await s?.close();
    if (folder) rmSync(folder, { recursive: true, force: true });
  });

  // Opens the card's editor from the deck's card list and types at the end
  // of its question.
  async function typeAfterQuestion(question, typed) {
    await s.tap(s.row(new RegExp(`^${question}`)));
    await fieldHTML(s, 'top-editor', (html) => html.startsWith(question), `showed the card ${question}`);
    await editField(s, 'top-editor');
    await s.page.keyboard.type(typed);
    await fieldHTML(s, 'top-editor', (html) => html.endsWith(typed), 'took the typing');
  }

  test('an edit of a card with a large image inline reaches the deck; one over the bound is refused with a log line', async () => {
    await s.tap(s.row(/^Inline/));
    // On a phone the deck opens in the editor of its first card: back to the list.
    await s.page.locator('button[aria-label="Back"], button[aria-label="chevron.backward"]').last().waitFor();
    await s.settle();
    if (await s.button('Back').count()) await s.tapButton('Back');
    await s.row(/^Under/).waitFor();

    await typeAfterQuestion('Under', 'edited');
    await s.tapButton('Back');
    await typeAfterQuestion('Over', 'edited');
    for (let i = 0; !/refused a frame's message \(message\) of \d+ bytes, over the bound/.test(appLog(s)); i++) {
      assert.ok(i < 600, `no refusal in the log:\n${appLog(s).slice(-2000)}`);
      await s.page.waitForTimeout(50);
    }
    await s.save('01-over-the-bound');
    // The app goes on taking input.
    await s.tapButton('Back');
    await s.row(/^Under/).waitFor();
    await s.quit();

    const cards = JSON.parse(execFileSync(deckInspect, [path.join(s.home, 'Documents')], { encoding: 'utf8', maxBuffer: 64 * 1024 * 1024 }))['Inline.flashcards'].cards;
    assert.match(cards[0].top, /^Under <img[^>]*>edited$/);
    assert.ok(cards[0].top.length > 1024 * 1024);
    assert.match(cards[1].top, /^Over <img[^>]*>$/, 'the refused edit changed nothing');
  });
});
