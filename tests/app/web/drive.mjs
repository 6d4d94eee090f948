// Plays the web page in headless Chromium over the DevTools protocol (a pipe, no
// packages) and checks it: the show's frames at the contact-sheet times against
// kavlo-capture's, the music against the page's clock and the capture's syncs, and a
// console free of exceptions and GL errors; then Escape and the tracker's report.
//   node drive.mjs URL REFERENCE_DIR OUT_DIR [frames|music|muted|player|messages]   (one part)
// REFERENCE_DIR holds at_MS.rgb (kavlo-capture's frames as raw RGB, top row first) and
// syncs.txt (kavlo-capture --syncs). Frames the page drew go to OUT_DIR/web_MS.rgba.
import { spawn } from 'node:child_process';
import { mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';

const [url, referenceDir, outDir, only] = process.argv.slice(2);
if (!url || !referenceDir || !outDir) {
  console.error('usage: node drive.mjs URL REFERENCE_DIR OUT_DIR');
  process.exit(2);
}
const kTimes = [3000, 10000, 22000, 35000, 50000, 65000, 85000, 107000, 125000, 148000, 158000, 168000];
const kWidth = 800, kHeight = 600;
const kMinPsnr = 30;
const kMusicSeconds = 20, kConsoleSeconds = 30;
const kDriftLimit = 0.02;

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));
const say = (text) => process.stderr.write('web test: ' + text + '\n');
const failures = [];
function check(ok, text) {
  say((ok ? 'ok    ' : 'FAIL  ') + text);
  if (!ok) failures.push(text);
}

// --- Chromium over --remote-debugging-pipe: JSON messages, each ended by a NUL -------
class Browser {
  constructor() {
    this.profile = mkdtempSync(join(tmpdir(), 'kavlo-chromium-'));
    this.child = spawn('chromium', [
      '--headless=new', '--no-sandbox', '--use-angle=swiftshader', '--enable-unsafe-swiftshader',
      '--autoplay-policy=no-user-gesture-required', '--disable-background-networking',
      '--disable-component-update', '--disable-sync', '--no-first-run',
      '--disable-background-timer-throttling', '--disable-renderer-backgrounding',
      `--user-data-dir=${this.profile}`, '--window-size=1024,768',
      '--remote-debugging-pipe', 'about:blank',
    ], { stdio: ['ignore', 'ignore', 'pipe', 'pipe', 'pipe'] });
    this.child.stderr.on('data', () => {});
    this.nextId = 1;
    this.pending = new Map();
    this.listeners = [];
    let buffer = '';
    this.child.stdio[4].on('data', (data) => {
      buffer += data.toString('utf8');
      let end;
      while ((end = buffer.indexOf('\0')) >= 0) {
        const message = JSON.parse(buffer.slice(0, end));
        buffer = buffer.slice(end + 1);
        if (message.id && this.pending.has(message.id)) {
          const { resolve, reject } = this.pending.get(message.id);
          this.pending.delete(message.id);
          if (message.error) reject(new Error(message.error.message));
          else resolve(message.result);
        } else if (message.method) {
          for (const listener of this.listeners) listener(message);
        }
      }
    });
    this.exited = new Promise((resolve) => this.child.on('exit', resolve));
  }

  send(method, params = {}, sessionId = undefined) {
    const id = this.nextId++;
    const message = { id, method, params };
    if (sessionId) message.sessionId = sessionId;
    this.child.stdio[3].write(JSON.stringify(message) + '\0');
    return new Promise((resolve, reject) => this.pending.set(id, { resolve, reject }));
  }

  async close() {
    try {
      await Promise.race([this.send('Browser.close'), sleep(5000)]);
    } catch (e) { /* already gone */ }
    await Promise.race([this.exited, sleep(5000)]);
    if (this.child.exitCode === null) this.child.kill('SIGKILL');
    rmSync(this.profile, { recursive: true, force: true });
  }
}

