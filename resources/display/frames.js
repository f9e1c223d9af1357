// The app's web views in the browser display: each document a web view shows
// runs in a sandboxed frame laid over the picture where the web view is
// (clipped as the app clips it, transparent while the web view is hidden).
// The program sends the frames with each picture (the header's "webFrames";
// see platform/display/WebFrames.h); this page hands evaluations to the
// frames once their documents are parsed, and passes what the frames post
// (script messages, evaluation results, document events, pointer input) to
// the program, checked first: it must come from a frame of this page, be
// within the size bound, and pointer input must lie inside that frame.
//
// Each document is served from a host of its own below "localhost" (named
// by its path's capability), so that every frame is a site of its own: the
// browser runs it in a process of its own, and a page that never yields
// (while (true) {}) stops no other frame and not this page.
'use strict';

(() => {
  // A frame's message may carry a card's whole HTML with its images inline;
  // the program reads up to its socket's bound (WebFrames::kMaxMessageBytes
  // and the display's socket bound above it). A message over this one is
  // not sent: the program is told its size, and logs it.
  const maxMessageBytes = 3 * 1024 * 1024;
  const messagesPerSecond = 200;
  const tab = crypto.randomUUID ? crypto.randomUUID() : String(Math.random()).slice(2);
  const screen = document.getElementById('screen');
  const layer = document.createElement('div');
  layer.id = 'frames';
  Object.assign(layer.style, { position: 'absolute', inset: '0', pointerEvents: 'none', overflow: 'hidden' });
  screen.appendChild(layer);

  const frames = new Map(); // id -> entry
  let introduced = false;

  function send(message) {
    document.dispatchEvent(new CustomEvent('display-send', { detail: message }));
  }

  function sendFromFrame(entry, message) {
    const full = { type: 'web', tab, frame: entry.id, doc: entry.src, ...message };
    const text = JSON.stringify(full);
    if (text === undefined) return;
    const bytes = new TextEncoder().encode(text).length;
    if (bytes > maxMessageBytes) {
      console.warn(`A frame's message of ${bytes} bytes is over the bound; dropped`);
      send({ type: 'web', tab, frame: entry.id, doc: entry.src, kind: 'refused', message: String(message.kind), bytes });
      return;
    }
    send(full);
  }

  function place(node, rect) {
    node.style.left = `${rect.x}px`;
    node.style.top = `${rect.y}px`;
    node.style.width = `${rect.width}px`;
    node.style.height = `${rect.height}px`;
  }

  function makeEntry(state) {
    const box = document.createElement('div');
    Object.assign(box.style, { position: 'absolute', overflow: 'hidden' });
    const iframe = document.createElement('iframe');
    iframe.setAttribute('sandbox', 'allow-scripts');
    iframe.setAttribute('referrerpolicy', 'no-referrer');
    iframe.setAttribute('allow', '');
    iframe.setAttribute('title', 'page');
    Object.assign(iframe.style, { position: 'absolute', border: '0', background: 'transparent', colorScheme: 'normal' });
    box.appendChild(iframe);
    layer.appendChild(box);
    return { id: state.id, src: null, box, iframe, clip: null, visible: false, parsed: false, editing: false, sent: new Set(), budget: messagesPerSecond, since: performance.now() };
  }

  function updateEntry(entry, state) {
    if (entry.src !== state.src) {
      entry.src = state.src;
      entry.parsed = false;
      entry.editing = false;
      entry.sent = new Set();
      entry.sentHandlers = null;
      entry.iframe.src = `http://${state.src.split('/')[2]}.localhost:${location.port}${state.src}`;
    }
    entry.visible = state.visible;
    // A frame that goes from view keeps neither the editing nor the focus:
    // typing must not go on in a page nobody sees.
    if (!state.visible) {
      entry.editing = false;
      if (document.activeElement === entry.iframe) entry.iframe.blur();
    }
    entry.handlers = Array.isArray(state.handlers) ? state.handlers : [];
    // A shown frame lays its page out in the part of the web view that shows
    // (below the bars over it, as the web view's content insets do); a
    // hidden one keeps running (and laying out) at its full size, unseen.
    entry.clip = state.visible ? state.clip : { x: 0, y: 0, width: state.width, height: state.height };
    place(entry.box, entry.clip);
    place(entry.iframe, { x: 0, y: 0, width: entry.clip.width, height: entry.clip.height });
    entry.box.style.opacity = state.visible ? '1' : '0';
    entry.box.style.pointerEvents = state.visible ? 'auto' : 'none';
    entry.box.style.zIndex = state.visible ? '1' : '0';
    entry.iframe.dataset.visible = String(state.visible);
  }

  function deliver(entry, evaluations) {
    if (!entry.parsed) return;
    const handlers = JSON.stringify(entry.handlers);
    if (handlers !== entry.sentHandlers) {
      entry.sentHandlers = handlers;
      entry.iframe.contentWindow?.postMessage({ kind: 'handlers', names: entry.handlers }, '*');
    }
    for (const evaluation of evaluations) {
      if (evaluation.frame !== entry.id || entry.sent.has(evaluation.id)) continue;
      entry.sent.add(evaluation.id);
      entry.iframe.contentWindow?.postMessage({ kind: 'evaluate', id: evaluation.id, script: evaluation.script }, '*');
    }
  }

  let evaluations = [];
  function update(state) {
    if (!state) return;
    if (!introduced || !state.engine) {
      introduced = true;
      send({ type: 'web', tab, kind: 'hello' });
    }
    const shown = state.engine === tab ? state.frames : [];
    const ids = new Set(shown.map((frame) => frame.id));
    for (const [id, entry] of frames) {
      if (ids.has(id)) continue;
      entry.box.remove();
      frames.delete(id);
    }
    for (const frameState of shown) {
      let entry = frames.get(frameState.id);
      if (!entry) {
        entry = makeEntry(frameState);
        frames.set(frameState.id, entry);
      }
      updateEntry(entry, frameState);
    }
    evaluations = state.engine === tab ? state.evaluations : [];
    for (const entry of frames.values()) deliver(entry, evaluations);
  }

  function entryForSource(source) {
    for (const entry of frames.values()) if (entry.iframe.contentWindow === source) return entry;
    return null;
  }

  // Within its budget of messages a second, so that a page posting without
  // end cannot crowd out the user's input.
  function withinBudget(entry) {
    const now = performance.now();
    entry.budget = Math.min(messagesPerSecond, entry.budget + ((now - entry.since) * messagesPerSecond) / 1000);
    entry.since = now;
    if (entry.budget < 1) return false;
    entry.budget -= 1;
    return true;
  }

  window.addEventListener('message', (event) => {
    const entry = entryForSource(event.source);
    const data = event.data;
    if (!entry || !data || typeof data !== 'object' || !withinBudget(entry)) return;
    switch (data.kind) {
      case 'message':
        if (typeof data.name === 'string') sendFromFrame(entry, { kind: 'message', name: data.name, body: data.body ?? null });
        break;
      case 'result':
        if (!Number.isInteger(data.id) || !entry.sent.has(data.id)) return;
        if (typeof data.error === 'string')
          sendFromFrame(entry, { kind: 'result', id: data.id, error: data.error, ...(Number.isInteger(data.code) ? { code: data.code } : {}) });
        else sendFromFrame(entry, { kind: 'result', id: data.id, ...(data.value === undefined ? {} : { value: data.value }) });
        break;
      case 'editing':
        if (typeof data.editing !== 'boolean' || data.editing === entry.editing) return;
        entry.editing = data.editing;
        sendFromFrame(entry, { kind: 'editing', editing: data.editing });
        break;
      case 'pasteboard':
        if (typeof data.text === 'string') sendFromFrame(entry, { kind: 'pasteboard', text: data.text });
        break;
      case 'event':
        if (data.event !== 'DOMContentLoaded' && data.event !== 'load') return;
        if (data.event === 'DOMContentLoaded') {
          if (entry.parsed) return;
          entry.parsed = true;
          deliver(entry, evaluations);
        }
        sendFromFrame(entry, { kind: 'event', event: data.event });
        break;
      case 'pointer': {
        const phases = ['down', 'move', 'up', 'cancel'];
        if (!entry.visible || !phases.includes(data.phase) || !Number.isFinite(data.x) || !Number.isFinite(data.y)) return;
        const x = entry.clip.x + data.x;
        const y = entry.clip.y + data.y;
        const clip = entry.clip;
        if (x < clip.x || y < clip.y || x > clip.x + clip.width || y > clip.y + clip.height) return;
        send({ type: 'pointer', phase: data.phase, x, y, t: performance.now() });
        break;
      }
      default:
        break;
    }
  });

  // A tap on the screen outside a frame whose field is being edited (the
  // formatting toolbar above it) takes the browser's focus from the frame;
  // the field keeps its caret. Once the app has answered the tap, the focus
  // goes back to the frame if it still shows and edits and nothing else took
  // the focus (a text field of the app), so that typing goes on there.
  let resumeAfterTap = null;
  let tapAnswered = false;
  screen.addEventListener(
    'pointerdown',
    (event) => {
      resumeAfterTap = null;
      if (event.button !== 0 || event.target.tagName === 'IFRAME') return;
      for (const entry of frames.values()) if (entry.visible && entry.editing) resumeAfterTap = entry;
      tapAnswered = false;
    },
    { capture: true },
  );
  screen.addEventListener('pointerup', () => {
    tapAnswered = resumeAfterTap !== null;
  });
  function resumeEditing() {
    if (!tapAnswered) return;
    const entry = resumeAfterTap;
    resumeAfterTap = null;
    tapAnswered = false;
    const focused = document.activeElement;
    const elsewhere = focused && focused !== document.body && focused.parentNode?.id !== 'elements';
    if (entry && frames.get(entry.id) === entry && entry.visible && entry.editing && !elsewhere) entry.iframe.focus();
  }

  document.addEventListener('display-frame', (event) => {
    update(event.detail.webFrames);
    resumeEditing();
  });
})();
