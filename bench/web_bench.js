'use strict';
// node --experimental-websocket bench/web_bench.js [build directory] [work directory]
//   (or: cmake --build build --target web_bench)
//
// The exported page's frame time in headless Chromium (over HTTP on 127.0.0.1, a 1280 x 960
// window), against what the same browser takes to draw one view-filling picture a frame with
// canvas 2D (a plain page that zooms into the demo's first picture, as the simplest zoom pages
// do), measured in the same run:
// - the demo's page (#full: the zoom fills the window) playing there and back, once the player
//   has chosen its renderer by the frame times it measured;
// - a 200-picture stack as an endless page that fills the window, diving for a minute
//   (TV_WEB_BENCH_SECONDS), with the page's memory at the start and the end (the JavaScript heap
//   after a garbage collection, and the browser's resident memory).
// Frame times are the gaps between animation frames the player drew (median and p90). Prints
// figures and ratios; never fails on a time, exits with 1 only when something could not be made
// or run.

const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { Browser } = require('../tests/web/browser/chromium.js');
const { sleep, writeProject, run, serve, changeSettings } = require('../tests/web/browser/site.js');

const WIDTH = 1280, HEIGHT = 960;
const DIVE_SECONDS = Number(process.env.TV_WEB_BENCH_SECONDS) > 0 ? Number(process.env.TV_WEB_BENCH_SECONDS) : 60;
const DIVE_PICTURES = 200;

// The gaps between animation frames for `seconds`, only those in which the player drew (or, on
// the baseline page, every frame), and the pictures each frame of the player drew.
const MEASURE = (seconds) => `new Promise((resolve) => {
  const player = window.Tunnelvista && Tunnelvista.players[0];
  const gaps = [], pictures = [];
  const end = performance.now() + ${seconds * 1000};
  let last = null, frames = player ? player.frames : 0, passes = 0, position = player ? player.position : 0;
  requestAnimationFrame(function tick(now) {
    const drew = !player || player.frames !== frames;
    if (drew && last !== null) gaps.push(now - last);
    if (drew && player) pictures.push(player.drawnPictures || 0);
    if (player && player.speed > 0 && player.position < position - 0.5) ++passes;
    if (player) { frames = player.frames; position = player.position; }
    last = now;
    if (now < end) return requestAnimationFrame(tick);
    resolve({ gaps, pictures, seams: passes,
      renderer: !player ? 'canvas 2D' : player.element.dataset.renderer + (player.renderer.webgl2 ? ' (WebGL 2)' : '') +
        (player.chosen ? ', chosen on ' + player.chosen.webgl.toFixed(0) + ' ms a WebGL frame against ' +
          (player.chosen.canvas >= 0 ? player.chosen.canvas.toFixed(0) + ' ms a canvas frame' : 'no canvas tried') :
          player.choice ? ', still measuring' : '') });
  });
})`;

// Figures of one or more measurements: median and p90 frame time, median pictures a frame.
function summary(parts) {
  const all = (key) => parts.flatMap((r) => r[key]).sort((p, q) => p - q);
  const at = (a, q) => a.length ? a[Math.min(a.length - 1, Math.floor(q * a.length))] : NaN;
  const gaps = all('gaps'), pictures = all('pictures');
  return { median: at(gaps, 0.5), p90: at(gaps, 0.9), frames: gaps.length, pictures: pictures.length ? at(pictures, 0.5) : null,
    seams: parts.reduce((sum, r) => sum + r.seams, 0), renderer: parts[parts.length - 1].renderer };
}