// One tab with the page, its console and exceptions collected.
class Tab {
  static async open(browser, pageUrl, width = 1024, height = 768, scale = 1) {
    const tab = new Tab();
    tab.browser = browser;
    tab.console = [];
    tab.exceptions = [];
    const { targetId } = await browser.send('Target.createTarget', { url: 'about:blank' });
    const { sessionId } = await browser.send('Target.attachToTarget', { targetId, flatten: true });
    tab.session = sessionId;
    browser.listeners.push((m) => {
      if (m.sessionId !== sessionId) return;
      if (m.method === 'Runtime.consoleAPICalled') {
        const text = m.params.args.map((a) => (a.value !== undefined ? String(a.value) : a.description || '')).join(' ');
        tab.console.push({ level: m.params.type, text });
      } else if (m.method === 'Log.entryAdded') {
        tab.console.push({ level: m.params.entry.level, text: m.params.entry.text });
      } else if (m.method === 'Runtime.exceptionThrown') {
        const d = m.params.exceptionDetails;
        tab.exceptions.push((d.exception && d.exception.description) || d.text);
      }
    });
    await tab.send('Runtime.enable');
    await tab.send('Log.enable');
    await tab.send('Page.enable');
    await tab.send('Emulation.setDeviceMetricsOverride',
      { width, height, deviceScaleFactor: scale, mobile: false, screenWidth: width, screenHeight: height });
    await tab.send('Page.navigate', { url: pageUrl });
    return tab;
  }

  send(method, params) { return this.browser.send(method, params, this.session); }

  async evaluate(expression) {
    const result = await this.send('Runtime.evaluate', { expression, returnByValue: true, awaitPromise: true });
    if (result.exceptionDetails) throw new Error('evaluate: ' + result.exceptionDetails.text);
    return result.result.value;
  }

  // Polls until the expression is true; false after `seconds`.
  async waitFor(expression, seconds) {
    const until = Date.now() + seconds * 1000;
    while (Date.now() < until) {
      if (await this.evaluate(expression)) return true;
      await sleep(250);
    }
    return false;
  }

  async click(x = 512, y = 300) {
    for (const type of ['mousePressed', 'mouseReleased'])
      await this.send('Input.dispatchMouseEvent', { type, x, y, button: 'left', clickCount: 1 });
  }

  async key(key, code, keyCode) {
    for (const type of ['rawKeyDown', 'keyUp'])
      await this.send('Input.dispatchKeyEvent', { type, key, code, windowsVirtualKeyCode: keyCode });
  }

  // What would tell a viewer or a developer that something went wrong.
  problems() {
    const bad = /GL error|WebGL: |GL_INVALID|INVALID_(ENUM|VALUE|OPERATION)|Uncaught|abort/i;
    return this.exceptions.concat(
      this.console.filter((c) => c.level === 'error' || bad.test(c.text)).map((c) => c.level + ': ' + c.text));
  }
}

// The main effects' windows; a frame at a time two windows share counts for both.
const kWindows = [['EffectSpiral', 0, 18000], ['EffectFeedback', 17000, 28000],
  ['EffectVortexC', 27000, 45000], ['EffectTwister', 44000, 75000], ['EffectBeam', 74000, 101000],
  ['EffectTorus', 100000, 114000], ['EffectTorus2', 114000, 141000], ['EffectOrdan', 140000, 155000],
  ['EffectOrdan2', 155000, 174000]];

