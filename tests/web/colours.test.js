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
