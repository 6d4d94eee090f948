// Plays the web page in each engine (browser.mjs: Chromium, Firefox ESR, WebKitGTK) and
// checks it there: the show's frames at the contact-sheet times against kavlo-capture's;
// Web Audio running after the click, the music on the page's clock with the capture's
// syncs, the picture 4:3 and centred, full screen, Escape and the tracker's report; the
// on-screen controls; a phone's touch screen, both ways round; a reload with the network
// cut (the service worker); and a console free of exceptions and GL errors throughout.
// Chromium also plays it muted, with the player's keys, without Web Audio and where it
// cannot play (the page's messages).
//   node drive.mjs WEB_DIR REFERENCE_DIR OUT_DIR [ENGINE...] [PART...]
// ENGINE: chromium, firefox, webkit (all if none); PART: frames, music, controls, phone,
// offline, extras (all if none). The page is served from WEB_DIR on a free port of
// localhost; its timeline.json (the program's) gives the contact sheet's times and the
// effects' windows. REFERENCE_DIR holds at_MS.rgb (kavlo-capture's frames as raw RGB, top
// row first) and syncs.txt (kavlo-capture --syncs). What the page drew goes to
// OUT_DIR/ENGINE/ (web_MS.rgba, page.png, phone.png); the figures to OUT_DIR/figures.json.
import { mkdirSync, readFileSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';
import { kEngines, launch } from './browser.mjs';
import { Server } from './server.mjs';

const [webDir, referenceDir, outDir, ...picks] = process.argv.slice(2);
const kParts = ['frames', 'music', 'controls', 'phone', 'offline', 'extras'];
if (!webDir || !referenceDir || !outDir || picks.some((p) => !kEngines.includes(p) && !kParts.includes(p))) {
  console.error(`usage: node drive.mjs WEB_DIR REFERENCE_DIR OUT_DIR [${kEngines.join('|')}...] [${kParts.join('|')}...]`);
  process.exit(2);
}
const engines = picks.some((p) => kEngines.includes(p)) ? picks.filter((p) => kEngines.includes(p)) : kEngines;
const parts = new Set(picks.some((p) => kParts.includes(p)) ? picks.filter((p) => kParts.includes(p)) : kParts);

const timeline = JSON.parse(readFileSync(join(webDir, 'timeline.json'), 'utf8'));
const kTimes = timeline.contactSheetMs;
const kWidth = 800, kHeight = 600;
const kMinPsnr = 30;
const kMusicSeconds = 20, kConsoleSeconds = 30;
// The music's pace against the page's clock: a wrong sample rate is 8.8 % off.
const kDriftLimit = 0.05;

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));
const say = (text) => process.stderr.write('web test: ' + text + '\n');
let engine = '';
let passed = 0;
const failures = [];
function check(ok, text) {
  say(`${ok ? 'ok    ' : 'FAIL  '}[${engine}] ${text}`);
  if (ok) ++passed;
  else failures.push(`[${engine}] ${text}`);
}
async function checkClean(page, what) {
  const problems = await page.problems();
  check(problems.length === 0, `${what}: no exception or GL error in the console` +
    (problems.length ? ':\n  ' + problems.slice(0, 10).join('\n  ') : ''));
}

const server = new Server(webDir);
const url = await server.listen();

// Median and worst time to draw a frame, per main effect's window (figures, not checks).
function windowTimes(frameTimes) {
  return timeline.effects.filter((e) => !e.overlay).map(({ name, startMs: start, endMs: end }) => {
    const ms = frameTimes.filter(([t]) => t > start && t < end).map(([, w]) => w).sort((a, b) => a - b);
    if (!ms.length) return `${name}: no frames`;
    return `${name}: ${ms.length} frames, median ${ms[ms.length >> 1].toFixed(1)} ms, worst ${ms[ms.length - 1].toFixed(1)} ms`;
  });
}

function psnr(web, reference) {
  // The page's frame is RGBA with the bottom row first; the reference RGB, top row first.
  let sum = 0;
  for (let y = 0; y < kHeight; ++y) {
    const webRow = (kHeight - 1 - y) * kWidth * 4, refRow = y * kWidth * 3;
    for (let x = 0; x < kWidth; ++x) {
      for (let c = 0; c < 3; ++c) {
        const d = web[webRow + x * 4 + c] - reference[refRow + x * 3 + c];
        sum += d * d;
      }
    }
  }
  const mse = sum / (kWidth * kHeight * 3);
  return mse === 0 ? Infinity : 10 * Math.log10(255 * 255 / mse);
}

