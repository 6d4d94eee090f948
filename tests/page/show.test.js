// The page's own logic: the seek bar's marks, names and times from the timeline the
// program prints, the picture's size and place on desktops and phones, taps, and what the
// page says when a run fails.
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

test('the picture: drawn at the screen\'s pixels, placed in the window, the controls in the safe area', () => {
  const sizes = [
    ['', 1280, 720, 2, [1440, 1080]], ['', 390, 844, 3, [1168, 876]], ['', 1024, 768, 1, [1024, 768]],
    ['', 320, 200, 1, [320, 240]], ['800x600', 390, 844, 3, [800, 600]], ['99999x5', 1, 1, 1, [99999, 5]],
    ['0x600', 1024, 768, 1, [1024, 768]], ['8OOx600', 1024, 768, 1, [1024, 768]],
  ];
  for (const [asked, w, h, ratio, size] of sizes)
    assert.deepStrictEqual(page.renderSize(asked, w, h, ratio), size, `${asked} ${w}x${h}@${ratio}`);
  const places = [
    // A wide window: bars at the sides.
    [1280, 720, [1440, 1080], [0, 0, 0], [160, 0, 960, 720], [160, 160, 0]],
    // A phone upright: the width, centred; the home indicator is in the bar below.
    [390, 844, [1168, 876], [0, 0, 34], [0, 275, 390, 293], [0, 0, 276]],
    // Sideways: the height; the notch is in the bars, the home indicator over the picture.
    [844, 390, [1168, 876], [47, 47, 21], [162, 0, 520, 390], [162, 162, 21]],
    // Insets wider than the bars push the controls in.
    [1000, 750, [800, 600], [30, 10, 0], [0, 0, 1000, 750], [30, 10, 0]],
  ];
  for (const [w, h, [pw, ph], [left, right, bottom], pictureBox, controlsBox] of places) {
    const place = page.fit(w, h, pw, ph, { left, right, bottom });
    assert.deepStrictEqual(Object.values(place.picture), pictureBox, `${w}x${h}`);
    assert.deepStrictEqual(Object.values(place.controls), controlsBox, `${w}x${h}`);
  }
});

test('taps: a second one in the same outer third soon after skips, the middle never does', () => {
  const picture = { x: 100, w: 300 };
  const none = { at: -Infinity, third: 0 };
  const cases = [
    [150, 1000, none, -1, false], [150, 1200, { at: 1000, third: -1 }, -1, true],
    [150, 1400, { at: 1000, third: -1 }, -1, false], [390, 1100, { at: 1000, third: 1 }, 1, true],
    [390, 1100, { at: 1000, third: -1 }, 1, false], [250, 1100, { at: 1000, third: 0 }, 0, false],
    [200, 1100, none, 0, false], [300, 1100, none, 0, false],
  ];
  for (const [x, at, last, third, skip] of cases)
    assert.deepStrictEqual(page.tapOn(x, picture, at, last), { third, skip }, `${x} at ${at}`);
});
