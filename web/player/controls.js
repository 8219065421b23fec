// The player's controls: play/pause, the scrub bar (the position in the pass, 0..1), full screen.
// Mouse and touch work on the buttons and the bar (a range input); a click or tap on the zoom
// plays or pauses. Keys, while the page has no other field focused: Space plays or pauses,
// Left/Right step back or forward, F toggles full screen, Home/End go to the start/end of the pass.
//
// `player` gives: togglePlay(), seek(position), step(delta), toggleFullScreen(), position,
// playing.
(function (root) {
  "use strict";
  var Tunnelvista = root.Tunnelvista = root.Tunnelvista || {};

  var STEPS = 10000; // the scrub bar's resolution
  var STEP = 0.02; // Left/Right move this much of the pass

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