// Opens the page with `query`, waits for the program and clicks (or taps) the picture.
// Returns how long the click took to the first frame and the program to load (ms).
async function startShow(page, query, what, loadSeconds = 180) {
  await page.goto(url + query);
  check(await page.waitFor('window.kavlo && window.kavlo.readyAt != null', loadSeconds),
    `${what}the program loads and waits for the ${page.touch ? 'tap' : 'click'}`);
  await page.clickOn('#stage');
  check(await page.waitFor('window.kavlo.firstFrameAt !== null', 60), `${what}the show starts on the ${page.touch ? 'tap' : 'click'}`);
  return page.evaluate(`({
    clickToFrame: window.kavlo.firstFrameAt - window.kavlo.clickAt,
    loading: window.kavlo.readyAt - window.kavlo.mainAt,
    pageToReady: window.kavlo.readyAt,
  })`);
}

// --- Frames -------------------------------------------------------------------------
// The page's i-th frame; its pixels come over as base64 text, which every engine's
// protocol carries.
async function pageFrame(page, i) {
  const frame = await page.evaluate(`(() => {
    const f = window.kavlo.frames[${i}];
    let text = '';
    for (let at = 0; at < f.rgba.length; at += 0x8000)
      text += String.fromCharCode.apply(null, f.rgba.subarray(at, at + 0x8000));
    return { timeMs: f.timeMs, width: f.width, height: f.height, data: btoa(text) };
  })()`);
  return Object.assign(frame, { pixels: Buffer.from(frame.data, 'base64') });
}

// The show at the contact-sheet times on a test clock of 5 frames a second, as the
// capture renders them.
async function checkFrames(page, dir) {
  await startShow(page, `?size=${kWidth}x${kHeight}&test-fps=5&check-gl&at=${kTimes.join(',')}`, 'frames: ');
  // A progress line now and then: the test clock runs at the software renderer's pace.
  let ended = false;
  for (let waited = 0; !ended && waited < 900; waited += 30) {
    ended = await page.waitFor('window.kavlo.exitCode !== null', 30);
    const at = await page.evaluate('(window.kavlo.frameTimes.slice(-1)[0] || [0])[0]');
    if (!ended) say(`      ... the test clock at ${(at / 1000).toFixed(1)} s of the show`);
  }
  check(ended, 'the test clock plays the show to its last wanted frame');
  const count = await page.evaluate('window.kavlo.frames.length');
  check(count === kTimes.length, `the page handed out ${count} of ${kTimes.length} frames`);
  const psnrs = [];
  for (let i = 0; i < count; ++i) {
    const frame = await pageFrame(page, i), pixels = frame.pixels;
    writeFileSync(join(dir, `web_${frame.timeMs}.rgba`), pixels);
    const reference = readFileSync(join(referenceDir, `at_${frame.timeMs}.rgb`));
    const db = frame.width === kWidth && frame.height === kHeight ? psnr(pixels, reference) : 0;
    psnrs.push([frame.timeMs, Number(db.toFixed(1))]);
    check(db >= kMinPsnr, `frame at ${frame.timeMs} ms: PSNR ${db.toFixed(1)} dB against kavlo-capture (at least ${kMinPsnr})`);
  }
  await checkClean(page, 'frames on the test clock');
  return { psnr: psnrs, frameTimes: windowTimes(await page.evaluate('window.kavlo.frameTimes')) };
}

