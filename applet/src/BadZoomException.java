// A zoom that cannot be played: its message says what is wrong, for the person to read.

final class BadZoomException extends Exception {
  private static final long serialVersionUID = 1L;

  BadZoomException(String message) { super(message); }
}
