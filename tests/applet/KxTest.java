// Unit tests of the web player (kx.jar): the view along the keyframes, the faded border, the
// coverage test, the playhead, the page's parameters and the data file reader. A plain program:
// it prints every failed check and exits with status 1 if there was one.

import java.awt.Color;
import java.awt.geom.AffineTransform;
import java.awt.image.BufferedImage;
import java.io.ByteArrayOutputStream;
import java.io.DataOutputStream;
import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Paths;
import java.util.ArrayList;
import java.util.List;

public class KxTest {
  private static int checks;
  private static int failures;

  public static void main(String[] args) throws Exception {
    viewFollowsTheKeyframesChannelByChannel();
    degenerateKeyTimesKeepTheViewFinite();
    viewMatchesTheEditorsTables();
    borderFadesOverATenthOfTheShorterSide();
    framesAndPicturesArePrepared();
    coverageUsesTheOpaqueCoreOnly();
    playheadTurnsRoundAtBothEnds();
    pageParametersFallBackWhenUnusable();
    validFileIsReadFieldByField();
    damagedFilesAreRefusedWithAReason();
    System.out.println(checks + " checks, " + failures + " failed");
    System.exit(failures == 0 ? 0 : 1);
  }

  // -- checks

  static void check(boolean ok, String what) {
    checks++;
    if (!ok) {
      failures++;
      System.out.println("FAILED: " + what);
    }
  }

  static void near(double got, double want, double tolerance, String what) {
    check(Math.abs(got - want) <= tolerance, what + ": got " + got + ", expected " + want);
  }

  static void refused(byte[] bytes, String expected, String what) {
    try {
      ZoomFile.parse(bytes);
      check(false, what + ": accepted");
    } catch (BadZoomException e) {
      check(
          e.getMessage().contains(expected), what + ": message \"" + e.getMessage() + "\" lacks \"" + expected + "\"");
    } catch (RuntimeException e) {
      check(false, what + ": " + e);
    }
  }

  // -- data files

  static final class Data {
    final ByteArrayOutputStream bytes = new ByteArrayOutputStream();
    final DataOutputStream out = new DataOutputStream(bytes); // big-endian

    Data header(float duration) throws IOException {
      out.write("#Tunnelvista-optimized v1.0   ".getBytes(StandardCharsets.US_ASCII));
      out.write(new byte[] {2, 0, 0, 0});
      out.writeFloat(duration);
      return this;
    }

    Data integer(int v) throws IOException {
      out.writeInt(v);
      return this;
    }

    Data floats(float... values) throws IOException {
      for (float v : values) out.writeFloat(v);
      return this;
    }

    Data picture(byte[] name, float scale, float x, float y, float rotate) throws IOException {
      out.writeInt(name.length);
      out.write(name);
      return floats(scale, x, y, rotate);
    }

    Data picture(String name, float scale, float x, float y, float rotate) throws IOException {
      return picture(name.getBytes(StandardCharsets.UTF_8), scale, x, y, rotate);
    }

    Data key(float logZoom, float time, float logZoomSlope) throws IOException {
      return floats((float) Math.exp(logZoom), logZoom, 0, 0, 0, time, logZoomSlope, 0, 0, 0);
    }

    byte[] bytes() { return bytes.toByteArray(); }
  }

  static final float LN2 = (float) Math.log(2);
  static final float LN4 = (float) Math.log(4);

  // Two pictures and the target frame, every scale 0.5: zooms 1, 2, 4 at times 0, 0.5, 1.
  static Data centredStack() throws IOException {
    return new Data()
        .header(15)
        .integer(2)
        .picture("a.jpg", 1, 0, 0, 0)
        .picture("b.jpg", 0.5f, 0, 0, 0)
        .integer(3)
        .key(0, 0, 0)
        .key(LN2, 0.5f, 1.4f * LN4)
        .key(LN4, 1, 0);
  }

  // -- the view

