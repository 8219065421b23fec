// The data file: big-endian throughout.
//   30 bytes  signature "#Tunnelvista-optimized v1.0   "
//    4 bytes  2, 0, 0, 0
//   float     duration (seconds per pass)
//   int32     pictures, then per picture: int32 name length, the name's bytes,
//             float scale, translateX, translateY, rotate (its placement in its predecessor)
//   int32     keys (pictures + 1: the last is the target frame), then per key ten floats:
//             zoom, logZoom, x, y, rotate, time, logZoomSlope, xSlope, ySlope, rotateSlope
// Every count and length is checked against the bytes that are left before anything is made
// of that size, so a damaged file gives an Error, never a huge allocation. A picture's name is a
// plain file name beside the page (no '/', '\', ':', not "." or ".."): the player loads it and
// the script NAME.js from the page's own folder, never from anywhere a data file could point.
(function (root) {
  "use strict";
  var Tunnelvista = root.Tunnelvista = root.Tunnelvista || {};

  var SIGNATURE = "#Tunnelvista-optimized v1.0   ";
  var KEY_FIELDS = ["zoom", "logZoom", "x", "y", "rotate", "time", "logZoomSlope", "xSlope", "ySlope",
    "rotateSlope"];

  function fail(message) {
    throw new Error("The zoom's data file is damaged: " + message + ".");
  }

  function decodeName(bytes) {
    if (typeof TextDecoder === "function") return new TextDecoder("utf-8").decode(bytes);
    var text = "";
    for (var i = 0; i < bytes.length; ++i) text += String.fromCharCode(bytes[i]);
    return text;
  }

  Tunnelvista.readKxo = function (buffer) {
    if (!(buffer instanceof ArrayBuffer)) {
      if (buffer && buffer.buffer instanceof ArrayBuffer) {
        buffer = buffer.buffer.slice(buffer.byteOffset, buffer.byteOffset + buffer.byteLength);
      } else {
        throw new Error("The zoom's data file could not be read.");
      }
    }
    var view = new DataView(buffer);
    var size = buffer.byteLength;
    var at = 0;

    function need(bytes, what) {
      if (bytes > size - at) fail(what + " runs past the end of the file (" + size + " bytes)");
    }
    function float(what) {
      need(4, what);
      var value = view.getFloat32(at, false);
      at += 4;
      return value;
    }
    function int(what) {
      need(4, what);
      var value = view.getInt32(at, false);
      at += 4;
      return value;
    }

    need(34, "the header");
    for (var s = 0; s < SIGNATURE.length; ++s)
      if (view.getUint8(s) !== SIGNATURE.charCodeAt(s)) throw new Error("This is not a zoom's data file.");
    at = 30;
    if (view.getUint8(30) !== 2 || view.getUint8(31) !== 0 || view.getUint8(32) !== 0 || view.getUint8(33) !== 0)
      fail("its header is not the one this player reads");
    at = 34;

    var duration = float("the duration");
    var count = int("the number of pictures");
    // A picture takes at least 20 bytes (its name's length and four floats).
    if (count < 0 || count > (size - at) / 20) fail("it claims " + count + " pictures");
    var pictures = [];
    for (var i = 0; i < count; ++i) {
      var length = int("picture " + (i + 1) + "'s name");
      if (length < 0) fail("picture " + (i + 1) + "'s name has a negative length");
      need(length, "picture " + (i + 1) + "'s name");
      var name = decodeName(new Uint8Array(buffer, at, length));
      if (!name || name === "." || name === ".." || /[\/\\:]/.test(name))
        fail("picture " + (i + 1) + "'s name is not a file name beside the page");
      at += length;
      pictures.push({
        name: name,
        scale: float("a placement"),
        translateX: float("a placement"),
        translateY: float("a placement"),
        rotate: float("a placement"),
      });
    }

    var keyCount = int("the number of keys");
    if (keyCount < 0 || keyCount > (size - at) / 40) fail("it claims " + keyCount + " keys");
    if (keyCount !== count + 1 && !(count === 0 && keyCount === 0))
      fail("it holds " + keyCount + " keys for " + count + " pictures");
    var keys = [];
    for (var k = 0; k < keyCount; ++k) {
      var key = {};
      for (var f = 0; f < KEY_FIELDS.length; ++f) key[KEY_FIELDS[f]] = float("a key");
      keys.push(key);
    }
    if (at !== size) fail((size - at) + " bytes follow its end");
    return { duration: duration, pictures: pictures, keys: keys };
  };

  // The data file's bytes from the base64 text of its script (pages opened from disk).
  Tunnelvista.decodeBase64 = function (text) {
    var binary;
    if (typeof atob === "function") binary = atob(text);
    else binary = Buffer.from(text, "base64").toString("binary");
    var bytes = new Uint8Array(binary.length);
    for (var i = 0; i < binary.length; ++i) bytes[i] = binary.charCodeAt(i);
    return bytes.buffer;
  };

  if (typeof module === "object" && module.exports) module.exports = Tunnelvista;
})(typeof globalThis !== "undefined" ? globalThis : this);