// Median and worst time to draw a frame, per window (figures, not checks).
function windowTimes(frameTimes) {
  return kWindows.map(([name, start, end]) => {
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

// The show at the contact-sheet times on a test clock of 5 frames a second, as the
// capture renders them.
async function checkFrames(browser) {
  const tab = await Tab.open(browser,
    `${url}?size=${kWidth}x${kHeight}&test-fps=5&check-gl&at=${kTimes.join(',')}`);
  check(await tab.waitFor('window.kavlo && window.kavlo.module !== null', 120), 'the page loads its program and data');
  await tab.click();
  // A progress line now and then: the test clock runs at SwiftShader's pace.
  let ended = false;
  for (let waited = 0; !ended && waited < 900; waited += 30) {
    ended = await tab.waitFor('window.kavlo.exitCode !== null', 30);
    const at = await tab.evaluate('(window.kavlo.frameTimes.slice(-1)[0] || [0])[0]');
    if (!ended) say(`      ... the test clock at ${(at / 1000).toFixed(1)} s of the show`);
  }
  check(ended, 'the test clock plays the show to its last wanted frame');
  const count = await tab.evaluate('window.kavlo.frames.length');
  check(count === kTimes.length, `the page handed out ${count} of ${kTimes.length} frames`);
  const lines = [];
  for (let i = 0; i < count; ++i) {
    const frame = await tab.evaluate(`(() => {
      const f = window.kavlo.frames[${i}];
      let text = '';
      for (let at = 0; at < f.rgba.length; at += 0x8000)
        text += String.fromCharCode.apply(null, f.rgba.subarray(at, at + 0x8000));
      return { timeMs: f.timeMs, width: f.width, height: f.height, data: btoa(text) };
    })()`);
    const pixels = Buffer.from(frame.data, 'base64');
    writeFileSync(join(outDir, `web_${frame.timeMs}.rgba`), pixels);
    const reference = readFileSync(join(referenceDir, `at_${frame.timeMs}.rgb`));
    const db = frame.width === kWidth && frame.height === kHeight ? psnr(pixels, reference) : 0;
    lines.push(`${frame.timeMs} ms ${db.toFixed(1)} dB`);
    check(db >= kMinPsnr, `frame at ${frame.timeMs} ms: PSNR ${db.toFixed(1)} dB against kavlo-capture (at least ${kMinPsnr})`);
  }
  const times = windowTimes(await tab.evaluate('window.kavlo.frameTimes'));
  const problems = tab.problems();
  check(problems.length === 0, 'no exception or GL error while the test clock ran' +
    (problems.length ? ':\n  ' + problems.slice(0, 10).join('\n  ') : ''));
  return { psnr: lines, frameTimes: times };
}

// Real time: the music keeps to the page's clock and delivers the capture's syncs, with
// Web Audio or muted (the silent output, paced by the page's timer); the console stays
// clean; Escape ends the show with the tracker's report and the offer to play again.
async function checkRealTime(browser, muted) {
  const what = muted ? 'muted: ' : '';
  // With sound: a wide window on a high-density screen, where the 4:3 picture goes
  // between black bars, drawn at the screen's own pixels.
  const tab = muted ? await Tab.open(browser, `${url}?check-gl&mute&size=640x480`)
    : await Tab.open(browser, `${url}?check-gl`, 1280, 720, 2);
  check(await tab.waitFor('window.kavlo && window.kavlo.readyAt != null', 180), what + 'the program loads and waits for the click');
  await tab.click();
  check(await tab.waitFor('window.kavlo.firstFrameAt !== null', 60), what + 'the show starts on the click');
  const figures = await tab.evaluate(`({
    clickToFrame: window.kavlo.firstFrameAt - window.kavlo.clickAt,
    loading: window.kavlo.readyAt - window.kavlo.mainAt,
    pageToReady: window.kavlo.readyAt,
  })`);
  if (!muted) {
    const box = await tab.evaluate(`(() => {
      const c = document.getElementById('canvas'), r = c.getBoundingClientRect();
      return [r.x, r.y, r.width, r.height, c.width, c.height].map(Math.round).join(' ');
    })()`);
    check(box === '160 0 960 720 1440 1080',
      `the picture fills the window's height, 4:3, centred, at twice its size in pixels (${box})`);
    // Full screen by the page's button, and back by F11.
    const [bx, by] = await tab.evaluate(`(() => {
      const r = document.getElementById('fullscreen').getBoundingClientRect();
      return [r.x + r.width / 2, r.y + r.height / 2];
    })()`);
    await tab.click(bx, by);
    const full = await tab.waitFor('document.fullscreenElement === document.getElementById("stage")', 10);
    await tab.key('F11', 'F11', 122);
    const back = await tab.waitFor('document.fullscreenElement === null', 10);
    check(full && back, 'the button puts the page in full screen, F11 takes it out');
  }
  const samples = [];
  const sample = () => tab.evaluate(`({
    clock: performance.now() - window.kavlo.firstFrameAt,
    music: window.kavlo.module._kavlo_music_ms(),
    audio: window.kavlo.audio.map((a) => a.state).join(','),
  })`);
  const seconds = muted ? kMusicSeconds + 1 : kConsoleSeconds;
  let shot = muted;
  for (;;) {
    const s = await sample();
    samples.push(s);
    if (s.clock >= seconds * 1000) break;
    if (!shot && s.clock >= 24000) {
      // The page as a viewer sees it, for the README.
      const { data } = await tab.send('Page.captureScreenshot', { format: 'png' });
      writeFileSync(join(outDir, 'page.png'), Buffer.from(data, 'base64'));
      shot = true;
    }
    await sleep(1000);
  }
  const states = samples.filter((s) => s.clock > 1000).map((s) => s.audio);
  if (muted) check(states.every((a) => a === ''), 'muted: no AudioContext is made');
  else check(states.every((a) => a.split(',').includes('running')), 'the AudioContext runs');
  const at20 = samples.find((s) => s.clock >= kMusicSeconds * 1000);
  const drift = Math.abs(at20.music - at20.clock) / at20.clock;
  check(drift <= kDriftLimit, `${what}the music at ${(at20.clock / 1000).toFixed(2)} s of the page's clock is at ` +
    `${(at20.music / 1000).toFixed(2)} s (${(drift * 100).toFixed(2)} %, at most ${kDriftLimit * 100} %)`);
  const expected = readFileSync(join(referenceDir, 'syncs.txt'), 'utf8').split('\n').filter(Boolean)
    .map(Number).filter((ms) => ms <= kMusicSeconds * 1000);
  const delivered = (await tab.evaluate('window.kavlo.syncs')).filter((ms) => ms <= kMusicSeconds * 1000);
  const same = delivered.length === expected.length &&
    delivered.every((ms, i) => Math.abs(ms - expected[i]) <= 1);
  check(same, `${what}the syncs of the first ${kMusicSeconds} s: ${delivered.length} delivered, ` +
    `${expected.length} listed by kavlo-capture --syncs` +
    (same ? '' : `\n  delivered ${delivered.map(Math.round).join(' ')}\n  listed    ${expected.join(' ')}`));
  const problems = tab.problems();
  check(problems.length === 0, `${what}no exception or GL error in the console over ${seconds} s` +
    (problems.length ? ':\n  ' + problems.slice(0, 10).join('\n  ') : ''));
  // Twice when muted: the second run is the page's "play again".
  for (let run = 1; run <= (muted ? 2 : 1); ++run) {
    if (run === 2) {
      await tab.click();
      check(await tab.waitFor('window.kavlo.firstFrameAt !== null', 60), what + 'a click plays the show again');
    }
    await tab.key('Escape', 'Escape', 27);
    check(await tab.waitFor('window.kavlo.exitCode !== null', 30), what + 'Escape ends the show');
    const exitCode = await tab.evaluate('window.kavlo.exitCode');
    const report = await tab.evaluate('window.kavlo.report || ""');
    const logged = tab.console.filter((c) => c.text.includes('memleaks.log')).length === run;
    check(exitCode === 0 && logged && report.includes('No memory leaks found'),
      `${what}the show ends with status ${exitCode} and the tracker's report in the console`);
    check(await tab.evaluate('document.getElementById("play").textContent === "Play again"'),
      what + 'the page offers to play again');
  }
  const late = tab.problems();
  check(late.length === problems.length, what + 'no exception or GL error at the end' +
    (late.length > problems.length ? ':\n  ' + late.slice(problems.length, problems.length + 10).join('\n  ') : ''));
  return Object.assign(figures, { samples, at20, syncs: delivered.length });
}

// The player: ?t=MS starts there, Space holds the music (no syncs) and plays it on.
async function checkPlayer(browser) {
  const tab = await Tab.open(browser, `${url}?mute&size=320x240&t=50000`);
  check(await tab.waitFor('window.kavlo && window.kavlo.readyAt != null', 180),
    'player: the program loads and waits for the click');
  await tab.click();
  check(await tab.waitFor('window.kavlo.syncs.length >= 2', 30), 'player: syncs arrive after ?t=50000');
  const first = (await tab.evaluate('window.kavlo.syncs'))[0];
  check(first >= 50000 && first < 52000, `player: the first sync is the one after 50 s (${first})`);
  await tab.key(' ', 'Space', 32);
  await sleep(700);
  const paused = await tab.evaluate('window.kavlo.syncs.length');
  await sleep(2000);
  const still = await tab.evaluate('window.kavlo.syncs.length');
  await tab.key(' ', 'Space', 32);
  await sleep(2000);
  const resumed = await tab.evaluate('window.kavlo.syncs.length');
  check(still === paused && resumed > still,
    `player: Space pauses the music and plays it on (syncs ${paused}, ${still} paused, ${resumed} after)`);
  const problems = tab.problems();
  check(problems.length === 0, 'player: no exception or GL error' +
    (problems.length ? ':\n  ' + problems.slice(0, 10).join('\n  ') : ''));
}

// A browser without Web Audio plays the show silently, its music still running.
async function checkNoWebAudio(browser) {
  const tab = await Tab.open(browser, 'about:blank');
  await tab.send('Page.addScriptToEvaluateOnNewDocument',
    { source: 'delete window.AudioContext; delete window.webkitAudioContext;' });
  await tab.send('Page.navigate', { url: `${url}?size=320x240` });
  const ready = await tab.waitFor('window.kavlo && window.kavlo.readyAt != null', 180);
  await tab.click();
  const plays = ready && await tab.waitFor('window.kavlo.module._kavlo_music_ms() > 2000', 60);
  check(plays && tab.exceptions.length === 0, 'without Web Audio the show plays, its music silent');
}

// What the page says when it cannot play: a browser without WebGL 2, a failed download.
async function checkMessages(browser) {
  const cases = [
    ['without WebGL 2', 'HTMLCanvasElement.prototype.getContext = function () { return null; };', null, /no WebGL 2/],
    ['when kavlo.wasm cannot be had', '', '*kavlo.wasm*', /Loading failed: kavlo\.wasm\S*: HTTP 404/],
  ];
  for (const [name, script, block, expected] of cases) {
    const tab = await Tab.open(browser, 'about:blank');
    // The page's service worker would answer from its cache what the network refuses.
    await tab.send('Network.enable');
    await tab.send('Network.setBypassServiceWorker', { bypass: true });
    if (script) await tab.send('Page.addScriptToEvaluateOnNewDocument', { source: script });
    if (block) {
      await tab.send('Fetch.enable', { patterns: [{ urlPattern: block }] });
      tab.browser.listeners.push((m) => {
        if (m.sessionId === tab.session && m.method === 'Fetch.requestPaused')
          tab.send('Fetch.fulfillRequest', { requestId: m.params.requestId, responseCode: 404, body: '' });
      });
    }
    await tab.send('Page.navigate', { url });
    const shown = await tab.waitFor('(m => !!m && !m.hidden)(document.getElementById("message"))', 60);
    const text = await tab.evaluate('document.getElementById("message").textContent');
    check(shown && expected.test(text), `the page says so ${name} ("${text}")`);
  }
}

const browser = new Browser();
let figures = {};
try {
  if (!only || only === 'frames') figures.frames = await checkFrames(browser);
  if (!only || only === 'music') figures.music = await checkRealTime(browser, false);
  if (!only || only === 'muted') figures.muted = await checkRealTime(browser, true);
  if (!only || only === 'player') await checkPlayer(browser);
  if (!only || only === 'messages') {
    await checkNoWebAudio(browser);
    await checkMessages(browser);
  }
} catch (e) {
  check(false, 'the test ran to its end: ' + e.message);
} finally {
  await browser.close();
}
writeFileSync(join(outDir, 'figures.json'), JSON.stringify(figures, null, 1));
for (const [name, m] of [['with sound', figures.music], ['muted', figures.muted]]) {
  if (!m) continue;
  say(`figures (${name}): click to first frame ${m.clickToFrame.toFixed(0)} ms; the show loads in ` +
    `${m.loading.toFixed(0)} ms, ready ${m.pageToReady.toFixed(0)} ms after the page opened`);
}
if (figures.frames) {
  say(`figures: PSNR ${figures.frames.psnr.join(', ')}`);
  say('figures: frame times at 800x600 on the test clock:\n  ' + figures.frames.frameTimes.join('\n  '));
}
say(failures.length ? `${failures.length} failed` : 'all passed');
process.exit(failures.length ? 1 : 0);
