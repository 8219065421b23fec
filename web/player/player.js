// Tunnelvista.start(element, settings): the player in `element`.
//
// settings (JSON written by the export): data (the data file's name), width and height (the
// zoom's box, CSS pixels), duration (seconds per pass), controls, autoplay, forward (play towards
// the end first; false starts at the end), background and text (#RRGGBB), sizes (each picture's
// [width, height] in pixels, in stack order); optional target ([scale, translateX, translateY,
// rotate] of the target frame; without it the placement is recovered from the data file's keys).
// Written only when not the default: fill (true: the zoom fills the window, cropped to it, in
// place of the width x height box), play ("endless": inward forever, the last picture leading
// into the first; else there and back), pace ("steady": the zoom's logarithm changes at one rate;
// else eased; endless zooms are always steady), colours (per picture in stack order
// [gainR, gainG, gainB, offsetR, offsetG, offsetB] on its values 0..1, clamped after, or null:
// drawn as its file has it).
//
// Loading: over http(s) the data file is fetched and the pictures are <img src=NAME>. From disk
// (file://), where fetch is refused and WebGL refuses local images, and whenever the fetch fails,
// the script NAME.js beside each file hands its bytes over: DATA.kxo.js calls
// Tunnelvista.provideData(name, base64), NAME.jpg.js Tunnelvista.providePicture(name, dataUrl).
// Pictures come in stack order, a few at a time; the loading bar shows how many are in. A frame
// leaves out pictures that are not in yet; playing starts once a frame had all it needs.
//
// The fragment: #t=0.35 opens paused at that point of the pass; #t=0.35&full shows only the zoom,
// in the window (no title, caption or controls), for screenshots. Once a frame has been
// drawn with every picture it shows, <html> gets data-ready="1" (and the element too).
//
// Playing runs there and back as in the editor: forward to the end, back to the start, again.
// An endless zoom runs on at `speed` passes per duration (negative: outward), which the wheel, a
// two-finger swipe and the Up/Down keys change (controls.js).
//
// The renderer: WebGL where a context can be made, until the frames it draws while playing are
// measured slower than the 2D canvas's (Tunnelvista.RendererChoice, render-canvas.js); the
// canvas otherwise.
(function (root) {
  "use strict";
  var Tunnelvista = root.Tunnelvista = root.Tunnelvista || {};

  var PARALLEL_PICTURES = 4; // pictures loading at a time
  var MAX_SPEED = 8; // passes per duration, either way
  var LONGEST_FRAME = 2000; // ms: a longer gap between frames (a hidden tab) is not a frame time

  // Deliveries from the .js files, by base name: the callbacks waiting for one, or what came
  // before anyone asked (kept only until it is taken: pictures are large).
  var deliveries = { data: {}, picture: {} };
  function baseName(name) {
    var text = String(name);
    return text.slice(text.lastIndexOf("/") + 1);
  }
  function deliver(kind, name, value) {
    var key = baseName(name), entry = deliveries[kind][key];
    if (!entry || !entry.callbacks) {
      deliveries[kind][key] = { value: value };
      return;
    }
    delete deliveries[kind][key];
    for (var i = 0; i < entry.callbacks.length; ++i) entry.callbacks[i](value);
  }
  function whenDelivered(kind, name, callback) {
    var key = baseName(name), entry = deliveries[kind][key];
    if (entry && entry.callbacks) return entry.callbacks.push(callback);
    if (entry) {
      delete deliveries[kind][key];
      return callback(entry.value);
    }
    deliveries[kind][key] = { callbacks: [callback] };
  }
  Tunnelvista.provideData = function (name, base64) { deliver("data", name, base64); };
  Tunnelvista.providePicture = function (name, dataUrl) { deliver("picture", name, dataUrl); };

  // A file name as a relative URL: '#', '?', '%' and spaces in names stay part of the name.
  function urlOf(name) {
    return String(name).split("/").map(encodeURIComponent).join("/");
  }

  // Loads NAME.js; `failed` when the script cannot be loaded.
  function loadScript(name, failed) {
    var script = document.createElement("script");
    script.src = urlOf(name + ".js");
    script.async = true;
    script.onerror = function () {
      script.remove();
      failed();
    };
    script.onload = function () { script.remove(); };
    document.head.appendChild(script);
  }

  function parseFragment(hash) {
    var result = { t: null, full: false };
    var parts = String(hash || "").replace(/^#/, "").split("&");
    for (var i = 0; i < parts.length; ++i) {
      var pair = parts[i].split("=");
      if (pair[0] === "t" && pair.length > 1) {
        var t = Number(pair[1]);
        if (isFinite(t)) result.t = Math.min(1, Math.max(0, t));
      } else if (pair[0] === "full") {
        result.full = true;
      }
    }
    return result;
  }
  Tunnelvista.parseFragment = parseFragment;

  // The canvas in a box of cssWidth x cssHeight at `ratio` device pixels per CSS pixel: the
  // largest rectangle of the first picture's aspect (4:3 while its size is unknown), centred;
  // {width, height, left, top} in device pixels.
  function canvasRect(cssWidth, cssHeight, ratio, firstSize) {
    var boxWidth = Math.max(1, Math.round(cssWidth * ratio)), boxHeight = Math.max(1, Math.round(cssHeight * ratio));
    var first = firstSize && firstSize[0] > 0 && firstSize[1] > 0 ? firstSize : [4, 3];
    var aspect = first[0] / first[1];
    var w = boxWidth, h = boxHeight;
    if (boxWidth > boxHeight * aspect) w = Math.max(1, Math.min(boxWidth, Math.round(boxHeight * aspect)));
    else h = Math.max(1, Math.min(boxHeight, Math.round(boxWidth / aspect)));
    return { width: w, height: h, left: Math.floor((boxWidth - w) / 2), top: Math.floor((boxHeight - h) / 2) };
  }
  Tunnelvista.canvasRect = canvasRect;

  // The canvas of a page that fills the window: all of it, in device pixels.
  function windowRect(cssWidth, cssHeight, ratio) {
    return { width: Math.max(1, Math.round(cssWidth * ratio)), height: Math.max(1, Math.round(cssHeight * ratio)),
      left: 0, top: 0 };
  }
  Tunnelvista.windowRect = windowRect;

  // The settings' colours as the renderers take them: per picture index {gain, offset} (three
  // numbers each), or null where the picture is drawn as its file has it. An entry that is not
  // six numbers within what the program writes (a gain in (0, 16], an offset within 1) is null.
  function readColours(value) {
    if (!Array.isArray(value)) return [];
    return value.map(function (entry) {
      if (!Array.isArray(entry) || entry.length !== 6) return null;
      var n = entry.map(function (v) { return typeof v === "number" ? v : NaN; });
      var identity = true;
      for (var c = 0; c < 3; ++c) {
        if (!(n[c] > 0 && n[c] <= 16 && Math.abs(n[c + 3]) <= 1)) return null;
        identity = identity && n[c] === 1 && n[c + 3] === 0;
      }
      return identity ? null : { gain: n.slice(0, 3), offset: n.slice(3) };
    });
  }
  Tunnelvista.readColours = readColours;

  function wrap(position) { return position - Math.floor(position); }

  function Player(element, settings) {
    var self = this;
    settings = settings || {};
    this.settings = settings;
    this.element = element;
    this.fragment = parseFragment(root.location ? root.location.hash : "");
    this.full = this.fragment.full;
    this.fill = settings.fill === true;
    this.endless = settings.play === "endless";
    this.width = settings.width > 0 ? settings.width : 400;
    this.height = settings.height > 0 ? settings.height : 300;
    this.sizes = (settings.sizes || []).map(function (s) { return [Number(s[0]) || 0, Number(s[1]) || 0]; });
    this.colours = readColours(settings.colours);
    this.forward = settings.forward !== false;
    this.speed = this.forward ? 1 : -1; // endless: passes per duration, negative outward
    this.position = this.fragment.t !== null ? this.fragment.t : (this.forward ? 0 : 1);
    this.playing = this.fragment.t === null && !!settings.autoplay;
    this.started = false; // a frame has had every picture it needs
    this.images = [];
    this.dirty = true;
    this.frames = 0; // frames drawn, for scripts that measure the player

    element.classList.add("tv-player");
    if (this.fill) document.documentElement.classList.add("tv-fill");
    if (this.endless) element.classList.add("tv-endless");
    if (settings.background) element.style.setProperty("--tv-background", settings.background);
    if (settings.text) element.style.setProperty("--tv-text", settings.text);
    if (this.full) {
      document.documentElement.classList.add("tv-full");
      if (settings.background) document.documentElement.style.setProperty("--tv-background", settings.background);
      document.body.appendChild(element); // the page's other content is hidden
    }
    this.stage = document.createElement("div");
    this.stage.className = "tv-stage";
    this.canvas = document.createElement("canvas");
    this.canvas.className = "tv-canvas";
    this.stage.appendChild(this.canvas);
    this.loading = document.createElement("div");
    this.loading.className = "tv-loading";
    this.loadingBar = document.createElement("div");
    this.loadingBar.className = "tv-loading-bar";
    this.loading.appendChild(this.loadingBar);
    this.stage.appendChild(this.loading);
    this.message = document.createElement("div");
    this.message.className = "tv-message";
    this.stage.appendChild(this.message);
    element.appendChild(this.stage);
    this.controls = new Tunnelvista.Controls(this, element, this.stage, settings.controls !== false && !this.full);

    this.choice = null; // while WebGL and the canvas are being compared
    try {
      this.renderer = new Tunnelvista.WebGLRenderer(this.canvas);
      this.choice = new Tunnelvista.RendererChoice(this.renderer.software);
    } catch (e) {
      this.renderer = null;
    }
    this.webgl = this.renderer; // kept while the choice may still come back to it
    if (!this.renderer) this.usePath("canvas");
    element.dataset.renderer = this.path();

    this.layout();
    root.addEventListener("resize", function () { self.layout(); });
    document.addEventListener("fullscreenchange", function () { self.layout(); });
    document.addEventListener("webkitfullscreenchange", function () { self.layout(); });
    var glCanvas = this.canvas;
    glCanvas.addEventListener("webglcontextlost", function (event) { event.preventDefault(); });
    glCanvas.addEventListener("webglcontextrestored", function () {
      if (self.webgl === null) return; // the canvas was chosen: WebGL was let go
      self.webgl = new Tunnelvista.WebGLRenderer(glCanvas);
      if (self.canvas === glCanvas) self.renderer = self.webgl;
      self.dirty = true;
    });

    this.loadData(function (data) { self.begin(data); });
    this.last = null;
    root.requestAnimationFrame(function tick(now) {
      self.tick(now);
      root.requestAnimationFrame(tick);
    });
  }

  Player.prototype.path = function () {
    return this.renderer instanceof Tunnelvista.CanvasRenderer ? "canvas" : "webgl";
  };

  // Draws from now on with WebGL (the canvas it was made on) or the 2D canvas (a canvas of its
  // own: one that has had a WebGL context cannot give a 2D one).
  Player.prototype.usePath = function (path) {
    var canvas;
    if (path === "webgl" && this.webgl) {
      canvas = this.webgl.canvas;
      this.renderer = this.webgl;
    } else {
      if (!this.canvasRenderer) {
        var fresh = document.createElement("canvas");
        fresh.className = "tv-canvas";
        this.canvasRenderer = new Tunnelvista.CanvasRenderer(fresh);
      }
      canvas = this.canvasRenderer.canvas;
      this.renderer = this.canvasRenderer;
    }
    if (this.canvas !== canvas) {
      this.stage.replaceChild(canvas, this.canvas);
      this.canvas = canvas;
      this.layout();
    }
    this.element.dataset.renderer = this.path();
    this.dirty = true;
  };

  // While playing: `ms` between this frame and the one before. Once chosen, the other renderer's
  // pictures are let go.
  Player.prototype.measured = function (ms) {
    if (!this.choice) return;
    var path = this.choice.record(this.path(), ms);
    if (path !== this.path()) this.usePath(path);
    if (!this.choice.decided) return;
    this.chosen = this.choice.measured(); // what the choice measured (ms a frame)
    this.choice = null;
    if (path === "canvas") {
      this.webgl.release();
      this.webgl = null;
    } else if (this.canvasRenderer) {
      this.canvasRenderer.forget();
      this.canvasRenderer = null;
    }
  };

  Player.prototype.fail = function (text) {
    this.message.textContent = text;
    this.message.style.display = "block";
    this.loading.style.display = "none";
  };

  Player.prototype.loadData = function (done) {
    var self = this, name = this.settings.data || "";
    var fromScript = function () {
      whenDelivered("data", name, function (base64) {
        try {
          done(Tunnelvista.readKxo(Tunnelvista.decodeBase64(base64)));
        } catch (e) {
          self.fail(e.message);
        }
      });
      loadScript(name, function () { self.fail("The zoom's data file " + name + " could not be loaded."); });
    };
    if (root.location && root.location.protocol === "file:" || typeof fetch !== "function") return fromScript();
    fetch(urlOf(name)).then(function (response) {
      if (!response.ok) throw new Error(response.status);
      return response.arrayBuffer();
    }).then(function (buffer) {
      var data;
      try {
        data = Tunnelvista.readKxo(buffer);
      } catch (e) {
        return self.fail(e.message);
      }
      done(data);
    }, fromScript);
  };

  Player.prototype.begin = function (data) {
    var settings = this.settings;
    this.data = data;
    var target = settings.target && settings.target.length === 4 ?
      { scale: +settings.target[0], translateX: +settings.target[1], translateY: +settings.target[2],
        rotate: +settings.target[3] } :
      Tunnelvista.targetFromKeys(data.keys);
    this.timeline = new Tunnelvista.Timeline(data.pictures.concat(data.pictures.length ? [target] : []),
      { play: settings.play, pace: settings.pace });
    this.duration = settings.duration > 0 ? settings.duration : data.duration > 0 ? data.duration : 10;
    // Sizes the page did not give are taken from the pictures as they arrive.
    for (var i = 0; i < data.pictures.length; ++i)
      if (!this.sizes[i] || !(this.sizes[i][0] > 0 && this.sizes[i][1] > 0)) this.sizes[i] = null;
    this.sizes.length = data.pictures.length;
    this.loaded = 0;
    this.settled = 0; // loaded or failed
    this.requested = [];
    this.asked = 0;
    for (var k = 0; k < PARALLEL_PICTURES; ++k) this.loadNextPicture();
    if (!data.pictures.length) this.loading.style.display = "none";
    this.layout();
  };

  // The picture to ask for next: the one nearest the current frame's anchor not yet asked for,
  // those ahead in the direction of play first; -1 when every picture was asked for.
  Player.prototype.nextPicture = function () {
    var count = this.data.pictures.length;
    if (this.asked >= count) return -1;
    var anchor = Math.min(this.timeline.viewAt(this.position).anchor, count - 1);
    var ahead = (this.endless ? this.speed >= 0 : this.forward) ? 1 : -1;
    for (var distance = 0; distance < 2 * count; ++distance) {
      var candidates = [anchor + ahead * distance, anchor - ahead * (distance + 1)];
      for (var c = 0; c < 2; ++c) {
        var i = candidates[c];
        // Across the seam an endless zoom goes on with the first picture (inward) or the last.
        if (this.endless) i = ((i % count) + count) % count;
        if (i >= 0 && i < count && !this.requested[i]) return i;
      }
    }
    return -1;
  };

  Player.prototype.loadNextPicture = function () {
    var self = this, pictures = this.data.pictures;
    var index = this.nextPicture();
    if (index < 0) return;
    this.requested[index] = true;
    ++this.asked;
    var name = pictures[index].name;
    var settled = false;
    var settle = function (image) {
      if (settled) return;
      settled = true;
      if (image) {
        if (!self.sizes[index]) self.sizes[index] = [image.naturalWidth, image.naturalHeight];
        self.images[index] = image;
        ++self.loaded;
        if (index === 0) self.layout();
      }
      ++self.settled;
      self.loadingBar.style.width = (100 * self.settled / pictures.length) + "%";
      if (self.settled === pictures.length) self.loading.style.display = "none";
      self.dirty = true;
      self.loadNextPicture();
    };
    var fromUrl = function (url, failed) {
      var image = new Image();
      image.onload = function () {
        if (image.decode) image.decode().then(function () { settle(image); }, function () { settle(image); });
        else settle(image);
      };
      image.onerror = failed;
      image.src = url;
    };
    var fromScript = function () {
      whenDelivered("picture", name, function (dataUrl) { fromUrl(dataUrl, function () { settle(null); }); });
      loadScript(name, function () { settle(null); });
    };
    if (root.location && root.location.protocol === "file:") fromScript();
    else fromUrl(urlOf(name), fromScript);
  };

  // The box is the chosen size, or the whole window (full mode, a page that fills the window) or
  // screen (full screen), in the page colour. The canvas is the largest rectangle of the first
  // picture's aspect inside it, centred, so the zoom is drawn as the editor draws it at that size;
  // or, filling the window, the whole box, the first picture covering it. Its pixels are device
  // pixels, placed on device pixels. A page that fills the window has its controls over the zoom.
  Player.prototype.layout = function () {
    var fullScreen = (document.fullscreenElement || document.webkitFullscreenElement) === this.element;
    var cssWidth = this.width, cssHeight = this.height;
    if (this.full || this.fill || fullScreen) {
      cssWidth = root.innerWidth;
      cssHeight = root.innerHeight - (fullScreen && !this.full && !this.fill ? this.controls.bar.offsetHeight : 0);
    }
    this.stage.style.width = cssWidth + "px";
    this.stage.style.height = cssHeight + "px";
    var ratio = root.devicePixelRatio || 1;
    var rect = this.fill ? windowRect(cssWidth, cssHeight, ratio) : canvasRect(cssWidth, cssHeight, ratio, this.sizes[0]);
    if (this.canvas.width !== rect.width || this.canvas.height !== rect.height) {
      this.canvas.width = rect.width;
      this.canvas.height = rect.height;
    }
    this.canvas.style.left = rect.left / ratio + "px";
    this.canvas.style.top = rect.top / ratio + "px";
    this.canvas.style.width = rect.width / ratio + "px";
    this.canvas.style.height = rect.height / ratio + "px";
    this.watchRatio(ratio);
    this.dirty = true;
  };

  // A change of devicePixelRatio (zoom, another screen) does not always come with a resize.
  Player.prototype.watchRatio = function (ratio) {
    if (this.watchedRatio === ratio || typeof root.matchMedia !== "function") return;
    this.watchedRatio = ratio;
    var self = this, query = root.matchMedia("(resolution: " + ratio + "dppx)");
    var changed = function () {
      if (query.removeEventListener) query.removeEventListener("change", changed);
      else if (query.removeListener) query.removeListener(changed);
      self.watchedRatio = null;
      self.layout();
    };
    if (query.addEventListener) query.addEventListener("change", changed);
    else if (query.addListener) query.addListener(changed);
  };

  Player.prototype.draw = function () {
    var sizes = this.sizes, fallback = [4, 3];
    var known = sizes.map(function (s) { return s || fallback; });
    var view = Tunnelvista.fittedView(this.canvas.width, this.canvas.height, known[0], this.fill);
    var drawn = Tunnelvista.framePictures(this.timeline, known, this.position, view);
    var waiting = this.renderer.draw(drawn, view, this.images, known, this.colours);
    ++this.frames;
    this.drawnPictures = drawn.length;
    // Complete: every picture the frame shows was drawn, or no more pictures will come (those
    // that failed are left out and the zoom plays without them).
    if (waiting === 0 || this.settled === sizes.length) {
      this.started = true;
      document.documentElement.dataset.ready = "1";
      this.element.dataset.ready = "1";
    }
  };

  Player.prototype.tick = function (now) {
    var last = this.last;
    this.last = now;
    if (!this.timeline) return;
    var moving = this.playing && this.started && last !== null;
    if (moving && this.endless) {
      this.position = wrap(this.position + this.speed * Math.max(0, now - last) / (this.duration * 1000));
      this.dirty = true;
    } else if (moving) {
      var step = Math.max(0, now - last) / (this.duration * 1000);
      this.position += this.forward ? step : -step;
      if (this.forward && this.position >= 1) {
        this.position = 1;
        this.forward = false;
      } else if (!this.forward && this.position <= 0) {
        this.position = 0;
        this.forward = true;
      }
      this.dirty = true;
    }
    if (this.dirty) {
      this.dirty = false;
      this.draw();
      // The time since the frame before, when that was drawn while playing too.
      if (moving && this.lastDrawn === last && now - last < LONGEST_FRAME) this.measured(now - last);
      this.lastDrawn = now;
    }
    this.controls.update();
  };

  Player.prototype.togglePlay = function () {
    this.playing = !this.playing;
    this.controls.update();
  };

  Player.prototype.seek = function (position) {
    this.position = Math.min(1, Math.max(0, position));
    this.dirty = true;
    this.controls.update();
  };

  Player.prototype.step = function (delta) {
    if (this.endless) this.seek(wrap(this.position + delta));
    else this.seek(this.position + delta);
  };

  // Endless zooms only (returns false otherwise): the speed changes by `delta` passes per
  // duration, through 0 to the other direction; playing goes on (or starts).
  Player.prototype.changeSpeed = function (delta) {
    if (!this.endless || !isFinite(delta)) return false;
    var speed = Math.min(MAX_SPEED, Math.max(-MAX_SPEED, this.speed + delta));
    this.speed = Math.abs(speed) < 1e-9 ? 0 : speed;
    this.playing = true;
    this.controls.update();
    return true;
  };

  Player.prototype.toggleFullScreen = function () {
    var element = this.element;
    if (document.fullscreenElement || document.webkitFullscreenElement) {
      (document.exitFullscreen || document.webkitExitFullscreen).call(document);
    } else {
      var request = element.requestFullscreen || element.webkitRequestFullscreen;
      if (!request) return;
      var result = request.call(element);
      if (result && result.catch) result.catch(function () {}); // refused (no user gesture): nothing to do
    }
  };

  Tunnelvista.Player = Player;
  // Every player started on the page, for scripts and tests that look at one (position, playing).
  Tunnelvista.players = [];
  Tunnelvista.start = function (element, settings) {
    var player = new Player(element, settings);
    Tunnelvista.players.push(player);
    return player;
  };

  if (typeof module === "object" && module.exports) module.exports = Tunnelvista;
})(typeof globalThis !== "undefined" ? globalThis : this);
