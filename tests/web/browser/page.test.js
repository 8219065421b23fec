'use strict';
// The page's own settings in headless Chromium: a page that fills the window (at the device pixel
// ratio), an endless page that runs on across the seam, its speed under the wheel and the keys,
// and the choice of renderer by measured frame times.
//   TV_PROGRAM=build/tunnelvista TV_PHOTOS=tests/data/corpus/photos \
//     node --experimental-websocket --test tests/web/browser/page.test.js
// The program exports fixed-size, there-and-back pages; the settings under test are put into the
// exported page afterwards (changeSettings), as the export writes them when they are chosen.

const test = require('node:test');
const assert = require('node:assert');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { Browser, findChromium } = require('./chromium.js');
const { decodePng, psnr } = require('./png.js');
const { sleep, writeProject, run, serve, changeSettings } = require('./site.js');

const program = process.env.TV_PROGRAM;
const photos = process.env.TV_PHOTOS;
const skip = !findChromium() ? 'Chromium is not installed' : (!program || !photos ? 'TV_PROGRAM and TV_PHOTOS are not set' : false);
const player = 'Tunnelvista.players[0]';
const ready = 'document.documentElement.dataset.ready === "1"';
const nextFrames = 'new Promise((resolve) => requestAnimationFrame(() => requestAnimationFrame(resolve)))';

// Two photographs, each inside the other: endless, the first lies in the last by the target frame.
// `tail` is added to the project file (its trailing settings).
function exportSite(work, name, settings, tail = '') {
  const project = path.join(work, `${name}.kx`);
  writeProject(project, [
    { file: path.join(photos, 'Wood.jpg'), scale: 1, x: 0, y: 0, rotate: 0 },
    { file: path.join(photos, 'Storm.jpg'), scale: 0.45, x: 0.05, y: -0.03, rotate: 4 },
  ], { scale: 0.5, x: -0.02, y: 0.01, rotate: -3 });
  if (tail) fs.appendFileSync(project, tail);
  const site = path.join(work, name);
  run(program, ['--export-web', site, '--size', '640x480', project]);
  if (settings) changeSettings(path.join(site, 'index.html'), settings);
  return site;
}

