// What reaches the running program from outside its page: requests without
// the run's token or from another site are refused with 403 and change
// nothing; malformed, huge and stale messages are ignored with a log line
// and the program keeps taking taps; a reload during a study session loses
// no rating. Screens are saved as "bad-input-*.png".
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { readFileSync, readdirSync } from 'node:fs';
import http from 'node:http';
import path from 'node:path';
import { startInTutorial } from './display-session.mjs';

let s;
before(async () => {
  s = await startInTutorial('bad-input');
});
after(() => s?.close());

// A live-connection request (a WebSocket upgrade) to the program; resolves
// with the HTTP status it answers with.
function upgrade(target, headers) {
  return new Promise((resolve, reject) => {
    const request = http.request({
      host: '127.0.0.1',
      port: s.port,
      path: target,
      headers: {
        Host: `127.0.0.1:${s.port}`,
        Connection: 'Upgrade',
        Upgrade: 'websocket',
        'Sec-WebSocket-Version': '13',
        'Sec-WebSocket-Key': 'dGhlIHNhbXBsZSBub25jZQ==',
        ...headers,
      },
    });
    request.on('upgrade', (response, socket) => {
      socket.destroy();
      resolve(response.statusCode);
    });
    request.on('response', (response) => {
      response.resume();
      resolve(response.statusCode);
    });
    request.on('error', reject);
    request.end();
  });
}

// The program's log (Library/Caches/<bundle>/Logs/Memorant.log).
function log() {
  const caches = path.join(s.home, 'Library', 'Caches');
  for (const bundle of readdirSync(caches)) {
    try {
      return readFileSync(path.join(caches, bundle, 'Logs', 'Memorant.log'), 'utf8');
    } catch {
      // not this folder
    }
  }
  return '';
}

test('a connection without the token, with a wrong one or from another site is refused with 403', async () => {
  const origin = `http://127.0.0.1:${s.port}`;
  const cases = [
    ['no token', '/socket', { Origin: origin }],
    ['a wrong token', '/socket?token=0123456789abcdef', { Origin: origin }],
    ['no origin', `/socket?token=${s.token}`, {}],
    ['a foreign origin', `/socket?token=${s.token}`, { Origin: 'http://example.com' }],
    ['a foreign host', `/socket?token=${s.token}`, { Origin: origin, Host: 'example.com' }],
  ];
  for (const [name, target, headers] of cases) assert.equal(await upgrade(target, headers), 403, name);
  // The run's own page still connects.
  assert.equal(await upgrade(`/socket?token=${s.token}`, { Origin: origin }), 101);
  // Nothing changed on the screen.
  await s.row(/What is a deck\?/).waitFor();
});

test('malformed, huge and stale messages are ignored with a log line and taps still work', async () => {
  await s.page.evaluate(
    (token) =>
      new Promise((resolve) => {
        const socket = new WebSocket(`ws://${location.host}/socket?token=${token}`);
        socket.onopen = () => {
          socket.send('{ not json');
          socket.send(JSON.stringify({ type: 'pointer', phase: 'sideways', x: 1, y: 1, t: 0 }));
          socket.send(JSON.stringify({ type: 'edit', location: 0, length: 0, text: 'for a field that is gone' }));
          socket.send('x'.repeat(4 * 1024 * 1024));
        };
        socket.onclose = () => resolve();
      }),
    s.token,
  );
  await s.tapButton('Memorize');
  await s.button('Easy').waitFor();
  await s.save('01-study-after-bad-messages');
  const lines = log();
  assert.match(lines, /ignored a message \(not JSON\)/);
  assert.match(lines, /ignored a message \(unknown pointer phase\)/);
  assert.match(lines, /ignored a message \(no text field is being edited\)/);
  assert.match(lines, /closed a connection that sent a message over/);
});

test('a reload in the middle of a study session loses no rating', async () => {
  const rate = async (rating) => {
    await s.tapButton(rating);
    await s.page.locator('button[aria-label="Easy"][aria-disabled="true"]').waitFor();
  };
  await rate('Easy');
  await s.page.reload();
  await s.button('Easy').waitFor();
  await rate('Hard');
  await s.page.reload();
  await s.button('Easy').waitFor();
  await s.quit();
  const cards = s.decks()['Tutorial.flashcards'].cards;
  assert.deepEqual(cards[0].forward, [1]);
  assert.deepEqual(cards[1].forward, [2]);
});
