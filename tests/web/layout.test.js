// Where the player puts its canvas in the box: the first picture's aspect, centred, device pixels.
"use strict";
const test = require("node:test");
const assert = require("node:assert");
require("../../web/player/timeline.js");
const Tunnelvista = require("../../web/player/player.js");

test("the canvas is the largest rectangle of the first picture's aspect, centred in the box", () => {
  const rect = (w, h, ratio, first) => Tunnelvista.canvasRect(w, h, ratio, first);
  const landscape = [1024, 768], portrait = [768, 1024];
  assert.deepStrictEqual(rect(1280, 720, 1, landscape), { width: 960, height: 720, left: 160, top: 0 });
  assert.deepStrictEqual(rect(400, 600, 1, landscape), { width: 400, height: 300, left: 0, top: 150 });
  assert.deepStrictEqual(rect(1280, 720, 1, portrait), { width: 540, height: 720, left: 370, top: 0 });
  assert.deepStrictEqual(rect(800, 600, 1, landscape), { width: 800, height: 600, left: 0, top: 0 });
  // Rounded to whole device pixels, never beyond the box.
  assert.deepStrictEqual(rect(900, 500, 1, landscape), { width: 667, height: 500, left: 116, top: 0 });
  assert.deepStrictEqual(rect(3, 1000, 1, [1000, 1]), { width: 3, height: 1, left: 0, top: 499 });
  // High-density screens: the same rectangle in device pixels, not a stretched CSS one.
  assert.deepStrictEqual(rect(450, 250, 2, landscape), rect(900, 500, 1, landscape));
  assert.deepStrictEqual(rect(333, 250, 1.5, landscape), { width: 500, height: 375, left: 0, top: 0 });
  // Before the first picture's size is known: 4:3; an empty box still gets a pixel.
  assert.deepStrictEqual(rect(1280, 720, 1, null), rect(1280, 720, 1, landscape));
  assert.deepStrictEqual(rect(1280, 720, 1, [0, 0]), rect(1280, 720, 1, landscape));
  assert.deepStrictEqual(rect(0, 0, 1, landscape), { width: 1, height: 1, left: 0, top: 0 });
  // Inside it, the fitted view spans the whole first picture, as the editor's view at that size.
  const r = rect(1280, 720, 1, landscape), view = Tunnelvista.fittedView(r.width, r.height, landscape);
  assert.ok(Math.abs(view.halfWidth - 0.5) < 1e-12 && Math.abs(view.halfHeight - 0.375) < 1e-12);
});

test("a page that fills the window draws on all of it, the first picture covering it", () => {
  assert.deepStrictEqual(Tunnelvista.windowRect(1280, 720, 1), { width: 1280, height: 720, left: 0, top: 0 });
  assert.deepStrictEqual(Tunnelvista.windowRect(390, 844, 3), { width: 1170, height: 2532, left: 0, top: 0 });
  assert.deepStrictEqual(Tunnelvista.windowRect(0, 0, 2), { width: 1, height: 1, left: 0, top: 0 });
  const wide = Tunnelvista.fittedView(1280, 720, [1024, 768], true); // cropped above and below
  assert.ok(Math.abs(wide.halfWidth - 0.5) < 1e-12 && Math.abs(wide.halfHeight - 0.28125) < 1e-12);
  const tall = Tunnelvista.fittedView(1170, 2532, [1024, 768], true); // cropped at the sides
  assert.ok(Math.abs(tall.halfHeight - 0.375) < 1e-7 && Math.abs(tall.halfWidth - 0.375 * 1170 / 2532) < 1e-7);
});

test("WebGL is kept unless the canvas is measured faster", () => {
  require("../../web/player/render-canvas.js");
  const choose = (hint, times) => {
    const choice = new Tunnelvista.RendererChoice(hint);
    let path = "webgl", frames = 0;
    while (!choice.decided && frames++ < 100) path = choice.record(path, times[path]);
    return [path, frames];
  };
  assert.deepStrictEqual(choose(false, { webgl: 16, canvas: 5 }), ["webgl", 8]); // fast: the canvas is not tried
  assert.deepStrictEqual(choose(false, { webgl: 200, canvas: 60 }), ["canvas", 17]);
  assert.deepStrictEqual(choose(false, { webgl: 200, canvas: 190 }), ["webgl", 17]);
  assert.deepStrictEqual(choose(true, { webgl: 200, canvas: 60 }), ["canvas", 14]); // a software WebGL's name:
  assert.deepStrictEqual(choose(true, { webgl: 200, canvas: 210 }), ["canvas", 14]); // it loses a near tie too
  assert.deepStrictEqual(choose(true, { webgl: 200, canvas: 250 }), ["webgl", 14]);
  // Frames that are not frames (a tab hidden, a clock gone back) are not counted.
  const choice = new Tunnelvista.RendererChoice(true);
  for (const ms of [NaN, -5, 1 / 0]) assert.strictEqual(choice.record("webgl", ms), "webgl");
  assert.strictEqual(choice.times.webgl.length, 0);
});
