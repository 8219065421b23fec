// The data file: the optimized zoom data (.kxo) that the editor's web export writes.

import java.nio.ByteBuffer;
import java.nio.charset.CharacterCodingException;
import java.nio.charset.Charset;
import java.nio.charset.StandardCharsets;

final class ZoomFile {
  static final byte[] SIGNATURE = "#Tunnelvista-optimized v1.0   ".getBytes(StandardCharsets.US_ASCII);
  static final byte[] VERSION = {2, 0, 0, 0};

  // Placement fields, as the editor's Transform orders them.
  static final int SCALE = 0, TRANSLATE_X = 1, TRANSLATE_Y = 2, ROTATE = 3;
  // Keyframe fields, as the editor's Keyframe orders them.
  static final int ZOOM = 0, LOG_ZOOM = 1, X = 2, Y = 3, KEY_ROTATE = 4, TIME = 5, LOG_ZOOM_SLOPE = 6, X_SLOPE = 7,
                   Y_SLOPE = 8, ROTATE_SLOPE = 9, KEY_FIELDS = 10;

  static final int PICTURE_RECORD_MIN = 4 + 1 + 16; // length, one name byte, four floats
  static final int KEY_RECORD = 4 * KEY_FIELDS;

  final float duration;
  final String[] names;
  final float[][] placements; // [picture][SCALE..ROTATE]
  final float[][] keys; // [element][ZOOM..ROTATE_SLOPE], the target frame last

  private ZoomFile(float duration, String[] names, float[][] placements, float[][] keys) {
    this.duration = duration;
    this.names = names;
    this.placements = placements;
    this.keys = keys;
  }

  int pictureCount() { return names.length; }

  // Reads a whole data file; every fault is a BadZoomException whose message says what is wrong.
  static ZoomFile parse(byte[] bytes) throws BadZoomException {
    Reader in = new Reader(bytes);
    int head = Math.min(bytes.length, SIGNATURE.length);
    for (int i = 0; i < head; i++) {
      if (bytes[i] != SIGNATURE[i]) {
        throw new BadZoomException("This is not a Tunnelvista zoom data file (its signature is wrong).");
      }
    }
    in.skip(SIGNATURE.length, "the signature");
    for (int i = 0; i < VERSION.length; i++) {
      if (in.readByte("the version") != VERSION[i]) {
        throw new BadZoomException("This zoom data file has a version this player does not know.");
      }
    }
    float duration = in.readFloat("the duration");

    int n = in.readInt("the number of pictures");
    if (n < 1) throw new BadZoomException("The zoom data file holds no pictures (count " + n + ").");
    if (n > in.remaining() / PICTURE_RECORD_MIN) {
      throw new BadZoomException(
          "The zoom data file is incomplete or damaged: it claims " + n + " pictures but is far too short for them.");
    }
    String[] names = new String[n];
    float[][] placements = new float[n][4];
    for (int i = 0; i < n; i++) {
      String which = "picture " + (i + 1);
      int length = in.readInt("the name length of " + which);
      if (length < 1) {
        throw new BadZoomException(
            "The zoom data file is damaged: " + which + " has a name length of " + length + ".");
      }
      if (length > in.remaining()) {
        throw in.truncated("the name of " + which);
      }
      names[i] = checkName(in.readName(length), which);
      for (int f = 0; f < 4; f++) placements[i][f] = in.readFloat("the placement of " + which);
      if (i > 0) checkPlacement(placements[i], which);
    }

    int m = in.readInt("the number of keyframes");
    if (m != n + 1) {
      throw new BadZoomException("The zoom data file is damaged: it holds " + n + " pictures but " + m
          + " keyframes (there must be one more keyframe than pictures).");
    }
    if ((long) m * KEY_RECORD > in.remaining()) throw in.truncated("the keyframes");
    float[][] keys = new float[m][KEY_FIELDS];
    for (int k = 0; k < m; k++) {
      for (int f = 0; f < KEY_FIELDS; f++) {
        float v = in.readFloat("keyframe " + (k + 1));
        if (Float.isNaN(v) || Float.isInfinite(v)) {
          throw new BadZoomException(
              "The zoom data file is damaged: keyframe " + (k + 1) + " holds a value that is not a number.");
        }
        keys[k][f] = v;
      }
    }
    return new ZoomFile(duration, names, placements, keys);
  }

  // A picture is looked up beside the data file by its base name, so the name may not lead
  // anywhere else.
  static String checkName(String name, String which) throws BadZoomException {
    boolean bad = name.equals(".") || name.equals("..") || name.indexOf('/') >= 0 || name.indexOf('\\') >= 0
        || name.indexOf('\0') >= 0;
    if (bad) {
      throw new BadZoomException(
          "The zoom data file is damaged: the name of " + which + " is not a plain file name.");
    }
    return name;
  }

  static void checkPlacement(float[] p, String which) throws BadZoomException {
    for (float v : p) {
      if (Float.isNaN(v) || Float.isInfinite(v)) {
        throw new BadZoomException(
            "The zoom data file is damaged: the placement of " + which + " holds a value that is not a number.");
      }
    }
    if (!(p[SCALE] > 0)) {
      throw new BadZoomException("The zoom data file is damaged: " + which + " has the scale " + p[SCALE] + ".");
    }
  }

  // Names are written as the editor holds them: UTF-8 here, a Windows code page on older exports.
  static String decodeName(byte[] bytes, int offset, int length) {
    try {
      return StandardCharsets.UTF_8.newDecoder().decode(ByteBuffer.wrap(bytes, offset, length)).toString();
    } catch (CharacterCodingException e) {
      Charset legacy =
          Charset.isSupported("windows-1252") ? Charset.forName("windows-1252") : StandardCharsets.ISO_8859_1;
      return new String(bytes, offset, length, legacy);
    }
  }

  // Big-endian reading with a bounds check before every value.
  static final class Reader {
    private final ByteBuffer buffer;

    Reader(byte[] bytes) {
      buffer = ByteBuffer.wrap(bytes); // big-endian
    }

    int remaining() { return buffer.remaining(); }

    BadZoomException truncated(String what) {
      return new BadZoomException(
          "The zoom data file is incomplete: it ends inside " + what + " (it has " + buffer.limit() + " bytes).");
    }

    private void need(int n, String what) throws BadZoomException {
      if (buffer.remaining() < n) throw truncated(what);
    }

    void skip(int n, String what) throws BadZoomException {
      need(n, what);
      buffer.position(buffer.position() + n);
    }

    byte readByte(String what) throws BadZoomException {
      need(1, what);
      return buffer.get();
    }

    int readInt(String what) throws BadZoomException {
      need(4, what);
      return buffer.getInt();
    }

    float readFloat(String what) throws BadZoomException {
      need(4, what);
      return buffer.getFloat();
    }

    String readName(int length) {
      String name = decodeName(buffer.array(), buffer.position(), length);
      buffer.position(buffer.position() + length);
      return name;
    }
  }
}
