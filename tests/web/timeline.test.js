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
  assert.strictEqual(tables, 5);
  assert.ok(views >= 110);
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

// Endless and steady, the twins of Timeline's in src-gl/core/Timeline.cpp.
// A spiral: every channel moves on the same way at the seam, so no key there is a turning point.
const demoLike = [
  { scale: 1, translateX: 0, translateY: 0, rotate: 0 },
  { scale: 0.45, translateX: 0.06, translateY: 0.03, rotate: 4 },
  { scale: 0.4, translateX: 0.05, translateY: 0.04, rotate: 3 },
  { scale: 0.55, translateX: 0.07, translateY: 0.02, rotate: 5 },
  { scale: 0.5, translateX: 0.04, translateY: 0.03, rotate: 2 }, // the first picture in the last
];

test("a steady timeline's logarithmic zoom is a straight line", () => {
  const timeline = new Tunnelvista.Timeline(demoLike, { pace: "steady" });
  const total = -demoLike.slice(1).reduce((sum, p) => sum + Math.log(p.scale), 0);
  for (let k = 0; k <= 20; ++k) {
    const view = timeline.viewAt(k / 20);
    let first = view.toView;
    for (let i = view.anchor; i >= 1; --i) first = first.times(timeline.placement(i).inverse());
    assert.ok(Math.abs(Math.log(first.lengthScale()) - total * k / 20) < 1e-9, `t ${k / 20}`);
  }
});

test("an endless timeline repeats its pass and runs on through the seam", () => {
  const timeline = new Tunnelvista.Timeline(demoLike, { play: "endless" });
  const n = demoLike.length - 1;
  for (const t of [0, 0.1, 0.37, 0.5, 0.93]) {
    const view = timeline.viewAt(t);
    for (const later of [t + 1, t + 1000, t - 3]) {
      const again = timeline.viewAt(later);
      assert.strictEqual(again.anchor, view.anchor, `t ${later}`);
      near(entries(again.toView), entries(view.toView), 1e-9, `t ${later}`);
    }
  }
  // The element after the last picture is the first again, placed by the target frame.
  assert.strictEqual(timeline.pictureOf(n), 0);
  assert.strictEqual(timeline.pictureOf(-1), n - 1);
  assert.strictEqual(timeline.placementOf(n), timeline.placement(n));
  assert.strictEqual(timeline.placementOf(2 * n + 1), timeline.placement(1));
  // Across the seam the zoom runs on as it would through two passes laid end to end: the same
  // views (no jump in place, zoom, turn or speed), relative to the next pass's first picture.
  const twoPasses = new Tunnelvista.Timeline(demoLike.concat(demoLike.slice(1)), { pace: "steady" });
  const toSeam = (timeline, view, seam, placementOf) => {
    let m = view.toView;
    for (let k = view.anchor + 1; k <= seam; ++k) m = m.times(placementOf(k));
    return m;
  };
  for (const t of [0.97, 0.995, 1 - 1e-12, 0, 0.004, 0.02]) {
    const endless = timeline.viewAt(t);
    const seamOfEndless = t < 0.5 ? endless.toView : toSeam(timeline, endless, n, (k) => timeline.placementOf(k));
    const unrolled = twoPasses.viewAt(t < 0.5 ? 0.5 + t / 2 : t / 2);
    const seamOfUnrolled = toSeam(twoPasses, unrolled, n, (k) => twoPasses.placement(k));
    near(entries(seamOfEndless), entries(seamOfUnrolled), 1e-9, `t ${t}`);
  }
  // Near the end of a pass the first picture is drawn inside the last, near its start the last
  // around the first.
  const sizes = demoLike.slice(1).map(() => [1024, 768]);
  const view = Tunnelvista.fittedView(1280, 960, sizes[0]);
  const end = Tunnelvista.framePictures(timeline, sizes, 0.97, view).map((d) => [d.element, d.index]);
  assert.ok(end.some(([element, index]) => element === n && index === 0), JSON.stringify(end));
  const start = Tunnelvista.framePictures(timeline, sizes, 0, view);
  assert.ok(start[0].element < 0 && start[0].index === n - 1 && start[0].whole, JSON.stringify(start));
});

test("a picture placed in itself plays endlessly, each pass the one before", () => {
  const self = [{ scale: 1, translateX: 0, translateY: 0, rotate: 0 }, { scale: 0.5, translateX: 0.05, translateY: 0, rotate: 10 }];
  const timeline = new Tunnelvista.Timeline(self, { play: "endless" });
  const sizes = [[800, 600]];
  const view = Tunnelvista.fittedView(800, 600, sizes[0]);
  const frames = [0, 0.25, 0.999999, 1, 7.5].map((t) => Tunnelvista.framePictures(timeline, sizes, t, view));
  for (const frame of frames) {
    assert.ok(frame.length >= 2 && frame.length <= 12 && frame.every((d) => d.index === 0), JSON.stringify(frame));
    assert.ok(frame[0].whole);
  }
  near(entries(frames[3][0].toView), entries(frames[0][0].toView), 1e-9, "t 1 against t 0");
  assert.strictEqual(frames[4].length, Tunnelvista.framePictures(timeline, sizes, 0.5, view).length);
});
