// The page's side of the show: downloads the program and the data with a progress bar,
// starts the show on the first click or tap, lays out the 4:3 picture, and gives the
// viewer a player's controls over its foot (mouse, keys and touch); offline after one
// visit through sw.js.
//
// Sections: sound; layout; full screen; downloads; the controls; touch; the show;
// offline.
'use strict';
(function () {
  const $ = (id) => document.getElementById(id);
  const stage = $('stage');
  const poster = $('poster');
  const overlay = $('overlay');
  const playButton = $('play');
  const playText = $('play-text');
  const progress = $('progress');
  const bar = $('bar');
  const message = $('message');
  const controls = $('controls');
  const playPause = $('playpause');
  const seek = $('seek');
  const played = $('played');
  const marksBox = $('marks');
  const tip = $('tip');
  const timeText = $('time');
  const effectText = $('effect');
  const muteButton = $('mute');
  const linkButton = $('link');
  const fullscreenButton = $('fullscreen');
  const note = $('note');
  const skip = $('skip');
  const query = new URLSearchParams(location.search);
  const show = window.kavloShow;
  const touchFirst = window.matchMedia && matchMedia('(pointer: coarse)').matches;

  // What a run left behind, for whoever looks (the page's tests read it).
  const kavlo = window.kavlo = {
    mainAt: null, readyAt: null, clickAt: null, firstFrameAt: null, exitCode: null, report: null,
    syncs: [], frames: [], frameTimes: [], module: null,
    paused: false, offlineReady: false, lastLink: null,
    showTime: () => showMs,
  };

  // --- Sound ------------------------------------------------------------------------
  // Browsers start sound only after a gesture: the page keeps the contexts the program
  // makes, so that any gesture can start them whoever made them first. Each plays
  // through a gain of the page's, which is the mute button's.
  const NativeAudioContext = window.AudioContext || window.webkitAudioContext;
  let muted = false;
  kavlo.audio = [];
  if (NativeAudioContext) {
    window.AudioContext = class extends NativeAudioContext {
      constructor(...args) {
        super(...args);
        const gain = this.createGain();
        gain.gain.value = muted ? 0 : 1;
        gain.connect(super.destination);
        this.kavloGain = gain;
        kavlo.audio.push(this);
      }
      // What the program connects its output to: the page's gain before the speakers.
      get destination() { return this.kavloGain || super.destination; }
    };
  }

  // Engines differ in which gesture may start sound (WebKit on a phone: the end of a
  // touch, not its start), so every one tries.
  function unlockSound() {
    for (const audio of kavlo.audio) {
      if (audio.state !== 'running' && audio.state !== 'closed') audio.resume().catch(() => {});
    }
  }
  for (const type of ['pointerdown', 'pointerup', 'touchend', 'click', 'keydown'])
    window.addEventListener(type, unlockSound, { capture: true, passive: true });

  function setMuted(value) {
    muted = value;
    for (const audio of kavlo.audio) audio.kavloGain.gain.value = muted ? 0 : 1;
    muteButton.classList.toggle('muted', muted);
    muteButton.setAttribute('aria-label', muted ? 'Unmute' : 'Mute');
  }
  muteButton.addEventListener('click', () => setMuted(!muted));

  // --- Layout -------------------------------------------------------------------------
  const [width, height] = show.renderSize(query.get('size'), screen.width, screen.height,
    window.devicePixelRatio || 1);

  // The screen's safe area (notches, rounded corners, a home indicator), as CSS has it.
  const safeProbe = document.createElement('div');
  safeProbe.style.cssText = 'position:fixed;visibility:hidden;pointer-events:none;padding:' +
    ['top', 'right', 'bottom', 'left'].map((side) => 'env(safe-area-inset-' + side + ')').join(' ');
  document.body.appendChild(safeProbe);

  // The picture fills the stage as far as its aspect allows; the stage's black shows as
  // bars around it.
  let picture = { x: 0, y: 0, w: 0, h: 0 };
  function layout() {
    const safe = getComputedStyle(safeProbe);
    const inset = (side) => parseFloat(safe['padding' + side]) || 0;
    const place = show.fit(stage.clientWidth, stage.clientHeight, width, height,
      { left: inset('Left'), right: inset('Right'), bottom: inset('Bottom') });
    picture = place.picture;
    for (const element of [poster, overlay, $('canvas')]) {
      if (!element) continue;
      element.style.width = picture.w + 'px';
      element.style.height = picture.h + 'px';
      element.style.left = picture.x + 'px';
      element.style.top = picture.y + 'px';
    }
    for (const side of ['left', 'right', 'bottom']) controls.style[side] = place.controls[side] + 'px';
  }
  window.addEventListener('resize', layout);
  window.addEventListener('orientationchange', layout);
  layout();

  // --- Full screen: the button, F11 and Alt+Enter; hidden where the browser has none --
  const canFullscreen = !!(document.fullscreenEnabled || document.webkitFullscreenEnabled);
  fullscreenButton.hidden = !canFullscreen;
  const fullscreenElement = () => document.fullscreenElement || document.webkitFullscreenElement || null;
  function toggleFullscreen() {
    if (fullscreenElement()) {
      const exit = document.exitFullscreen || document.webkitExitFullscreen;
      Promise.resolve(exit.call(document)).catch(() => {});
    } else if (stage.requestFullscreen) {
      // A phone held upright turns the picture sideways, where the engine allows it.
      stage.requestFullscreen().then(() => {
        if (touchFirst && screen.orientation && screen.orientation.lock)
          return screen.orientation.lock('landscape');
      }).catch(() => {});
    } else if (stage.webkitRequestFullscreen) {
      stage.webkitRequestFullscreen();
    }
  }
  function fullscreenChanged() {
    fullscreenButton.setAttribute('aria-pressed', String(!!fullscreenElement()));
    // The controls moved under a pointer that may not move again: no leave will come.
    pointerOnControls = false;
    layout();
  }
  fullscreenButton.setAttribute('aria-pressed', 'false');
  document.addEventListener('fullscreenchange', fullscreenChanged);
  document.addEventListener('webkitfullscreenchange', fullscreenChanged);
  fullscreenButton.addEventListener('click', (event) => {
    event.stopPropagation();
    // A click leaves no focus to hold the controls up (a key's press, detail 0, does).
    if (event.detail > 0) fullscreenButton.blur();
    toggleFullscreen();
  });
  window.addEventListener('keydown', (event) => {
    if (event.key === 'F11' || (event.key === 'Enter' && event.altKey)) {
      event.preventDefault();
      event.stopImmediatePropagation();
      if (!event.repeat) toggleFullscreen();
    }
  }, true);

  // Focus the keyboard gave (engines too old to tell: any focus).
  function focusVisible(element) {
    try {
      return element.matches(':focus-visible');
    } catch (e) {
      return true;
    }
  }

  // --- Messages -----------------------------------------------------------------------
  let messageKind = null;  // what the message on show is about
  function showMessage(text, kind = 'error') {
    message.textContent = text;
    message.hidden = false;
    messageKind = kind;
  }
  function hideMessage(kind) {
    if (messageKind !== kind) return;
    message.hidden = true;
    messageKind = null;
  }

  // --- Downloads ----------------------------------------------------------------------
  // build-web writes files.json: each file's size, and its gzipped copy's, which is
  // what the page fetches where the browser can unpack it.
  const gzip = 'DecompressionStream' in window;
  const kStallMs = 30000;
  let total = 0, received = 0, lastByteAt = 0;
  function moved(bytes) {
    received += bytes;
    lastByteAt = performance.now();
    hideMessage('stall');
    const percent = total ? Math.min(100, Math.round(received * 100 / total)) : 0;
    bar.style.width = percent + '%';
    progress.setAttribute('aria-valuenow', String(percent));
    playText.textContent = 'Loading ' + percent + ' %';
  }

  // A download that stops without failing would leave the bar where it is for ever.
  function watchForStall() {
    lastByteAt = performance.now();
    const timer = setInterval(() => {
      if (performance.now() - lastByteAt >= kStallMs && messageKind !== 'stall') {
        showMessage('The download has stalled: nothing has arrived for ' + kStallMs / 1000 +
          ' seconds. It goes on if the connection comes back; or reload the page.', 'stall');
      }
    }, 1000);
    return () => {
      clearInterval(timer);
      hideMessage('stall');
    };
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

  async function fetchJson(name) {
    const response = await fetch(name);
    if (!response.ok) throw new Error(name + ': HTTP ' + response.status);
    return response.json();
  }

  let build = null;  // files.json
  async function downloadAll() {
    build = await fetchJson('files.json');
    total = build.files.reduce((sum, f) => sum + (gzip ? f.gz : f.size), 0);
    const files = {};
    const stopWatching = watchForStall();
    try {
      await Promise.all(build.files.map(async (f) => { files[f.name] = await fetchFile(f.name); }));
    } finally {
      stopWatching();
    }
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

  // --- The controls -------------------------------------------------------------------
  // The show's time as the program last showed it, and where a seek asked for lately is
  // going (a second skip counts from there, not from the picture still on the screen).
  const startMs = /^\d+$/.test(query.get('t') || '') ? Number(query.get('t')) : 0;
  let showMs = startMs;
  let lengthMs = Number(seek.max);
  let timeline = null;
  // A seek replays the show up to its time; the bar shows the time asked for until the
  // program shows it (a seek lands on the next frame of a 60 fps run), or for a while.
  const kSeekWaitMs = 2000;
  let seekTarget = null, seekAskedAt = 0;
  let dragging = false;
  let shownSecond = -1;

  function buildMarks(data) {
    timeline = data;
    lengthMs = data.lengthMs;
    seek.max = String(lengthMs);
    marksBox.textContent = '';
    for (const mark of show.marks(data)) {
      const element = document.createElement('div');
      element.className = 'mark lane' + mark.lane;
      element.dataset.start = String(mark.startMs);
      element.dataset.end = String(mark.endMs);
      element.title = mark.name;
      element.textContent = mark.name;
      element.style.left = mark.left + '%';
      element.style.width = mark.width + '%';
      marksBox.appendChild(element);
    }
    shownSecond = -1;
    renderTime();
  }

  const namesAt = (ms) => (timeline ? show.namesAt(timeline, ms).join(' + ') : '');

  // The slider, the played part, the time and the effect's name; the text only when the
  // second changes.
  function renderTime() {
    if (seekTarget !== null && performance.now() - seekAskedAt > kSeekWaitMs) seekTarget = null;
    const ms = dragging ? Number(seek.value) : seekTarget !== null ? seekTarget : showMs;
    if (!dragging && seek.value !== String(ms)) seek.value = String(ms);
    played.style.width = (lengthMs ? ms * 100 / lengthMs : 0) + '%';
    const second = Math.floor(ms / 1000);
    if (second === shownSecond) return;
    shownSecond = second;
    const now = show.formatTime(ms), names = namesAt(ms);
    timeText.textContent = now + ' / ' + show.formatTime(lengthMs);
    effectText.textContent = names;
    seek.setAttribute('aria-valuetext', now + (names ? ', ' + names : ''));
    for (const mark of marksBox.children)
      mark.classList.toggle('here', Number(mark.dataset.start) <= ms && ms < Number(mark.dataset.end));
    if (!tip.hidden && tipFollowsThumb) placeTip(ms);
  }

  // The name of a point of the bar, over it: where the pointer hovers, or at the thumb
  // while the slider has the keyboard's focus.
  let tipFollowsThumb = false;
  function placeTip(ms) {
    tip.textContent = show.formatTime(ms) + (namesAt(ms) ? '  ' + namesAt(ms) : '');
    tip.style.left = (lengthMs ? ms * 100 / lengthMs : 0) + '%';
    tip.hidden = false;
  }
  seek.addEventListener('pointermove', (event) => {
    const box = seek.getBoundingClientRect();
    if (!box.width) return;
    tipFollowsThumb = false;
    placeTip(Math.min(Math.max((event.clientX - box.left) / box.width, 0), 1) * lengthMs);
  });
  seek.addEventListener('pointerleave', () => {
    if (!tipFollowsThumb) tip.hidden = true;
  });
  seek.addEventListener('focus', () => {
    if (!focusVisible(seek)) return;
    tipFollowsThumb = true;
    placeTip(Number(seek.value));
  });
  seek.addEventListener('blur', () => {
    tipFollowsThumb = false;
    tip.hidden = true;
  });

  // The program's time for each picture it shows, and whether it is paused on it.
  function onTime(ms, paused) {
    showMs = ms;
    if (seekTarget !== null && Math.abs(ms - seekTarget) < 50) seekTarget = null;
    if (paused !== kavlo.paused) {
      kavlo.paused = paused;
      playPause.classList.toggle('paused', paused);
      playPause.setAttribute('aria-label', paused ? 'Play' : 'Pause');
      showControls();
    }
    renderTime();
  }

  const running = () => isClicked && isRunning && kavlo.firstFrameAt !== null && kavlo.exitCode === null;
  function setPaused(paused) {
    if (running()) kavlo.module._kavlo_set_paused(paused ? 1 : 0);
  }
  function seekTo(ms) {
    if (!running()) return;
    seekTarget = Math.min(Math.max(Math.round(ms), 0), lengthMs);
    seekAskedAt = performance.now();
    kavlo.module._kavlo_seek(seekTarget);
  }
  function skipBy(ms) {
    seekTo((seekTarget !== null ? seekTarget : showMs) + ms);
  }

  playPause.addEventListener('click', () => setPaused(!kavlo.paused));
  seek.addEventListener('pointerdown', () => { dragging = true; });
  for (const type of ['pointerup', 'pointercancel'])
    window.addEventListener(type, () => { dragging = false; });
  seek.addEventListener('input', () => {
    seekTo(Number(seek.value));
    renderTime();
  });
  seek.addEventListener('change', () => {
    dragging = false;
    seekTo(Number(seek.value));
  });

  let noteTimer = 0;
  function say(text) {
    note.textContent = text;
    clearTimeout(noteTimer);
    noteTimer = setTimeout(() => { note.textContent = ''; }, 2500);
  }
  linkButton.addEventListener('click', async () => {
    const link = kavlo.lastLink = show.linkTo(location.href, showMs);
    const at = show.formatTime(showMs);
    try {
      await navigator.clipboard.writeText(link);
      say('Link to ' + at + ' copied');
    } catch (e) {
      // No clipboard here (a page not from https, or refused): the address bar has it.
      history.replaceState(null, '', link);
      say('The address bar links to ' + at);
    }
  });

  // Shown on pointer movement, a tap or a key; hidden after a while of play, never while
  // paused, dragged, hovered, or holding the keyboard's focus.
  const kHideMs = 2500;
  let hideTimer = 0, pointerOnControls = false;
  function showControls() {
    controls.dataset.shown = 'true';
    stage.classList.remove('idle');
    clearTimeout(hideTimer);
    hideTimer = setTimeout(hideWhenIdle, kHideMs);
  }
  function hideControls() {
    clearTimeout(hideTimer);
    controls.dataset.shown = 'false';
    stage.classList.add('idle');
    tip.hidden = true;
  }
  function hideWhenIdle() {
    const focused = controls.contains(document.activeElement) && focusVisible(document.activeElement);
    if (kavlo.paused || dragging || pointerOnControls || focused) showControls();
    else hideControls();
  }
  controls.addEventListener('pointerenter', (event) => {
    pointerOnControls = event.pointerType === 'mouse';
  });
  controls.addEventListener('pointerleave', () => { pointerOnControls = false; });
  controls.addEventListener('focusin', showControls);
  stage.addEventListener('pointermove', (event) => {
    if (event.pointerType !== 'touch' && running()) showControls();
  });

  window.addEventListener('keydown', (event) => {
    // Space or Enter on a focused button is that button's, not the player's Space.
    if (controls.contains(event.target) && event.target.tagName === 'BUTTON' &&
        (event.key === ' ' || event.key === 'Enter')) {
      event.stopImmediatePropagation();
    }
    if (running() && event.key !== 'Escape') showControls();
  }, true);

  // --- Touch --------------------------------------------------------------------------
  // A tap on the picture shows or hides the controls; a double tap in its left or right
  // third goes 5 s back or on (and each further quick tap 5 s more), leaving the controls
  // as they were. Mouse clicks on the picture play and pause, as in a video player.
  const kSkipMs = 5000;
  let lastPointer = 'mouse', touchStart = null;
  let lastTap = { at: -Infinity, third: 0, shown: false };
  stage.addEventListener('pointerdown', (event) => {
    lastPointer = event.pointerType;
    if (event.pointerType === 'touch' && event.isPrimary)
      touchStart = { x: event.clientX, y: event.clientY, at: event.timeStamp };
  }, true);
  stage.addEventListener('pointerup', (event) => {
    const start = touchStart;
    touchStart = null;
    if (event.pointerType !== 'touch' || !start || !running() || controls.contains(event.target)) return;
    const moved = Math.hypot(event.clientX - start.x, event.clientY - start.y);
    if (moved > 12 || event.timeStamp - start.at > 500) return;  // a drag or a press
    const tap = show.tapOn(event.clientX, picture, event.timeStamp, lastTap);
    if (tap.skip) {
      skipBy(tap.third * kSkipMs);
      showSkip(tap.third, event.clientY);
      lastTap.at = event.timeStamp;
      if (lastTap.shown) showControls(); else hideControls();
      return;
    }
    lastTap = { at: event.timeStamp, third: tap.third, shown: controls.dataset.shown === 'true' };
    if (lastTap.shown) hideControls(); else showControls();
  });

  let skipTimer = 0;
  function showSkip(third, y) {
    skip.textContent = third < 0 ? '\u2212 5 s' : '+ 5 s';
    skip.style.top = (y - 20) + 'px';
    skip.style.left = (picture.x + picture.w * (third < 0 ? 1 / 6 : 5 / 6)) + 'px';
    skip.style.transform = 'translateX(-50%)';
    skip.classList.add('on');
    clearTimeout(skipTimer);
    skipTimer = setTimeout(() => skip.classList.remove('on'), 400);
  }

  // While the show plays, pinching and dragging are not the page's: no zoom, no scroll.
  document.addEventListener('touchmove', (event) => {
    if (running() && event.target !== seek && event.cancelable) event.preventDefault();
  }, { passive: false });
  document.addEventListener('gesturestart', (event) => {
    if (running()) event.preventDefault();
  });
  document.addEventListener('dblclick', (event) => {
    if (running()) event.preventDefault();
  });

  // --- The show ---------------------------------------------------------------------
  // The program's arguments: the page's options, then what a test asks for. ?t= and
  // ?size= go as they are: the program says what it refuses.
  function programArguments() {
    const args = ['--size', query.has('size') ? query.get('size') : width + 'x' + height];
    if (query.has('mute')) args.push('--mute');
    if (query.has('check-gl')) args.push('--check-gl');
    // ?t=MS: a link to a moment of the show.
    if (query.has('t')) args.push('--start', query.get('t'));
    if (query.has('test-fps')) args.push('--test-fps', query.get('test-fps'));
    if (query.has('at')) args.push('--at', query.get('at'));
    if (query.has('flash-syncs')) args.push('--flash-syncs');
    return args;
  }

  // A run shows its canvas once it has been clicked and the program runs; until then
  // the loading picture stays, with the progress, then the offer to play.
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

  // The poster's button says where things are: loading with its progress, then, once
  // everything has arrived, the offer to play. A click from then on plays the show as soon
  // as the program has its effects ready (a second or two). Nothing on the screen changes
  // when they are: a software renderer takes seconds over a change, and the first frame
  // would wait for it.
  function offerToPlay() {
    progress.classList.add('done');
    playText.textContent = touchFirst ? 'Tap to play' : 'Click to play';
    playButton.disabled = false;
  }
  function ready() {
    kavlo.readyAt = performance.now();
  }

  function start() {
    kavlo.clickAt = performance.now();
    isClicked = true;
    update();
    clickedNow();
    unlockSound();
  }

  function started() {
    kavlo.firstFrameAt = performance.now();
    muteButton.hidden = kavlo.audio.length === 0;
    controls.hidden = false;
    layout();
    showControls();
  }

  let runErrors = [], runMessage = false;  // this run's stderr; whether it showed a message
  function ended(code) {
    kavlo.exitCode = code;
    try {
      kavlo.report = new TextDecoder().decode(kavlo.module.FS.readFile('/memleaks.log'));
      console.log('memleaks.log:\n' + kavlo.report);
    } catch (e) {
      console.warn('kavlo: no memleaks.log: ' + e);
    }
    if (fullscreenElement()) toggleFullscreen();
    for (const audio of kavlo.audio) audio.close().catch(() => {});
    kavlo.audio = [];
    controls.hidden = true;
    hideControls();
    stage.classList.remove('idle');
    const playedAny = kavlo.firstFrameAt !== null;
    if (code !== 0 && !runMessage)
      showMessage(show.failureText(code, playedAny, runErrors, query));
    if (code !== 0 && !playedAny) {
      // Nothing played: another click would fail the same way.
      playButton.disabled = playButton.hidden = true;
      progress.classList.add('done');
      isRunning = false;
      update();
      return;
    }
    playText.textContent = 'Play again';
    playButton.disabled = false;
    armClick();
  }

  function run(files) {
    const old = $('canvas');
    if (old) old.remove();
    const canvas = document.createElement('canvas');
    canvas.id = 'canvas';
    canvas.addEventListener('webglcontextlost', (e) => {
      e.preventDefault();
      showMessage('The graphics context was lost. Reload the page to play again.');
    });
    stage.insertBefore(canvas, poster.nextSibling);
    layout();
    runErrors = [];
    runMessage = false;
    const config = {
      canvas,
      wasmBinary: files['kavlo.wasm'],
      kavloPage: {
        play: clicked,
        ready,
        started,
        time: onTime,
        frameTime: (ms, workMs) => { kavlo.frameTimes.push([ms, workMs]); },
        message: (caption, text) => {
          runMessage = true;
          showMessage(caption + ': ' + text);
        },
        sync: (ms) => { kavlo.syncs.push(ms); },
        frame: (timeMs, rgba, w, h) => { kavlo.frames.push({ timeMs, rgba, width: w, height: h }); },
      },
      print: (text) => console.log(text),
      printErr: (text) => {
        runErrors.push(text);
        console.warn(text);
      },
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
      playButton.disabled = playButton.hidden = true;
      progress.classList.add('done');
      showMessage('This browser cannot show Kavlo: it has no WebGL 2 (or it is switched off).');
      return;
    }
    let files;
    stage.addEventListener('click', (event) => {
      if (isClicked) {
        // A click on the picture while the show plays: pause or play on.
        if (lastPointer !== 'touch' && running() && !controls.contains(event.target)) {
          setPaused(!kavlo.paused);
          showControls();
        }
        return;
      }
      if (broken || (playButton.disabled && kavlo.exitCode !== null)) return;
      if (message.contains(event.target)) return;
      start();
      if (kavlo.exitCode !== null) {
        kavlo.exitCode = null;
        kavlo.syncs = [];
        kavlo.frames = [];
        kavlo.frameTimes = [];
        kavlo.readyAt = kavlo.firstFrameAt = null;
        kavlo.paused = false;
        showMs = startMs;
        seekTarget = null;
        playPause.classList.remove('paused');
        playPause.setAttribute('aria-label', 'Pause');
        hideMessage('error');
        run(files).catch(failed);
      }
    });
    try {
      const [list, timelineData] = await Promise.all([downloadAll(), fetchJson('timeline.json')]);
      files = list;
      buildMarks(timelineData);
      await loadScript(files['kavlo.js']);
    } catch (e) {
      failed(e);
      return;
    }
    offerToPlay();
    await run(files).catch(failed);
  }

  let broken = false;  // nothing to play: the downloads or the program failed
  function failed(e) {
    broken = true;
    playButton.disabled = playButton.hidden = true;
    progress.classList.add('done');
    showMessage('Loading failed: ' + (e && e.message ? e.message : e) + '. Reload the page to try again.');
  }

  // --- Offline ------------------------------------------------------------------------
  // sw.js keeps each build in a cache of its own and answers from it. A visit that finds
  // a newer build's worker waiting hands over to it and loads again from the new build,
  // as long as the show has not been started; once started, the next visit does.
  function offline() {
    if (!('serviceWorker' in navigator) || !/^https?:$/.test(location.protocol)) return;
    const worker = navigator.serviceWorker;
    const hadController = !!worker.controller;
    let replacing = false;
    const takeOver = (waiting) => {
      if (!hadController || isClicked || replacing) return;
      replacing = true;
      waiting.postMessage('take-over');
    };
    worker.addEventListener('controllerchange', () => {
      if (replacing) location.reload();
      else checkOffline();
    });
    worker.register('sw.js').then((registration) => {
      if (registration.waiting) takeOver(registration.waiting);
      registration.addEventListener('updatefound', () => {
        const installing = registration.installing;
        installing.addEventListener('statechange', () => {
          if (installing.state === 'installed') takeOver(installing);
        });
      });
      checkOffline();
    }).catch((e) => console.warn('kavlo: no offline copy: ' + e.message));
  }

  // Ready offline: a worker controls the page and its build's cache holds every file
  // the page fetches (files.json names them).
  async function checkOffline() {
    if (kavlo.offlineReady || !navigator.serviceWorker.controller) return;
    try {
      const list = build || await fetchJson('files.json');
      const name = 'kavlo-' + list.build;
      if (!await caches.has(name)) return;
      const cache = await caches.open(name);
      const names = list.page.concat(list.files.map((f) => (gzip ? f.name + '.gz' : f.name)));
      const found = await Promise.all(names.map((n) => cache.match(n)));
      kavlo.offlineReady = found.every(Boolean);
    } catch (e) {
      // Not yet: the next change of worker looks again.
    }
  }
  navigator.serviceWorker && navigator.serviceWorker.ready.then(checkOffline, () => {});

  offline();
  main();
})();
