// The show's timeline as the page's controls read it: the seek bar's marks, the names
// at a time, times as m:ss and links to a moment. It reads timeline.json, which
// build-web has the program's own timeline written to (kavlo-capture --timeline).
// Plain functions, so that node can test them (tests/page).
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

  const api = { formatTime, marks, namesAt, linkTo };
  if (typeof module === 'object' && module.exports) module.exports = api;
  else root.kavloTimeline = api;
})(this);