// --- Real time ------------------------------------------------------------------------
// The picture as large as the window allows, 4:3, centred; `sharp`: drawn at as many
// pixels as it covers on the screen (where the page picks its size, which it rounds down
// to a multiple of 6 rows).
async function checkLayout(page, what, sharp) {
  const box = await page.evaluate(`(() => {
    const c = document.getElementById('canvas'), r = c.getBoundingClientRect();
    return { x: r.x, y: r.y, w: r.width, h: r.height, cw: c.width, ch: c.height,
      iw: innerWidth, ih: innerHeight, ratio: devicePixelRatio };
  })()`);
  const h = Math.min(box.ih, box.iw * 3 / 4), w = h * 4 / 3;
  const near = (a, b) => Math.abs(a - b) <= 1;
  check(near(box.w, w) && near(box.h, h) && near(box.x, (box.iw - w) / 2) && near(box.y, (box.ih - h) / 2) &&
    box.cw * 3 === box.ch * 4 && (!sharp || box.ch > Math.min(1080, box.h * box.ratio) - 6),
    `${what}the picture fills the ${box.iw}x${box.ih} window at ${box.ratio}x, 4:3, centred ` +
    `(${[box.x, box.y, box.w, box.h].map(Math.round).join(' ')}, ${box.cw}x${box.ch} pixels)`);
}

// Full screen by the page's button, and back by F11.
async function checkFullscreen(page) {
  await page.clickOn('#fullscreen');
  const full = await page.waitFor('document.fullscreenElement === document.getElementById("stage")', 10);
  await page.key('F11');
  const back = await page.waitFor('document.fullscreenElement === null', 10);
  check(full && back, 'the button puts the page in full screen, F11 takes it out');
}

// The page's clock, the music's and the AudioContexts' states once a second for
// `seconds`; the page as a viewer sees it goes to `shot` at 24 s.
async function sampleShow(page, seconds, shot) {
  const samples = [];
  for (;;) {
    const s = await page.evaluate(`({
      clock: performance.now() - window.kavlo.firstFrameAt,
      music: window.kavlo.module._kavlo_music_ms(),
      audio: window.kavlo.audio.map((a) => a.state).join(','),
    })`);
    samples.push(s);
    if (s.clock >= seconds * 1000) return samples;
    if (shot && s.clock >= 24000) {
      writeFileSync(shot, await page.screenshot());
      shot = null;
    }
    await sleep(1000);
  }
}

// Web Audio running (or no context when muted), the music at the page's clock and the
// syncs of its first 20 s those of kavlo-capture.
async function checkMusic(page, samples, muted, what) {
  // An engine may take a second or two to open its output (Firefox through a sound server).
  const states = samples.filter((s) => s.clock > 5000).map((s) => s.audio);
  if (muted) check(states.every((a) => a === ''), 'muted: no AudioContext is made');
  else check(states.every((a) => a.split(',').includes('running')), `the AudioContext runs from 5 s on (${states.slice(-1)[0]})`);
  // Its pace over each 5 s from 5 s in (past the first picture and the output's first
  // fill); the median, so that a stall of sound starved on a busy machine does not count.
  const paces = [];
  for (const from of samples.filter((s) => s.clock >= 5000)) {
    const to = samples.find((s) => s.clock >= from.clock + 5000);
    if (to) paces.push((to.music - from.music) / (to.clock - from.clock));
  }
  const pace = paces.sort((a, b) => a - b)[paces.length >> 1];
  check(Math.abs(pace - 1) <= kDriftLimit, `${what}the music keeps to the page's clock: ${(pace * 100).toFixed(1)} % ` +
    `of its pace (the median of ${paces.length} spans of 5 s; at most ${kDriftLimit * 100} % off)`);
  const expected = readFileSync(join(referenceDir, 'syncs.txt'), 'utf8').split('\n').filter(Boolean)
    .map(Number).filter((ms) => ms <= kMusicSeconds * 1000);
  const delivered = (await page.evaluate('window.kavlo.syncs')).filter((ms) => ms <= kMusicSeconds * 1000);
  const same = delivered.length === expected.length && delivered.every((ms, i) => Math.abs(ms - expected[i]) <= 1);
  check(same, `${what}the syncs of the first ${kMusicSeconds} s: ${delivered.length} delivered, ` +
    `${expected.length} listed by kavlo-capture --syncs` +
    (same ? '' : `\n  delivered ${delivered.map(Math.round).join(' ')}\n  listed    ${expected.join(' ')}`));
  return { syncs: delivered.length, samples };
}

