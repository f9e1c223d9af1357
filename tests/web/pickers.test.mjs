// The pickers on the browser screen, end to end: the real binary on a fresh
// home with the user's documents and pictures folders of its own (the XDG
// user directories), driven only through its page in headless Chromium. The
// library's "Browse" walks into a folder of the documents and opens the deck
// tapped there; in that deck's card editor a photo of the pictures folder is
// inserted from the photo picker; after quitting, the project's reader
// (deck_inspect) finds the image in the card and the deck file holds it.
import { describe, test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { mkdirSync, mkdtempSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { Session } from './display-session.mjs';

const here = path.dirname(fileURLToPath(import.meta.url));
const deckTool = process.env.MEMORANT_DECK_TOOL ?? path.resolve(here, '../../build/make_tutorial_deck');
const deckInspect = process.env.MEMORANT_DECK_INSPECT ?? path.resolve(here, '../../build/deck_inspect');

// A red photo, 96 by 64 pixels.
const redPNG = Buffer.from(
  'iVBORw0KGgoAAAANSUhEUgAAAGAAAABACAIAAABqVuVZAAAAaUlEQVR42u3QMQ0AAAgDsEmafzVIwQE3R5MqaKblEAWCBAkSJEiQIEEIEiRIkCBBggQhSJAgQYIECRKEIEGCBAkSJEiQIAQJEiRIkCBBghAkSJAgQYIECUKQIEGCBAkSJEgQggQJEvTPAk0wAcMX/JioAAAAAElFTkSuQmCC',
  'base64');

// The card editor's page: the frame shown last (the editor lies over the list).
function editorFrame(s) {
  return s.page.frameLocator('#frames iframe[data-visible="true"]').last();
}

describe('the pickers', () => {
  let s;
  let user;
  before(async () => {
    user = mkdtempSync(path.join(tmpdir(), 'memorant-user-'));
    const documents = path.join(user, 'Documents');
    const pictures = path.join(user, 'Pictures');
    mkdirSync(path.join(documents, 'Decks'), { recursive: true });
    mkdirSync(pictures);
    const text = path.join(user, 'Far.txt');
    writeFileSync(text, 'perro | the dog\ngato | the cat\n');
    execFileSync(deckTool, [text, path.join(documents, 'Decks', 'Far.flashcards')]);
    writeFileSync(path.join(documents, 'notes.txt'), 'not a deck');
    writeFileSync(path.join(pictures, 'red.png'), redPNG);
    writeFileSync(path.join(pictures, 'broken.png'), 'not an image');
    // The program reads the user's folders from the environment it starts in.
    process.env.XDG_DOCUMENTS_DIR = documents;
    process.env.XDG_PICTURES_DIR = pictures;
    s = await new Session('pickers').start();
    await s.tapButton('Later');
    await s.gone(s.button('Later'));
    await s.row(/^Tutorial/).waitFor();
  });
  after(async () => {
    await s?.close();
    if (user) rmSync(user, { recursive: true, force: true });
  });

  test('"Browse" walks into a folder of the documents and opens the deck tapped', async () => {
    await s.tapButton('plus');
    await s.tapButton('Browse');
    await s.row('Decks').waitFor();
    await s.settle();
    await s.save('01-documents');
    // A file of another type is there, dimmed.
    assert.equal(await s.row('notes.txt').getAttribute('aria-disabled'), 'true');
    await s.tap(s.row('Decks'));
    await s.row('Far.flashcards').waitFor();
    await s.settle();
    await s.save('02-folder');
    await s.tap(s.row('Far.flashcards'));
    await s.gone(s.row('Far.flashcards'));
    // The deck opens; on a phone in the editor of its first card: back to its list.
    await s.page.locator('button[aria-label="Back"], button[aria-label="chevron.backward"]').last().waitFor();
    await s.settle();
    await s.save('03-opened');
    if (await s.button('Back').count()) await s.tapButton('Back');
    await s.row(/^perro/).waitFor();
  });

  test('the card editor inserts a photo of the pictures folder, picked by a tap', async () => {
    await s.tap(s.row(/^perro/));
    const field = editorFrame(s).locator('#top-editor[contenteditable="true"]');
    await field.waitFor();
    await s.settle();
    await field.click();
    await editorFrame(s).locator('#top-editor:focus').waitFor();
    await s.page.keyboard.press('End');
    await s.tapButton('photo');
    await s.tapButton('Browse Photos');
    await s.row('red.png').waitFor();
    await s.settle();
    await s.save('04-photos');
    await s.tap(s.row('red.png'));
    await s.gone(s.row('red.png'));
    // The editor's page shows the photo in the field.
    for (let i = 0; ; i++) {
      let shown = 0;
      for (const frame of s.page.frames())
        shown += await frame.locator('#top-editor img').count().catch(() => 0);
      if (shown) break;
      assert.ok(i < 300, 'no editor page shows the photo');
      await s.page.waitForTimeout(100);
    }
    await s.settle();
    await s.save('05-inserted');
  });

  test('after quitting, the card holds the image and the deck file its attachment', async () => {
    await s.quit();
    const file = path.join(user, 'Documents', 'Decks', 'Far.flashcards');
    const deck = JSON.parse(execFileSync(deckInspect, [path.dirname(file)], { encoding: 'utf8' }))['Far.flashcards'];
    assert.ok(deck, 'the deck is still where it lies');
    const match = deck.cards[0].top.match(/^perro<img [^>]*src="card-attachment:\/\/([^"]+)"/);
    assert.ok(match, deck.cards[0].top);
    const entries = execFileSync('unzip', ['-Z1', file], { encoding: 'utf8' }).split('\n');
    assert.ok(entries.some((entry) => entry.endsWith(`/${match[1]}`) || entry === match[1]), entries.join('\n'));
  });
});
