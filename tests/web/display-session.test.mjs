// A user's whole session on the browser screen, end to end and only through
// the page: study a batch of the tutorial, a multiple-choice test, the card
// list's grouping, making, renaming and deleting decks, settings, the user
// guide and the remote control; after quitting, the project's own reader
// finds in the files what was done. Each part runs on a fresh home; screens are
// saved as "<part>-<step>.png".
import { describe, test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { startInLibrary, startInTutorial } from './display-session.mjs';

// The rating buttons, or the summary that ends the batch.
const ratingOrSummary = 'button[aria-label="Easy"]:not([aria-disabled="true"]), button[aria-label="Start Over"]';

// Rates the card on screen; the buttons stay off until the next card has
// come (or the summary), so the rating is taken once they have gone off.
async function rate(s, rating) {
  await s.tapButton(rating);
  await s.page.locator('button[aria-label="Easy"][aria-disabled="true"], button[aria-label="Start Over"]').last().waitFor();
}

// An opened deck shows its card list, or on a phone the editor of the card
// it was on: the editor's Back leads to the list, titled by the deck.
async function toCardList(s, title) {
  await s.page.locator('button[aria-label="Back"], button[aria-label="chevron.backward"]').last().waitFor();
  await s.settle();
  if (await s.button('Back').count()) await s.tapButton('Back');
  await s.find('textbox', title).waitFor();
}

describe('a multiple-choice test', () => {
  let s;
  before(async () => {
    s = await startInTutorial('multiple-choice');
  });
  after(() => s?.close());

  test('a multiple-choice test turns its pages under a finger dragged across them', async () => {
    await s.tapButton('Multiple Choice');
    const startPage = s.find('textbox', /MultipleChoiceQuestion/);
    await startPage.waitFor();
    await s.save('01-start');
    // Each drag goes past the middle of the page, so that the page turns
    // however slowly a loaded machine delivers the finger's moves.
    const screen = s.page.locator('#screen');
    // The page's question runs in its web frame, numbered.
    const question = (n) =>
      s.page.frameLocator('#frames iframe[data-visible="true"]').last()
        .locator('body', { hasText: new RegExp(`^\\s*${n}\\.`) });
    await s.drag(screen, -250, 0, { fromX: 0.85 });
    await question(1).waitFor();
    await startPage.waitFor({ state: 'detached' });
    await s.save('02-question');
    await s.drag(screen, -250, 0, { fromX: 0.85 });
    await question(2).waitFor();
    await s.drag(screen, 250, 0, { fromX: 0.15 });
    await question(1).waitFor();
    await s.drag(screen, 250, 0, { fromX: 0.15 });
    await startPage.waitFor();
    await s.tapButton('Done');
    await s.button('Memorize').waitFor();
  });
});

describe('studying a batch', () => {
  let s;
  before(async () => {
    s = await startInTutorial('study');
  });
  after(() => s?.close());

  test('a batch of the tutorial is studied easy, unsure and hard up to its summary', async () => {
    await s.tapButton('Memorize');
    await s.button('Easy').waitFor();
    await s.save('01-study');
    for (const rating of ['Easy', 'Unsure', 'Hard']) await rate(s, rating);
    // Hard and unsure cards come back later in the batch; easy takes each on.
    for (let ratings = 3; ; ratings++) {
      assert.ok(ratings < 20, 'the batch ends in a summary');
      await s.page.locator(ratingOrSummary).last().waitFor();
      if (await s.button('Start Over').count()) break;
      await rate(s, 'Easy');
    }
    await s.text(/You memorized eight cards/).waitFor();
    await s.save('02-study-summary');
    await s.tapButton('Done');
    await s.gone(s.button('Start Over'));
    // The card list marks the ratings: easy, unsure then easy, hard then easy.
    await s.row(/^✓, Welcome to Memorant!/).waitFor();
    await s.row(/^•✓, How do I see the answer\?/).waitFor();
    await s.row(/^✗✓, How do I rate myself\?/).waitFor();
  });

  test("the card list's grouping switches by a tap on its segment", async () => {
    // The grouping control sits above the rows: the list is dragged down to it.
    await s.drag(s.row(/How do I rate myself\?/), 0, 300);
    const difficulty = s.find('radio', 'Difficulty');
    await s.tap(difficulty);
    await s.page.locator('[role="radio"][aria-label="Difficulty"][aria-checked="true"]').waitFor();
    await s.row(/^Difficult Cards/).waitFor();
    await s.save('03-card-list-by-difficulty');
    await s.tap(s.find('radio', 'None'));
    await s.row(/What is a deck\?/).waitFor();
  });

  test('after quitting, the file holds each rating with its direction in the card\'s history', async () => {
    await s.quit();
    const cards = s.decks()['Tutorial.flashcards'].cards;
    const history = (top) => cards.find((card) => card.top.includes(top));
    // Easy 1, unsure 3, hard 2, each in the direction studied (question first).
    assert.deepEqual(history('What is a deck?').forward, [1]);
    assert.deepEqual(history('How do I see the answer?').forward, [3, 1]);
    assert.deepEqual(history('How do I rate myself?').forward, [2, 1]);
    for (const card of cards) {
      assert.ok(card.forward.length > 0, `${card.top} was rated`);
      assert.deepEqual(card.reverse, [], `${card.top} was not studied answer first`);
    }
  });
});

describe('managing decks and settings', () => {
  let s;
  before(async () => {
    s = await startInLibrary('decks');
  });
  after(() => s?.close());

  test('decks are made with the new-deck dialog, renamed by their title and deleted', async () => {
    await s.tap(s.row(/^Tutorial/));
    await toCardList(s, 'Tutorial');
    await s.tap(s.find('textbox', 'Tutorial'));
    await s.page.locator('#typing:focus').waitFor();
    await s.page.keyboard.press('End');
    await s.page.keyboard.type(' Studied');
    await s.save('01-renaming');
    await s.page.keyboard.press('Enter');
    await s.tapButton('chevron.backward');
    await s.row(/^Tutorial Studied/).waitFor();

    for (const title of ['Spanish', 'Scratch']) {
      await s.tapButton('plus');
      await s.tapButton('Create Deck');
      await s.save(`02-new-deck-${title}`);
      await s.typeInto(s.find('textbox', 'Title'), title);
      await s.tapButton('Create');
      // The new deck opens, with its first empty card in the editor.
      await s.gone(s.find('textbox', 'Title'));
      await toCardList(s, title);
      await s.tapButton('chevron.backward');
      // The library row shows as soon as the deck is made: wait for the
      // card list to go before dragging it.
      await s.gone(s.find('textbox', title));
      await s.row(new RegExp(`^${title}`)).waitFor();
    }

    await s.drag(s.row(/^Scratch/), -200);
    await s.save('03-row-actions');
    await s.tapButton('Delete');
    await s.gone(s.row(/^Scratch/));
    await s.row(/^Spanish/).waitFor();
    await s.save('04-library-after');
  });

  test('after quitting, the files hold the new and the renamed deck, and not the deleted one', async () => {
    await s.quit();
    const decks = s.decks();
    assert.deepEqual(Object.keys(decks).sort(), ['Spanish.flashcards', 'Tutorial Studied.flashcards']);
    assert.equal(decks['Spanish.flashcards'].cards.length, 1);
    assert.equal(decks['Tutorial Studied.flashcards'].cards.length, 8);
  });
});

describe('settings', () => {
  let s;
  before(async () => {
    s = await startInLibrary('settings');
  });
  after(() => s?.close());

  test('settings, the user guide and the remote control open from the library', async () => {
    await s.tapButton('info.circle');
    await s.row(/^User Guide/).waitFor();
    await s.save('01-settings');
    await s.tap(s.row(/^User Guide/));
    await s.row(/^Getting Started/).waitFor();
    await s.save('02-user-guide');
    await s.tapButton('Settings');
    await s.tap(s.row(/^Remote Control/));
    await s.text('Phone Remote').waitFor();
    await s.save('03-remote-control');
  });
});
