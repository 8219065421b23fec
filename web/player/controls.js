// The player's controls: play/pause, the scrub bar (the position in the pass, 0..1), full screen.
// Mouse and touch work on the buttons and the bar (a range input); a click or tap on the zoom
// plays or pauses. Keys, while the page has no other field focused: Space plays or pauses,
// Left/Right step back or forward, F toggles full screen, Home/End go to the start/end of the pass.
// An endless zoom's speed and direction: the wheel, a two-finger swipe and Up/Down (player's
// changeSpeed answers false for a zoom that goes there and back, which then keeps the page's
// scrolling as it always had it).
//
// `player` gives: togglePlay(), seek(position), step(delta), toggleFullScreen(), changeSpeed(delta),
// position, playing.
(function (root) {
  "use strict";
  var Tunnelvista = root.Tunnelvista = root.Tunnelvista || {};

  var STEPS = 10000; // the scrub bar's resolution
  var STEP = 0.02; // Left/Right move this much of the pass
  var SPEED_STEP = 0.25; // Up/Down change the speed by this many passes per duration
  var WHEEL_PIXELS = 400; // the wheel's (or two fingers') scrolling that changes the speed by one
  var LINE_PIXELS = 40, PAGE_PIXELS = 800; // a wheel's lines and pages in pixels

  // Scrolling towards the top (wheel away from the user, fingers down) speeds the dive inward.
  function speedChange(scrolledPixels) { return -scrolledPixels / WHEEL_PIXELS; }

  function button(className, label, action) {
    var b = document.createElement("button");
    b.type = "button";
    b.className = className;
    b.setAttribute("aria-label", label);
    b.title = label;
    b.addEventListener("click", function (event) {
      event.preventDefault();
      action();
    });
    return b;
  }

  // `showBar` false: the keys and the click on the zoom still work, the bar is not shown.
  function Controls(player, container, surface, showBar) {
    var self = this;
    this.player = player;
    this.bar = document.createElement("div");
    this.bar.className = "tv-controls";
    this.play = button("tv-play", "Play", function () { player.togglePlay(); });
    this.scrub = document.createElement("input");
    this.scrub.type = "range";
    this.scrub.className = "tv-scrub";
    this.scrub.min = "0";
    this.scrub.max = String(STEPS);
    this.scrub.step = "1";
    this.scrub.value = "0";
    this.scrub.setAttribute("aria-label", "Position");
    this.scrub.addEventListener("input", function () { player.seek(Number(self.scrub.value) / STEPS); });
    this.full = button("tv-fullscreen", "Full screen", function () { player.toggleFullScreen(); });
    this.bar.appendChild(this.play);
    this.bar.appendChild(this.scrub);
    this.bar.appendChild(this.full);
    if (!showBar) this.bar.style.display = "none";
    container.appendChild(this.bar);

    surface.addEventListener("click", function () { player.togglePlay(); });

    surface.addEventListener("wheel", function (event) {
      var pixels = event.deltaY * (event.deltaMode === 1 ? LINE_PIXELS : event.deltaMode === 2 ? PAGE_PIXELS : 1);
      if (player.changeSpeed(speedChange(pixels))) event.preventDefault();
    }, { passive: false });
    // Two fingers moving up or down; one finger and pinches are left to the browser.
    var touchY = null;
    var meanY = function (touches) { return (touches[0].clientY + touches[1].clientY) / 2; };
    surface.addEventListener("touchstart", function (event) {
      touchY = event.touches.length === 2 ? meanY(event.touches) : null;
    }, { passive: true });
    surface.addEventListener("touchmove", function (event) {
      if (event.touches.length !== 2 || touchY === null) return;
      var y = meanY(event.touches);
      if (player.changeSpeed(speedChange(touchY - y))) event.preventDefault();
      touchY = y;
    }, { passive: false });
    surface.addEventListener("touchend", function () { touchY = null; }, { passive: true });

    this.onKey = function (event) {
      if (event.altKey || event.ctrlKey || event.metaKey) return;
      var target = event.target;
      var tag = target && target.tagName ? target.tagName.toLowerCase() : "";
      if ((tag === "input" && target !== self.scrub) || tag === "textarea" || tag === "select" ||
          (target && target.isContentEditable))
        return;
      if (tag === "button" && (event.key === " " || event.key === "Spacebar")) return; // the button clicks itself
      switch (event.key) {
        case " ":
        case "Spacebar":
          player.togglePlay();
          break;
        case "ArrowLeft":
        case "Left":
          player.step(-STEP);
          break;
        case "ArrowRight":
        case "Right":
          player.step(STEP);
          break;
        case "f":
        case "F":
          player.toggleFullScreen();
          break;
        case "Home":
          player.seek(0);
          break;
        case "ArrowUp":
        case "Up":
          if (!player.changeSpeed(SPEED_STEP)) return;
          break;
        case "ArrowDown":
        case "Down":
          if (!player.changeSpeed(-SPEED_STEP)) return;
          break;
        case "End":
          player.seek(1);
          break;
        default:
          return;
      }
      event.preventDefault();
    };
    document.addEventListener("keydown", this.onKey);
  }

  Controls.prototype.update = function () {
    var playing = this.player.playing;
    if (this.shownPlaying !== playing) {
      this.shownPlaying = playing;
      this.play.className = playing ? "tv-play tv-playing" : "tv-play";
      this.play.setAttribute("aria-label", playing ? "Pause" : "Play");
      this.play.title = playing ? "Pause" : "Play";
    }
    var value = String(Math.round(this.player.position * STEPS));
    if (this.scrub.value !== value) this.scrub.value = value;
  };

  Tunnelvista.Controls = Controls;
  if (typeof module === "object" && module.exports) module.exports = Tunnelvista;
})(typeof globalThis !== "undefined" ? globalThis : this);
