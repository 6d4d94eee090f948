// The page's own logic: the seek bar's marks, names and times from the timeline the
// program prints, and what the page says when a run fails.
//   node show.test.js KAVLO_CAPTURE
'use strict';
const test = require('node:test');
const assert = require('node:assert');
const { execFileSync } = require('node:child_process');
const path = require('node:path');
const page = require(path.join(__dirname, '../../platform/web/page/show.js'));

const timeline = JSON.parse(execFileSync(process.argv[2], ['--timeline'], { encoding: 'utf8' }));

test('one mark per effect window, cut at the show\'s end, overlapping main effects in two lanes', () => {
  const marks = page.marks(timeline);
  assert.strictEqual(marks.length, 11);
  assert.deepStrictEqual(marks.map((m) => m.lane), [0, 1, 0, 1, 0, 1, 0, 1, 0, 2, 2]);
  const last = marks[8];
  assert.deepStrictEqual([last.name, last.startMs, last.endMs], ['Ordan2', 155000, 172000]);
  assert.ok(Math.abs(last.left + last.width - 100) < 1e-9);
  for (const m of marks) assert.ok(m.left >= 0 && m.width > 0 && m.left + m.width <= 100 + 1e-9, m.name);
  // A window wholly past the end has no mark.
  const cut = page.marks({ lengthMs: 1000, effects: [{ name: 'late', startMs: 1000, endMs: 2000 }] });
  assert.deepStrictEqual(cut, []);
});

test('names at a time: the main effect that began last, then overlays', () => {
  const cases = [
    [0, 'Spiral'], [17500, 'Feedback + Hexagon'], [27000, 'Vortex'], [59999, 'Twister'],
    [65000, 'Twister + Greetings'], [100500, 'Torus'], [171999, 'Ordan2'], [172000, 'Ordan2'],
    [-40, 'Spiral'],
  ];
  for (const [ms, names] of cases) assert.strictEqual(page.namesAt(timeline, ms).join(' + '), names, String(ms));
});

test('times as m:ss and links to a moment', () => {
  const times = [[0, '0:00'], [999, '0:00'], [20000, '0:20'], [83000, '1:23'], [172000, '2:52'], [-5, '0:00']];
  for (const [ms, text] of times) assert.strictEqual(page.formatTime(ms), text, String(ms));
  assert.strictEqual(page.linkTo('http://h:8/k/?size=1x1&test-fps=5&t=5#x', 65432.9), 'http://h:8/k/?t=65432');
  assert.strictEqual(page.linkTo('https://h/index.html', 0), 'https://h/index.html?t=0');
});

test('a failed run says why: the program\'s last word and the part of the address it refused', () => {
  const usage = "Arguments the page passes to kavlo:";
  const cases = [
    [2, false, ["kavlo: bad argument '--start'", usage], '?t=172000',
      "The show cannot start: bad argument '--start' (t=172000 in the address)."],
    [2, false, ["kavlo: bad argument '--size'", usage], '?size=9x99999&t=5',
      "The show cannot start: bad argument '--size' (size=9x99999 in the address)."],
    // The page chose the size itself: nothing of the address to name.
    [2, false, ["kavlo: bad argument '--size'"], '', "The show cannot start: bad argument '--size'."],
    [1, true, ['kavlo: this browser offers no sound; the show plays without it', 'kavlo: out of memory'], '',
      'The show stopped: out of memory.'],
    [3, false, [usage, 'Error!: not a line of the program\'s own'], '?t=1',
      'The show cannot start: the program ended with status 3. Reload the page to try again.'],
  ];
  for (const [code, played, lines, search, text] of cases)
    assert.strictEqual(page.failureText(code, played, lines, new URLSearchParams(search)), text);
});
