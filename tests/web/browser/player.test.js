'use strict';
// The exported page in real headless Chromium, opened from disk and over HTTP: frames of a zoom
// of real photographs against the editor's own drawing of the same time at the same size, no
// console errors, the play button plays, and a zoom of 300 pictures plays to its end.
//   TV_PROGRAM=build/tunnelvista TV_PHOTOS=tests/data/corpus/photos \
//     node --experimental-websocket --test tests/web/browser/

const test = require('node:test');
const assert = require('node:assert');
const { spawn, spawnSync } = require('node:child_process');
const fs = require('node:fs');
const net = require('node:net');
const os = require('node:os');
const path = require('node:path');
const { Browser, findChromium } = require('./chromium.js');
const { decodePng, psnr } = require('./png.js');

const program = process.env.TV_PROGRAM;
const photos = process.env.TV_PHOTOS;
const skip = !findChromium() ? 'Chromium is not installed' : (!program || !photos ? 'TV_PROGRAM and TV_PHOTOS are not set' : false);
const width = 640, height = 480;  // the first picture's aspect: the zoom fills the window

// A project of pictures at absolute paths, each placed in the one before.
function writeProject(file, pictures, target) {
  let text = `#Tunnelvista v1.0\r\nduration 10.0\r\nimages ${pictures.length}\r\n\r\n`;
  for (const p of pictures)
    text += `filename ${p.file}\r\nscale ${p.scale}\r\ntranslate ${p.x} ${p.y}\r\nrotate ${p.rotate}\r\n\r\n`;
  text += `target\r\nscale ${target.scale}\r\ntranslate ${target.x} ${target.y}\r\nrotate ${target.rotate}\r\n`;
  fs.writeFileSync(file, text);
}

// Runs the program without a display; its output when it fails.
function run(args) {
  const env = { ...process.env };
  delete env.DISPLAY;
  delete env.WAYLAND_DISPLAY;
  const result = spawnSync(program, args, { env, encoding: 'utf8', timeout: 300000 });
  assert.strictEqual(result.status, 0, `${program} ${args.join(' ')}: ${result.stderr}`);
}

function freePort() {
  return new Promise((resolve) => {
    const server = net.createServer();
    server.listen(0, '127.0.0.1', () => {
      const { port } = server.address();
      server.close(() => resolve(port));
    });
  });
}

// python3 -m http.server on 127.0.0.1, serving `directory`.
async function serve(directory) {
  const port = await freePort();
  const server = spawn('python3', ['-m', 'http.server', '--bind', '127.0.0.1', String(port), '--directory', directory],
    { stdio: 'ignore' });
  for (const end = Date.now() + 60000; Date.now() < end;) {
    try {
      await fetch(`http://127.0.0.1:${port}/`);
      return { url: `http://127.0.0.1:${port}/`, stop: () => server.kill() };
    } catch (error) {
      await new Promise((resolve) => setTimeout(resolve, 50));
    }
  }
  server.kill();
  throw new Error('the HTTP server did not start');
}

// The page's frame at t, alone in a width x height window, once every picture it shows is in.
async function pageFrame(browser, url, t) {
  const page = await browser.open(`${url}#t=${t}&full`, width, height);
  try {
    await page.waitFor('document.documentElement.dataset.ready === "1"');
    // One more frame, so the picture that made the page ready is on screen.
    await page.evaluate('new Promise((resolve) => requestAnimationFrame(() => requestAnimationFrame(resolve)))');
    return { frame: decodePng(await page.screenshot()), errors: page.errors.slice(),
      renderer: await page.evaluate('document.querySelector("[data-renderer]").dataset.renderer') };
  } finally {
    page.close();
  }
}

function editorFrame(project, t, work) {
  const out = path.join(work, `editor-${path.basename(project)}-${t}.png`);
  if (!fs.existsSync(out)) run(['--render-frame', String(t), out, '--size', `${width}x${height}`, project]);
  return decodePng(fs.readFileSync(out));
}