  static void viewFollowsTheKeyframesChannelByChannel() throws Exception {
    float[][] keys = ZoomFile.parse(centredStack().bytes()).keys;
    near(Zoom.viewAt(keys, 0)[0], 1, 1e-9, "zoom at 0");
    near(Zoom.viewAt(keys, 0.5)[0], 2, 1e-6, "zoom at the child's key time");
    near(Zoom.viewAt(keys, 1)[0], 4, 1e-6, "zoom at 1");
    // Worked by hand: segment 1, s = 0.5, m0 = 0, m1 = 0.5 * 1.4 ln 4.
    near(Math.log(Zoom.viewAt(keys, 0.25)[0]), 0.225273, 1e-5, "log zoom at 0.25");
    near(Math.log(Zoom.viewAt(keys, 0.75)[0]), 1.161021, 1e-5, "log zoom at 0.75");
    check(Zoom.viewAt(keys, 0.3)[0] < Zoom.viewAt(keys, 0.31)[0], "zoom grows with time");

    // Distinct values per channel, so that a channel read from the wrong field shows.
    float[][] two = {
        {1, 0, 0, 0, 0, 0, 0, 0, 0, 0},
        {1, 0, 1, -1, 90, 0.5f, 0, 2, 0, 0},
    };
    double[] v = Zoom.viewAt(two, 0.25);
    near(v[0], 1, 1e-9, "zoom of a flat log zoom");
    near(v[1], 0.375, 1e-6, "x with its end slope"); // m1 = 0.5 * 2
    near(v[2], -0.5, 1e-6, "y as a smooth step");
    near(v[3], 45, 1e-4, "rotate as a smooth step");
    // A time equal to a key's time ends the segment leading to it.
    double[] atKey = Zoom.viewAt(two, 0.5);
    near(atKey[1], 1, 1e-6, "x at the key");
    near(atKey[3], 90, 1e-6, "rotate at the key");
  }

  static void degenerateKeyTimesKeepTheViewFinite() {
    float[][] repeated = {
        {1, 0, 0, 0, 0, 0, 0, 0, 0, 0},
        {2, LN2, 0.5f, 0, 0, 0, 0, 0, 0, 0},
        {4, LN4, 0.5f, 0, 0, 1, 0, 0, 0, 0},
    };
    double[] start = Zoom.viewAt(repeated, 0);
    near(start[0], 1, 1e-9, "a zero-length first segment holds its first key");
    near(start[1], 0, 1e-9, "x of a zero-length segment");
    for (double t : new double[] {0, 0.25, 0.5, 1}) {
      for (double value : Zoom.viewAt(repeated, t))
        check(!Double.isNaN(value) && !Double.isInfinite(value), "finite view at " + t);
    }
    float[][] allZero = {{1, 0, 0, 0, 0, 0, 0, 0, 0, 0}, {1, 0, 0, 0, 0, 0, 0, 0, 0, 0}};
    for (double value : Zoom.viewAt(allZero, 1)) check(!Double.isNaN(value), "finite view of key times all 0");
  }

  // tests/data/keyframe-views.txt (its folder in the property tv.test.data) holds the editor's views
  // of a few keyframe tables, in single precision; the C++ and the web player's tests read it too.
  // The player works in double, so it may differ from the editor by the floats' rounding. The
  // applet plays there and back only, but a table built steady or for an endless project is read
  // and evaluated within its pass like any other, so it is held to those tables too.
  static void viewMatchesTheEditorsTables() throws IOException {
    String dir = System.getProperty("tv.test.data");
    check(dir != null, "the property tv.test.data names the test data folder");
    if (dir == null) return;
    List<float[]> keys = new ArrayList<float[]>();
    String table = "";
    int tables = 0;
    int views = 0;
    for (String line : Files.readAllLines(Paths.get(dir, "keyframe-views.txt"), StandardCharsets.UTF_8)) {
      String[] words = line.trim().split("\\s+");
      if (words[0].isEmpty() || words[0].startsWith("#")) continue;
      float[] values = new float[words.length - 1];
      for (int i = 1; i < words.length && !words[0].equals("table"); i++) values[i - 1] = Float.parseFloat(words[i]);
      if (words[0].equals("table")) {
        table = words[1];
        keys.clear();
        tables++;
      } else if (words[0].equals("key")) {
        check(values.length == ZoomFile.KEY_FIELDS, "key fields in: " + line);
        keys.add(values);
      } else {
        check(words[0].equals("view") && values.length == 5, "a view: " + line);
        double[] v = Zoom.viewAt(keys.toArray(new float[0][]), values[0]);
        for (int c = 0; c < 4; c++) {
          double want = values[c + 1];
          near(v[c], want, 5e-6 * Math.max(1, Math.abs(want)), table + " t " + values[0] + " channel " + c);
        }
        views++;
      }
    }
    check(tables == 5 && views >= 110, tables + " tables and " + views + " views read");
  }

  // -- pictures

