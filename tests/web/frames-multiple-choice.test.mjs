// A multiple-choice test played in its pages on the browser screen, end to
// end and only through the page: the choices are tapped inside each
// question's frame, the toolbar's Check marks them, the summary starts over
// with the wrong ones, and after quitting the project's own reader finds the
// test's ratings in the deck file.
import { describe, test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { startInTutorial } from './display-session.mjs';

// A card's side as plain text, to find a question's card in the file.
const plain = (html) => html.replace(/<[^>]*>/g, ' ').replace(/&nbsp;/g, ' ').replace(/\s+/g, ' ').trim();

describe('a multiple-choice test answered in its pages', () => {
  let s;
  before(async () => {
    s = await startInTutorial('mc-answers');
  });
  after(() => s?.close());

  // The question page shown: the last visible frame, once it is question n
  // (its number leads the page) and the page turn has ended.
  async function questionPage(n) {
    const shown = s.page.locator('#frames iframe[data-visible="true"]');
    await s.page.frameLocator('#frames iframe[data-visible="true"]').last()
      .locator('.question .number', { hasText: new RegExp(`^${n}\\.$`) }).waitFor();
    await s.settle();
    assert.equal(await shown.count(), 1, 'one question shows once the page has turned');
    return s.page.frameLocator('#frames iframe[data-visible="true"]').last();
  }

  // A finger dragged right to left past the middle turns to the next page:
  // question n, or the summary (resolves 'summary') after the last one.
  async function turnTo(n) {
    await s.drag(s.page.locator('#screen'), -250, 0, { fromX: 0.85 });
    const summary = s.button('Start Over').waitFor().then(() => 'summary');
    const next = s.page.frameLocator('#frames iframe[data-visible="true"]').last()
      .locator('.question .number', { hasText: new RegExp(`^${n}\\.$`) }).waitFor().then(() => 'question');
    return Promise.race([summary, next]);
  }

  // Taps the choices (all the right ones, or one wrong one) and Check; the
  // page marks the outcome. Returns the question's text.
  async function answer(page, rightly) {
    const rows = page.locator('#answers tr');
    await rows.first().waitFor();
    assert.ok((await rows.count()) >= 2, 'the question shows its choices');
    const choices = page.locator(rightly ? '#answers tr.correct' : '#answers tr:not(.correct)');
    const taps = rightly ? await choices.count() : 1;
    for (let i = 0; i < taps; i++) {
      await choices.nth(i).click();
      await page.locator('#answers tr.marked').nth(i).waitFor();
    }
    await s.tapButton('Check');
    await page.locator('body.didCheck').waitFor();
    if (rightly) assert.equal(await page.locator('#answers tr.marked.right').count(), taps);
    else assert.equal(await page.locator('#answers tr.marked.wrong').count(), 1);
    assert.equal(await page.locator('#answers tr.missing').count(), rightly ? 0 : await page.locator('#answers tr.correct').count());
    return page.locator('.question .editor').innerText();
  }

  const right = new Set();
  const wrong = new Set();

  test('choices tapped in the question pages are checked with the toolbar, up to the summary', async () => {
    await s.tapButton('Multiple Choice');
    await s.find('textbox', /MultipleChoiceQuestion/).waitFor();
    // Every other question answered wrongly.
    for (let n = 1; ; n++) {
      if ((await turnTo(n)) === 'summary') break;
      const page = await questionPage(n);
      const rightly = n % 2 === 1;
      (rightly ? right : wrong).add(plain(await answer(page, rightly)));
      if (n === 1) await s.save('01-checked');
    }
    assert.ok(right.size >= 1 && wrong.size >= 1, 'the test asked several questions');
    await s.settle();
    await s.save('02-summary');
  });

  test('the summary starts over with the wrong ones only', async () => {
    await s.tapButton('Wrong');
    await s.button('\u2713 Wrong').waitFor();
    await s.tapButton('Start Over');
    await s.find('textbox', /MultipleChoiceQuestion/).waitFor();
    // This time each is answered rightly.
    const again = new Set();
    for (let n = 1; ; n++) {
      if ((await turnTo(n)) === 'summary') break;
      again.add(plain(await answer(await questionPage(n), true)));
    }
    assert.deepEqual([...again].sort(), [...wrong].sort());
    await s.settle();
    await s.save('03-summary-again');
    await s.tapButton('Done');
    await s.button('Memorize').waitFor();
  });

  test('after quitting, the deck file holds the ratings of both runs', async () => {
    await s.quit();
    const cards = s.decks()['Tutorial.flashcards'].cards;
    const history = (question) => {
      const card = cards.find((c) => plain(c.top) === question);
      assert.ok(card, `the card of "${question}" is in the file`);
      return card.forward;
    };
    // Right first time: 1; wrong, then right when started over: 2, 1.
    for (const question of right) assert.deepEqual(history(question), [1], question);
    for (const question of wrong) assert.deepEqual(history(question), [2, 1], question);
  });
});
