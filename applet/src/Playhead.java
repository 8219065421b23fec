// Playback position: 0 (first picture) to 1 (target frame) and back

final class Playhead {
  double position;
  int direction;

  Playhead(boolean forward) { restart(forward); }

  void restart(boolean forward) {
    position = forward ? 0 : 1;
    direction = forward ? 1 : -1;
  }

  // Moves on by a fraction of one pass, turning round at either end. A stall of more than one
  // pass (a sleeping machine) moves it by one pass at most.
  void advance(double fraction) {
    if (!(fraction > 0)) return;
    double p = position + direction * Math.min(fraction, 1.0);
    if (p > 1) {
      p = 2 - p;
      direction = -1;
    } else if (p < 0) {
      p = -p;
      direction = 1;
    }
    position = Math.max(0, Math.min(1, p));
  }

  void seek(double p) {
    if (p >= 0 && p <= 1) {
      position = p;
    } else if (p > 1) {
      position = 1;
    } else {
      position = 0; // negative or not a number
    }
  }
}
