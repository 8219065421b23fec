'use strict';
// node --experimental-websocket bench/web_bench.js [build directory] [work directory]
//
// The exported page's frame rate in headless Chromium: the demo exported with --export-web and
// served over HTTP on 127.0.0.1, played with autoplay at 1280 x 720 (#full: the zoom fills the
// window), frames counted over one pass (from the turn at the end back to the start); against the
// same export of a stack holding only the demo's first picture. Prints frames per second of both
// (frames the player drew, and requestAnimationFrame callbacks), their ratio and the renderer.
// Never fails on a time; exits with 1 only when something could not be made or run.

const { spawn, spawnSync } = require('node:child_process');
const fs = require('node:fs');
const net = require('node:net');
const os = require('node:os');
const path = require('node:path');
const { Browser } = require('../tests/web/browser/chromium.js');

const WIDTH = 1280, HEIGHT = 720;

function sleep(ms) { return new Promise((resolve) => setTimeout(resolve, ms)); }

function run(command, args) {
  const result = spawnSync(command, args, { encoding: 'utf8' });
  if (result.error) throw new Error(`${command}: ${result.error.message}`);
  if (result.status !== 0) throw new Error(`${command} ${args.join(' ')} exited with ${result.status}: ${result.stderr}`);
}

// demo.kx cut to its first picture (its placement and the demo's target frame kept).
function firstPictureProject(demoText) {
  const blocks = demoText.replace(/\r\n/g, '\n').split(/\n\s*\n/);
  const first = blocks.find((b) => /^filename /m.test(b));
  const target = blocks.find((b) => /^target$/m.test(b));
  if (!first || !/^images\s+\d+$/m.test(blocks[0])) throw new Error('demo.kx is not as expected');
  const header = blocks[0].replace(/^images\s+\d+$/m, 'images 1');
  return [header, first].concat(target ? [target] : []).join('\n\n') + '\n';
}

function freePort() {
  return new Promise((resolve, reject) => {
    const server = net.createServer();
    server.on('error', reject);
    server.listen(0, '127.0.0.1', () => {
      const { port } = server.address();
      server.close(() => resolve(port));
    });
  });
}

async function serve(directory) {
  const port = await freePort();
  const child = spawn('python3', ['-m', 'http.server', '--bind', '127.0.0.1', String(port), '--directory', directory],
    { stdio: 'ignore' });
  for (let i = 0; i < 200; ++i) {
    if (child.exitCode !== null) break;
    try {
      const response = await fetch(`http://127.0.0.1:${port}/`);
      await response.arrayBuffer();
      return { child, port };
    } catch (error) {
      await sleep(50);
    }
  }
  child.kill();
  throw new Error('python3 -m http.server did not start');
}

// In the page: waits for the player to turn at the end of a pass, then counts until it turns at
// the start again. Resolves with the seconds, frames drawn, animation frames and the renderer.
const MEASURE = `new Promise((resolve, reject) => {
  const player = Tunnelvista.players[0];
  const limit = performance.now() + 4 * player.duration * 1000 + 30000;
  let start = null, frames = 0, callbacks = 0, wasForward = player.forward;
  requestAnimationFrame(function tick(now) {
    if (now > limit) return reject(new Error('the player did not complete a pass'));
    if (start !== null) ++callbacks;
    if (wasForward && !player.forward && start === null) {
      start = now;
      frames = player.frames;
    } else if (!wasForward && player.forward && start !== null) {
      const element = player.element;
      return resolve({ seconds: (now - start) / 1000, frames: player.frames - frames, callbacks,
        renderer: element.dataset.renderer === 'webgl' ? (player.renderer.webgl2 ? 'WebGL 2' : 'WebGL 1') : element.dataset.renderer });
    }
    wasForward = player.forward;
    requestAnimationFrame(tick);
  });
})`;

async function measure(browser, url) {
  const page = await browser.open(url, WIDTH, HEIGHT);
  try {
    await page.send('Page.bringToFront');
    await page.waitFor('window.Tunnelvista && Tunnelvista.players.length && Tunnelvista.players[0].data', 30000);
    const count = await page.evaluate('Tunnelvista.players[0].data.pictures.length');
    await page.waitFor(`document.documentElement.dataset.ready === '1' && Tunnelvista.players[0].settled === ${count}`, 60000);
    const result = await page.evaluate(MEASURE);
    result.pictures = count;
    result.canvas = await page.evaluate('(c => c.width + " x " + c.height)(Tunnelvista.players[0].canvas)');
    result.errors = page.errors.slice();
    return result;
  } finally {
    page.close();
  }
}

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
    const first = path.join(demo, 'first.kx');
    fs.writeFileSync(first, firstPictureProject(fs.readFileSync(path.join(demo, 'demo.kx'), 'latin1')), 'latin1');
    const program = path.join(build, 'tunnelvista');
    run(program, ['--export-web', path.join(site, 'zoom'), path.join(demo, 'demo.kx')]);
    run(program, ['--export-web', path.join(site, 'first'), first]);

    server = await serve(site);
    browser = await Browser.launch();
    const base = `http://127.0.0.1:${server.port}`;
    const version = await (await fetch(`http://127.0.0.1:${browser.port}/json/version`)).json();
    console.log(`web_bench: ${version.Browser}, window ${WIDTH} x ${HEIGHT} (#full), over HTTP`);
    const results = [];
    for (const [label, folder] of [['demo zoom', 'zoom'], ['first picture only', 'first']]) {
      const r = await measure(browser, `${base}/${folder}/index.html#full`);
      results.push(r);
      console.log(`${label.padEnd(20)} ${r.pictures} picture${r.pictures === 1 ? '' : 's'}, canvas ${r.canvas}, ${r.renderer}: ` +
        `${(r.frames / r.seconds).toFixed(1)} frames/s drawn, ${(r.callbacks / r.seconds).toFixed(1)} ` +
        `animation frames/s over ${r.seconds.toFixed(2)} s`);
      for (const error of r.errors) console.log(`  page error: ${error}`);
    }
    const [zoom, one] = results.map((r) => r.frames / r.seconds);
    console.log(`ratio zoom / first picture: ${(zoom / one).toFixed(2)}`);
  } finally {
    if (browser) await browser.close();
    if (server) server.child.kill();
    if (!given) fs.rmSync(work, { recursive: true, force: true });
  }
}

main().catch((error) => {
  console.error(`web_bench: ${error.message}`);
  process.exit(1);
});
