// The seek bar's marks, names and times, from the timeline the program prints.
//   node timeline.test.js KAVLO_CAPTURE
'use strict';
const test = require('node:test');
const assert = require('node:assert');
const { execFileSync } = require('node:child_process');
const path = require('node:path');
const page = require(path.join(__dirname, '../../platform/web/page/timeline.js'));

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
