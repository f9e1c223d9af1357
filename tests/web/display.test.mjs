// The program on its browser screen, end to end: the real Memorant binary on
// a fresh $MEMORANT_HOME, driven in headless Chromium only through its page,
// finding controls by their accessible names. Every screen visited is saved
// as a PNG in the output folder ($MEMORANT_E2E_OUTPUT).
import { test, after } from 'node:test';
import assert from 'node:assert/strict';
import { Session } from './display-session.mjs';

const session = new Session('first-run');
after(() => session.close());

test('a user answers the storage question, opens the tutorial and sees its cards, then quits', async () => {
  await session.start();
  const { page } = session;
  const later = session.button('Later');
  await later.waitFor();
  await assert.doesNotReject(session.button('Use iCloud').waitFor());
  await session.save('01-storage-question');
  await later.click();
  await later.waitFor({ state: 'detached' });

  const tutorial = session.row(/^Tutorial/);
  await tutorial.waitFor();
  await session.save('02-library');

  // Rows that move to make room for their editing controls reach the page as
  // copies of what it has; the picture it builds is the one a new page gets whole.
  await page.evaluate(() => {
    window.framesWithCopies = 0;
    document.addEventListener('display-frame', (event) => {
      if (event.detail.copies?.length) window.framesWithCopies += 1;
    });
  });
  await session.tapButton('Edit');
  await session.button('Done').waitFor();
  await session.settle();
  assert.ok(await page.evaluate(() => window.framesWithCopies) > 0, 'no frame moved the rows as copies');
  const fresh = await session.context.newPage();
  await fresh.goto(page.url());
  await fresh.getByRole('button', { name: 'Done', exact: true }).waitFor();
  const picture = (tab) => tab.locator('#picture').evaluate((canvas) => canvas.toDataURL());
  assert.equal(await picture(page), await picture(fresh), 'the updated picture differs from the whole one');
  await fresh.close();
  await session.tapButton('Done');
  await session.button('Edit').waitFor();
  await tutorial.click();

  await session.row(/What is a deck\?/).waitFor();
  await assert.doesNotReject(session.row(/How do I rate myself\?/).waitFor());
  await session.save('03-card-list');

  // A reload, and a second tab, show the current screen.
  await page.reload();
  await session.row(/How do I rate myself\?/).waitFor();
  const second = await session.context.newPage();
  await second.goto(page.url());
  await second.getByRole('row', { name: /What is a deck\?/ }).waitFor();
  await second.close();

  await session.quit();
});
