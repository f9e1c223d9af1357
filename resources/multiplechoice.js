// The page script of one multiple-choice question.
//
// The rows of the answers table carry "correct" for the right answers. A tap
// marks or unmarks a row ("marked"); after every change the selection goes to
// the native handler "studyViewController" as updateAnswersForQuestion with
// [whether the marked rows are exactly the correct ones, the marked indexes
// joined by ","]. MultipleChoicePage.checkAnswers() marks the outcome
// ("didCheck" on the body; "right", "missing", "wrong" on the rows), stops
// further changes and reports the final selection.
//
// A card with its own choices comes as the template element
// "predefined-answers": each element of class "__fC-mA" in it is a choice,
// right when it also has the class "correct". The rows are laid out from
// data-seed (0 keeps the written order, any other value shuffles with that
// seed) and rows of data-selected-indices (",1,3,") start marked; indexes
// always count in the written order.
(function () {
  'use strict';

  const table = document.getElementById('answers');
  const body = document.body;

  // A small seeded generator (mulberry32), so one seed gives one order.
  function randomFrom(seed) {
    let state = seed >>> 0;
    return function () {
      state = (state + 0x6d2b79f5) >>> 0;
      let t = state;
      t = Math.imul(t ^ (t >>> 15), t | 1);
      t ^= t + Math.imul(t ^ (t >>> 7), t | 61);
      return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
    };
  }

  function layOutPredefinedAnswers() {
    const template = document.getElementById('predefined-answers');
    if (!template) {
      return;
    }
    const seed = parseInt(template.getAttribute('data-seed') || '0', 10) || 0;
    const selected = (template.getAttribute('data-selected-indices') || '')
      .split(',')
      .filter((piece) => piece !== '')
      .map((piece) => parseInt(piece, 10));
    const holder = document.createElement('div');
    holder.innerHTML = template.textContent;
    const choices = Array.from(holder.querySelectorAll('.__fC-mA'));
    const order = choices.map((_, index) => index);
    if (seed !== 0) {
      const random = randomFrom(seed);
      for (let i = order.length - 1; i > 0; i--) {
        const j = Math.floor(random() * (i + 1));
        [order[i], order[j]] = [order[j], order[i]];
      }
    }
    order.forEach((index, position) => {
      const choice = choices[index];
      const row = document.createElement('tr');
      const classes = [];
      if (choice.classList.contains('correct')) classes.push('correct');
      if (selected.includes(index)) classes.push('marked');
      row.className = classes.join(' ');
      row.dataset.index = String(index);
      const indent = document.createElement('td');
      indent.className = 'indent';
      const letter = document.createElement('td');
      letter.textContent = String.fromCharCode(65 + (position % 26)) + '.';
      const cell = document.createElement('td');
      const editor = document.createElement('div');
      editor.className = 'editor break-word';
      editor.innerHTML = choice.innerHTML;
      cell.appendChild(editor);
      row.append(indent, letter, cell);
      table.appendChild(row);
    });
  }

  function rows() {
    return Array.from(table.querySelectorAll('tr'));
  }

  function indexOf(row) {
    return row.dataset.index !== undefined ? parseInt(row.dataset.index, 10) : rows().indexOf(row);
  }

  function selection() {
    const marked = rows()
      .filter((row) => row.classList.contains('marked'))
      .map(indexOf)
      .sort((a, b) => a - b);
    const correct = rows().every((row) => row.classList.contains('correct') === row.classList.contains('marked'));
    return [correct, marked.join(',')];
  }

  function report() {
    const [correct, indexes] = selection();
    if (window.nativeBridge) {
      window.nativeBridge.call('studyViewController', 'updateAnswersForQuestion', correct, indexes).catch(() => {});
    }
  }

  function checkAnswers() {
    body.classList.add('didCheck');
    for (const row of rows()) {
      const correct = row.classList.contains('correct');
      const marked = row.classList.contains('marked');
      row.classList.remove('right', 'missing', 'wrong');
      if (correct && marked) row.classList.add('right');
      if (correct && !marked) row.classList.add('missing');
      if (!correct && marked) row.classList.add('wrong');
    }
    report();
  }

  table.addEventListener('click', (event) => {
    if (body.classList.contains('didCheck')) {
      return;
    }
    const row = event.target.closest('tr');
    if (!row || !table.contains(row)) {
      return;
    }
    row.classList.toggle('marked');
    report();
  });

  layOutPredefinedAnswers();
  window.MultipleChoicePage = { checkAnswers: checkAnswers };
})();
