// The page's side of the show: downloads the program and the data with a progress bar,
// starts the show on the first click, lays out the 4:3 picture, full screen, play again.
'use strict';
(function () {
  const stage = document.getElementById('stage');
  const poster = document.getElementById('poster');
  const playButton = document.getElementById('play');
  const progress = document.getElementById('progress');
  const bar = document.getElementById('bar');
  const message = document.getElementById('message');
  const fullscreenButton = document.getElementById('fullscreen');
  const query = new URLSearchParams(location.search);

  // What a run left behind, for whoever looks (the page's test reads it).
  const kavlo = window.kavlo = {
    mainAt: null, readyAt: null, clickAt: null, firstFrameAt: null, exitCode: null, report: null,
    syncs: [], frames: [], frameTimes: [], module: null,
  };

  // Browsers start sound only after a gesture: the page keeps the contexts the program
  // makes, so that its click can start them whoever made them first.
  const NativeAudioContext = window.AudioContext || window.webkitAudioContext;
  kavlo.audio = [];
  if (NativeAudioContext) {
    window.AudioContext = class extends NativeAudioContext {
      constructor(...args) {
        super(...args);
        kavlo.audio.push(this);
      }
    };
  }

  function showMessage(text) {
    message.textContent = text;
    message.hidden = false;
  }

  // The size the show draws at: ?size=WxH, else the largest 4:3 picture the screen shows
  // pixel for pixel (sharp on high-density screens), at most 1440x1080.
  function renderSize() {
    const asked = /^(\d+)x(\d+)$/.exec(query.get('size') || '');
    if (asked) return [Number(asked[1]), Number(asked[2])];
    const ratio = window.devicePixelRatio || 1;
    const height = Math.min(1080, Math.floor(Math.min(screen.height, screen.width * 3 / 4) * ratio));
    const h = Math.max(240, height - (height % 6));
    return [h / 3 * 4, h];
  }
  const [width, height] = renderSize();

  // The largest rectangle of the picture's aspect in the stage, centred; the stage's
  // black shows as bars around it.
  function layout() {
    const w = stage.clientWidth, h = stage.clientHeight;
    const scale = Math.min(w / width, h / height);
    const cw = Math.round(width * scale), ch = Math.round(height * scale);
    for (const element of [poster, document.getElementById('canvas')]) {
      if (!element) continue;
      element.style.width = cw + 'px';
      element.style.height = ch + 'px';
      element.style.left = Math.floor((w - cw) / 2) + 'px';
      element.style.top = Math.floor((h - ch) / 2) + 'px';
    }
  }
  window.addEventListener('resize', layout);
  document.addEventListener('fullscreenchange', layout);
  layout();

  // --- Full screen: the button, F11 and Alt+Enter ---------------------------------
  function toggleFullscreen() {
    if (document.fullscreenElement) {
      document.exitFullscreen().catch(() => {});
    } else if (stage.requestFullscreen) {
      stage.requestFullscreen().catch(() => {});
    }
  }
  fullscreenButton.addEventListener('click', (event) => {
    event.stopPropagation();
    toggleFullscreen();
  });
  window.addEventListener('keydown', (event) => {
    if (event.key === 'F11' || (event.key === 'Enter' && event.altKey)) {
      event.preventDefault();
      event.stopImmediatePropagation();
      if (!event.repeat) toggleFullscreen();
    }
  }, true);

  // --- Downloads --------------------------------------------------------------------
  // build-web writes files.json: each file's size, and its gzipped copy's, which is
  // what the page fetches where the browser can unpack it.
  const gzip = 'DecompressionStream' in window;
  let total = 0, received = 0;
  function moved(bytes) {
    received += bytes;
    const percent = total ? Math.min(100, Math.round(received * 100 / total)) : 0;
    bar.style.width = percent + '%';
    progress.setAttribute('aria-valuenow', String(percent));
  }

  async function fetchBytes(name) {
    const response = await fetch(name);
    if (!response.ok) throw new Error(name + ': HTTP ' + response.status);
    const reader = response.body.getReader();
    const chunks = [];
    let length = 0;
    for (;;) {
      const { done, value } = await reader.read();
      if (done) break;
      chunks.push(value);
      length += value.length;
      moved(value.length);
    }
    const bytes = new Uint8Array(length);
    let at = 0;
    for (const chunk of chunks) {
      bytes.set(chunk, at);
      at += chunk.length;
    }
    return bytes;
  }

  // A server may already have unpacked it (Content-Encoding): gzip's magic says.
  async function fetchFile(name) {
    const bytes = await fetchBytes(gzip ? name + '.gz' : name);
    if (!gzip || bytes[0] !== 0x1f || bytes[1] !== 0x8b) return bytes;
    const stream = new Blob([bytes]).stream().pipeThrough(new DecompressionStream('gzip'));
    return new Uint8Array(await new Response(stream).arrayBuffer());
  }

  async function downloadAll() {
    const response = await fetch('files.json');
    if (!response.ok) throw new Error('files.json: HTTP ' + response.status);
    const list = (await response.json()).files;
    total = list.reduce((sum, f) => sum + (gzip ? f.gz : f.size), 0);
    const files = {};
    await Promise.all(list.map(async (f) => { files[f.name] = await fetchFile(f.name); }));
    return files;
  }

  function loadScript(bytes) {
    return new Promise((resolve, reject) => {
      const script = document.createElement('script');
      script.src = URL.createObjectURL(new Blob([bytes], { type: 'text/javascript' }));
      script.onload = resolve;
      script.onerror = () => reject(new Error('kavlo.js could not be run'));
      document.head.appendChild(script);
    });
  }

  // --- The show ---------------------------------------------------------------------
  // The program's arguments: the page's options, then what a test asks for.
  function programArguments() {
    const args = ['--size', width + 'x' + height];
    if (query.has('mute')) args.push('--mute');
    if (query.has('check-gl')) args.push('--check-gl');
    // ?t=MS: a link to a moment of the show.
    if (/^\d{1,6}$/.test(query.get('t') || '')) args.push('--start', query.get('t'));
    if (query.has('test-fps')) args.push('--test-fps', query.get('test-fps'));
    if (query.has('at')) args.push('--at', query.get('at'));
    return args;
  }

  // A run shows its canvas once it has been clicked and the program runs; until then
  // the loading picture and the progress bar stay.
  let clicked = null;  // resolves on the first click of a run
  let clickedNow = null;
  let isClicked = false, isRunning = false;
  function armClick() {
    clicked = new Promise((resolve) => { clickedNow = resolve; });
    isClicked = isRunning = false;
    update();
  }
  function update() {
    stage.classList.toggle('clicked', isClicked);
    stage.classList.toggle('playing', isClicked && isRunning);
  }
  armClick();

  function start() {
    kavlo.clickAt = performance.now();
    isClicked = true;
    update();
    clickedNow();
    for (const audio of kavlo.audio) {
      if (audio.state === 'suspended') audio.resume().catch(() => {});
    }
  }

  function ended(code) {
    kavlo.exitCode = code;
    try {
      kavlo.report = new TextDecoder().decode(kavlo.module.FS.readFile('/memleaks.log'));
      console.log('memleaks.log:\n' + kavlo.report);
    } catch (e) {
      console.warn('kavlo: no memleaks.log: ' + e);
    }
    if (document.fullscreenElement) document.exitFullscreen().catch(() => {});
    for (const audio of kavlo.audio) audio.close().catch(() => {});
    kavlo.audio = [];
    playButton.textContent = 'Play again';
    playButton.disabled = false;
    armClick();
  }

  function run(files) {
    const old = document.getElementById('canvas');
    if (old) old.remove();
    const canvas = document.createElement('canvas');
    canvas.id = 'canvas';
    canvas.addEventListener('webglcontextlost', (e) => {
      e.preventDefault();
      showMessage('The graphics context was lost. Reload the page to play again.');
    });
    stage.insertBefore(canvas, poster.nextSibling);
    layout();
    const config = {
      canvas,
      wasmBinary: files['kavlo.wasm'],
      kavloPage: {
        play: clicked,
        ready: () => { kavlo.readyAt = performance.now(); },
        started: () => { kavlo.firstFrameAt = performance.now(); },
        frameTime: (showMs, workMs) => { kavlo.frameTimes.push([showMs, workMs]); },
        message: (caption, text) => showMessage(caption + ': ' + text),
        sync: (ms) => { kavlo.syncs.push(ms); },
        frame: (timeMs, rgba, w, h) => { kavlo.frames.push({ timeMs, rgba, width: w, height: h }); },
      },
      print: (text) => console.log(text),
      printErr: (text) => console.warn(text),
      preRun: [(module) => {
        module.FS.writeFile('/musik.xm', files['musik.xm']);
        module.FS.writeFile('/megadata.rar', files['megadata.rar']);
      }],
      onExit: ended,
      onAbort: (what) => showMessage('The show stopped: ' + what + '. Reload the page to try again.'),
    };
    return window.createKavlo(config).then((module) => {
      kavlo.module = module;
      isRunning = true;
      update();
      kavlo.mainAt = performance.now();
      module.callMain(programArguments());
    });
  }

  function hasWebGL2() {
    try {
      return !!document.createElement('canvas').getContext('webgl2');
    } catch (e) {
      return false;
    }
  }

  async function main() {
    if (!hasWebGL2()) {
      playButton.disabled = true;
      progress.classList.add('done');
      showMessage('This browser cannot show Kavlo: it has no WebGL 2 (or it is switched off).');
      return;
    }
    let files;
    stage.addEventListener('click', () => {
      if (playButton.disabled || isClicked) return;
      start();
      if (kavlo.exitCode !== null) {
        kavlo.exitCode = null;
        kavlo.syncs = [];
        kavlo.frames = [];
        kavlo.frameTimes = [];
        kavlo.readyAt = kavlo.firstFrameAt = null;
        run(files).catch(failed);
      }
    });
    try {
      files = await downloadAll();
      await loadScript(files['kavlo.js']);
    } catch (e) {
      failed(e);
      return;
    }
    progress.classList.add('done');
    await run(files).catch(failed);
  }

  function failed(e) {
    playButton.disabled = true;
    showMessage('Loading failed: ' + (e && e.message ? e.message : e) + '. Reload the page to try again.');
  }

  main();
})();
