// One play of the page per build folder for bench/sync/web.sh: Firefox shows the page with
// ?flash-syncs; ffmpeg grabs a patch of its picture every 5 ms and parec records the sink's
// monitor while the show plays; kavlo-sync-offsets prints flash minus note.
//   node bench/sync/web.mjs OFFSETS WORK SECONDS NAME=BUILD_WEB...
// Needs DISPLAY (an X server of the caller's) and PULSE_SERVER with a sink kavlo_null.
import { spawn } from 'node:child_process';
import { mkdirSync, readFileSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';
import { launch } from '../../tests/app/web/browser.mjs';
import { Server } from '../../tests/app/web/server.mjs';

const [offsets, work, seconds, ...plays] = process.argv.slice(2);
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));
const run = (program, args, out) => new Promise((resolve) => {
  const child = spawn(program, args, { stdio: ['ignore', 'pipe', 'inherit'] });
  let text = '';
  child.stdout.on('data', (d) => { text += d; });
  child.on('exit', () => { if (out) writeFileSync(out, text); resolve(text); });
});

async function play(name, root) {
  const out = join(work, name);
  mkdirSync(out, { recursive: true });
  const server = new Server(root);
  const url = await server.listen();
  const page = await launch('firefox');
  await page.viewport(480, 360);
  await page.goto(url + '?flash-syncs&size=320x240');
  if (!await page.waitFor('window.kavlo && window.kavlo.readyAt != null', 120)) throw new Error(name + ': the page did not load');
  // A patch in the middle of the picture, on the screen (Firefox gives the page's place).
  const [x, y] = await page.evaluate(`(() => {
    const r = document.querySelector('#stage canvas').getBoundingClientRect();
    return [Math.round(mozInnerScreenX + r.x + r.width / 2 - 32), Math.round(mozInnerScreenY + r.y + r.height / 2 - 24)];
  })()`);
  const grab = spawn('ffmpeg', ['-hide_banner', '-loglevel', 'error', '-y', '-f', 'x11grab', '-draw_mouse', '0',
    '-framerate', '200', '-video_size', '64x48', '-i', `${process.env.DISPLAY}+${x},${y}`, '-copyts',
    '-vf', `signalstats,metadata=print:file=${out}/luma.txt`, '-f', 'null', '-'], { stdio: 'ignore' });
  const sound = join(out, 'sound.raw');
  writeFileSync(sound, '');
  const record = spawn('sh', ['-c', `exec parec -d kavlo_null.monitor --raw --format=s16le --rate=44100 --channels=2 --latency-msec=10 >"${sound}"`]);
  const clock = run(offsets, ['clock', sound, '8'], join(out, 'frame0'));
  await sleep(2000);
  await page.clickOn('#stage');
  await sleep(Number(seconds) * 1000);
  await page.close();
  await server.close();
  await sleep(500);
  grab.kill('SIGINT');
  record.kill();
  await clock;
  const frame0 = readFileSync(join(out, 'frame0'), 'utf8').trim();
  const result = await run(offsets, [join(out, 'luma.txt'), sound, frame0, join(work, 'reference.wav'),
    join(work, 'syncs.txt')], join(out, 'offsets.txt'));
  console.log(`== ${name}\n${result.split('\n').filter((l) => l.startsWith('syncs') || l.includes('flash')).join('\n')}`);
}

for (const entry of plays) {
  const at = entry.indexOf('=');
  await play(entry.slice(0, at), entry.slice(at + 1));
}
