// The zoom through time, and which pictures a frame shows.
//
// Two forms of the same curves:
// - the keyframe table of the data file, evaluated in single precision exactly as the editor
//   evaluates it (`tableViewAt`);
// - the relative timeline in double precision (`Timeline`), built from the placements: each key
//   is held relative to its own element, so a zoom of any depth is as precise at its end as at its
//   start. `viewAt(t)` gives {anchor, toView}: the similarity that carries the anchor element's
//   frame into view units; every other picture's matrix is composed from it, inward with the
//   placements and outward with their inverses.
//
// Frames: each element's origin is its centre, x to the right, y upwards, its longer side 1 unit.
// View units: the first picture at time 0 spans at most -0.5..0.5; the view is fitted to it.
(function (root) {
  "use strict";
  var Tunnelvista = root.Tunnelvista = root.Tunnelvista || {};
  var f = Math.fround;

  // --- plane maps: p' = (a x + c y + tx, b x + d y + ty) ---

  function Affine(a, b, c, d, tx, ty) {
    this.a = a; this.b = b; this.c = c; this.d = d; this.tx = tx; this.ty = ty;
  }
  Affine.identity = function () { return new Affine(1, 0, 0, 1, 0, 0); };
  Affine.similarity = function (scale, degrees, tx, ty) {
    var r = degrees * (Math.PI / 180);
    var cs = Math.cos(r) * scale, sn = Math.sin(r) * scale;
    return new Affine(cs, sn, -sn, cs, tx, ty);
  };
  // A child frame into its parent: translate, scale, rotate.
  Affine.placement = function (p) { return Affine.similarity(p.scale, p.rotate, p.translateX, p.translateY); };
  // (this * r)(p) = this(r(p))
  Affine.prototype.times = function (r) {
    return new Affine(this.a * r.a + this.c * r.b, this.b * r.a + this.d * r.b,
      this.a * r.c + this.c * r.d, this.b * r.c + this.d * r.d,
      this.a * r.tx + this.c * r.ty + this.tx, this.b * r.tx + this.d * r.ty + this.ty);
  };
  Affine.prototype.inverse = function () {
    var det = this.a * this.d - this.b * this.c;
    var ia = this.d / det, ib = -this.b / det, ic = -this.c / det, id = this.a / det;
    return new Affine(ia, ib, ic, id, -(ia * this.tx + ic * this.ty), -(ib * this.tx + id * this.ty));
  };
  Affine.prototype.map = function (x, y) {
    return [this.a * x + this.c * y + this.tx, this.b * x + this.d * y + this.ty];
  };
  Affine.prototype.lengthScale = function () { return Math.sqrt(Math.abs(this.a * this.d - this.b * this.c)); };
  Affine.prototype.isFinite = function () {
    return isFinite(this.a) && isFinite(this.b) && isFinite(this.c) && isFinite(this.d) &&
      isFinite(this.tx) && isFinite(this.ty);
  };
  Tunnelvista.Affine = Affine;

  // --- the easing curve: the fraction of the total logarithmic zoom reached at time t ---
  // Twin of the editor's src-gl/core/Keyframe.cpp; the applet (applet/src/Zoom.java) reads the
  // keys ready-made and has no easing of its own.

  function easeIn(t) { return f(3.2 * t * t * t + 1.6 * t * t); }
  function easeOut(t) { return f(3.2 * t * t * t - 11.2 * t * t + 12.8 * t - 3.8); }

  // Ten halvings in single precision; the answer is the last midpoint, as the editor has it.
  function bisect(curve, u, lo, hi) {
    var mid = lo;
    for (var i = 0; i < 10; ++i) {
      mid = f(lo + f(f(hi - lo) * 0.5));
      if (u > curve(mid)) lo = mid;
      else hi = mid;
    }
    return mid;
  }

  // {t, slope}: the time at which the fraction u of the zoom is reached, and du/dt there.
  function timeForZoomFraction(u) {
    u = f(u);
    if (!(u > 0)) return { t: 0, slope: 0 };
    if (u >= 1) return { t: 1, slope: 0 };
    var t;
    if (u < 0.15) {
      t = bisect(easeIn, u, 0, 0.25);
      return { t: t, slope: f(9.6 * t * t + 3.2 * t) };
    }
    if (u <= 0.85) return { t: f((u + 0.2) * (1.0 / 1.4)), slope: f(1.4) };
    t = bisect(easeOut, u, 0.75, 1);
    return { t: t, slope: f(9.6 * t * t - 22.4 * t + 12.8) };
  }
  Tunnelvista.timeForZoomFraction = timeForZoomFraction;

  // --- the keyframe table (single precision) ---

  var MAX_LOG_ZOOM = 85;

  function hermiteFloat(p0, p1, slope0, slope1, d, s) {
    var m0 = f(d * slope0), m1 = f(d * slope1);
    var a = f(f(f(f(2 * p0) - f(2 * p1)) + m0) + m1);
    var b = f(f(f(f(-3 * p0) + f(3 * p1)) - f(2 * m0)) - m1);
    return f(f(f(f(f(f(a * s) * s) * s) + f(f(b * s) * s)) + f(m0 * s)) + p0);
  }
  function finiteOr(value, fallback) { return isFinite(value) ? value : fallback; }

  // The table's view at time t: {zoom, x, y, rotate}; the view is R(rotate) S(zoom) T(x, y) of
  // the first picture's frame. Twins: ImageStack::ViewValuesAtTime in
  // src-gl/core/ImagestackKeyframes.cpp and Zoom.viewAt in applet/src/Zoom.java;
  // tests/data/keyframe-views.txt holds all three to the same views.
  Tunnelvista.tableViewAt = function (keys, t) {
    var n = keys.length;
    if (n === 0) return { zoom: 1, x: 0, y: 0, rotate: 0 };
    if (n === 1) return { zoom: keys[0].zoom, x: keys[0].x, y: keys[0].y, rotate: keys[0].rotate };
    t = f(t);
    var k = 1;
    while (k < n && t > keys[k].time) ++k;
    if (k === n) k = n - 1;
    var a = keys[k - 1], b = keys[k];
    var d = f(b.time - a.time);
    var s = d > 0 ? f(f(t - a.time) / d) : 0;
    var logZoom = hermiteFloat(a.logZoom, b.logZoom, a.logZoomSlope, b.logZoomSlope, d, s);
    var x = hermiteFloat(a.x, b.x, a.xSlope, b.xSlope, d, s);
    var y = hermiteFloat(a.y, b.y, a.ySlope, b.ySlope, d, s);
    var rotate = hermiteFloat(a.rotate, b.rotate, a.rotateSlope, b.rotateSlope, d, s);
    logZoom = Math.min(Math.max(finiteOr(logZoom, a.logZoom), -MAX_LOG_ZOOM), MAX_LOG_ZOOM);
    return { zoom: f(Math.exp(logZoom)), x: finiteOr(x, a.x), y: finiteOr(y, a.y), rotate: finiteOr(rotate, a.rotate) };
  };

  // --- the relative timeline (double precision); twin of src-gl/core/Timeline.cpp ---

  function hermite(p0, p1, slope0, slope1, d, s) {
    var m0 = d * slope0, m1 = d * slope1;
    var a = 2 * p0 - 2 * p1 + m0 + m1;
    var b = -3 * p0 + 3 * p1 - 2 * m0 - m1;
    return ((a * s + b) * s + m0) * s + p0;
  }
  // Through the neighbours where the value lies strictly between them; flat at a turn or plateau.
  function interiorSlope(toPrevious, toNext, span) {
    if (toPrevious * toNext < 0 && span !== 0) {
      var slope = (toNext - toPrevious) / span;
      return isFinite(slope) ? slope : 0;
    }
    return 0;
  }

  // From the placements of every element, the pictures' then the target frame's (element 0's is
  // never applied). Scales of 0 or not numbers are taken as 1, other values that are not numbers
  // as 0, as the editor does for hand-edited projects.
  function Timeline(placements) {
    var n = placements.length;
    var keys = [];
    for (var i = 0; i < n; ++i)
      keys.push({ placement: Affine.identity(), time: 0, logZoom: 0, logZoomSlope: 0, rotate: 0, rotateSlope: 0,
        scale: 1, nextX: 0, nextY: 0, slopeX: 0, slopeY: 0 });
    for (i = 1; i < n; ++i) {
      var p = placements[i];
      var t = {
        scale: isFinite(p.scale) && p.scale !== 0 ? p.scale : 1,
        translateX: isFinite(p.translateX) ? p.translateX : 0,
        translateY: isFinite(p.translateY) ? p.translateY : 0,
        rotate: isFinite(p.rotate) ? p.rotate : 0,
      };
      keys[i].placement = Affine.placement(t);
      keys[i].scale = t.scale;
      keys[i].logZoom = keys[i - 1].logZoom - Math.log(Math.abs(t.scale));
      keys[i].rotate = keys[i - 1].rotate - t.rotate;
    }
    var total = n > 0 ? keys[n - 1].logZoom : 0;
    for (i = 1; i < n; ++i) {
      var ts = timeForZoomFraction(keys[i].logZoom / total);
      keys[i].time = ts.t;
      keys[i].logZoomSlope = i + 1 < n ? finiteOr(ts.slope * total, 0) : 0;
    }
    // The next element's centre seen from element i, in i's units with the first picture's
    // orientation.
    for (i = 0; i + 1 < n; ++i) {
      var next = keys[i + 1].placement;
      var c = Affine.similarity(1, -keys[i].rotate, 0, 0).map(next.tx, next.ty);
      keys[i].nextX = c[0];
      keys[i].nextY = c[1];
    }
    for (i = 1; i + 1 < n; ++i) {
      var key = keys[i], previous = keys[i - 1], following = keys[i + 1];
      var span = following.time - previous.time;
      var prevX = -previous.nextX / key.scale, prevY = -previous.nextY / key.scale;
      // The view translation is minus the centre: its slope changes sign.
      key.slopeX = -interiorSlope(prevX, key.nextX, span);
      key.slopeY = -interiorSlope(prevY, key.nextY, span);
      key.rotateSlope = interiorSlope(previous.rotate - key.rotate, following.rotate - key.rotate, span);
    }
    this.keys = keys;
  }
  Timeline.prototype.count = function () { return this.keys.length; };
  // Element i's placement in element i - 1.
  Timeline.prototype.placement = function (i) { return this.keys[i].placement; };
  Timeline.prototype.keyTime = function (i) { return this.keys[i].time; };

  // The view at normalised time t (0..1), relative to the element whose key begins its segment.
  Timeline.prototype.viewAt = function (t) {
    var keys = this.keys, n = keys.length;
    if (n < 2) return { anchor: 0, toView: Affine.identity() };
    var k = 1;
    while (k < n && t > keys[k].time) ++k;
    if (k === n) k = n - 1;
    var a = keys[k - 1], b = keys[k];
    var d = b.time - a.time;
    var s = d > 0 ? (t - a.time) / d : 0;
    var logZoom = hermite(0, b.logZoom - a.logZoom, a.logZoomSlope, b.logZoomSlope, d, s);
    var turn = finiteOr(hermite(0, b.rotate - a.rotate, a.rotateSlope, b.rotateSlope, d, s), 0);
    var offsetX = finiteOr(hermite(0, -a.nextX, a.slopeX, b.slopeX * b.scale, d, s), 0);
    var offsetY = finiteOr(hermite(0, -a.nextY, a.slopeY, b.slopeY * b.scale, d, s), 0);
    var zoom = Math.exp(finiteOr(logZoom, 0));
    // V(q) = zoom R(turn) q + zoom R(absolute view rotation) offset.
    var toView = Affine.similarity(zoom, turn, 0, 0);
    var o = Affine.similarity(zoom, a.rotate + turn, 0, 0).map(offsetX, offsetY);
    toView.tx = o[0];
    toView.ty = o[1];
    return { anchor: k - 1, toView: toView };
  };
  Tunnelvista.Timeline = Timeline;

  // The target frame's placement when the page does not give it: recovered from the last two
  // keys of the table (single precision, so for deep zooms its offset is approximate).
  Tunnelvista.targetFromKeys = function (keys) {
    var n = keys.length;
    if (n < 2) return { scale: 1, translateX: 0, translateY: 0, rotate: 0 };
    var a = keys[n - 2], b = keys[n - 1];
    // The view's offset steps by minus the target's centre carried through the last picture's
    // absolute frame, (1 / zoom(a)) R(-rotate(a)); undone: -zoom(a) R(rotate(a)) (x(b) - x(a), ...).
    var back = Affine.similarity(-a.zoom, a.rotate, 0, 0).map(b.x - a.x, b.y - a.y);
    return { scale: a.zoom / b.zoom, translateX: back[0], translateY: back[1], rotate: a.rotate - b.rotate };
  };

  // --- the view's framing and which pictures a frame shows ---

  // (1, h/w) for landscape, (w/h, 1) for portrait or square, in single precision.
  function extents(size) {
    var w = size[0], h = size[1];
    if (h < w) return [1, f(h / w)];
    if (h === 0) return [1, 1];
    return [f(w / h), 1];
  }
  Tunnelvista.extents = extents;

  // Half sides of a picture's opaque core (inside its faded band).
  var FADE_BAND = f(0.1);
  function opaqueCore(size) {
    var e = extents(size);
    var m = f(Math.min(e[0], e[1]) * f(2 * FADE_BAND));
    return [f(e[0] - m) / 2, f(e[1] - m) / 2];
  }
  Tunnelvista.opaqueCore = opaqueCore;

  // The orthographic span of a width x height viewport fitted to the first picture: it fills the
  // viewport along its constraining axis and is centred on the other.
  Tunnelvista.fittedView = function (width, height, firstSize) {
    var span = { halfWidth: 0.5, halfHeight: 0.5 };
    if (firstSize && (firstSize[0] > 0 || firstSize[1] > 0) && width > 0 && height > 0) {
      var e = extents(firstSize), ex = e[0], ey = e[1];
      if (ex / ey > width / height) span = { halfWidth: ex / 2, halfHeight: ex * height / width / 2 };
      else span = { halfWidth: ey * width / height / 2, halfHeight: ey / 2 };
    }
    return { width: width, height: height, halfWidth: span.halfWidth, halfHeight: span.halfHeight };
  };

  // True when the rectangle of half sides (hx, hy) about the frame's origin holds the whole view.
  function rectCoversView(toView, view, hx, hy) {
    var back = toView.inverse();
    if (!back.isFinite()) return false;
    var corners = [[-1, -1], [-1, 1], [1, -1], [1, 1]];
    for (var i = 0; i < 4; ++i) {
      var p = back.map(corners[i][0] * view.halfWidth, corners[i][1] * view.halfHeight);
      if (!(p[0] >= -hx && p[0] <= hx && p[1] >= -hy && p[1] <= hy)) return false;
    }
    return true;
  }
  function coversView(size, toView, view) {
    var core = opaqueCore(size);
    return rectCoversView(toView, view, core[0], core[1]);
  }

  // The pictures of the frame at time t, outermost first, each {index, toView, pixels (screen
  // pixels per unit of its frame), whole (painted whole and unblended)}. From the anchor the walk
  // goes inward while pictures are at least a pixel on screen, outward until a picture's opaque
  // core covers the view; a picture is left out when its successor's core covers the view.
  // `sizes` holds the pictures' [width, height] (the target frame is not drawn).
  Tunnelvista.framePictures = function (timeline, sizes, t, view) {
    var pictures = Math.min(sizes.length, timeline.count());
    if (pictures < 1 || !(view.width > 0 && view.height > 0)) return [];
    var pixelsPerUnit = view.width / (2 * view.halfWidth);
    var relative = timeline.viewAt(t);
    var anchor = Math.min(relative.anchor, pictures - 1);
    var toView = [];
    toView[anchor] = relative.toView;
    var last = anchor, j, m;
    for (j = anchor + 1; j < pictures; ++j) {
      m = toView[j - 1].times(timeline.placement(j));
      var side = m.lengthScale() * pixelsPerUnit;
      var e = extents(sizes[j]);
      if (!m.isFinite() || side * side * e[0] * e[1] < 1) break;
      toView[j] = m;
      last = j;
    }
    var first = anchor, covered = false;
    for (j = last; j >= anchor && !covered; --j) {
      if (coversView(sizes[j], toView[j], view)) {
        first = j;
        covered = true;
      }
    }
    while (!covered && first > 0) {
      m = toView[first].times(timeline.placement(first).inverse());
      if (!m.isFinite()) break;
      toView[first - 1] = m;
      --first;
      covered = coversView(sizes[first], toView[first], view);
    }
    var drawn = [];
    for (j = first; j <= last; ++j) {
      if (j + 1 <= last && coversView(sizes[j + 1], toView[j + 1], view)) continue;
      drawn.push({ index: j, toView: toView[j], pixels: toView[j].lengthScale() * pixelsPerUnit, whole: false });
    }
    if (drawn.length && (drawn[0].index === 0 || covered)) drawn[0].whole = true;
    return drawn;
  };

  if (typeof module === "object" && module.exports) module.exports = Tunnelvista;
})(typeof globalThis !== "undefined" ? globalThis : this);