// The plain page: one picture, filling the canvas, a little further in each frame.
function writeBaseline(site, picture) {
  fs.copyFileSync(picture, path.join(site, 'baseline.jpg'));
  fs.writeFileSync(path.join(site, 'baseline.html'), '<!DOCTYPE html>\n<html><head><meta charset="utf-8">' +
    '<style>html, body { margin: 0; overflow: hidden; } canvas { display: block; width: 100vw; height: 100vh; }</style>' +
    '</head><body><canvas></canvas><script src="baseline.js"></script></body></html>\n');
  fs.writeFileSync(path.join(site, 'baseline.js'), `
    const canvas = document.querySelector('canvas');
    const c = canvas.getContext('2d', { alpha: false, willReadFrequently: location.search === '?cpu' });
    const image = new Image();
    image.onload = () => {
      canvas.width = Math.round(innerWidth * devicePixelRatio);
      canvas.height = Math.round(innerHeight * devicePixelRatio);
      requestAnimationFrame(function draw(now) {
        const zoom = Math.exp((now / 5000) % Math.log(2)), w = canvas.width * zoom, h = canvas.height * zoom;
        c.drawImage(image, (canvas.width - w) / 2, (canvas.height - h) / 2, w, h);
        requestAnimationFrame(draw);
      });
      document.documentElement.dataset.ready = '1';
    };
    image.src = 'baseline.jpg';
  `);
}

// 200 pictures (the demo's, each a file of its own) placed as the demo places them, over and
// over; a demo's first picture (and, endless, the first inside the last) placed as its second.
function writeDive(demo, folder) {
  const text = fs.readFileSync(path.join(demo, 'demo.kx'), 'latin1').replace(/\r\n/g, '\n');
  const placed = text.split(/\n\s*\n/).filter((b) => /^filename /m.test(b)).map((b) => {
    const words = (key) => b.match(new RegExp(`^${key} (.*)$`, 'm'))[1].trim().split(/\s+/);
    const [x, y] = words('translate').map(Number);
    return { file: path.join(demo, words('filename').join(' ')), scale: Number(words('scale')[0]), x, y,
      rotate: Number(words('rotate')[0]) };
  });
  if (placed.length < 2) throw new Error('demo.kx is not as expected');
  fs.mkdirSync(folder, { recursive: true });
  const pictures = [];
  for (let i = 0; i < DIVE_PICTURES; ++i) {
    const from = placed[i % placed.length];
    const file = path.join(folder, `p${String(i).padStart(3, '0')}.jpg`);
    fs.copyFileSync(from.file, file);
    pictures.push({ ...(i > 0 && i % placed.length === 0 ? placed[1] : from), file });
  }
  const project = path.join(folder, 'dive.kx');
  writeProject(project, pictures, placed[1], 40);
  return project;
}

// The browser's resident memory: Chromium and every process under it, in MB.
function residentMegabytes(pid) {
  const children = new Map();
  for (const entry of fs.readdirSync('/proc')) {
    if (!/^\d+$/.test(entry)) continue;
    try {
      const stat = fs.readFileSync(`/proc/${entry}/stat`, 'utf8');
      const parent = Number(stat.slice(stat.lastIndexOf(')') + 2).split(' ')[1]);
      if (!children.has(parent)) children.set(parent, []);
      children.get(parent).push(Number(entry));
    } catch (error) { /* gone */ }
  }
  let kilobytes = 0;
  const visit = (p) => {
    try {
      const rss = /VmRSS:\s+(\d+)/.exec(fs.readFileSync(`/proc/${p}/status`, 'utf8'));
      if (rss) kilobytes += Number(rss[1]);
    } catch (error) { /* gone */ }
    for (const child of children.get(p) || []) visit(child);
  };
  visit(pid);
  return kilobytes / 1024;
}

async function memory(page, browser) {
  await page.send('HeapProfiler.enable');
  await page.send('HeapProfiler.collectGarbage');
  const metrics = (await page.send('Performance.getMetrics')).metrics;
  const heap = metrics.find((m) => m.name === 'JSHeapUsedSize');
  return { heap: heap ? heap.value / 1048576 : NaN, resident: residentMegabytes(browser.child.pid) };
}

async function open(browser, url, condition) {
  const page = await browser.open(url, WIDTH, HEIGHT);
  await page.send('Page.bringToFront');
  await page.send('Performance.enable');
  await page.waitFor(condition, 120000);
  return page;
}

const playerReady = 'window.Tunnelvista && Tunnelvista.players.length && Tunnelvista.players[0].data && ' +
  'document.documentElement.dataset.ready === "1"';
