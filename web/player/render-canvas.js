// The zoom drawn on a 2D canvas, where WebGL is not available: the same pictures as the WebGL
// renderer, the outermost drawn as it is, the others through a copy whose faded border is cut
// with an alpha mask. The mask is drawn, never read back, so tainted images work too.
(function (root) {
  "use strict";
  var Tunnelvista = root.Tunnelvista = root.Tunnelvista || {};

  // Copies (faded or not, with their halvings) kept at most, and the longest side of a faded copy.
  var MAX_COPIES = 24;
  var MAX_SIDE = 4096;

  // A mask of w x h whose alpha rises from 0 at each edge to 1 at `band` pixels in, the smallest
  // of the four: each edge's gradient fills the part of the picture nearest that edge (bounded by
  // the diagonals from the corners); 'lighter' adds the antialiased seams to full coverage.
  function edgeMask(w, h, band) {
    var mask = document.createElement("canvas");
    mask.width = w;
    mask.height = h;
    var c = mask.getContext("2d");
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
    this.context = canvas.getContext("2d", { alpha: false });
    if (!this.context) throw new Error("The canvas cannot be drawn on");
    this.copies = {}; // picture index and "f" (faded) or "w" (whole) -> {levels, used}
    this.frame = 0;
  }

  // The copy of picture `index` to draw at `pixels` screen pixels per unit of its frame: the
  // picture itself or its faded copy, halved while it has twice the pixels needed or more (some
  // browsers sample a large reduction from too few pixels, and fine detail aliases). Halvings are
  // made as they are needed and kept with the copy.
  CanvasRenderer.prototype.source = function (index, image, faded, pixels) {
    var key = index + (faded ? "f" : "w");
    var entry = this.copies[key];
    if (!entry) {
      var base = faded ? this.faded(image) : image;
      entry = this.copies[key] = { levels: [base], used: this.frame };
      this.evict();
    }
    entry.used = this.frame;
    var levels = entry.levels;
    var w = levels[0].naturalWidth || levels[0].width, h = levels[0].naturalHeight || levels[0].height;
    var level = 0;
    while (Math.max(w, h) >= 2 * pixels && Math.min(w, h) >= 2) {
      w = Math.floor(w / 2);
      h = Math.floor(h / 2);
      if (!levels[++level]) {
        var half = document.createElement("canvas");
        half.width = w;
        half.height = h;
        var c = half.getContext("2d");
        c.imageSmoothingEnabled = true;
        c.imageSmoothingQuality = "high";
        c.drawImage(levels[level - 1], 0, 0, w, h);
        levels[level] = half;
      }
    }
    return levels[level];
  };

  // The picture with its faded border cut by the mask.
  CanvasRenderer.prototype.faded = function (image) {
    var w = image.naturalWidth || image.width, h = image.naturalHeight || image.height;
    var reduce = Math.min(1, MAX_SIDE / Math.max(w, h));
    var cw = Math.max(1, Math.round(w * reduce)), ch = Math.max(1, Math.round(h * reduce));
    var copy = document.createElement("canvas");
    copy.width = cw;
    copy.height = ch;
    var c = copy.getContext("2d");
    c.drawImage(image, 0, 0, cw, ch);
    c.globalCompositeOperation = "destination-in";
    c.drawImage(edgeMask(cw, ch, 0.1 * Math.min(cw, ch)), 0, 0);
    return copy;
  };

  // Drops the copies unused longest beyond MAX_COPIES, never one of the current frame.
  CanvasRenderer.prototype.evict = function () {
    var keys = Object.keys(this.copies), copies = this.copies, frame = this.frame;
    if (keys.length <= MAX_COPIES) return;
    keys.sort(function (p, q) { return (copies[p].used || 0) - (copies[q].used || 0); });
    for (var i = 0; i < keys.length - MAX_COPIES && copies[keys[i]].used !== frame; ++i) delete copies[keys[i]];
  };

  // As WebGLRenderer.draw.
  CanvasRenderer.prototype.draw = function (drawn, view, images, sizes) {
    var c = this.context;
    ++this.frame;
    c.setTransform(1, 0, 0, 1, 0, 0);
    c.globalAlpha = 1;
    c.globalCompositeOperation = "source-over";
    c.fillStyle = "rgb(64,64,64)"; // the editor's grey, 0.25
    c.fillRect(0, 0, view.width, view.height);
    c.imageSmoothingEnabled = true;
    c.imageSmoothingQuality = "high";
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
      var source = this.source(picture.index, image, !picture.whole, picture.pixels);
      // A source pixel (u, v) of the w x h picture, v downwards, is the frame point
      // (ex (u / w - 1/2), ey (1/2 - v / h)); carried by toView and into the canvas.
      var w = source.naturalWidth || source.width, h = source.naturalHeight || source.height;
      var fx = e[0] / w, fy = -e[1] / h, ox = -e[0] / 2, oy = e[1] / 2;
      c.setTransform(sx * m.a * fx, -sy * m.b * fx, sx * m.c * fy, -sy * m.d * fy,
        sx * (m.a * ox + m.c * oy + m.tx + view.halfWidth),
        sy * (view.halfHeight - (m.b * ox + m.d * oy + m.ty)));
      c.drawImage(source, 0, 0);
    }
    c.setTransform(1, 0, 0, 1, 0, 0);
    return waiting;
  };

  CanvasRenderer.prototype.forget = function () { this.copies = {}; };

  Tunnelvista.CanvasRenderer = CanvasRenderer;
  if (typeof module === "object" && module.exports) module.exports = Tunnelvista;
})(typeof globalThis !== "undefined" ? globalThis : this);