// Escape ends the show with the tracker's report in the console and the offer to play
// again; `runs` 2 plays it again first.
async function checkEscape(page, runs, what) {
  for (let run = 1; run <= runs; ++run) {
    if (run === 2) {
      await page.clickOn('#stage');
      check(await page.waitFor('window.kavlo.firstFrameAt !== null', 60), what + 'a click plays the show again');
    }
    await page.key('Escape');
    check(await page.waitFor('window.kavlo.exitCode !== null', 30), what + 'Escape ends the show');
    const exitCode = await page.evaluate('window.kavlo.exitCode');
    const report = await page.evaluate('window.kavlo.report || ""');
    await page.drain();
    const logged = page.console.filter((c) => c.text.includes('memleaks.log')).length === run;
    check(exitCode === 0 && logged && report.includes('No memory leaks found'),
      `${what}the show ends with status ${exitCode} and the tracker's report in the console`);
    check(await page.evaluate('document.getElementById("play").textContent === "Play again"'),
      what + 'the page offers to play again');
  }
}

// Real time with sound in a wide window on a high-density screen (where the engine can
// set one), or muted (the silent output, paced by the page's timer) and played twice.
async function checkRealTime(page, dir, muted) {
  const what = muted ? 'muted: ' : '';
  if (!muted) await page.viewport(1280, 720, page.engine === 'webkit' ? 1 : 2);
  const figures = await startShow(page, muted ? '?check-gl&mute&size=640x480' : '?check-gl', what);
  if (!muted) {
    await checkLayout(page, what, true);
    await checkFullscreen(page);
  }
  const samples = await sampleShow(page, muted ? kMusicSeconds + 1 : kConsoleSeconds, muted ? null : join(dir, 'page.png'));
  Object.assign(figures, await checkMusic(page, samples, muted, what));
  await checkEscape(page, muted ? 2 : 1, what);
  await checkClean(page, `${what}${samples.length} s of the show and its end`);
  if (!muted) await page.viewport(1024, 768);
  return figures;
}

// --- The controls ---------------------------------------------------------------------
const kShowTime = 'window.kavlo.showTime()';

// The controls shown: by moving the mouse over the picture, or by a tap on a phone.
async function showControls(page) {
  if (await page.evaluate('document.getElementById("controls").dataset.shown === "true"')) return true;
  const [x, y] = await page.evaluate('(r => [r.x + r.width / 2, r.y + r.height / 3])(document.getElementById("stage").getBoundingClientRect())');
  if (page.touch) await page.click(x, y);
  else await page.hover(x, y);
  return page.waitFor('document.getElementById("controls").dataset.shown === "true"', 5);
}

// Pause holds the picture and the music, Play goes on, the slider moves the show, the
// time reads m:ss / 2:52.
async function checkControls(page) {
  await startShow(page, '?check-gl&mute&size=640x480', 'controls: ');
  await page.waitFor(`${kShowTime} > 2000`, 30);
  check(await showControls(page), 'controls: moving the mouse over the picture shows the controls');
  await page.clickOn('#playpause');
  const paused = await page.waitFor('document.getElementById("playpause").getAttribute("aria-label") === "Play"', 5);
  await sleep(300);
  const held = [await page.evaluate(kShowTime), await page.screenshot()];
  await sleep(1500);
  const still = [await page.evaluate(kShowTime), await page.screenshot()];
  check(paused && held[0] === still[0] && held[1].equals(still[1]),
    `controls: Pause holds the picture and the show (${held[0]} ms, then ${still[0]} ms)`);
  await page.clickOn('#playpause');
  const playing = await page.waitFor('document.getElementById("playpause").getAttribute("aria-label") === "Pause"', 5) &&
    await page.waitFor(`${kShowTime} > ${still[0] + 500}`, 10);
  check(playing, 'controls: Play plays the show on');
  // A click on the slider 100 s along its track; the thumb's half width is the error.
  await showControls(page);
  const want = 100000;
  const [x, y, max] = await page.evaluate(`(() => {
    const s = document.getElementById('seek'), r = s.getBoundingClientRect();
    return [r.x + r.width * ${want} / Number(s.max), r.y + r.height / 2, Number(s.max)];
  })()`);
  await page.click(x, y);
  const moved = await page.waitFor(`Math.abs(${kShowTime} - ${want}) < 6000`, 10);
  const at = await page.evaluate(kShowTime);
  const text = await page.evaluate('document.getElementById("time").textContent');
  check(max === timeline.lengthMs && moved, `controls: a click on the slider moves the show to ${(at / 1000).toFixed(1)} s (${want / 1000} s asked)`);
  check(/^\d:\d\d \/ 2:52$/.test(text), `controls: the time reads "${text}"`);
  await checkClean(page, 'controls');
}

