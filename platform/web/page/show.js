// The page's reckoning, in plain functions that node can test (tests/page): the show's
// timeline for the controls (the seek bar's marks, the names at a time, times as m:ss,
// links to a moment) from timeline.json, which build-web has the program's own timeline
// written to (kavlo-capture --timeline); the picture's size and place, and the controls'
// over it; what a tap on it does; and what the page says when a run fails.
'use strict';
(function (root) {
  // 83000 -> "1:23"; a time is shown by the second it is in.
  function formatTime(ms) {
    const seconds = Math.max(0, Math.floor(ms / 1000));
    return Math.floor(seconds / 60) + ':' + String(seconds % 60).padStart(2, '0');
  }

  // One mark per effect window, in the timeline's order, cut to the show's length: its
  // place on the bar in percent, and its lane (the main effects alternate between lanes
  // 0 and 1, so that two that overlap stay apart; overlays ride in lane 2).
  function marks(timeline) {
    const length = timeline.lengthMs;
    let main = 0;
    const result = [];
    for (const effect of timeline.effects) {
      const start = Math.min(effect.startMs, length), end = Math.min(effect.endMs, length);
      if (!(end > start)) continue;
      result.push({
        name: effect.name,
        startMs: start,
        endMs: end,
        overlay: !!effect.overlay,
        lane: effect.overlay ? 2 : main++ % 2,
        left: start * 100 / length,
        width: (end - start) * 100 / length,
      });
    }
    return result;
  }

  // The names of the effects on the screen at `ms`: the main effect that has started
  // last (where two overlap, the new one is the one to name), then any overlay.
  function namesAt(timeline, ms) {
    const at = Math.min(Math.max(ms, 0), timeline.lengthMs - 1);
    let main = null;
    const overlays = [];
    for (const effect of timeline.effects) {
      if (at < effect.startMs || at >= effect.endMs) continue;
      if (effect.overlay) overlays.push(effect.name);
      else if (!main || effect.startMs > main.startMs) main = effect;
    }
    return (main ? [main.name] : []).concat(overlays);
  }

  // The page's address for a moment of the show: ?t=MS and nothing else of the query
  // (a test's or a size chosen for one screen is no part of a moment).
  function linkTo(href, ms) {
    const url = new URL(href);
    url.search = '?t=' + Math.max(0, Math.floor(ms));
    url.hash = '';
    return url.href;
  }

  // The size the show draws at: ?size=WxH as asked (the program judges it), else the
  // largest 4:3 picture the screen shows pixel for pixel (sharp on high-density screens;
  // a phone held upright counts its width), at most 1440x1080, its height a multiple of 6.
  function renderSize(asked, screenWidth, screenHeight, ratio) {
    const match = /^(\d+)x(\d+)$/.exec(asked || '');
    const sides = match ? [Number(match[1]), Number(match[2])] : [];
    if (sides[0] > 0 && sides[1] > 0) return sides;
    const height = Math.min(1080, Math.floor(Math.min(screenHeight, screenWidth * 3 / 4) * ratio));
    const h = Math.max(240, height - (height % 6));
    return [h / 3 * 4, h];
  }

  // The largest rectangle of the picture's aspect in a stage, centred (the width of a
  // phone held upright, the height of one held sideways), and the controls over its foot,
  // kept inside the screen's safe area (insets: { left, right, bottom }).
  function fit(stageWidth, stageHeight, width, height, insets) {
    const scale = Math.min(stageWidth / width, stageHeight / height);
    const w = Math.round(width * scale), h = Math.round(height * scale);
    const x = Math.floor((stageWidth - w) / 2), y = Math.floor((stageHeight - h) / 2);
    return {
      picture: { x, y, w, h },
      controls: {
        left: Math.max(x, insets.left),
        right: Math.max(stageWidth - x - w, insets.right),
        bottom: Math.max(stageHeight - y - h, insets.bottom),
      },
    };
  }

  // A tap at `x` at time `at` (ms) on the picture: the third it is in (-1, 0, 1), and
  // whether it skips: a tap in the same outer third as the last one, within the double
  // tap's time of it, goes 5 s back or on.
  const kDoubleTapMs = 350;
  function tapOn(x, picture, at, last) {
    const where = (x - picture.x) / (picture.w || 1);
    const third = where < 1 / 3 ? -1 : where > 2 / 3 ? 1 : 0;
    return { third, skip: third !== 0 && third === last.third && at - last.at < kDoubleTapMs };
  }

  // The program's arguments that the page takes from its address.
  const kFromAddress = { '--start': 't', '--size': 'size', '--test-fps': 'test-fps', '--at': 'at' };

  // Why a run ended with a failure status, in words: the program's own last word on
  // stderr (naming the part of the address its argument came from), or a sentence for
  // the bare status. `address` is the page's URLSearchParams.
  function failureText(code, playedAny, stderrLines, address) {
    const what = playedAny ? 'The show stopped' : 'The show cannot start';
    const said = stderrLines.filter((line) => line.startsWith('kavlo: ')).pop();
    if (!said) return what + ': the program ended with status ' + code + '. Reload the page to try again.';
    let text = what + ': ' + said.slice('kavlo: '.length);
    const argument = /'(--[a-z-]+)'/.exec(said);
    const parameter = argument && kFromAddress[argument[1]];
    if (parameter && address.has(parameter))
      text += ' (' + parameter + '=' + address.get(parameter) + ' in the address)';
    return text + '.';
  }

  const api = { formatTime, marks, namesAt, linkTo, renderSize, fit, tapOn, failureText };
  if (typeof module === 'object' && module.exports) module.exports = api;
  else root.kavloShow = api;
})(this);
