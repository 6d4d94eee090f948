// One interface over the three engines the page is tested in, each driven as its own
// developers drive it: Chromium over its DevTools protocol (a pipe), Firefox ESR over
// WebDriver BiDi (its own --remote-debugging-port, no geckodriver), WebKitGTK over classic
// WebDriver (WebKitWebDriver driving MiniBrowser). Firefox and WebKitGTK need an X server
// (DISPLAY); sound goes wherever PULSE_SERVER points.
//   const page = await launch('firefox', { touch: true });
//   await page.viewport(390, 844, 3);  await page.goto(url, { before: 'script' });
//   await page.evaluate('expression');  await page.waitFor('expression', seconds);
//   await page.click(x, y[, count]) (taps where launched with touch);  await page.clickOn('#id');
//   await page.hover(x, y);
//   await page.key('Escape');  await page.screenshot();  await page.problems();
//   await page.close();
// One page per browser: goto replaces it. The page's console lines and exceptions are
// kept in page.console ({ level, text }) and page.exceptions (after drain()).
import { execFileSync, spawn } from 'node:child_process';
import { existsSync, mkdtempSync, readdirSync, rmSync, writeFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import { createServer } from 'node:net';
import { tmpdir } from 'node:os';
import { join } from 'node:path';

export const kEngines = ['chromium', 'firefox', 'webkit'];

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// Node 22 has a WebSocket of its own; node 20 takes Debian's node-ws.
const WebSocketClass = globalThis.WebSocket ?? createRequire(import.meta.url)('/usr/share/nodejs/ws');

// The keys the checks press: DOM key, DOM code, Windows key code, WebDriver's code point.
const kKeys = {
  Escape: ['Escape', 'Escape', 27, '\uE00C'],
  ' ': [' ', 'Space', 32, ' '],
  F11: ['F11', 'F11', 122, '\uE03B'],
  Tab: ['Tab', 'Tab', 9, '\uE004'],
};

// What would tell a viewer or a developer that something went wrong.
const kBad = /GL error|WebGL: |GL_INVALID|INVALID_(ENUM|VALUE|OPERATION)|Uncaught|abort/i;

class Page {
  constructor(engine, touch) {
    this.engine = engine;
    this.touch = touch;
    this.console = [];
    this.exceptions = [];
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

  // The element's centre, clicked or tapped; false where it is not laid out.
  async clickOn(selector) {
    const at = await this.evaluate(`(() => {
      const e = document.querySelector(${JSON.stringify(selector)});
      const r = e && e.getBoundingClientRect();
      return r && r.width ? [r.x + r.width / 2, r.y + r.height / 2] : null;
    })()`);
    if (at) await this.click(at[0], at[1]);
    return !!at;
  }

  async problems() {
    await this.drain();
    return this.exceptions.concat(this.console
      .filter((c) => c.level === 'error' || kBad.test(c.text)).map((c) => c.level + ': ' + c.text));
  }

  async drain() {}

  // The console and exceptions start anew with each page.
  async goto(url, options = {}) {
    await this.drain();
    this.console = [];
    this.exceptions = [];
    await this.navigate(url, options);
  }

  // The page awaits the expression and hands it back as JSON text, so that every
  // engine returns plain values the same way.
  static wrap(expression) {
    return `(async () => JSON.stringify(await (${expression})))()`;
  }
  static unwrap(text) {
    return text === undefined || text === null ? undefined : JSON.parse(text);
  }
}

// --- Chromium: DevTools protocol over --remote-debugging-pipe, messages ended by NUL ---
class Chromium extends Page {
  async start() {
    this.profile = mkdtempSync(join(tmpdir(), 'kavlo-chromium-'));
    this.child = spawn('chromium', [
      '--headless=new', '--no-sandbox', '--use-angle=swiftshader', '--enable-unsafe-swiftshader',
      '--disable-background-networking',
      '--disable-component-update', '--disable-sync', '--no-first-run',
      '--disable-background-timer-throttling', '--disable-renderer-backgrounding',
      `--user-data-dir=${this.profile}`, '--window-size=1280,1024',
      '--remote-debugging-pipe', 'about:blank',
    ], { stdio: ['ignore', 'ignore', 'pipe', 'pipe', 'pipe'] });
    this.child.stderr.on('data', () => {});
    this.exited = new Promise((resolve) => this.child.on('exit', resolve));
    this.nextId = 1;
    this.pending = new Map();
    this.listeners = [(m) => this.collect(m)];
    let buffer = '';
    this.child.stdio[4].on('data', (data) => {
      buffer += data.toString('utf8');
      let end;
      while ((end = buffer.indexOf('\0')) >= 0) {
        const message = JSON.parse(buffer.slice(0, end));
        buffer = buffer.slice(end + 1);
        const waiting = message.id && this.pending.get(message.id);
        if (waiting) {
          this.pending.delete(message.id);
          if (message.error) waiting.reject(new Error(message.error.message));
          else waiting.resolve(message.result);
        } else if (message.method) {
          for (const listener of this.listeners) listener(message);
        }
      }
    });
    const { targetId } = await this.send('Target.createTarget', { url: 'about:blank' });
    this.session = (await this.send('Target.attachToTarget', { targetId, flatten: true })).sessionId;
    for (const domain of ['Runtime', 'Log', 'Page']) await this.send(domain + '.enable', {}, this.session);
    if (this.touch) await this.send('Emulation.setTouchEmulationEnabled', { enabled: true, maxTouchPoints: 5 }, this.session);
    await this.viewport(1024, 768);
  }

  collect(m) {
    if (m.sessionId !== this.session) return;
    if (m.method === 'Runtime.consoleAPICalled') {
      const text = m.params.args.map((a) => (a.value !== undefined ? String(a.value) : a.description || '')).join(' ');
      this.console.push({ level: m.params.type, text });
    } else if (m.method === 'Log.entryAdded') {
      this.console.push({ level: m.params.entry.level, text: m.params.entry.text });
    } else if (m.method === 'Runtime.exceptionThrown') {
      const d = m.params.exceptionDetails;
      this.exceptions.push((d.exception && d.exception.description) || d.text);
    }
  }

  send(method, params = {}, sessionId = undefined) {
    const id = this.nextId++;
    const message = { id, method, params };
    if (sessionId) message.sessionId = sessionId;
    this.child.stdio[3].write(JSON.stringify(message) + '\0');
    return new Promise((resolve, reject) => this.pending.set(id, { resolve, reject }));
  }
  tab(method, params) { return this.send(method, params, this.session); }

  viewport(width, height, scale = 1) {
    return this.tab('Emulation.setDeviceMetricsOverride', { width, height, deviceScaleFactor: scale,
      mobile: this.touch, screenWidth: width, screenHeight: height });
  }

  async navigate(url, { before }) {
    let script;
    if (before) script = (await this.tab('Page.addScriptToEvaluateOnNewDocument', { source: before })).identifier;
    let loaded;
    const once = (m) => { if (m.sessionId === this.session && m.method === 'Page.loadEventFired') loaded(); };
    this.listeners.push(once);
    const load = new Promise((resolve) => { loaded = resolve; });
    const { errorText } = await this.tab('Page.navigate', { url });
    if (!errorText) await Promise.race([load, sleep(60000)]);
    this.listeners = this.listeners.filter((l) => l !== once);
    if (script) await this.tab('Page.removeScriptToEvaluateOnNewDocument', { identifier: script });
  }

  async evaluate(expression) {
    const result = await this.tab('Runtime.evaluate', { expression: Page.wrap(expression), returnByValue: true, awaitPromise: true });
    if (result.exceptionDetails) throw new Error('evaluate: ' + result.exceptionDetails.text +
      (result.exceptionDetails.exception ? ' ' + result.exceptionDetails.exception.description : ''));
    return Page.unwrap(result.result.value);
  }

  async click(x, y, count = 1) {
    if (!this.touch) await this.tab('Input.dispatchMouseEvent', { type: 'mouseMoved', x, y });
    for (let i = 1; i <= count; ++i) {
      if (this.touch) {
        await this.tab('Input.dispatchTouchEvent', { type: 'touchStart', touchPoints: [{ x, y }] });
        await this.tab('Input.dispatchTouchEvent', { type: 'touchEnd', touchPoints: [] });
        continue;
      }
      for (const type of ['mousePressed', 'mouseReleased'])
        await this.tab('Input.dispatchMouseEvent', { type, x, y, button: 'left', clickCount: i });
    }
  }

  async hover(x, y) {
    await this.tab('Input.dispatchMouseEvent', { type: 'mouseMoved', x, y });
  }

  async key(name) {
    const [key, code, keyCode] = kKeys[name];
    for (const type of ['rawKeyDown', 'keyUp'])
      await this.tab('Input.dispatchKeyEvent', { type, key, code, windowsVirtualKeyCode: keyCode });
  }

  async screenshot() {
    return Buffer.from((await this.tab('Page.captureScreenshot', { format: 'png' })).data, 'base64');
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

// --- W3C WebDriver actions, shared by BiDi and the classic protocol --------------------
function pointerActions(x, y, touch, count) {
  const actions = [{ type: 'pointerMove', x: Math.round(x), y: Math.round(y) }];
  for (let i = 0; i < count; ++i) {
    if (i) actions.push({ type: 'pause', duration: 60 });
    actions.push({ type: 'pointerDown', button: 0 }, { type: 'pointerUp', button: 0 });
  }
  return [{ type: 'pointer', id: touch ? 'finger' : 'mouse', parameters: { pointerType: touch ? 'touch' : 'mouse' }, actions }];
}
function moveActions(x, y) {
  return [{ type: 'pointer', id: 'mouse', parameters: { pointerType: 'mouse' },
    actions: [{ type: 'pointerMove', x: Math.round(x), y: Math.round(y) }] }];
}
function keyActions(name) {
  const value = kKeys[name][3];
  return [{ type: 'key', id: 'keyboard', actions: [{ type: 'keyDown', value }, { type: 'keyUp', value }] }];
}

// --- Firefox: WebDriver BiDi on its own WebSocket --------------------------------------
class Firefox extends Page {
  async start() {
    this.profile = mkdtempSync(join(tmpdir(), 'kavlo-firefox-'));
    // A phone's touch screen: touch events, touch points and a coarse pointer.
    const prefs = this.touch ? { 'dom.w3c_touch_events.enabled': 1, 'dom.maxtouchpoints.testing.value': 5,
      'ui.primaryPointerCapabilities': 1, 'ui.allPointerCapabilities': 1 } : {};
    writeFileSync(join(this.profile, 'user.js'), Object.entries(prefs)
      .map(([name, value]) => `user_pref(${JSON.stringify(name)}, ${JSON.stringify(value)});\n`).join(''));
    this.child = spawn('firefox-esr', ['--no-remote', '--profile', this.profile, '--remote-debugging-port=0',
      'about:blank'], { stdio: ['ignore', 'ignore', 'pipe'] });
    this.exited = new Promise((resolve) => this.child.on('exit', resolve));
    const address = await new Promise((resolve, reject) => {
      let text = '';
      this.child.stderr.on('data', (data) => {
        text += data;
        const found = /WebDriver BiDi listening on (ws:\/\/\S+)/.exec(text);
        if (found) resolve(found[1]);
      });
      this.exited.then(() => reject(new Error('Firefox ended before it listened: ' + text.slice(-2000))));
    });
    this.socket = new WebSocketClass(address + '/session');
    this.nextId = 1;
    this.pending = new Map();
    this.socket.addEventListener('message', (event) => this.received(JSON.parse(event.data)));
    await new Promise((resolve, reject) => {
      this.socket.addEventListener('open', resolve);
      this.socket.addEventListener('error', () => reject(new Error('no WebSocket to Firefox at ' + address)));
    });
    await this.send('session.new', { capabilities: {} });
    this.context = (await this.send('browsingContext.getTree', {})).contexts[0].context;
    await this.send('session.subscribe', { events: ['log.entryAdded'] });
    // The window takes the focus only from a real click (Xvfb has no window manager to
    // give it), and full screen is denied without it; the pointer then goes to the screen's
    // far corner, off the window.
    execFileSync('xdotool', ['mousemove', '400', '300', 'click', '1', 'mousemove', '10000', '10000']);
    await this.viewport(1024, 768);
  }

  received(m) {
    const waiting = m.id && this.pending.get(m.id);
    if (waiting) {
      this.pending.delete(m.id);
      if (m.type === 'error') waiting.reject(new Error(`${m.error}: ${m.message}`));
      else waiting.resolve(m.result);
    } else if (m.method === 'log.entryAdded') {
      if (m.params.type === 'javascript') this.exceptions.push(m.params.text);
      else this.console.push({ level: m.params.level, text: m.params.text || '' });
    }
  }

  send(method, params) {
    const id = this.nextId++;
    this.socket.send(JSON.stringify({ id, method, params }));
    return new Promise((resolve, reject) => this.pending.set(id, { resolve, reject }));
  }

  viewport(width, height, scale = 1) {
    return this.send('browsingContext.setViewport',
      { context: this.context, viewport: { width, height }, devicePixelRatio: scale });
  }

  async navigate(url, { before }) {
    let script;
    if (before) {
      script = (await this.send('script.addPreloadScript',
        { functionDeclaration: `() => { ${before} }`, contexts: [this.context] })).script;
    }
    await this.send('browsingContext.navigate', { context: this.context, url, wait: 'complete' });
    if (script) await this.send('script.removePreloadScript', { script });
  }

  async evaluate(expression) {
    const result = await this.send('script.evaluate', { expression: Page.wrap(expression),
      target: { context: this.context }, awaitPromise: true, resultOwnership: 'none' });
    if (result.type === 'exception') throw new Error('evaluate: ' + result.exceptionDetails.text);
    return Page.unwrap(result.result.value);
  }

  click(x, y, count = 1) {
    return this.send('input.performActions', { context: this.context, actions: pointerActions(x, y, this.touch, count) });
  }
  hover(x, y) {
    return this.send('input.performActions', { context: this.context, actions: moveActions(x, y) });
  }
  key(name) {
    return this.send('input.performActions', { context: this.context, actions: keyActions(name) });
  }

  async screenshot() {
    return Buffer.from((await this.send('browsingContext.captureScreenshot', { context: this.context })).data, 'base64');
  }

  async close() {
    try {
      await Promise.race([this.send('browser.close', {}), sleep(5000)]);
    } catch (e) { /* already gone */ }
    await Promise.race([this.exited, sleep(10000)]);
    if (this.child.exitCode === null) this.child.kill('SIGKILL');
    rmSync(this.profile, { recursive: true, force: true });
  }
}

// --- WebKitGTK: classic WebDriver over HTTP, MiniBrowser as the browser ----------------
// Its WebDriver has no console log, so each page gets a recorder right after it loads;
// what a page logs before its load event is not seen here.
const kRecorder = `if (!window.kavloLog) {
  window.kavloLog = [];
  for (const level of ['log', 'info', 'warn', 'error']) {
    const original = console[level].bind(console);
    console[level] = (...args) => { kavloLog.push({ level, text: args.join(' ') }); original(...args); };
  }
  addEventListener('error', (e) => kavloLog.push({ level: 'exception', text: String(e.error || e.message) }));
  addEventListener('unhandledrejection', (e) => kavloLog.push({ level: 'exception', text: String(e.reason) }));
}`;

function freePort() {
  return new Promise((resolve) => {
    const server = createServer().listen(0, '127.0.0.1', () => {
      const { port } = server.address();
      server.close(() => resolve(port));
    });
  });
}

function miniBrowser() {
  for (const dir of readdirSync('/usr/lib')) {
    const path = join('/usr/lib', dir, 'webkit2gtk-4.1', 'MiniBrowser');
    if (existsSync(path)) return path;
  }
  throw new Error('no MiniBrowser for WebKitGTK 4.1 (libwebkit2gtk-4.1-0)');
}

class WebKit extends Page {
  async start() {
    if (this.touch) throw new Error('WebKitGTK\'s WebDriver has no touch input: its touch actions arrive as a mouse');
    const port = await freePort();
    this.child = spawn('WebKitWebDriver', [`--port=${port}`], { stdio: ['ignore', 'ignore', 'ignore'] });
    this.exited = new Promise((resolve) => this.child.on('exit', resolve));
    this.base = `http://127.0.0.1:${port}`;
    for (let tries = 0; ; ++tries) {
      try {
        await fetch(this.base + '/status');
        break;
      } catch (e) {
        if (tries > 100) throw new Error('WebKitWebDriver does not answer');
        await sleep(100);
      }
    }
    const session = await this.request('POST', '/session', { capabilities: { alwaysMatch: {
      'webkitgtk:browserOptions': { binary: miniBrowser(), args: ['--automation'] } } } });
    this.path = '/session/' + session.sessionId;
    await this.request('POST', this.path + '/timeouts', { script: 300000 });
    await this.viewport(1024, 768);
  }

  async request(method, path, body) {
    const response = await fetch(this.base + path, { method, headers: { 'content-type': 'application/json' },
      body: body === undefined ? undefined : JSON.stringify(body) });
    const { value } = await response.json();
    if (value && value.error) throw new Error(`${path}: ${value.error}: ${value.message}`);
    return value;
  }

  // The window is sized so that the page gets what was asked; MiniBrowser's own bar and
  // its narrowest window may leave it otherwise (the checks read the page's size).
  async viewport(width, height, scale = 1) {
    if (scale !== 1) throw new Error('WebKitGTK\'s WebDriver cannot set the pixel ratio');
    const window = await this.request('POST', this.path + '/window/rect', { width, height });
    const [w, h] = await this.evaluate('[innerWidth, innerHeight]');
    await this.request('POST', this.path + '/window/rect',
      { width: window.width + width - w, height: window.height + height - h });
  }

  async navigate(url, { before }) {
    if (before) throw new Error('WebKitGTK\'s WebDriver cannot run a script before the page\'s own');
    await this.request('POST', this.path + '/url', { url });
    await this.request('POST', this.path + '/execute/sync', { script: kRecorder, args: [] });
  }

  async evaluate(expression) {
    const result = await this.request('POST', this.path + '/execute/async', { args: [], script:
      `const done = arguments[0];
       ${Page.wrap(expression)}.then((json) => done({ json }), (e) => done({ error: String(e && e.stack || e) }));` });
    if (result.error) throw new Error('evaluate: ' + result.error);
    return Page.unwrap(result.json);
  }

  // The page's recorded lines move here, so that a new page does not lose them.
  async drain() {
    const lines = await this.request('POST', this.path + '/execute/sync',
      { args: [], script: 'const l = window.kavloLog || []; window.kavloLog = window.kavloLog && []; return l;' });
    for (const line of lines) {
      if (line.level === 'exception') this.exceptions.push(line.text);
      else this.console.push(line);
    }
  }

  async actions(actions) {
    await this.request('POST', this.path + '/actions', { actions });
    await this.request('DELETE', this.path + '/actions');
  }
  click(x, y, count = 1) { return this.actions(pointerActions(x, y, false, count)); }
  hover(x, y) { return this.actions(moveActions(x, y)); }
  key(name) { return this.actions(keyActions(name)); }

  async screenshot() {
    return Buffer.from(await this.request('GET', this.path + '/screenshot'), 'base64');
  }

  async close() {
    try {
      await Promise.race([this.request('DELETE', this.path), sleep(10000)]);
    } catch (e) { /* already gone */ }
    this.child.kill('SIGTERM');
    await Promise.race([this.exited, sleep(5000)]);
    if (this.child.exitCode === null && this.child.signalCode === null) this.child.kill('SIGKILL');
  }
}

// A browser of the engine with one empty page, 1024x768 at one pixel per CSS pixel;
// `touch`: a phone's touch screen and no mouse (an error where the engine has none).
export async function launch(engine, { touch = false } = {}) {
  const Engine = { chromium: Chromium, firefox: Firefox, webkit: WebKit }[engine];
  if (!Engine) throw new Error(`no engine '${engine}' (${kEngines.join(', ')})`);
  const page = new Engine(engine, touch);
  try {
    await page.start();
  } catch (e) {
    await page.close().catch(() => {});
    throw e;
  }
  return page;
}
