// The timeline against the C++ it ports (TV_WEB_FIXTURES, see web_fixtures.cpp).
"use strict";
const test = require("node:test");
const assert = require("node:assert");
const fs = require("node:fs");
const path = require("node:path");
require("../../web/player/kxo.js");
const Tunnelvista = require("../../web/player/timeline.js");

const dir = process.env.TV_WEB_FIXTURES;
const fixtures = JSON.parse(fs.readFileSync(path.join(dir, "fixtures.json"), "utf8"));
const read = (name) => Tunnelvista.readKxo(new Uint8Array(fs.readFileSync(path.join(dir, name))).slice().buffer);
const entries = (m) => [m.a, m.b, m.c, m.d, m.tx, m.ty];
const target = (v) => ({ scale: v[0], translateX: v[1], translateY: v[2], rotate: v[3] });

function near(actual, expected, tolerance, what) {
  for (let i = 0; i < expected.length; ++i)
    assert.ok(Math.abs(actual[i] - expected[i]) <= tolerance, `${what} [${i}]: ${actual[i]} vs ${expected[i]}`);
}

test("the keyframe table and the relative timeline give the editor's views", () => {
  for (const fixture of fixtures) {
    const data = read(fixture.data);
    const placements = data.pictures.concat([target(fixture.target)]);
    const timeline = new Tunnelvista.Timeline(placements);
    for (const view of fixture.views) {
      const what = `${fixture.data} t ${view.t}`;
      const v = Tunnelvista.tableViewAt(data.keys, view.t);
      near([Math.log(v.zoom), v.x, v.y, v.rotate], [Math.log(view.table[0])].concat(view.table.slice(1)), 1e-5, what);
      const relative = timeline.viewAt(view.t);
      assert.strictEqual(relative.anchor, view.anchor, what);
      near(entries(relative.toView), view.toView, 1e-9, what);
      let first = relative.toView;
      for (let i = relative.anchor; i >= 1; --i) first = first.times(timeline.placement(i).inverse());
      near(entries(first), view.first, 1e-5 * first.lengthScale(), what);
    }
    // Without the target frame's placement on the page, it comes back from the table's last keys.
    const recovered = Tunnelvista.targetFromKeys(data.keys);
    near([recovered.scale, recovered.translateX, recovered.translateY, recovered.rotate], fixture.target, 1e-4,
      `${fixture.data} target`);
  }
});

// tests/data/keyframe-views.txt holds the editor's views of a few keyframe tables; the C++ and the
// applet's tests read it too. The table is evaluated in single precision as the editor does.
test("the keyframe table gives the views the editor wrote beside it", () => {
  const fields = ["zoom", "logZoom", "x", "y", "rotate", "time", "logZoomSlope", "xSlope", "ySlope", "rotateSlope"];
  const text = fs.readFileSync(path.join(__dirname, "..", "data", "keyframe-views.txt"), "utf8");
  let table = "", keys = [], tables = 0, views = 0;
  for (const line of text.split("\n")) {
    const words = line.trim().split(/\s+/);
    if (words[0] === "" || words[0].startsWith("#")) continue;
    const values = words.slice(1).map(Number);
    if (words[0] === "table") {
      table = words[1];
      keys = [];
      ++tables;
    } else if (words[0] === "key") {
      assert.strictEqual(values.length, fields.length, line);
      keys.push(Object.fromEntries(fields.map((name, i) => [name, Math.fround(values[i])])));
    } else {
      assert.strictEqual(words[0], "view", line);
      const v = Tunnelvista.tableViewAt(keys, values[0]);
      const want = values.slice(1);
      [v.zoom, v.x, v.y, v.rotate].forEach((got, c) =>
        assert.ok(Math.abs(got - want[c]) <= 1e-6 * Math.max(1, Math.abs(want[c])),
          `${table} t ${values[0]} channel ${c}: ${got} vs ${want[c]}`));
      ++views;
    }
  }
  assert.strictEqual(tables, 3);
  assert.ok(views >= 60);
});

test("300 halvings play to their end: at each key time its element fills the view upright", () => {
  const placements = [{ scale: 1, translateX: 0, translateY: 0, rotate: 0 }];
  for (let i = 1; i <= 300; ++i)
    placements.push({ scale: 0.5, translateX: Math.fround(0.1), translateY: Math.fround(0.05), rotate: 3 });
  const timeline = new Tunnelvista.Timeline(placements);
  for (let i = 0; i < timeline.count(); ++i) {
    const view = timeline.viewAt(timeline.keyTime(i));
    assert.ok(view.anchor <= i);
    let m = view.toView;
    for (let j = view.anchor + 1; j <= i; ++j) m = m.times(timeline.placement(j));
    near(entries(m), [1, 0, 0, 1, 0, 0], 1e-9, `element ${i} anchor ${view.anchor}`);
  }
  // The last frame shows the last pictures, a handful at most, the outermost painted whole.
  const sizes = placements.slice(1).map(() => [640, 480]);
  const view = Tunnelvista.fittedView(800, 600, sizes[0]);
  const drawn = Tunnelvista.framePictures(timeline, sizes, 1, view);
  assert.strictEqual(drawn[drawn.length - 1].index, 299);
  assert.ok(drawn.length >= 1 && drawn.length <= 3 && drawn[0].whole, JSON.stringify(drawn.map((d) => d.index)));
  const start = Tunnelvista.framePictures(timeline, sizes, 0, view);
  assert.strictEqual(start[0].index, 0);
  assert.ok(start[0].whole && start.length <= 10);
});