  static void borderFadesOverATenthOfTheShorterSide() {
    check(Zoom.edgeAlpha(0, 25, 100, 50) == 0, "left column transparent");
    check(Zoom.edgeAlpha(50, 0, 100, 50) == 0, "top row transparent");
    check(Zoom.edgeAlpha(99, 25, 100, 50) == 51, "right column at d = 1");
    check(Zoom.edgeAlpha(50, 49, 100, 50) == 51, "bottom row at d = 1");
    check(Zoom.edgeAlpha(4, 25, 100, 50) == 204, "d = 4 of 5");
    check(Zoom.edgeAlpha(5, 25, 100, 50) == 255, "opaque from a tenth of the shorter side");
    check(Zoom.edgeAlpha(50, 25, 100, 50) == 255, "opaque centre");
    check(Zoom.edgeAlpha(50, 500, 1000, 1000) == 127, "1000 x 1000 at d = 50");
  }

  static void framesAndPicturesArePrepared() {
    double[] landscape = Zoom.extents(800, 600);
    near(landscape[0], 1, 0, "landscape width");
    near(landscape[1], 0.75, 1e-7, "landscape height");
    double[] portrait = Zoom.extents(600, 800);
    near(portrait[0], 0.75, 1e-7, "portrait width");
    near(portrait[1], 1, 0, "portrait height");
    double[] square = Zoom.extents(512, 512);
    check(square[0] == 1 && square[1] == 1, "square extents");

    BufferedImage plain = new BufferedImage(40, 20, BufferedImage.TYPE_3BYTE_BGR);
    for (int y = 0; y < 20; y++) {
      for (int x = 0; x < 40; x++) plain.setRGB(x, y, 0x3366CC);
    }
    BufferedImage outer = Zoom.prepare(plain, false);
    check(new Color(outer.getRGB(0, 0), true).getAlpha() == 255, "first picture opaque at its corner");
    BufferedImage inner = Zoom.prepare(plain, true);
    check(new Color(inner.getRGB(0, 0), true).getAlpha() == 0, "inner picture transparent at its corner");
    check(new Color(inner.getRGB(1, 10), true).getAlpha() == 127, "inner picture half faded at d = 1 of 2");
    check((inner.getRGB(20, 10) & 0xFFFFFFFF) == 0xFF3366CC, "inner picture keeps its colours");

    BufferedImage wide = Zoom.reduce(new BufferedImage(5000, 100, BufferedImage.TYPE_INT_RGB), 2048);
    check(wide.getWidth() == 2048 && wide.getHeight() == 41,
        "reduced to 2048 wide: " + wide.getWidth() + " x " + wide.getHeight());
    BufferedImage small = new BufferedImage(300, 200, BufferedImage.TYPE_INT_RGB);
    check(Zoom.reduce(small, 2048) == small, "a small picture is kept");
  }

  static void coverageUsesTheOpaqueCoreOnly() throws Exception {
    ZoomFile file = ZoomFile.parse(centredStack().bytes());
    BufferedImage picture = new BufferedImage(100, 100, BufferedImage.TYPE_INT_RGB);
    Zoom zoom =
        new Zoom(file, new BufferedImage[] {picture, picture}, new int[] {100, 100}, new int[] {100, 100});
    // A 100-pixel view; the frame of picture 1 with `pixels` per unit. Its core spans -0.4..0.4.
    double[][] cases = {{200, 1}, {126, 1}, {124, 0}, {100, 0}};
    for (double[] c : cases) {
      AffineTransform frame = new AffineTransform();
      frame.translate(50, 50);
      frame.scale(c[0], -c[0]);
      check(zoom.coversView(frame, 1, 100, 100) == (c[1] == 1), "coverage at " + c[0] + " pixels per unit");
    }
    AffineTransform shifted = new AffineTransform();
    shifted.translate(60, 50);
    shifted.scale(200, -200);
    check(zoom.coversView(shifted, 1, 100, 100), "coverage of a shifted core that still holds the view");
    shifted.translate(0.2, 0);
    check(!zoom.coversView(shifted, 1, 100, 100), "no coverage once the view's corner leaves the core");
    check(!zoom.coversView(new AffineTransform(0, 0, 0, 0, 50, 50), 1, 100, 100), "no coverage by a degenerate frame");
  }

  // -- playback