const ms = (value) => `${value.toFixed(1)} ms`;
const line = (label, r) => `${label.padEnd(34)} ${ms(r.median)} median, ${ms(r.p90)} p90 a frame over ${r.frames} frames` +
  (typeof r.pictures === 'number' ? `, ${r.pictures} pictures a frame` : '') + `; ${r.renderer}`;

async function main() {
  const build = path.resolve(process.argv[2] || path.join(__dirname, '..', 'build'));
  const given = process.argv[3];
  const work = given ? path.resolve(given) : fs.mkdtempSync(path.join(os.tmpdir(), 'tv-web-bench-'));
  let server = null, browser = null;
  try {
    const demo = path.join(work, 'demo');
    const site = path.join(work, 'site');
    fs.rmSync(site, { recursive: true, force: true });
    fs.mkdirSync(site, { recursive: true });
    run(path.join(build, 'tools', 'make_demo'), [demo]);
    const program = path.join(build, 'tunnelvista');
    run(program, ['--export-web', path.join(site, 'zoom'), path.join(demo, 'demo.kx')]);
    run(program, ['--export-web', path.join(site, 'dive'), writeDive(demo, path.join(work, 'dive'))]);
    changeSettings(path.join(site, 'dive', 'index.html'), { fill: true, play: 'endless' });
    writeBaseline(site, path.join(demo, 'demo1.jpg'));

    server = await serve(site);
    browser = await Browser.launch();
    const version = await (await fetch(`http://127.0.0.1:${browser.port}/json/version`)).json();
    console.log(`web_bench: ${version.Browser}, window ${WIDTH} x ${HEIGHT}, over HTTP`);

    // The plain page as it is, and with its canvas in the processor's memory (as the player's).
    const baselines = [];
    for (const [query, label] of [['', 'one picture a frame (canvas 2D)'], ['?cpu', '  the same, willReadFrequently']]) {
      const page = await open(browser, `${server.url}baseline.html${query}`, 'document.documentElement.dataset.ready === "1"');
      await sleep(1000);
      baselines.push(summary([await page.evaluate(MEASURE(8))]));
      await page.close();
      console.log(line(label, baselines[baselines.length - 1]));
    }
    const baseline = baselines[0];
    let page;

    page = await open(browser, `${server.url}zoom/index.html#full`, playerReady);
    await page.waitFor('Tunnelvista.players[0].choice === null', 60000).catch(() => {});
    const zoom = summary([await page.evaluate(MEASURE(10))]);
    for (const error of page.errors) console.log(`  page error: ${error}`);
    await page.close();
    console.log(line('the demo\'s page', zoom));

    page = await open(browser, `${server.url}dive/index.html`, playerReady);
    await page.waitFor('Tunnelvista.players[0].choice === null', 60000).catch(() => {});
    // The memory at the start, after each quarter and at the end.
    const memories = [await memory(page, browser)], parts = [];
    for (let quarter = 0; quarter < 4; ++quarter) {
      parts.push(await page.evaluate(MEASURE(DIVE_SECONDS / 4)));
      memories.push(await memory(page, browser));
    }
    for (const error of page.errors) console.log(`  page error: ${error}`);
    await page.close();
    const dive = summary(parts);
    console.log(line(`endless, ${DIVE_PICTURES} pictures, ${DIVE_SECONDS} s`, dive) + `; ${dive.seams} seams crossed`);
    console.log(`  JavaScript heap ${memories.map((m) => m.heap.toFixed(1)).join(' -> ')} MB, browser resident ` +
      `${memories.map((m) => m.resident.toFixed(0)).join(' -> ')} MB (start, each quarter)`);
    for (const [label, b] of [['one picture a frame', baseline], ['the same, willReadFrequently', baselines[1]]])
      console.log(`ratio to ${label}: the demo's page ${(zoom.median / b.median).toFixed(2)}, ` +
        `endless ${(dive.median / b.median).toFixed(2)} (median frame times)`);
  } finally {
    if (browser) await browser.close();
    if (server) server.stop();
    if (!given) fs.rmSync(work, { recursive: true, force: true });
  }
}

main().catch((error) => {
  console.error(`web_bench: ${error.message}`);
  process.exit(1);
});