test('the page\'s own settings', { skip, timeout: 600000 }, async (t) => {
  const work = fs.mkdtempSync(path.join(os.tmpdir(), 'tv-web-page-'));
  const browser = await Browser.launch();
  let server = null;
  try {
    exportSite(work, 'fill', { fill: true });
    exportSite(work, 'endless', { fill: true, play: 'endless' });
    exportSite(work, 'back', null);
    exportSite(work, 'tones', null, '\r\ncolour 2 1.3 0.8 1.1 0 0.05 -0.05\r\n');
    server = await serve(work);

    await t.test('a picture is drawn with its colour correction, with WebGL and on the canvas', async () => {
      const editor = (name) => {
        const out = path.join(work, `${name}-0.6.png`);
        run(program, ['--render-frame', '0.6', out, '--size', '640x480', path.join(work, `${name}.kx`)]);
        return decodePng(fs.readFileSync(out));
      };
      const corrected = editor('tones');
      const plain = psnr(corrected, editor('back'));
      assert.ok(plain < 25, `the correction changes the frame only to ${plain.toFixed(1)} dB`);
      const page = await browser.open(`${server.url}tones/index.html#t=0.6&full`, 640, 480);
      try {
        await page.waitFor(ready);
        for (const how of ['webgl', 'canvas']) {
          if (how === 'canvas') await page.evaluate(`${player}.usePath("canvas")`);
          await page.evaluate(nextFrames);
          const db = psnr(decodePng(await page.screenshot()), corrected);
          t.diagnostic(`${how} against the editor: ${db.toFixed(1)} dB`);
          assert.ok(db >= 30, `${how}: ${db.toFixed(1)} dB`);
        }
        assert.deepStrictEqual(page.errors, []);
      } finally {
        page.close();
      }
    });

    for (const [width, height, ratio] of [[1280, 720, 1], [390, 844, 3]]) {
      await t.test(`a page that fills a ${width} x ${height} window at ${ratio} pixels a point`, async () => {
        const page = await browser.open(`${server.url}fill/index.html#t=0.4`, width, height,
          { deviceScaleFactor: ratio, mobile: ratio > 1 });
        try {
          await page.waitFor(ready);
          const size = await page.evaluate(`(c => [c.width, c.height, c.getBoundingClientRect().width,
            c.getBoundingClientRect().height, innerWidth, innerHeight])(${player}.canvas)`);
          assert.deepStrictEqual(size, [width * ratio, height * ratio, width, height, width, height]);
          const shot = decodePng(await page.screenshot());
          assert.strictEqual(shot.width, width * ratio);
          assert.deepStrictEqual(page.errors, []);
        } finally {
          page.close();
        }
      });
    }

    await t.test('an endless page runs on across the seam', async () => {
      const frames = [];
      for (const time of [0, 1, 0.999]) {
        const page = await browser.open(`${server.url}endless/index.html#t=${time}&full`, 640, 480);
        try {
          await page.waitFor(ready);
          await page.evaluate(nextFrames);
          frames.push(decodePng(await page.screenshot()));
          assert.deepStrictEqual(page.errors, []);
        } finally {
          page.close();
        }
      }
      const [start, end, before] = frames;
      assert.ok(psnr(start, end) >= 40, `t=0 against t=1: ${psnr(start, end).toFixed(1)} dB`);
      assert.ok(psnr(start, before) >= 25, `t=0 against t=0.999: ${psnr(start, before).toFixed(1)} dB`);

      const page = await browser.open(`${server.url}endless/index.html`, 640, 480);
      try {
        await page.waitFor(ready);
        // Near the end of a pass the first picture is drawn inside the last, from the next pass.
        const elements = await page.evaluate(`(p => Tunnelvista.framePictures(p.timeline, p.sizes, 0.97,
          Tunnelvista.fittedView(p.canvas.width, p.canvas.height, p.sizes[0], true)).map((d) => d.element))(${player})`);
        assert.ok(elements.includes(2), JSON.stringify(elements));
        await page.evaluate(`(p => { p.speed = 4; p.seek(0.9); })(${player})`);
        const drawn = await page.evaluate(`${player}.frames`);
        await page.waitFor(`${player}.position < 0.5 && ${player}.frames > ${drawn} + 2`, 30000);
        await page.waitFor(`${player}.position > 0.5`, 30000); // and on through the next pass
        assert.ok(await page.evaluate(`${player}.playing`));
        assert.deepStrictEqual(page.errors, []);
      } finally {
        page.close();
      }
    });

    await t.test('the wheel and the keys change an endless page\'s speed, not a there-and-back page\'s', async () => {
      const speed = async (page) => page.evaluate(`${player}.speed`);
      const key = async (page, name) => {
        for (const type of ['keyDown', 'keyUp'])
          await page.send('Input.dispatchKeyEvent', { type, key: name, code: name, windowsVirtualKeyCode: name === 'ArrowUp' ? 38 : 40 });
      };
      const wheel = (page, deltaY) => page.send('Input.dispatchMouseEvent', { type: 'mouseWheel', x: 320, y: 240, deltaX: 0, deltaY });
      const page = await browser.open(`${server.url}endless/index.html#t=0.3`, 640, 480);
      try {
        await page.waitFor(ready);
        assert.strictEqual(await speed(page), 1);
        await key(page, 'ArrowUp');
        assert.strictEqual(await speed(page), 1.25);
        assert.ok(await page.evaluate(`${player}.playing`), 'the speed plays a paused page');
        for (let i = 0; i < 3; ++i) await key(page, 'ArrowDown');
        assert.strictEqual(await speed(page), 0.5);
        await wheel(page, 800); // towards the user: slower, then outward
        await page.waitFor(`${player}.speed < 0`);
        assert.ok(Math.abs(await speed(page) + 1.5) < 1e-9, String(await speed(page)));
        await wheel(page, -400);
        await page.waitFor(`${player}.speed > -1`);
        assert.deepStrictEqual(page.errors, []);
      } finally {
        page.close();
      }
      const back = await browser.open(`${server.url}back/index.html#t=0.3`, 640, 480);
      try {
        await back.waitFor(ready);
        await key(back, 'ArrowUp');
        await wheel(back, -400);
        await back.evaluate(nextFrames);
        assert.deepStrictEqual(await back.evaluate(`[${player}.speed, ${player}.playing, ${player}.position]`), [1, false, 0.3]);
      } finally {
        back.close();
      }
    });

    await t.test('the renderer is chosen by the frame times measured', async () => {
      // Frames of WebGL as slow as a software WebGL's: the canvas takes over and draws the zoom
      // the editor draws, as WebGL does.
      const shots = {};
      for (const [label, hook, expected] of [['slow WebGL', '(path) => path === "webgl" ? 200 : 50', 'canvas'],
        ['slow canvas', '(path) => path === "webgl" ? 200 : 250', 'webgl']]) {
        const page = await browser.open(`${server.url}back/index.html#t=0.35&full`, 640, 480);
        try {
          await page.waitFor(ready);
          assert.strictEqual(await page.evaluate('document.querySelector("[data-renderer]").dataset.renderer'), 'webgl');
          await page.evaluate(`Tunnelvista.frameTimeHook = ${hook}; ${player}.togglePlay()`);
          await page.waitFor(`${player}.choice === null`, 60000);
          await page.evaluate(`(p => { p.togglePlay(); p.seek(0.35); })(${player})`);
          await page.evaluate(nextFrames);
          assert.strictEqual(await page.evaluate('document.querySelector("[data-renderer]").dataset.renderer'), expected, label);
          shots[expected] = decodePng(await page.screenshot());
          assert.deepStrictEqual(page.errors, []);
        } finally {
          page.close();
        }
      }
      const db = psnr(shots.canvas, shots.webgl);
      t.diagnostic(`canvas against WebGL at t=0.35: ${db.toFixed(1)} dB`);
      assert.ok(db >= 30, `${db.toFixed(1)} dB`);
    });
  } finally {
    if (server) server.stop();
    await browser.close();
    fs.rmSync(work, { recursive: true, force: true });
  }
});