  static void playheadTurnsRoundAtBothEnds() {
    Playhead p = new Playhead(true);
    check(p.position == 0 && p.direction == 1, "forward starts at the first picture");
    p.advance(0.3);
    near(p.position, 0.3, 1e-12, "advance");
    p.advance(0.8);
    near(p.position, 0.9, 1e-12, "turned at 1");
    check(p.direction == -1, "backwards after 1");
    p.advance(1.0);
    near(p.position, 0.1, 1e-12, "turned at 0");
    check(p.direction == 1, "forwards after 0");
    p.advance(50); // a stalled machine: one pass at most
    near(p.position, 0.9, 1e-12, "a long stall moves one pass");
    p.advance(-1);
    p.advance(Double.NaN);
    near(p.position, 0.9, 1e-12, "no step backwards in time");

    Playhead back = new Playhead(false);
    check(back.position == 1 && back.direction == -1, "backward starts at the target frame");
    back.advance(0.25);
    near(back.position, 0.75, 1e-12, "backward advance");
    back.seek(2);
    check(back.position == 1, "seek past the end");
    back.seek(Double.NaN);
    check(back.position == 0, "seek to no number");
  }

  static void pageParametersFallBackWhenUnusable() {
    check(kx.booleanValue("true", false), "true");
    check(!kx.booleanValue(" FALSE ", true), "FALSE with blanks");
    check(kx.booleanValue("yes", true) && !kx.booleanValue(null, false), "unknown and missing fall back");
    near(kx.durationValue("15.000000"), 15, 0, "duration as the page prints it");
    check(Double.isNaN(kx.durationValue("0")), "zero duration unusable");
    check(Double.isNaN(kx.durationValue("-2")), "negative duration unusable");
    check(Double.isNaN(kx.durationValue("NaN")), "NaN duration unusable");
    check(Double.isNaN(kx.durationValue("ten")), "text duration unusable");
    near(kx.chooseDuration(5, 12), 5, 0, "the page's duration wins");
    near(kx.chooseDuration(Double.NaN, 12), 12, 0, "else the file's");
    near(kx.chooseDuration(Double.NaN, Float.NaN), 10, 0, "else ten seconds");
    near(kx.chooseDuration(Double.NaN, 0), 10, 0, "a zero duration in the file");
  }

  // -- the data file

  static void validFileIsReadFieldByField() throws Exception {
    byte[] latin = {(byte) 'b', (byte) 0xFC, (byte) '.', (byte) 'j', (byte) 'p', (byte) 'g'};
    Data d = new Data()
                 .header(15)
                 .integer(3)
                 .picture("\u00fcber a.jpg", 7, 8, 9, 10) // the first picture's placement is stored, not used
                 .picture(latin, 0.5f, -0.25f, 0.125f, 30)
                 .picture("c:d.jpg", 0.25f, 0, 0, -45)
                 .integer(4);
    for (int k = 0; k < 4; k++) d.floats(k, k + 0.5f, 2, 3, 4, k / 3f, 6, 7, 8, 9);
    d.floats(1, 2, 3); // trailing bytes are left alone
    ZoomFile f = ZoomFile.parse(d.bytes());
    near(f.duration, 15, 0, "duration");
    check(f.pictureCount() == 3, "three pictures");
    check(f.names[0].equals("\u00fcber a.jpg"), "UTF-8 name: " + f.names[0]);
    check(f.names[1].equals("b\u00fc.jpg"), "Windows code page name: " + f.names[1]);
    check(f.names[2].equals("c:d.jpg"), "name with a colon");
    check(f.placements[1][ZoomFile.SCALE] == 0.5f && f.placements[1][ZoomFile.TRANSLATE_X] == -0.25f
            && f.placements[1][ZoomFile.TRANSLATE_Y] == 0.125f && f.placements[1][ZoomFile.ROTATE] == 30,
        "placement fields in order");
    check(f.keys.length == 4, "four keyframes");
    check(f.keys[3][ZoomFile.ZOOM] == 3 && f.keys[3][ZoomFile.LOG_ZOOM] == 3.5f
            && f.keys[3][ZoomFile.TIME] == 1 && f.keys[3][ZoomFile.ROTATE_SLOPE] == 9,
        "keyframe fields in order");
  }