// --- A phone --------------------------------------------------------------------------
// Touch only, 390x844 at 3x: a tap starts the show with sound, the picture fills the
// width in portrait (at the screen's pixels) and the height in landscape, a tap shows the
// controls and their button pauses, a double tap on the right third goes 5 s on without
// zooming the page.
async function checkPhone(page, dir) {
  await page.viewport(390, 844, 3);
  const figures = await startShow(page, '?check-gl', 'phone: ');
  check(await page.evaluate('navigator.maxTouchPoints > 0 && matchMedia("(pointer: coarse)").matches'),
    'phone: the page sees a touch screen');
  check(await page.waitFor('window.kavlo.audio.some((a) => a.state === "running")', 10),
    'phone: the tap starts the sound');
  await checkLayout(page, 'phone, portrait: ', true);
  writeFileSync(join(dir, 'phone.png'), await page.screenshot());
  await page.viewport(844, 390, 3);
  await sleep(500);
  await checkLayout(page, 'phone, landscape: ');
  await page.viewport(390, 844, 3);
  check(await showControls(page), 'phone: a tap on the picture shows the controls');
  await page.clickOn('#playpause');
  check(await page.waitFor('document.getElementById("playpause").getAttribute("aria-label") === "Play"', 5),
    'phone: a tap on Pause pauses');
  const before = await page.evaluate(kShowTime);
  const [x, y] = await page.evaluate('(r => [r.x + r.width * 5 / 6, r.y + r.height / 2])(document.getElementById("stage").getBoundingClientRect())');
  await page.click(x, y, 2);
  await sleep(500);
  const after = await page.evaluate(kShowTime);
  const scale = await page.evaluate('window.visualViewport ? visualViewport.scale : 1');
  check(Math.abs(after - before - 5000) < 100 && scale === 1,
    `phone: a double tap on the right third goes 5 s on (${before} ms to ${after} ms), the page unzoomed (${scale})`);
  await checkClean(page, 'phone');
  return figures;
}

// --- Offline --------------------------------------------------------------------------
// The first visit leaves the build with the service worker; with the server gone, a
// reload still loads and plays.
async function checkOffline(page) {
  await page.goto(url + '?mute&size=320x240');
  check(await page.waitFor('window.kavlo && window.kavlo.offlineReady === true', 120),
    'offline: the service worker holds the build after the first visit');
  await server.cut();
  try {
    await startShow(page, '?mute&size=320x240', 'offline: ', 60);
    check(await page.waitFor('window.kavlo.module._kavlo_music_ms() > 2000', 30) &&
      await page.evaluate('navigator.serviceWorker.controller !== null'),
    'offline: with the network cut, the reloaded page plays from the service worker');
  } finally {
    await server.restore();
  }
  await checkClean(page, 'offline');
}

// --- Chromium alone ---------------------------------------------------------------------
// The player: ?t=MS starts there, Space holds the music (no syncs) and plays it on.
async function checkPlayer(page) {
  await startShow(page, '?mute&size=320x240&t=50000', 'player: ');
  check(await page.waitFor('window.kavlo.syncs.length >= 2', 30), 'player: syncs arrive after ?t=50000');
  const first = (await page.evaluate('window.kavlo.syncs'))[0];
  check(first >= 50000 && first < 52000, `player: the first sync is the one after 50 s (${first})`);
  await page.key(' ');
  await sleep(700);
  const paused = await page.evaluate('window.kavlo.syncs.length');
  await sleep(2000);
  const still = await page.evaluate('window.kavlo.syncs.length');
  await page.key(' ');
  await sleep(2000);
  const resumed = await page.evaluate('window.kavlo.syncs.length');
  check(still === paused && resumed > still,
    `player: Space pauses the music and plays it on (syncs ${paused}, ${still} paused, ${resumed} after)`);
  await checkClean(page, 'player');
}

