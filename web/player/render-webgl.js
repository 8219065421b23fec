// The zoom drawn with WebGL: one mipmapped texture per picture, sampled trilinearly, the faded
// border computed in the fragment shader, the pictures of Tunnelvista.framePictures painted
// outermost first (the outermost whole and unblended, the others blended with their border).
//
// Mipmaps of textures whose sides are not powers of two: WebGL 2 builds them; WebGL 1 cannot.
// So a WebGL 2 context is asked for first and the picture is uploaded as it is (reduced only
// beyond the texture limit); under WebGL 1 it is first drawn into a canvas with power-of-two
// sides (the nearest power of two to each side, at most the limit). The texture coordinates run
// over the whole texture either way, so the shader does not care.
(function (root) {
  "use strict";
  var Tunnelvista = root.Tunnelvista = root.Tunnelvista || {};

  var VERTEX = [
    "attribute vec2 corner;", // -0.5..0.5 on both axes
    "uniform vec2 extent;", // the picture's extents in its frame (longer side 1)
    "uniform vec4 linear;", // toView's a, b, c, d
    "uniform vec2 offset;", // toView's tx, ty
    "uniform vec2 halfSpan;", // the view's half width and height in view units
    "varying vec2 texel;",
    "void main() {",
    "  vec2 p = corner * extent;",
    "  vec2 v = vec2(linear.x * p.x + linear.z * p.y, linear.y * p.x + linear.w * p.y) + offset;",
    "  texel = corner + 0.5;",
    "  gl_Position = vec4(v / halfSpan, 0.0, 1.0);",
    "}",
  ].join("\n");

  // Where a colour correction's lift of the file's white begins (the editor's whiteKnee): a
  // correction that would draw white below white lifts the top of the range by what white lacks,
  // along a smoothstep from here to white, so a channel the file has clipped stays white. The
  // canvas's tables (render-canvas.js) do the same.
  var WHITE_KNEE = Tunnelvista.WHITE_KNEE = 0.96;

  // Alpha rises from 0 at each edge to 1 at a tenth of the shorter side; the smallest of the four.
  var FRAGMENT = [
    "#ifdef GL_FRAGMENT_PRECISION_HIGH",
    "precision highp float;",
    "#else",
    "precision mediump float;",
    "#endif",
    "uniform sampler2D picture;",
    "uniform vec2 size;", // the picture's pixels
    "uniform float fade;", // 1: the faded border; 0: opaque
    "uniform vec3 gain;", // the picture's colour correction
    "uniform vec3 colourOffset;",
    "varying vec2 texel;",
    "void main() {",
    "  vec2 edge = min(texel, 1.0 - texel) * size;",
    "  float alpha = clamp(min(edge.x, edge.y) / (0.1 * min(size.x, size.y)), 0.0, 1.0);",
    "  vec3 file = texture2D(picture, texel).rgb;",
    "  vec3 lacking = max(1.0 - (gain + colourOffset), 0.0);",
    "  vec3 rgb = clamp(file * gain + colourOffset + lacking * smoothstep(" + WHITE_KNEE.toFixed(7) + ", 1.0, file), 0.0, 1.0);",
    "  gl_FragColor = vec4(rgb, mix(1.0, alpha, fade));",
    "}",
  ].join("\n");

  // Textures kept at most; those unused longest go first.
  var MAX_TEXTURES = 48;

  function compile(gl, type, source) {
    var shader = gl.createShader(type);
    gl.shaderSource(shader, source);
    gl.compileShader(shader);
    if (!gl.getShaderParameter(shader, gl.COMPILE_STATUS)) throw new Error(gl.getShaderInfoLog(shader));
    return shader;
  }

  function powerOfTwo(side, limit) {
    var p = 1;
    while (p * 2 <= limit && Math.abs(p * 2 - side) <= Math.abs(p - side)) p *= 2;
    return p;
  }

  // WebGL drawn by the processor: only a hint for the choice of renderer (render-canvas.js).
  var SOFTWARE = /swiftshader|llvmpipe|softpipe|software|basic render/i;
  function rendererName(gl) {
    var name = String(gl.getParameter(gl.RENDERER) || "");
    // Some browsers name only themselves there; the unmasked name then comes from the extension.
    if (/^webkit webgl$/i.test(name)) {
      var info = gl.getExtension("WEBGL_debug_renderer_info");
      if (info) name = String(gl.getParameter(info.UNMASKED_RENDERER_WEBGL) || name);
    }
    return name;
  }

  // Throws when no WebGL context can be made (the player then uses the 2D canvas).
  function WebGLRenderer(canvas) {
    var options = { alpha: false, antialias: false, premultipliedAlpha: false, preserveDrawingBuffer: true };
    var gl = null;
    try {
      gl = canvas.getContext("webgl2", options);
      this.webgl2 = !!gl;
      if (!gl) gl = canvas.getContext("webgl", options) || canvas.getContext("experimental-webgl", options);
    } catch (e) {
      gl = null;
    }
    if (!gl) throw new Error("WebGL is not available");
    this.gl = gl;
    this.canvas = canvas;
    this.limit = gl.getParameter(gl.MAX_TEXTURE_SIZE) || 2048;
    this.software = SOFTWARE.test(rendererName(gl));
    var program = gl.createProgram();
    gl.attachShader(program, compile(gl, gl.VERTEX_SHADER, VERTEX));
    gl.attachShader(program, compile(gl, gl.FRAGMENT_SHADER, FRAGMENT));
    gl.linkProgram(program);
    if (!gl.getProgramParameter(program, gl.LINK_STATUS)) throw new Error(gl.getProgramInfoLog(program));
    gl.useProgram(program);
    this.at = {};
    var names = ["extent", "linear", "offset", "halfSpan", "picture", "size", "fade", "gain", "colourOffset"];
    for (var i = 0; i < names.length; ++i) this.at[names[i]] = gl.getUniformLocation(program, names[i]);
    var buffer = gl.createBuffer();
    gl.bindBuffer(gl.ARRAY_BUFFER, buffer);
    gl.bufferData(gl.ARRAY_BUFFER, new Float32Array([-0.5, -0.5, 0.5, -0.5, -0.5, 0.5, 0.5, 0.5]), gl.STATIC_DRAW);
    var corner = gl.getAttribLocation(program, "corner");
    gl.enableVertexAttribArray(corner);
    gl.vertexAttribPointer(corner, 2, gl.FLOAT, false, 0, 0);
    gl.uniform1i(this.at.picture, 0);
    gl.pixelStorei(gl.UNPACK_FLIP_Y_WEBGL, true); // frames have y upwards
    // The editor shows a picture's pixels as they are stored, whatever colour profile the file
    // names; so does the page (the browser would otherwise convert them on upload).
    gl.pixelStorei(gl.UNPACK_COLORSPACE_CONVERSION_WEBGL, gl.NONE);
    gl.blendFunc(gl.SRC_ALPHA, gl.ONE_MINUS_SRC_ALPHA);
    gl.clearColor(0.25, 0.25, 0.25, 1);
    this.textures = {}; // picture index -> {texture, used}
    this.frame = 0;
  }

  WebGLRenderer.prototype.texture = function (index, image) {
    var entry = this.textures[index];
    if (entry) {
      entry.used = this.frame;
      return entry.texture;
    }
    var gl = this.gl;
    var w = image.naturalWidth || image.width, h = image.naturalHeight || image.height;
    var source = image;
    var tw = w, th = h;
    if (!this.webgl2) {
      tw = powerOfTwo(w, this.limit);
      th = powerOfTwo(h, this.limit);
    } else if (w > this.limit || h > this.limit) {
      var reduce = this.limit / Math.max(w, h);
      tw = Math.max(1, Math.floor(w * reduce));
      th = Math.max(1, Math.floor(h * reduce));
    }
    if (tw !== w || th !== h) {
      source = document.createElement("canvas");
      source.width = tw;
      source.height = th;
      var context = source.getContext("2d");
      context.imageSmoothingQuality = "high";
      context.drawImage(image, 0, 0, tw, th);
    }
    var texture = gl.createTexture();
    gl.bindTexture(gl.TEXTURE_2D, texture);
    gl.texImage2D(gl.TEXTURE_2D, 0, gl.RGBA, gl.RGBA, gl.UNSIGNED_BYTE, source);
    gl.texParameteri(gl.TEXTURE_2D, gl.TEXTURE_WRAP_S, gl.CLAMP_TO_EDGE);
    gl.texParameteri(gl.TEXTURE_2D, gl.TEXTURE_WRAP_T, gl.CLAMP_TO_EDGE);
    gl.texParameteri(gl.TEXTURE_2D, gl.TEXTURE_MAG_FILTER, gl.LINEAR);
    gl.texParameteri(gl.TEXTURE_2D, gl.TEXTURE_MIN_FILTER, gl.LINEAR_MIPMAP_LINEAR);
    gl.generateMipmap(gl.TEXTURE_2D);
    this.textures[index] = { texture: texture, used: this.frame };
    this.evict();
    return texture;
  };

  WebGLRenderer.prototype.evict = function () {
    var keys = Object.keys(this.textures);
    if (keys.length <= MAX_TEXTURES) return;
    var textures = this.textures;
    keys.sort(function (p, q) { return textures[p].used - textures[q].used; });
    for (var i = 0; i < keys.length - MAX_TEXTURES; ++i) {
      if (textures[keys[i]].used === this.frame) break;
      this.gl.deleteTexture(textures[keys[i]].texture);
      delete textures[keys[i]];
    }
  };

  var IDENTITY = { gain: [1, 1, 1], offset: [0, 0, 0] };

  // Draws the frame `drawn` (Tunnelvista.framePictures) of `view`; `images[i]` is picture i's
  // loaded image or absent, `colours[i]` its colour correction or absent (Tunnelvista.readColours).
  // Returns the number of pictures that were left out for want of pixels.
  WebGLRenderer.prototype.draw = function (drawn, view, images, sizes, colours) {
    var gl = this.gl;
    ++this.frame;
    gl.viewport(0, 0, view.width, view.height);
    gl.clear(gl.COLOR_BUFFER_BIT);
    gl.uniform2f(this.at.halfSpan, view.halfWidth, view.halfHeight);
    var waiting = 0;
    for (var k = 0; k < drawn.length; ++k) {
      var picture = drawn[k];
      var image = images[picture.index];
      if (!image) {
        ++waiting;
        continue;
      }
      var size = sizes[picture.index], e = Tunnelvista.extents(size), m = picture.toView;
      gl.bindTexture(gl.TEXTURE_2D, this.texture(picture.index, image));
      if (picture.whole) gl.disable(gl.BLEND);
      else gl.enable(gl.BLEND);
      gl.uniform1f(this.at.fade, picture.whole ? 0 : 1);
      gl.uniform2f(this.at.extent, e[0], e[1]);
      gl.uniform2f(this.at.size, size[0], size[1]);
      gl.uniform4f(this.at.linear, m.a, m.b, m.c, m.d);
      gl.uniform2f(this.at.offset, m.tx, m.ty);
      var colour = (colours && colours[picture.index]) || IDENTITY;
      gl.uniform3f(this.at.gain, colour.gain[0], colour.gain[1], colour.gain[2]);
      gl.uniform3f(this.at.colourOffset, colour.offset[0], colour.offset[1], colour.offset[2]);
      gl.drawArrays(gl.TRIANGLE_STRIP, 0, 4);
    }
    return waiting;
  };

  WebGLRenderer.prototype.forget = function () {
    for (var key in this.textures) this.gl.deleteTexture(this.textures[key].texture);
    this.textures = {};
  };

  // Gives back the textures and the context itself (the canvas renderer was chosen instead).
  WebGLRenderer.prototype.release = function () {
    this.forget();
    var lose = this.gl.getExtension("WEBGL_lose_context");
    if (lose) lose.loseContext();
  };

  Tunnelvista.WebGLRenderer = WebGLRenderer;
  if (typeof module === "object" && module.exports) module.exports = Tunnelvista;
})(typeof globalThis !== "undefined" ? globalThis : this);