  static void damagedFilesAreRefusedWithAReason() throws Exception {
    byte[] good = centredStack().bytes();
    refused(new byte[0], "incomplete", "empty file");
    refused(java.util.Arrays.copyOf(good, 29), "incomplete", "cut signature");
    for (int cut : new int[] {33, 37, 41, 45, 50, 60, good.length - 121, good.length - 1}) {
      refused(java.util.Arrays.copyOf(good, cut), "incomplete", "cut to " + cut + " bytes");
    }
    byte[] sig = good.clone();
    sig[0] = 'X';
    refused(sig, "signature", "wrong signature");
    refused("#Tunnelvista v1.0\r\nduration 10\r\n".getBytes(StandardCharsets.US_ASCII), "signature", "a project file");
    byte[] version = good.clone();
    version[33] = 1;
    refused(version, "version", "other version bytes");

    refused(new Data().header(10).integer(0).integer(1).key(0, 0, 0).bytes(), "no pictures", "no pictures");
    refused(new Data().header(10).integer(-1).bytes(), "no pictures", "negative picture count");
    refused(
        new Data().header(10).integer(Integer.MAX_VALUE).picture("a.jpg", 1, 0, 0, 0).bytes(), "claims", "huge count");
    refused(new Data().header(10).integer(1).integer(0).floats(1, 0, 0, 0).integer(2).key(0, 0, 0).key(1, 1, 0).bytes(),
        "name length of 0", "empty name");
    refused(new Data().header(10).integer(1).integer(-5).floats(1, 0, 0, 0, 0, 0).bytes(), "name length of -5",
        "negative name length");
    refused(new Data().header(10).integer(1).integer(1 << 30).floats(1, 0, 0, 0, 0).bytes(), "incomplete",
        "name beyond the file");
    for (String name : new String[] {"../a.jpg", "sub/a.jpg", "c:\\a.jpg", "..", "a\0.jpg"}) {
      refused(new Data().header(10).integer(1).picture(name, 1, 0, 0, 0).integer(2).key(0, 0, 0).key(1, 1, 0).bytes(),
          "not a plain file name", "name " + name);
    }

    // Placements of the pictures inside the first must be usable; the first's own is not used.
    Data unusedFirst = new Data()
                           .header(10)
                           .integer(2)
                           .picture("a.jpg", 0, Float.NaN, 0, 0)
                           .picture("b.jpg", 0.5f, 0, 0, 0)
                           .integer(3)
                           .key(0, 0, 0)
                           .key(LN2, 0.5f, 0)
                           .key(LN4, 1, 0);
    check(ZoomFile.parse(unusedFirst.bytes()).pictureCount() == 2, "the first picture's placement is not checked");
    refused(new Data()
                .header(10)
                .integer(2)
                .picture("a.jpg", 1, 0, 0, 0)
                .picture("b.jpg", 0, 0, 0, 0)
                .integer(3)
                .key(0, 0, 0)
                .key(LN2, 0.5f, 0)
                .key(LN4, 1, 0)
                .bytes(),
        "scale 0.0", "zero scale");
    refused(new Data()
                .header(10)
                .integer(2)
                .picture("a.jpg", 1, 0, 0, 0)
                .picture("b.jpg", -0.5f, 0, 0, 0)
                .integer(3)
                .key(0, 0, 0)
                .key(LN2, 0.5f, 0)
                .key(LN4, 1, 0)
                .bytes(),
        "scale -0.5", "negative scale");
    refused(new Data()
                .header(10)
                .integer(2)
                .picture("a.jpg", 1, 0, 0, 0)
                .picture("b.jpg", 0.5f, Float.POSITIVE_INFINITY, 0, 0)
                .integer(3)
                .key(0, 0, 0)
                .key(LN2, 0.5f, 0)
                .key(LN4, 1, 0)
                .bytes(),
        "not a number", "infinite translation");

    refused(new Data()
                .header(10)
                .integer(2)
                .picture("a.jpg", 1, 0, 0, 0)
                .picture("b.jpg", 0.5f, 0, 0, 0)
                .integer(2)
                .key(0, 0, 0)
                .key(LN2, 1, 0)
                .bytes(),
        "2 pictures but 2 keyframes", "one keyframe short");
    refused(new Data()
                .header(10)
                .integer(2)
                .picture("a.jpg", 1, 0, 0, 0)
                .picture("b.jpg", 0.5f, 0, 0, 0)
                .integer(-3)
                .bytes(),
        "-3 keyframes", "negative keyframe count");
    refused(new Data()
                .header(10)
                .integer(2)
                .picture("a.jpg", 1, 0, 0, 0)
                .picture("b.jpg", 0.5f, 0, 0, 0)
                .integer(3)
                .key(0, 0, 0)
                .key(Float.NaN, 0.5f, 0)
                .key(LN4, 1, 0)
                .bytes(),
        "keyframe 2", "NaN in a keyframe");
  }
}
