// The browser side of the program's screen: draws the frames the program
// sends over the live connection on a canvas (a whole picture, or the
// rectangles that changed since the frame before), lays its accessible
// elements over the picture, and sends pointer, wheel and keyboard input back.
// The run's token comes from the address's fragment, so it never reaches a
// server log or a Referer.
'use strict';

(() => {
  const token = decodeURIComponent(location.hash.slice(1));
  const screen = document.getElementById('screen');
  const picture = document.getElementById('picture');
  const drawing = picture.getContext('2d');
  const elementsLayer = document.getElementById('elements');
  const typing = document.getElementById('typing');
  const status = document.getElementById('status');

  let socket = null;
  let size = { width: 390, height: 844 };
  let frames = 0;
  // The frames are drawn one after the other, in the order they came.
  let drawn = Promise.resolve();
  let pointerDown = false;
  let typedValue = '';
  let composing = false;
  // Texts of the input sent as edits that no frame has shown yet, oldest
  // first: a frame drawn before the app took them must not undo them.
  let unshownValues = [];

  function send(message) {
    if (socket && socket.readyState === WebSocket.OPEN) socket.send(JSON.stringify(message));
  }
  // Other parts of the page (frames.js) send through the same connection.
  document.addEventListener('display-send', (event) => send(event.detail));

  // A point of the page in the screen's points.
  function screenPoint(clientX, clientY) {
    const rect = screen.getBoundingClientRect();
    return {
      x: ((clientX - rect.left) * size.width) / rect.width,
      y: ((clientY - rect.top) * size.height) / rect.height,
    };
  }

  function placeAt(node, element) {
    node.style.left = `${element.x}px`;
    node.style.top = `${element.y}px`;
    node.style.width = `${element.width}px`;
    node.style.height = `${element.height}px`;
  }

  function nodeForElement(element, index) {
    let node;
    if (element.role === 'button') {
      node = document.createElement('button');
      node.type = 'button';
      if (element.checked !== undefined) node.setAttribute('aria-pressed', String(element.checked));
    } else if (element.role === 'text') {
      node = document.createElement('span');
    } else {
      node = document.createElement('div');
      node.setAttribute('role', element.role);
      node.tabIndex = 0;
      if (element.checked !== undefined) node.setAttribute('aria-checked', String(element.checked));
      if (element.value !== undefined) node.setAttribute('aria-valuetext', element.value);
    }
    if (element.role === 'text') node.textContent = element.name;
    else if (element.name) node.setAttribute('aria-label', element.name);
    if (element.disabled) node.setAttribute('aria-disabled', 'true');
    node.dataset.index = String(index);
    placeAt(node, element);
    return node;
  }

  // What each node of the layer shows, as its element's JSON: a node whose
  // element did not change between frames stays as it is, so that a pointer
  // on it, a screen reader's place and a click under way keep their target.
  let shownElements = [];

  function showElements(elements) {
    const focusedIndex = document.activeElement?.parentNode === elementsLayer ? document.activeElement.dataset.index : null;
    const texts = elements.map((element) => JSON.stringify(element));
    const nodes = Array.from(elementsLayer.children);
    texts.forEach((text, index) => {
      if (shownElements[index] === text && nodes[index]) return;
      const node = nodeForElement(elements[index], index);
      if (nodes[index]) nodes[index].replaceWith(node);
      else elementsLayer.appendChild(node);
    });
    for (const extra of nodes.slice(texts.length)) extra.remove();
    shownElements = texts;
    if (focusedIndex !== null && document.activeElement?.parentNode !== elementsLayer)
      elementsLayer.querySelector(`[data-index="${focusedIndex}"]`)?.focus();

    const field = elements.find((element) => element.role === 'textbox' && element.focused);
    if (!field) {
      typing.hidden = true;
      unshownValues = [];
      return;
    }
    typing.hidden = false;
    placeAt(typing, field);
    typing.setAttribute('aria-label', field.name);
    const shown = unshownValues.indexOf(field.value);
    if (shown >= 0) unshownValues = unshownValues.slice(shown + 1);
    else if (!composing && unshownValues.length === 0 && typing.value !== field.value) typing.value = field.value;
    typedValue = typing.value;
    if (document.activeElement !== typing) typing.focus();
  }

  // An update's copies, in order: each rectangle takes the pixels of the one
  // of its size at (fromX, fromY) as the picture stands (content that moved).
  function drawCopies(copies) {
    for (const copy of copies) {
      drawing.save();
      drawing.beginPath();
      drawing.rect(copy.x, copy.y, copy.width, copy.height);
      drawing.clip();
      drawing.globalCompositeOperation = 'copy';
      drawing.imageSmoothingEnabled = false;
      drawing.drawImage(picture, copy.fromX, copy.fromY, copy.width, copy.height, copy.x, copy.y, copy.width, copy.height);
      drawing.restore();
    }
  }

  // A frame's parts, each a PNG that replaces the pixels of its rectangle; a
  // full frame's parts tile the whole picture and give its size.
  async function drawParts(header, buffer, offset) {
    let start = offset;
    const images = await Promise.all(
      header.parts.map((part) => {
        const png = new Blob([new Uint8Array(buffer, start, part.bytes)], { type: 'image/png' });
        start += part.bytes;
        return createImageBitmap(png);
      }),
    );
    if (header.full) {
      const width = Math.max(...header.parts.map((part) => part.x + part.width));
      const height = Math.max(...header.parts.map((part) => part.y + part.height));
      if (picture.width !== width || picture.height !== height) {
        picture.width = width;
        picture.height = height;
      }
    }
    if (!header.full && header.copies) drawCopies(header.copies);
    header.parts.forEach((part, index) => {
      drawing.clearRect(part.x, part.y, part.width, part.height);
      drawing.drawImage(images[index], part.x, part.y);
      images[index].close();
    });
  }

  function showFrame(buffer) {
    const view = new DataView(buffer);
    const headerLength = view.getUint32(0);
    const header = JSON.parse(new TextDecoder().decode(new Uint8Array(buffer, 4, headerLength)));
    drawn = drawn
      .then(() => drawParts(header, buffer, 4 + headerLength))
      .then(() => {
        size = { width: header.width, height: header.height };
        screen.style.width = `${size.width}px`;
        screen.style.height = `${size.height}px`;
        showElements(header.elements);
        document.dispatchEvent(new CustomEvent('display-frame', { detail: header }));
        screen.dataset.frames = String(++frames);
      })
      .catch((error) => {
        // A picture that cannot be drawn: a new connection starts with a whole one.
        console.error('A frame could not be drawn', error);
        socket?.close();
      });
  }

  function connect() {
    if (!token) {
      status.textContent = 'This address lacks the token the program printed with it.';
      return;
    }
    socket = new WebSocket(`ws://${location.host}/socket?token=${encodeURIComponent(token)}`);
    socket.binaryType = 'arraybuffer';
    socket.onopen = () => {
      status.textContent = '';
    };
    socket.onmessage = (event) => {
      if (event.data instanceof ArrayBuffer) showFrame(event.data);
    };
    socket.onclose = () => {
      status.textContent = 'The program is not reachable; trying again…';
      socket = null;
      setTimeout(connect, 1000);
    };
  }

  function sendPointer(phase, event) {
    send({ type: 'pointer', phase, ...screenPoint(event.clientX, event.clientY), t: event.timeStamp });
  }

  screen.addEventListener('pointerdown', (event) => {
    if (event.target === typing || event.button !== 0) return;
    event.preventDefault();
    screen.setPointerCapture(event.pointerId);
    pointerDown = true;
    sendPointer('down', event);
  });
  screen.addEventListener('pointermove', (event) => {
    if (pointerDown) sendPointer('move', event);
  });
  screen.addEventListener('pointerup', (event) => {
    if (!pointerDown) return;
    pointerDown = false;
    sendPointer('up', event);
  });
  screen.addEventListener('pointercancel', (event) => {
    if (!pointerDown) return;
    pointerDown = false;
    sendPointer('cancel', event);
  });

  // An element activated from the keyboard (or a screen reader) taps its middle.
  elementsLayer.addEventListener('click', (event) => {
    if (event.detail !== 0 || event.target.parentNode !== elementsLayer) return;
    const rect = event.target.getBoundingClientRect();
    const at = { clientX: rect.left + rect.width / 2, clientY: rect.top + rect.height / 2, timeStamp: event.timeStamp };
    sendPointer('down', at);
    sendPointer('up', at);
  });

  screen.addEventListener(
    'wheel',
    (event) => {
      event.preventDefault();
      const unit = event.deltaMode === 1 ? 16 : event.deltaMode === 2 ? size.height : 1;
      send({ type: 'wheel', ...screenPoint(event.clientX, event.clientY), dx: event.deltaX * unit, dy: event.deltaY * unit });
    },
    { passive: false },
  );

  // Keys for a responder that takes key input without a text field.
  document.addEventListener('keydown', (event) => {
    if (event.target === typing || event.ctrlKey || event.metaKey || event.altKey) return;
    if (event.target.parentNode === elementsLayer && (event.key === 'Enter' || event.key === ' ')) return;
    if (event.key === 'Enter' || event.key === 'Backspace' || event.key.length === 1) {
      event.preventDefault();
      send({ type: 'key', key: event.key });
    }
  });

  // What the text input changed, as one replacement of a range (UTF-16 units).
  function sendEdit() {
    const before = typedValue;
    const after = typing.value;
    let start = 0;
    while (start < before.length && start < after.length && before[start] === after[start]) start++;
    let end = 0;
    while (
      end < before.length - start &&
      end < after.length - start &&
      before[before.length - 1 - end] === after[after.length - 1 - end]
    )
      end++;
    typedValue = after;
    if (before === after) return;
    unshownValues.push(after);
    send({ type: 'edit', location: start, length: before.length - start - end, text: after.slice(start, after.length - end) });
  }
  typing.addEventListener('compositionstart', () => {
    composing = true;
  });
  typing.addEventListener('compositionend', () => {
    composing = false;
    sendEdit();
  });
  typing.addEventListener('input', () => {
    if (!composing) sendEdit();
  });
  typing.addEventListener('keydown', (event) => {
    if (event.key === 'Enter' && !composing) {
      event.preventDefault();
      send({ type: 'key', key: 'Enter' });
    }
  });

  connect();
})();