test('the exported page plays the editor\'s zoom', { skip, timeout: 600000 }, async (t) => {
  const work = fs.mkdtempSync(path.join(os.tmpdir(), 'tv-web-'));
  const browser = await Browser.launch();
  let server = null;
  try {
    const project = path.join(work, 'photos.kx');
    writeProject(project, [
      { file: path.join(photos, 'Wood.jpg'), scale: 1, x: 0, y: 0, rotate: 0 },
      { file: path.join(photos, 'Storm.jpg'), scale: 0.45, x: 0.05, y: -0.03, rotate: 4 },
      { file: path.join(photos, 'GreenMeadow.jpg'), scale: 0.4, x: -0.04, y: 0.02, rotate: -6 },
      { file: path.join(photos, 'rocket.jpg'), scale: 0.5, x: 0.02, y: 0.03, rotate: 3 },
    ], { scale: 0.5, x: 0, y: 0, rotate: 0 });
    const site = path.join(work, 'site');
    run(['--export-web', site, '--size', `${width}x${height}`, project]);
    server = await serve(site);

    for (const [how, base] of [['file', `file://${site}/index.html`], ['http', `${server.url}index.html`]]) {
      for (const time of [0, 0.3, 0.7, 1]) {
        await t.test(`${how} t=${time}`, async () => {
          const { frame, errors, renderer } = await pageFrame(browser, base, time);
          assert.deepStrictEqual(errors, []);
          assert.strictEqual(renderer, 'webgl');
          const db = psnr(frame, editorFrame(project, time, work));
          t.diagnostic(`${how} t=${time}: PSNR ${db.toFixed(1)} dB`);
          assert.ok(db >= 30, `PSNR ${db.toFixed(1)} dB`);
        });
      }
    }

    await t.test('the play button plays', async () => {
      const page = await browser.open(`${server.url}index.html#t=0.2`, 900, 700);
      try {
        await page.waitFor('document.documentElement.dataset.ready === "1"');
        await page.evaluate('document.querySelector(".tv-play").click()');
        // Until the picture changes, however slowly frames come on a busy machine.
        const a = decodePng(await page.screenshot());
        let moved = false;
        for (const end = Date.now() + 60000; !moved && Date.now() < end;) {
          await new Promise((resolve) => setTimeout(resolve, 200));
          moved = psnr(a, decodePng(await page.screenshot())) < 60;
        }
        assert.ok(moved, 'the picture stays the same while playing');
        assert.deepStrictEqual(page.errors, []);
      } finally {
        page.close();
      }
    });
  } finally {
    if (server) server.stop();
    await browser.close();
    fs.rmSync(work, { recursive: true, force: true });
  }
});

test('a zoom of 300 pictures plays to its end', { skip, timeout: 600000 }, async (t) => {
  const work = fs.mkdtempSync(path.join(os.tmpdir(), 'tv-web-deep-'));
  const browser = await Browser.launch();
  try {
    const project = path.join(work, 'deep.kx');
    const pictures = [];
    for (let i = 0; i < 300; ++i)
      pictures.push({ file: path.join(photos, 'Wood.jpg'), scale: i ? 0.5 : 1, x: i ? 0.01 : 0, y: 0, rotate: i ? 1 : 0 });
    writeProject(project, pictures, { scale: 0.5, x: 0, y: 0, rotate: 0 });
    const site = path.join(work, 'site');
    run(['--export-web', site, '--size', `${width}x${height}`, '--picture-size', '1024', project]);
    for (const time of [0.98, 1]) {
      const { frame, errors } = await pageFrame(browser, `file://${site}/index.html`, time);
      assert.deepStrictEqual(errors, []);
      const db = psnr(frame, editorFrame(project, time, work));
      t.diagnostic(`t=${time}: PSNR ${db.toFixed(1)} dB`);
      assert.ok(db >= 30, `t=${time}: PSNR ${db.toFixed(1)} dB`);
    }
  } finally {
    await browser.close();
    fs.rmSync(work, { recursive: true, force: true });
  }
});
