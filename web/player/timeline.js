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
// An endless timeline repeats one pass forever: element k of the endless sequence (any integer)
// is picture k mod N of the N pictures, and the first picture of each pass lies in the last
// picture of the pass before by the target frame's placement. Times beyond 0..1 are later (or
// earlier) passes, each as precise as the first. Endless zooms play at the steady pace (the
// zoom's logarithm changes at one rate), as may there-and-back ones.
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
  // as 0, as the editor does for hand-edited projects. `settings` (optional): play ("endless" or
  // there and back) and pace ("steady" or eased), as the page's settings name them.
  function Timeline(placements, settings) {
    var n = placements.length;
    settings = settings || {};
    this.endless = settings.play === "endless" && n >= 2;
    var steady = this.endless || settings.pace === "steady";
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
      if (steady) {
        // The share of the total zoom, clamped as the eased curve's inverse clamps it; not a
        // number (no zoom at all) is the start.
        var u = keys[i].logZoom / total;
        keys[i].time = u > 0 ? Math.min(u, 1) : 0;
        keys[i].logZoomSlope = finiteOr(total, 0);
      } else {
        var ts = timeForZoomFraction(keys[i].logZoom / total);
        keys[i].time = ts.t;
        keys[i].logZoomSlope = i + 1 < n ? finiteOr(ts.slope * total, 0) : 0;
      }
    }
    // Steady: the same rate at the ends too, so the logarithmic zoom is a straight line.
    if (steady && n > 0) keys[0].logZoomSlope = finiteOr(total, 0);
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
    if (this.endless) this.joinSeam();
  }
  Timeline.prototype.count = function () { return this.keys.length; };

  // The target frame (element N) is the next pass's first picture. Its slopes are taken with its
  // neighbours across the seam (element N - 1 before it, the next pass's element 1 after it), as
  // an interior key's are, and the first picture's slopes are the same motion seen in its own
  // frame, so that the view runs on through the seam without a jolt. Twin of Timeline::JoinSeam.
  Timeline.prototype.joinSeam = function () {
    var keys = this.keys, last = keys.length - 1;
    var seam = keys[last], previous = keys[last - 1], second = keys[1];
    var next = this.placementOf(last + 1);
    var c = Affine.similarity(1, -seam.rotate, 0, 0).map(next.tx, next.ty);
    seam.nextX = c[0];
    seam.nextY = c[1];
    var span = 1 + second.time - previous.time;
    var prevX = -previous.nextX / seam.scale, prevY = -previous.nextY / seam.scale;
    seam.slopeX = -interiorSlope(prevX, seam.nextX, span);
    seam.slopeY = -interiorSlope(prevY, seam.nextY, span);
    // The next element's rotation relative to the seam is element 1's relative to the first picture.
    seam.rotateSlope = interiorSlope(previous.rotate - seam.rotate, second.rotate, span);
    var first = keys[0];
    var turned = Affine.similarity(1, seam.rotate, 0, 0).map(seam.slopeX, seam.slopeY);
    first.slopeX = turned[0];
    first.slopeY = turned[1];
    first.rotateSlope = seam.rotateSlope;
    first.logZoomSlope = seam.logZoomSlope;
  };

  // Along the endless sequence: the picture element k shows, and its placement in element k - 1
  // (the target frame's when k is a multiple of N).
  Timeline.prototype.pictureOf = function (k) {
    var pictures = this.keys.length - 1;
    return ((k % pictures) + pictures) % pictures;
  };
  Timeline.prototype.placementOf = function (k) {
    var picture = this.pictureOf(k);
    return this.keys[picture === 0 ? this.keys.length - 1 : picture].placement;
  };
  // Element i's placement in element i - 1.
  Timeline.prototype.placement = function (i) { return this.keys[i].placement; };
  Timeline.prototype.keyTime = function (i) { return this.keys[i].time; };

  // The view at normalised time t (0..1; any t when endless, where t and t + 1 give the same
  // view), relative to the element whose key begins its segment.
  Timeline.prototype.viewAt = function (t) {
    var keys = this.keys, n = keys.length;
    if (n < 2) return { anchor: 0, toView: Affine.identity() };
    if (this.endless) {
      // Every pass is the same relative to its own elements: only the time within the pass counts.
      t = isFinite(t) ? t - Math.floor(t) : 0;
      if (!(t < 1)) t = 0; // a tiny negative time rounds to 1
    }
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
  // viewport along its constraining axis and is centred on the other. `cover`: the first picture
  // covers the viewport instead (a page that fills the window crops it, with no bars).
  Tunnelvista.fittedView = function (width, height, firstSize, cover) {
    var span = { halfWidth: 0.5, halfHeight: 0.5 };
    if (firstSize && (firstSize[0] > 0 || firstSize[1] > 0) && width > 0 && height > 0) {
      var e = extents(firstSize), ex = e[0], ey = e[1];
      if (ex / ey > width / height === !cover) span = { halfWidth: ex / 2, halfHeight: ex * height / width / 2 };
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

  // An endless zoom has no first or last picture to end the walks: a loop that does not shrink
  // (a picture placed in itself at its own size) would go on forever. Each walk stops after this
  // many elements, far more than a zoom that shrinks at all shows at once.
  var MAX_ENDLESS_REACH = 4096;

  // The pictures of the frame at time t, outermost first, each {index (the picture), element
  // (its place along the zoom: the picture's index there and back, any integer when endless),
  // toView, pixels (screen pixels per unit of its frame), whole (painted whole and unblended)}.
  // From the anchor the walk goes inward while pictures are at least a pixel on screen, outward
  // until a picture's opaque core covers the view; a picture is left out when its successor's
  // core covers the view. An endless zoom walks on across the seam both ways, so one picture
  // may be drawn several times. `sizes` holds the pictures' [width, height] (the target frame is
  // not drawn).
  Tunnelvista.framePictures = function (timeline, sizes, t, view) {
    var pictures = Math.min(sizes.length, timeline.count());
    if (pictures < 1 || !(view.width > 0 && view.height > 0)) return [];
    var endless = !!timeline.endless && pictures === timeline.count() - 1;
    var placement = function (k) { return endless ? timeline.placementOf(k) : timeline.placement(k); };
    var pictureOf = function (k) { return endless ? timeline.pictureOf(k) : k; };
    var pixelsPerUnit = view.width / (2 * view.halfWidth);
    var relative = timeline.viewAt(t);
    var anchor = Math.min(relative.anchor, pictures - 1);
    // Entries (element, picture, toView), inward from the anchor.
    var entries = [{ element: anchor, index: anchor, toView: relative.toView }], m, k, i;
    for (k = anchor + 1; endless ? k - anchor <= MAX_ENDLESS_REACH : k < pictures; ++k) {
      m = entries[entries.length - 1].toView.times(placement(k));
      var j = pictureOf(k);
      var side = m.lengthScale() * pixelsPerUnit;
      var e = extents(sizes[j]);
      if (!m.isFinite() || side * side * e[0] * e[1] < 1) break;
      entries.push({ element: k, index: j, toView: m });
    }
    var start = 0, covered = false;
    for (i = entries.length - 1; i >= 0 && !covered; --i) {
      if (coversView(sizes[entries[i].index], entries[i].toView, view)) {
        start = i;
        covered = true;
      }
    }
    entries = entries.slice(start);
    var first = entries[0].element;
    while (!covered && (endless ? anchor - first < MAX_ENDLESS_REACH : first > 0)) {
      m = entries[0].toView.times(placement(first).inverse());
      if (!m.isFinite()) break;
      --first;
      entries.unshift({ element: first, index: pictureOf(first), toView: m });
      covered = coversView(sizes[entries[0].index], m, view);
    }
    var drawn = [];
    for (i = 0; i < entries.length; ++i) {
      var next = entries[i + 1];
      if (next && coversView(sizes[next.index], next.toView, view)) continue;
      var entry = entries[i];
      drawn.push({ index: entry.index, element: entry.element, toView: entry.toView,
        pixels: entry.toView.lengthScale() * pixelsPerUnit, whole: false });
    }
    if (drawn.length && ((!endless && drawn[0].element === 0) || covered)) drawn[0].whole = true;
    return drawn;
  };

  if (typeof module === "object" && module.exports) module.exports = Tunnelvista;
})(typeof globalThis !== "undefined" ? globalThis : this);
