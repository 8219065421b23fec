// The zoom drawn on a 2D canvas, where WebGL is not available or is slower (a software WebGL):
// the same pictures as the WebGL renderer, the outermost drawn as it is, the others through a
// copy whose faded border is cut with an alpha mask. The mask is drawn, never read back, so
// tainted images work too.
//
// Speed without a GPU: every canvas here asks for memory the processor draws in
// (willReadFrequently), since a canvas kept by a software GPU costs a read back each time it is
// drawn from; pictures are sampled bilinearly from a halving with less than twice the pixels
// needed; and each picture is clipped to leave out what the next picture's opaque core will
// cover, so most pixels are drawn once.
//
// Also here: RendererChoice, which picks WebGL or this renderer by the frame times it measures.
(function (root) {
  "use strict";
  var Tunnelvista = root.Tunnelvista = root.Tunnelvista || {};

  // Canvases the processor draws in (see above).
  var CPU_CANVAS = { willReadFrequently: true };
  // The next picture's opaque core is left out of a picture only when it covers this share of
  // the picture's box on the canvas (the clip's mask costs as much as drawing that box), shrunk by
  // CORE_MARGIN so the clip's antialiased edge lies well inside what the next picture covers.
  var CLIP_FROM_SHARE = 0.25;
  var CORE_MARGIN = 0.98;

  // Entries kept at most (a picture's halvings, or one faded copy), the pixels they may hold
  // together (four bytes each) beyond those of the current frame, and the longest side of a
  // faded copy.
  var MAX_COPIES = 48;
  var MAX_PIXELS = 32 * 1024 * 1024;
  var MAX_MASKS = 8;
  var MAX_SIDE = 4096;

  // A mask of w x h whose alpha rises from 0 at each edge to 1 at `band` pixels in, the smallest
  // of the four: each edge's gradient fills the part of the picture nearest that edge (bounded by
  // the diagonals from the corners); 'lighter' adds the antialiased seams to full coverage.
  function edgeMask(w, h, band) {
    var mask = document.createElement("canvas");
    mask.width = w;
    mask.height = h;
    var c = mask.getContext("2d", CPU_CANVAS);
    c.globalCompositeOperation = "lighter";
    var m = Math.min(w, h) / 2;
    var edges = [
      // the region's corners, then the gradient's start (at the edge) and end (band inside)
      [[0, 0], [m, m], [m, h - m], [0, h], [0, 0, band, 0]],
      [[w, 0], [w - m, m], [w - m, h - m], [w, h], [w, 0, w - band, 0]],
      [[0, 0], [w, 0], [w - m, m], [m, m], [0, 0, 0, band]],
      [[0, h], [w, h], [w - m, h - m], [m, h - m], [0, h, 0, h - band]],
    ];
    for (var i = 0; i < 4; ++i) {
      var r = edges[i], g = r[4];
      var gradient = c.createLinearGradient(g[0], g[1], g[2], g[3]);
      gradient.addColorStop(0, "rgba(0,0,0,0)");
      gradient.addColorStop(1, "rgba(0,0,0,1)");
      c.fillStyle = gradient;
      c.beginPath();
      c.moveTo(r[0][0], r[0][1]);
      for (var k = 1; k < 4; ++k) c.lineTo(r[k][0], r[k][1]);
      c.closePath();
      c.fill();
    }
    return mask;
  }

  function CanvasRenderer(canvas) {
    this.canvas = canvas;
    this.context = canvas.getContext("2d", { alpha: false, willReadFrequently: true });
    if (!this.context) throw new Error("The canvas cannot be drawn on");
    this.copies = {}; // picture index and "w" (its halvings) or "f" and a level (faded) -> {levels, used}
    this.frame = 0;
    this.masks = []; // the masks made last, {key: "WxH", mask}, the newest first
  }

  // The halving of `image` to draw at `pixels` screen pixels per unit of its frame: halved while
  // it has twice the pixels needed or more (some browsers sample a large reduction from too few
  // pixels, and fine detail aliases).
  function levelFor(image, pixels) {
    var w = image.naturalWidth || image.width, h = image.naturalHeight || image.height, level = 0;
    while (Math.max(w, h) >= 2 * pixels && Math.min(w, h) >= 2) {
      w = Math.floor(w / 2);
      h = Math.floor(h / 2);
      ++level;
    }
    return level;
  }

  // The colour correction `colour` as a table per channel from the file's level to the drawn one:
  // gain and offset on the values 0..1, white lifted as the WebGL shader lifts it
  // (Tunnelvista.WHITE_KNEE, render-webgl.js), clamped, to the nearest level.
  function toneTables(colour) {
    var knee = Tunnelvista.WHITE_KNEE, tables = [];
    for (var k = 0; k < 3; ++k) {
      var table = tables[k] = new Uint8ClampedArray(256);
      var gain = colour.gain[k], offset = colour.offset[k], lacking = Math.max(0, 1 - (gain + offset));
      for (var v = 0; v < 256; ++v) {
        var x = v / 255, t = Math.min(1, Math.max(0, (x - knee) / (1 - knee)));
        table[v] = Math.round(255 * (gain * x + offset + lacking * t * t * (3 - 2 * t)));
      }
    }
    return tables;
  }
  Tunnelvista.toneTables = toneTables;

  // A copy of `source` with the colour correction `colour` in its pixels (toneTables); `source`
  // itself when its pixels cannot be read.
  function toned(source, colour) {
    var w = source.naturalWidth || source.width, h = source.naturalHeight || source.height;
    var copy = document.createElement("canvas");
    copy.width = w;
    copy.height = h;
    var c = copy.getContext("2d", CPU_CANVAS);
    c.drawImage(source, 0, 0);
    var pixels;
    try {
      pixels = c.getImageData(0, 0, w, h);
    } catch (e) {
      return source; // a picture from elsewhere taints the canvas
    }
    var tables = toneTables(colour);
    var data = pixels.data, red = tables[0], green = tables[1], blue = tables[2];
    for (var i = 0; i < data.length; i += 4) {
      data[i] = red[data[i]];
      data[i + 1] = green[data[i + 1]];
      data[i + 2] = blue[data[i + 2]];
    }
    c.putImageData(pixels, 0, 0);
    return copy;
  }

  // Picture `index` at halving `level` (0: the picture itself) with its colour correction
  // `colour` (or none); the halvings are made from the picture as it is and kept together, each
  // corrected once as it is first drawn.
  CanvasRenderer.prototype.halving = function (index, image, level, colour) {
    var entry = this.entry(index + "w", function () { return [image]; });
    var levels = entry.levels;
    for (var l = 1; l <= level; ++l) {
      if (levels[l]) continue;
      var half = document.createElement("canvas");
      half.width = Math.floor((levels[l - 1].naturalWidth || levels[l - 1].width) / 2);
      half.height = Math.floor((levels[l - 1].naturalHeight || levels[l - 1].height) / 2);
      var c = half.getContext("2d", CPU_CANVAS);
      c.imageSmoothingEnabled = true;
      // Bilinear at exactly half samples between four pixels: their mean, as a box filter would.
      c.imageSmoothingQuality = "low";
      c.drawImage(levels[l - 1], 0, 0, half.width, half.height);
      levels[l] = half;
      entry.pixels += half.width * half.height;
    }
    if (!colour) return levels[level];
    var tones = entry.toned || (entry.toned = []);
    if (!tones[level]) {
      tones[level] = toned(levels[level], colour);
      entry.pixels += tones[level].width * tones[level].height;
    }
    return tones[level];
  };

  // The cache's entry `key` (made by `make` when missing), marked as used by this frame. Its
  // pixels are those of the canvases it made (a picture itself is the player's).
  CanvasRenderer.prototype.entry = function (key, make) {
    var entry = this.copies[key];
    if (!entry) {
      var levels = make.call(this), pixels = 0;
      for (var i = 0; i < levels.length; ++i) if (levels[i].getContext) pixels += levels[i].width * levels[i].height;
      entry = this.copies[key] = { levels: levels, used: this.frame, pixels: pixels };
      this.evict();
    }
    entry.used = this.frame;
    return entry;
  };

  // What to draw of picture `index` at `pixels` screen pixels per unit of its frame: its halving
  // for that size, or (faded) a copy of that halving with the faded border. A picture that comes
  // in as a speck has only a small copy made.
  CanvasRenderer.prototype.source = function (index, image, faded, pixels, colour) {
    var level = levelFor(image, pixels);
    var plain = this.halving(index, image, level, colour);
    if (!faded) return plain;
    return this.entry(index + "f" + level, function () { return [this.faded(plain)]; }).levels[0];
  };

  // The picture with its faded border cut by the mask.
  CanvasRenderer.prototype.faded = function (image) {
    var w = image.naturalWidth || image.width, h = image.naturalHeight || image.height;
    var reduce = Math.min(1, MAX_SIDE / Math.max(w, h));
    var cw = Math.max(1, Math.round(w * reduce)), ch = Math.max(1, Math.round(h * reduce));
    var copy = document.createElement("canvas");
    copy.width = cw;
    copy.height = ch;
    var c = copy.getContext("2d", CPU_CANVAS);
    c.drawImage(image, 0, 0, cw, ch);
    c.globalCompositeOperation = "destination-in";
    c.drawImage(this.mask(cw, ch), 0, 0);
    return copy;
  };

  // The mask of a faded copy of w x h: the last few are kept, since a stack's pictures mostly
  // share their sizes and a mask's gradients cost more than the copy.
  CanvasRenderer.prototype.mask = function (w, h) {
    var key = w + "x" + h, masks = this.masks;
    for (var i = 0; i < masks.length; ++i) {
      if (masks[i].key !== key) continue;
      var found = masks.splice(i, 1)[0];
      masks.unshift(found);
      return found.mask;
    }
    masks.unshift({ key: key, mask: edgeMask(w, h, 0.1 * Math.min(w, h)) });
    if (masks.length > MAX_MASKS) masks.pop();
    return masks[0].mask;
  };

  // Drops the entries unused longest beyond MAX_COPIES or MAX_PIXELS, never one of the current
  // frame.
  CanvasRenderer.prototype.evict = function () {
    var keys = Object.keys(this.copies), copies = this.copies, frame = this.frame, pixels = 0, i;
    for (i = 0; i < keys.length; ++i) pixels += copies[keys[i]].pixels;
    if (keys.length <= MAX_COPIES && pixels <= MAX_PIXELS) return;
    keys.sort(function (p, q) { return copies[p].used - copies[q].used; });
    for (i = 0; i < keys.length && (keys.length - i > MAX_COPIES || pixels > MAX_PIXELS); ++i) {
      if (copies[keys[i]].used === frame) break;
      pixels -= copies[keys[i]].pixels;
      delete copies[keys[i]];
    }
  };

  // The corners of the rectangle of half sides (hx, hy) of a frame carried by `m`, in canvas pixels.
  function quadOnCanvas(m, hx, hy, view, sx, sy) {
    var corners = [[-1, -1], [1, -1], [1, 1], [-1, 1]], quad = [];
    for (var i = 0; i < 4; ++i) {
      var p = m.map(corners[i][0] * hx, corners[i][1] * hy);
      quad.push([sx * (p[0] + view.halfWidth), sy * (view.halfHeight - p[1])]);
    }
    return quad;
  }
  function quadArea(q) {
    var twice = 0;
    for (var i = 0; i < 4; ++i) twice += q[i][0] * q[(i + 1) % 4][1] - q[(i + 1) % 4][0] * q[i][1];
    return Math.abs(twice) / 2;
  }

  // Where to draw `picture` (extents e) when `next` (whose size is nextSize) is drawn over it:
  // {box: its bounding box on the canvas, hole: the next picture's opaque core (shrunk by
  // CORE_MARGIN) to leave out, or null when that is not worth a clip}.
  function clipFor(picture, e, next, nextSize, view, sx, sy) {
    var q = quadOnCanvas(picture.toView, e[0] / 2, e[1] / 2, view, sx, sy);
    var left = Math.max(0, Math.floor(Math.min(q[0][0], q[1][0], q[2][0], q[3][0])));
    var top = Math.max(0, Math.floor(Math.min(q[0][1], q[1][1], q[2][1], q[3][1])));
    var right = Math.min(view.width, Math.ceil(Math.max(q[0][0], q[1][0], q[2][0], q[3][0])));
    var bottom = Math.min(view.height, Math.ceil(Math.max(q[0][1], q[1][1], q[2][1], q[3][1])));
    var box = [left, top, Math.max(0, right - left), Math.max(0, bottom - top)];
    if (!next) return { box: box, hole: null };
    var core = Tunnelvista.opaqueCore(nextSize);
    var hole = quadOnCanvas(next.toView, core[0] * CORE_MARGIN, core[1] * CORE_MARGIN, view, sx, sy);
    return { box: box, hole: quadArea(hole) >= CLIP_FROM_SHARE * box[2] * box[3] ? hole : null };
  }

  // As WebGLRenderer.draw.
  CanvasRenderer.prototype.draw = function (drawn, view, images, sizes, colours) {
    var c = this.context;
    ++this.frame;
    c.setTransform(1, 0, 0, 1, 0, 0);
    c.globalAlpha = 1;
    c.globalCompositeOperation = "source-over";
    c.fillStyle = "rgb(64,64,64)"; // the editor's grey, 0.25
    c.fillRect(0, 0, view.width, view.height);
    c.imageSmoothingEnabled = true;
    // Bilinear: the halving drawn from has less than twice the pixels needed, so nothing aliases,
    // and the better filters cost several times as much without a GPU.
    c.imageSmoothingQuality = "low";
    // View units to canvas pixels (y downwards).
    var sx = view.width / (2 * view.halfWidth), sy = view.height / (2 * view.halfHeight);
    var waiting = 0;
    for (var k = 0; k < drawn.length; ++k) {
      var picture = drawn[k];
      var image = images[picture.index];
      if (!image) {
        ++waiting;
        continue;
      }
      var e = Tunnelvista.extents(sizes[picture.index]), m = picture.toView;
      var colour = (colours && colours[picture.index]) || null;
      var source = this.source(picture.index, image, !picture.whole, picture.pixels, colour);
      var next = drawn[k + 1];
      var clip = clipFor(picture, e, next && images[next.index] ? next : null, next && sizes[next.index], view, sx, sy);
      var hole = clip.hole;
      if (hole) {
        // Evenodd: the picture's box less the hole; the mask is made over the box only.
        c.save();
        c.beginPath();
        c.rect(clip.box[0], clip.box[1], clip.box[2], clip.box[3]);
        c.moveTo(hole[0][0], hole[0][1]);
        for (var i = 1; i < 4; ++i) c.lineTo(hole[i][0], hole[i][1]);
        c.closePath();
        c.clip("evenodd");
      }
      // A source pixel (u, v) of the w x h picture, v downwards, is the frame point
      // (ex (u / w - 1/2), ey (1/2 - v / h)); carried by toView and into the canvas.
      var w = source.naturalWidth || source.width, h = source.naturalHeight || source.height;
      var fx = e[0] / w, fy = -e[1] / h, ox = -e[0] / 2, oy = e[1] / 2;
      c.setTransform(sx * m.a * fx, -sy * m.b * fx, sx * m.c * fy, -sy * m.d * fy,
        sx * (m.a * ox + m.c * oy + m.tx + view.halfWidth),
        sy * (view.halfHeight - (m.b * ox + m.d * oy + m.ty)));
      c.drawImage(source, 0, 0);
      if (hole) c.restore();
      c.setTransform(1, 0, 0, 1, 0, 0);
    }
    return waiting;
  };

  CanvasRenderer.prototype.forget = function () {
    this.copies = {};
    this.masks = [];
  };

  // --- which renderer draws ---
  //
  // WebGL unless it is measured slower than the 2D canvas: a WebGL drawn by the processor
  // (SwiftShader, llvmpipe) takes several times as long a frame as the canvas. The renderer's
  // name is only a hint (it shortens the measuring, and such a WebGL loses a tie); the times
  // decide. While playing, the player
  // hands over the time between consecutive frames it drew (record); after a few frames of WebGL
  // slower than FAST_FRAME the canvas is tried for as many, and the faster one is kept for good.

  var FAST_FRAME = 20; // ms: WebGL this fast is kept without trying the canvas
  // The canvas is kept when its frames take at most this share of WebGL's (of a WebGL named as
  // drawn by the processor: such a WebGL is kept only when clearly faster).
  var KEEP_CANVAS = 0.85, KEEP_CANVAS_SOFTWARE = 1.15;
  var CANVAS_WARM_UP = 3;
  var MEASURE_MS = 600; // each renderer is measured for at least this long

  function sum(values) {
    var total = 0;
    for (var i = 0; i < values.length; ++i) total += values[i];
    return total;
  }
  // The mean less the longest frame (one stall of the machine's): a rate over a stretch, since a
  // GPU, software or not, queues a few frames before it holds the page back.
  function typical(values) {
    if (values.length < 2) return values.length ? values[0] : Infinity;
    return (sum(values) - Math.max.apply(null, values)) / (values.length - 1);
  }

  // `softwareHint`: WebGL's renderer names a processor-drawn implementation.
  function RendererChoice(softwareHint) {
    // Frames left out at the start (uploads) and after the change to the canvas (its copies),
    // and frames measured per renderer.
    this.warmUp = softwareHint ? 1 : 2;
    this.needed = softwareHint ? 5 : 6;
    this.software = !!softwareHint;
    this.times = { webgl: [], canvas: [] };
    this.skipped = 0;
    this.decided = null; // "webgl" or "canvas" once chosen
  }

  // A frame of `path` ("webgl" or "canvas") took `ms`; returns the renderer to draw the next
  // frames with. Tunnelvista.frameTimeHook(path, ms), when set, replaces the measured time (tests).
  RendererChoice.prototype.record = function (path, ms) {
    if (this.decided) return this.decided;
    if (typeof Tunnelvista.frameTimeHook === "function") ms = Tunnelvista.frameTimeHook(path, ms);
    if (!(ms >= 0 && isFinite(ms)) || this.skipped++ < this.warmUp) return path;
    var times = this.times[path];
    times.push(ms);
    if (times.length < this.needed || sum(times) < MEASURE_MS) return path;
    if (path === "webgl") {
      if (typical(times) <= FAST_FRAME) return (this.decided = "webgl");
      this.skipped = 0;
      this.warmUp = CANVAS_WARM_UP;
      return "canvas";
    }
    var keep = this.software ? KEEP_CANVAS_SOFTWARE : KEEP_CANVAS;
    this.decided = typical(this.times.canvas) <= keep * typical(this.times.webgl) ? "canvas" : "webgl";
    return this.decided;
  };
  // The typical frame time measured of each renderer (NaN where it was not tried), for scripts
  // that measure.
  RendererChoice.prototype.measured = function () {
    var times = this.times;
    return { webgl: times.webgl.length ? typical(times.webgl) : NaN, canvas: times.canvas.length ? typical(times.canvas) : NaN };
  };
  Tunnelvista.RendererChoice = RendererChoice;

  Tunnelvista.CanvasRenderer = CanvasRenderer;
  if (typeof module === "object" && module.exports) module.exports = Tunnelvista;
})(typeof globalThis !== "undefined" ? globalThis : this);