// A browser without Web Audio plays the show silently, its music still running.
async function checkNoWebAudio(page) {
  await page.goto(`${url}?size=320x240`, { before: 'delete window.AudioContext; delete window.webkitAudioContext;' });
  const ready = await page.waitFor('window.kavlo && window.kavlo.readyAt != null', 180);
  await page.clickOn('#stage');
  const plays = ready && await page.waitFor('window.kavlo.module._kavlo_music_ms() > 2000', 60);
  check(plays && (await page.problems()).length === 0, 'without Web Audio the show plays, its music silent');
}

// What the page says when it cannot play: a failed download, a browser without WebGL 2.
// First in a new profile: a service worker would have kept the file.
async function checkMessages(page) {
  const cases = [
    ['when kavlo.wasm cannot be had', '', 'kavlo.wasm.gz', /Loading failed: kavlo\.wasm\S*: HTTP 404/],
    ['without WebGL 2', 'HTMLCanvasElement.prototype.getContext = function () { return null; };', null, /no WebGL 2/],
  ];
  for (const [name, before, missing, expected] of cases) {
    server.missing = missing;
    await page.goto(url, { before });
    const shown = await page.waitFor('(m => !!m && !m.hidden)(document.getElementById("message"))', 60);
    const text = await page.evaluate('document.getElementById("message").textContent');
    check(shown && expected.test(text), `the page says so ${name} ("${text}")`);
    server.missing = null;
  }
}

// --- Each engine --------------------------------------------------------------------------
// `body(page)` in a new browser of the engine, closed after it; a browser that does not
// start, or a check that throws, is a failure that lets the rest run.
async function withBrowser(options, body) {
  let page;
  try {
    page = await launch(engine, options);
    return await body(page);
  } catch (e) {
    check(false, 'the checks ran to their end: ' + e.message);
  } finally {
    if (page) await page.close();
  }
}

async function runEngine(dir) {
  const figures = {};
  if (parts.has('frames') || parts.has('music') || parts.has('controls')) {
    await withBrowser({}, async (page) => {
      if (parts.has('frames')) figures.frames = await checkFrames(page, dir);
      if (parts.has('music')) figures.music = await checkRealTime(page, dir, false);
      if (parts.has('controls')) await checkControls(page);
    });
  }
  if (parts.has('phone')) {
    if (engine === 'webkit') say(`skip  [${engine}] phone: WebKitGTK's WebDriver has no touch input (its touch actions arrive as a mouse)`);
    else figures.phone = await withBrowser({ touch: true }, (page) => checkPhone(page, dir));
  }
  if (parts.has('offline')) await withBrowser({}, checkOffline);
  if (parts.has('extras') && engine === 'chromium') {
    await withBrowser({}, async (page) => {
      await checkMessages(page);
      await checkNoWebAudio(page);
      await checkPlayer(page);
      figures.muted = await checkRealTime(page, dir, true);
    });
  }
  return figures;
}

const figures = {};
for (engine of engines) {
  const dir = join(outDir, engine);
  mkdirSync(dir, { recursive: true });
  const started = Date.now();
  figures[engine] = await runEngine(dir);
  figures[engine].seconds = Math.round((Date.now() - started) / 1000);
}
await server.close();
writeFileSync(join(outDir, 'figures.json'), JSON.stringify(figures, null, 1));

for (const [name, f] of Object.entries(figures)) {
  const line = [`${f.seconds} s`];
  if (f.frames && f.frames.psnr.length) {
    const db = f.frames.psnr.map(([, d]) => d);
    line.push(`PSNR min ${Math.min(...db).toFixed(1)} dB, mean ${(db.reduce((a, b) => a + b) / db.length).toFixed(1)} dB`);
  }
  for (const [what, m] of [['', f.music], ['phone ', f.phone], ['muted ', f.muted]]) {
    if (m) line.push(`${what}click to first frame ${m.clickToFrame.toFixed(0)} ms, loads in ${m.loading.toFixed(0)} ms`);
  }
  say(`figures [${name}]: ${line.join('; ')}`);
  if (f.frames) say(`figures [${name}]: PSNR per frame ${f.frames.psnr.map(([t, d]) => `${t}:${d}`).join(' ')}`);
  if (f.frames) say(`figures [${name}]: frame times at 800x600 on the test clock:\n  ` + f.frames.frameTimes.join('\n  '));
}
console.log(`web: ${passed} passed, ${failures.length} failed`);
if (failures.length) say('failed:\n  ' + failures.join('\n  '));
process.exit(failures.length ? 1 : 0);
