// The data file reader against files the C++ export wrote (TV_WEB_FIXTURES, see web_fixtures.cpp).
"use strict";
const test = require("node:test");
const assert = require("node:assert");
const fs = require("node:fs");
const path = require("node:path");
const Tunnelvista = require("../../web/player/kxo.js");

const dir = process.env.TV_WEB_FIXTURES;
const fixtures = JSON.parse(fs.readFileSync(path.join(dir, "fixtures.json"), "utf8"));
const bytes = (name) => new Uint8Array(fs.readFileSync(path.join(dir, name))).slice().buffer;

test("reads what the export writes", () => {
  for (const fixture of fixtures) {
    const data = Tunnelvista.readKxo(bytes(fixture.data));
    assert.strictEqual(data.duration, 12.5);
    assert.strictEqual(data.pictures.length, fixture.sizes.length);
    assert.strictEqual(data.keys.length, fixture.sizes.length + 1);
    assert.strictEqual(data.keys[0].zoom, 1);
    assert.strictEqual(data.keys[data.keys.length - 1].time, 1);
  }
  const demo = Tunnelvista.readKxo(bytes("demo.kxo"));
  assert.deepStrictEqual(demo.pictures.map((p) => p.name).slice(0, 2), ["demo1.jpg", "demo2.jpg"]);
  const turned = Tunnelvista.readKxo(bytes("turned.kxo"));
  assert.deepStrictEqual(turned.pictures[1], {
    name: "b.jpg", scale: Math.fround(0.45), translateX: Math.fround(0.12), translateY: Math.fround(-0.05), rotate: 12,
  });
});

test("a truncated or damaged file is an Error, never a hang or a huge allocation", () => {
  const whole = new Uint8Array(bytes("turned.kxo"));
  for (let length = 0; length < whole.length; ++length)
    assert.throws(() => Tunnelvista.readKxo(whole.slice(0, length).buffer), Error, `length ${length}`);
  const damaged = (offset, value) => {
    const copy = whole.slice();
    new DataView(copy.buffer).setInt32(offset, value, false);
    return copy.buffer;
  };
  // The picture count, the first name's length, the key count (past 5 pictures and their names).
  const keyCountAt = 38 + 4 + 5 * 20 + "a.jpgb.jpgc.jpgd.jpge.jpg".length;
  for (const [offset, value] of [[38, 0x7fffffff], [38, -1], [38, 4], [42, 0x7ffffff0], [42, -5],
    [keyCountAt, 0x7fffffff], [keyCountAt, 5]])
    assert.throws(() => Tunnelvista.readKxo(damaged(offset, value)), /damaged/, `${offset}: ${value}`);
  const signature = whole.slice();
  signature[1] = 0x58;
  assert.throws(() => Tunnelvista.readKxo(signature.buffer), /not a zoom's data file/);
  const longer = new Uint8Array(whole.length + 1);
  longer.set(whole);
  assert.throws(() => Tunnelvista.readKxo(longer.buffer), /follow its end/);
});

test("a picture name that is not a plain file name beside the page is a damaged file", () => {
  const withName = (name) => {
    const bytes = Buffer.from(name, "utf8");
    const view = new DataView(new ArrayBuffer(34 + 8 + 4 + bytes.length + 16 + 4 + 2 * 40));
    Buffer.from("#Tunnelvista-optimized v1.0   ").forEach((b, i) => view.setUint8(i, b));
    view.setUint8(30, 2);
    let at = 34;
    view.setFloat32(at, 10), view.setInt32(at + 4, 1), view.setInt32(at + 8, bytes.length);
    at += 12;
    bytes.forEach((b) => view.setUint8(at++, b));
    view.setFloat32(at, 1);
    view.setInt32(at + 16, 2);
    return view.buffer;
  };
  for (const name of ["//localhost/evil.jpg", "https://example.com/a.jpg", "../a.jpg", "sub/a.jpg", "a\\b.jpg",
    "C:a.jpg", "javascript:x", "..", ".", ""])
    assert.throws(() => Tunnelvista.readKxo(withName(name)), /damaged/, JSON.stringify(name));
  for (const name of ["a.jpg", "my photo #2 (50%).jpg", "caf\u00e9..jpg", ".hidden.jpg"])
    assert.strictEqual(Tunnelvista.readKxo(withName(name)).pictures[0].name, name);
});
