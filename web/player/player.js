// Tunnelvista.start(element, settings): the player in `element`.
//
// settings (JSON written by the export): data (the data file's name), width and height (the
// zoom's box, CSS pixels), duration (seconds per pass), controls, autoplay, forward (play towards
// the end first; false starts at the end), background and text (#RRGGBB), sizes (each picture's
// [width, height] in pixels, in stack order); optional target ([scale, translateX, translateY,
// rotate] of the target frame; without it the placement is recovered from the data file's keys).
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
(function (root) {
  "use strict";
  var Tunnelvista = root.Tunnelvista = root.Tunnelvista || {};

  var PARALLEL_PICTURES = 4; // pictures loading at a time

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

  function Player(element, settings) {
    var self = this;
    settings = settings || {};
    this.settings = settings;
    this.element = element;
    this.fragment = parseFragment(root.location ? root.location.hash : "");
    this.full = this.fragment.full;
    this.width = settings.width > 0 ? settings.width : 400;
    this.height = settings.height > 0 ? settings.height : 300;
    this.sizes = (settings.sizes || []).map(function (s) { return [Number(s[0]) || 0, Number(s[1]) || 0]; });
    this.forward = settings.forward !== false;
    this.position = this.fragment.t !== null ? this.fragment.t : (this.forward ? 0 : 1);
    this.playing = this.fragment.t === null && !!settings.autoplay;
    this.started = false; // a frame has had every picture it needs
    this.images = [];
    this.dirty = true;
    this.frames = 0; // frames drawn, for scripts that measure the player

    element.classList.add("tv-player");
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

    try {
      this.renderer = new Tunnelvista.WebGLRenderer(this.canvas);
    } catch (e) {
      // A canvas that had a WebGL context asked of it can still give a 2D one only if none was made.
      var fresh = document.createElement("canvas");
      fresh.className = "tv-canvas";
      this.stage.replaceChild(fresh, this.canvas);
      this.canvas = fresh;
      this.renderer = new Tunnelvista.CanvasRenderer(this.canvas);
    }
    element.dataset.renderer = this.renderer instanceof Tunnelvista.CanvasRenderer ? "canvas" : "webgl";

    this.layout();
    root.addEventListener("resize", function () { self.layout(); });
    document.addEventListener("fullscreenchange", function () { self.layout(); });
    document.addEventListener("webkitfullscreenchange", function () { self.layout(); });
    this.canvas.addEventListener("webglcontextlost", function (event) { event.preventDefault(); });
    this.canvas.addEventListener("webglcontextrestored", function () {
      self.renderer = new Tunnelvista.WebGLRenderer(self.canvas);
      self.dirty = true;
    });

    this.loadData(function (data) { self.begin(data); });
    this.last = null;
    root.requestAnimationFrame(function tick(now) {
      self.tick(now);
      root.requestAnimationFrame(tick);
    });
  }

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
    this.timeline = new Tunnelvista.Timeline(data.pictures.concat(data.pictures.length ? [target] : []));
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
    var ahead = this.forward ? 1 : -1;
    for (var distance = 0; distance < 2 * count; ++distance) {
      var candidates = [anchor + ahead * distance, anchor - ahead * (distance + 1)];
      for (var c = 0; c < 2; ++c) {
        var i = candidates[c];
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

  // The box is the chosen size, or the whole window (full mode) or screen (full screen), in the
  // page colour. The canvas is the largest rectangle of the first picture's aspect inside it,
  // centred, so the zoom is drawn as the editor draws it at that size; its pixels are device
  // pixels, placed on device pixels.
  Player.prototype.layout = function () {
    var fullScreen = (document.fullscreenElement || document.webkitFullscreenElement) === this.element;
    var cssWidth = this.width, cssHeight = this.height;
    if (this.full || fullScreen) {
      cssWidth = root.innerWidth;
      cssHeight = root.innerHeight - (fullScreen && !this.full ? this.controls.bar.offsetHeight : 0);
    }
    this.stage.style.width = cssWidth + "px";
    this.stage.style.height = cssHeight + "px";
    var ratio = root.devicePixelRatio || 1;
    var rect = canvasRect(cssWidth, cssHeight, ratio, this.sizes[0]);
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
    var view = Tunnelvista.fittedView(this.canvas.width, this.canvas.height, known[0]);
    var drawn = Tunnelvista.framePictures(this.timeline, known, this.position, view);
    var waiting = this.renderer.draw(drawn, view, this.images, known);
    ++this.frames;
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
    if (this.playing && this.started && last !== null) {
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

  Player.prototype.step = function (delta) { this.seek(this.position + delta); };

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
