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
