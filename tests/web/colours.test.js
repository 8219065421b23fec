// The page's colour corrections as the renderers take them.
"use strict";
const test = require("node:test");
const assert = require("node:assert");
require("../../web/player/timeline.js");
const Tunnelvista = require("../../web/player/player.js");

test("colours: six numbers in range per picture, anything else drawn as the file has it", () => {
  const read = Tunnelvista.readColours;
  assert.deepStrictEqual(read(undefined), []);
  assert.deepStrictEqual(read({ 0: [1, 1, 1, 0, 0, 0] }), []);
  assert.deepStrictEqual(read([null, [0.75, 1, 2, 0, -0.25, 0.5], [1, 1, 1, 0, 0, 0]]), [
    null,
    { gain: [0.75, 1, 2], offset: [0, -0.25, 0.5] },
    null,
  ]);
  for (const bad of [[1, 1, 1, 0, 0], [1, 1, 1, 0, 0, 0, 0], [0, 1, 1, 0, 0, 0], [-1, 1, 1, 0, 0, 0],
    [17, 1, 1, 0, 0, 0], [1, 1, 1, 0, 1.5, 0], [1, "2", 1, 0, 0, 0], [1, 1, NaN, 0, 0, 0],
    [1, 1, Infinity, 0, 0, 0], [1, 1, 1, 0, null, 0], "1,1,1,0,0,0", 7])
    assert.deepStrictEqual(read([bad]), [null], JSON.stringify(bad));
});

// The canvas's tables and the WebGL shader's knee against the editor's own correction
// (ColourCorrection::Apply, written by web_fixtures): every level within one of the editor's,
// and a file's white drawn white by a correction that darkens it.
test("colours: the canvas's tables are the editor's correction, white kept white", { skip: !process.env.TV_WEB_FIXTURES }, () => {
  require("../../web/player/render-webgl.js");
  require("../../web/player/render-canvas.js");
  const fixtures = JSON.parse(require("node:fs").readFileSync(require("node:path").join(process.env.TV_WEB_FIXTURES, "tones.json")));
  assert.ok(Math.abs(Tunnelvista.WHITE_KNEE - fixtures.knee) < 1e-6, `knee ${Tunnelvista.WHITE_KNEE} against ${fixtures.knee}`);
  for (const colour of fixtures.colours) {
    const tables = Tunnelvista.toneTables(colour);
    for (let c = 0; c < 3; ++c) {
      for (let v = 0; v < 256; ++v)
        assert.ok(Math.abs(tables[c][v] - colour.levels[c][v]) <= 1,
          `${JSON.stringify(colour.gain)} ${JSON.stringify(colour.offset)} channel ${c} level ${v}: ${tables[c][v]} against ${colour.levels[c][v]}`);
      assert.strictEqual(tables[c][255], 255);
    }
  }
});
