// The web player of an exported zoom.
//
// It reads the optimized data file (.kxo) that the editor's web export writes, loads the pictures
// that lie beside it and plays the zoom from the first picture to the target frame and back. Three
// ways to run it, all drawing through Zoom.draw:
//   - as the page's applet (class kx, parameters filename, showControls, playForward, autoPlay,
//     duration);
//   - as a window:                 java -jar kx.jar path/to/default.kxo
//   - as a one-frame renderer:     java -jar kx.jar --render <t> <width> <height> <out.png> <file.kxo>

import java.applet.Applet;
import java.awt.AlphaComposite;
import java.awt.BorderLayout;
import java.awt.Canvas;
import java.awt.Color;
import java.awt.Dimension;
import java.awt.EventQueue;
import java.awt.Font;
import java.awt.FontMetrics;
import java.awt.Graphics;
import java.awt.Graphics2D;
import java.awt.GraphicsEnvironment;
import java.awt.RenderingHints;
import java.awt.event.ActionEvent;
import java.awt.event.ActionListener;
import java.awt.event.KeyAdapter;
import java.awt.event.KeyEvent;
import java.awt.event.MouseAdapter;
import java.awt.event.MouseEvent;
import java.awt.geom.AffineTransform;
import java.awt.geom.NoninvertibleTransformException;
import java.awt.geom.Point2D;
import java.awt.image.BufferedImage;
import java.io.ByteArrayOutputStream;
import java.io.File;
import java.io.FileNotFoundException;
import java.io.FileOutputStream;
import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;
import java.net.MalformedURLException;
import java.net.URI;
import java.net.URISyntaxException;
import java.net.URL;
import java.net.URLConnection;
import java.nio.ByteBuffer;
import java.nio.charset.CharacterCodingException;
import java.nio.charset.Charset;
import java.nio.charset.StandardCharsets;
import java.nio.file.NoSuchFileException;
import java.util.ArrayList;
import java.util.Iterator;
import java.util.List;
import javax.imageio.ImageIO;
import javax.imageio.ImageReadParam;
import javax.imageio.ImageReader;
import javax.imageio.stream.ImageInputStream;
import javax.swing.JFrame;
import javax.swing.JOptionPane;
import javax.swing.Timer;

@SuppressWarnings("removal") // java.applet is deprecated for removal; the page still embeds us as one
public class kx extends Applet {
  private static final long serialVersionUID = 1L;

  static final String DEFAULT_DATA_FILE = "default.kxo";
  static final double DEFAULT_DURATION = 10.0;

  private Player player;
  private transient Source source;
  private double durationParameter = Double.NaN;
  private boolean loadStarted;

  // ---------------------------------------------------------------------------------------------
  // The applet

  @Override
  public void init() {
    boolean showControls = booleanValue(getParameter("showControls"), true);
    boolean playForward = booleanValue(getParameter("playForward"), true);
    boolean autoPlay = booleanValue(getParameter("autoPlay"), true);
    durationParameter = durationValue(getParameter("duration"));

    player = new Player(showControls, playForward, autoPlay);
    setLayout(new BorderLayout());
    setBackground(Player.BACKGROUND);
    add(player, BorderLayout.CENTER);

    String name = getParameter("filename");
    if (name == null || name.trim().isEmpty()) name = DEFAULT_DATA_FILE;
    try {
      source = Source.fromUrl(new URL(getDocumentBase(), name.trim()));
    } catch (MalformedURLException | URISyntaxException e) {
      player.showError("The data file name \"" + name + "\" is not a valid address.");
    }
  }

  @Override
  public void start() {
    if (player == null) return;
    if (!loadStarted && source != null) {
      loadStarted = true;
      final Source from = source;
      final Player to = player;
      final double duration = durationParameter;
      Thread loader = new Thread(new Runnable() {
        @Override
        public void run() {
          loadInto(to, from, duration);
        }
      }, "kx loader");
      loader.setDaemon(true);
      loader.start();
    } else {
      player.resume();
    }
  }

  @Override
  public void stop() {
    if (player != null) player.suspend();
  }

  @Override
  public void destroy() {
    if (player != null) player.close();
  }

  @Override
  public String getAppletInfo() {
    return "Tunnelvista zoom player";
  }

  @Override
  public String[][] getParameterInfo() {
    return new String[][] {
        {"filename", "URL", "the zoom's data file (.kxo), relative to the page"},
        {"showControls", "boolean", "show the play bar under the zoom (20 pixels)"},
        {"playForward", "boolean", "zoom in first (true) or out first (false)"},
        {"autoPlay", "boolean", "start playing as soon as the pictures are loaded"},
        {"duration", "seconds", "time of one pass from the first picture to the target frame"},
    };
  }

  // Loads on the calling (background) thread and hands the result or the failure to the player on
  // the event thread.
  static void loadInto(final Player player, Source source, double durationParameter) {
    try {
      final Zoom zoom = Zoom.load(source, new Zoom.Progress() {
        @Override
        public void report(final String text) {
          EventQueue.invokeLater(new Runnable() {
            @Override
            public void run() {
              player.showProgress(text);
            }
          });
        }
      });
      final double duration = chooseDuration(durationParameter, zoom.file.duration);
      EventQueue.invokeLater(new Runnable() {
        @Override
        public void run() {
          player.setZoom(zoom, duration);
        }
      });
    } catch (BadZoomException e) {
      reportLoadFailure(player, e.getMessage());
    } catch (OutOfMemoryError e) {
      reportLoadFailure(player, "There is not enough memory for the pictures of this zoom.");
    } catch (RuntimeException e) {
      // The browser's sandbox refusing an address, for one; the page must not wait forever.
      reportLoadFailure(player, "The zoom could not be loaded: " + reason(e));
    }
  }

  private static void reportLoadFailure(final Player player, final String message) {
    System.err.println("kx: " + message);
    EventQueue.invokeLater(new Runnable() {
      @Override
      public void run() {
        player.showError(message);
      }
    });
  }

  // What went wrong, for a message: the exception's own text, else its kind.
  static String reason(Throwable e) {
    String text = e.getMessage();
    return text == null || text.isEmpty() ? e.getClass().getSimpleName() : text;
  }

  static boolean booleanValue(String text, boolean fallback) {
    if (text == null) return fallback;
    String t = text.trim();
    if (t.equalsIgnoreCase("true")) return true;
    if (t.equalsIgnoreCase("false")) return false;
    return fallback;
  }

  // A duration in seconds, or NaN when the text is missing or no usable duration.
  static double durationValue(String text) {
    if (text == null) return Double.NaN;
    try {
      double d = Double.parseDouble(text.trim());
      return isUsableDuration(d) ? d : Double.NaN;
    } catch (NumberFormatException e) {
      return Double.NaN;
    }
  }

  static boolean isUsableDuration(double d) {
    return d > 0 && d <= 1.0e6; // also false for NaN and infinities
  }

  // The page's duration wins when it is usable, then the file's, then the editor's default.
  static double chooseDuration(double parameter, double fromFile) {
    if (isUsableDuration(parameter)) return parameter;
    if (isUsableDuration(fromFile)) return fromFile;
    return DEFAULT_DURATION;
  }

  // ---------------------------------------------------------------------------------------------
  // The window and the one-frame renderer

  static final int EXIT_FAILURE = 1;
  static final int EXIT_USAGE = 2;

  public static void main(String[] args) {
    int status;
    try {
      status = run(args);
    } catch (OutOfMemoryError e) {
      System.err.println("kx: there is not enough memory for the pictures of this zoom"
          + " (a larger heap, e.g. java -Xmx2g -jar kx.jar ..., may help)");
      status = EXIT_FAILURE;
    } catch (RuntimeException e) {
      System.err.println("kx: unexpected failure: " + reason(e));
      e.printStackTrace();
      status = EXIT_FAILURE;
    }
    // A window keeps running on the event thread; everything else ends here.
    if (status >= 0) System.exit(status);
  }

  // Returns the exit status, or -1 when a window was opened and the program goes on.
  static int run(String[] args) {
    if (args.length >= 1 && args[0].equals("--render")) return renderCommand(args);
    if (args.length == 1 && !args[0].startsWith("-")) return openWindow(args[0]);
    System.err.println("usage: java -jar kx.jar <file.kxo>\n"
        + "       java -jar kx.jar --render <t> <width> <height> <out.png> <file.kxo>\n"
        + "  t is the zoom time from 0 (the first picture) to 1 (the target frame)");
    return EXIT_USAGE;
  }

  static int renderCommand(String[] args) {
    if (args.length != 6) {
      System.err.println("kx: --render needs <t> <width> <height> <out.png> <file.kxo>");
      return EXIT_USAGE;
    }
    double t;
    int width;
    int height;
    try {
      t = Double.parseDouble(args[1]);
      width = Integer.parseInt(args[2]);
      height = Integer.parseInt(args[3]);
    } catch (NumberFormatException e) {
      System.err.println("kx: --render: t, width and height must be numbers");
      return EXIT_USAGE;
    }
    if (!(t >= 0 && t <= 1)) {
      System.err.println("kx: --render: t must lie between 0 and 1");
      return EXIT_USAGE;
    }
    if (width < 1 || height < 1 || width > 16384 || height > 16384) {
      System.err.println("kx: --render: width and height must lie between 1 and 16384");
      return EXIT_USAGE;
    }
    Zoom zoom;
    try {
      zoom = Zoom.load(Source.fromFile(new File(args[5])), null);
    } catch (BadZoomException e) {
      System.err.println("kx: " + e.getMessage());
      return EXIT_FAILURE;
    }
    BufferedImage frame = new BufferedImage(width, height, BufferedImage.TYPE_INT_RGB);
    Graphics2D g = frame.createGraphics();
    try {
      zoom.draw(g, width, height, t);
    } finally {
      g.dispose();
    }
    File out = new File(args[4]);
    try (OutputStream stream = new FileOutputStream(out)) {
      if (!ImageIO.write(frame, "png", stream)) {
        System.err.println("kx: no PNG writer is available");
        return EXIT_FAILURE;
      }
    } catch (IOException e) {
      System.err.println("kx: cannot write the frame: " + reason(e));
      return EXIT_FAILURE;
    }
    return 0;
  }

  static int openWindow(String path) {
    if (GraphicsEnvironment.isHeadless()) {
      System.err.println("kx: there is no display to play the zoom on (use --render for single frames)");
      return EXIT_FAILURE;
    }
    final Zoom zoom;
    try {
      zoom = Zoom.load(Source.fromFile(new File(path)), null);
    } catch (BadZoomException e) {
      System.err.println("kx: " + e.getMessage());
      JOptionPane.showMessageDialog(null, e.getMessage(), "Tunnelvista zoom player", JOptionPane.ERROR_MESSAGE);
      return EXIT_FAILURE;
    }
    final double duration = chooseDuration(Double.NaN, zoom.file.duration);
    final String title = new File(path).getName() + " - Tunnelvista zoom player";
    EventQueue.invokeLater(new Runnable() {
      @Override
      public void run() {
        // The first picture fits a 640-pixel square; the play bar goes below it.
        int width = 640;
        int height = 640;
        double aspect = zoom.extentX(0) / zoom.extentY(0);
        if (aspect >= 1) {
          height = Math.max(50, (int) Math.round(640 / aspect));
        } else {
          width = Math.max(50, (int) Math.round(640 * aspect));
        }
        Player player = new Player(true, true, true);
        player.setPreferredSize(new Dimension(width, height + Player.BAR_HEIGHT));
        JFrame frame = new JFrame(title);
        frame.setDefaultCloseOperation(JFrame.EXIT_ON_CLOSE);
        frame.getContentPane().add(player, BorderLayout.CENTER);
        frame.pack();
        frame.setLocationByPlatform(true);
        frame.setVisible(true);
        player.setZoom(zoom, duration);
        player.requestFocusInWindow();
      }
    });
    return -1;
  }

  // ---------------------------------------------------------------------------------------------
  // Where the data file and the pictures come from

  static final class Source {
    static final int MAX_DATA_BYTES = 16 << 20;
    static final int CONNECT_TIMEOUT_MS = 15000;
    static final int READ_TIMEOUT_MS = 30000;

    final URI data;

    private Source(URI data) { this.data = data; }

    static Source fromFile(File file) { return new Source(file.getAbsoluteFile().toURI()); }

    static Source fromUrl(URL url) throws URISyntaxException { return new Source(url.toURI()); }

    // The data file's name as a person would write it: a path for local files, else the URL.
    String dataName() { return describe(data); }

    // The pictures lie in the data file's directory, under their base names.
    URI picture(String baseName) throws URISyntaxException {
      // "./" keeps a colon in the name from reading as a scheme; the constructor escapes the rest.
      return data.resolve(new URI(null, null, "./" + baseName, null));
    }

    static String describe(URI uri) {
      if ("file".equalsIgnoreCase(uri.getScheme())) {
        try {
          return new File(uri).getPath();
        } catch (IllegalArgumentException e) {
          return uri.toString();
        }
      }
      return uri.toString();
    }

    static InputStream open(URI uri) throws IOException {
      URLConnection connection = uri.toURL().openConnection();
      connection.setConnectTimeout(CONNECT_TIMEOUT_MS);
      connection.setReadTimeout(READ_TIMEOUT_MS);
      return connection.getInputStream();
    }

    byte[] readData() throws BadZoomException {
      String name = dataName();
      try (InputStream in = open(data)) {
        ByteArrayOutputStream bytes = new ByteArrayOutputStream();
        byte[] block = new byte[65536];
        int n;
        while ((n = in.read(block)) > 0) {
          if (bytes.size() + n > MAX_DATA_BYTES) {
            throw new BadZoomException(name + ": the file is far too large for a zoom data file.");
          }
          bytes.write(block, 0, n);
        }
        return bytes.toByteArray();
      } catch (FileNotFoundException | NoSuchFileException e) {
        throw new BadZoomException("The zoom data file was not found: " + name);
      } catch (IOException e) {
        throw new BadZoomException("The zoom data file " + name + " could not be read: " + reason(e));
      }
    }
  }

  // ---------------------------------------------------------------------------------------------
  // The data file

  static final class BadZoomException extends Exception {
    private static final long serialVersionUID = 1L;

    BadZoomException(String message) { super(message); }
  }

  static final class ZoomFile {
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

  // ---------------------------------------------------------------------------------------------
  // The zoom: the data file's geometry with its pictures, and the one drawing routine

  static final class Zoom {
    // Pictures are reduced to this longer side; a picture is never seen larger than the view
    // divided by its successor's scale, and this keeps a long stack within an ordinary heap.
    static final int MAX_SIDE = 2048;
    // Larger pictures are refused rather than decoded (a damaged header can claim any size).
    static final long MAX_FILE_PIXELS = 400L << 20;
    static final Color BACKGROUND = new Color(0x40, 0x40, 0x40);

    interface Progress {
      void report(String text);
    }

    final ZoomFile file;
    private final BufferedImage[] pictures;
    private final double[] extentX;
    private final double[] extentY;

    Zoom(ZoomFile file, BufferedImage[] pictures, int[] widths, int[] heights) {
      this.file = file;
      this.pictures = pictures;
      int n = pictures.length;
      extentX = new double[n];
      extentY = new double[n];
      for (int i = 0; i < n; i++) {
        double[] e = extents(widths[i], heights[i]);
        extentX[i] = e[0];
        extentY[i] = e[1];
      }
    }

    double extentX(int i) { return extentX[i]; }

    double extentY(int i) { return extentY[i]; }

    static Zoom load(Source source, Progress progress) throws BadZoomException {
      String dataName = source.dataName();
      if (progress != null) progress.report("Loading " + dataName + " ...");
      byte[] bytes = source.readData();
      ZoomFile file;
      try {
        file = ZoomFile.parse(bytes);
      } catch (BadZoomException e) {
        throw new BadZoomException(dataName + ":\n" + e.getMessage());
      }
      int n = file.pictureCount();
      BufferedImage[] pictures = new BufferedImage[n];
      int[] widths = new int[n];
      int[] heights = new int[n];
      List<String> failures = new ArrayList<String>();
      ImageIO.setUseCache(false);
      for (int i = 0; i < n; i++) {
        if (progress != null) progress.report("Loading picture " + (i + 1) + " of " + n + " ...");
        Picture picture;
        try {
          picture = readPicture(source, file.names[i]);
        } catch (BadZoomException e) {
          failures.add(e.getMessage());
          continue;
        }
        widths[i] = picture.width;
        heights[i] = picture.height;
        pictures[i] = prepare(picture.image, i > 0);
      }
      if (!failures.isEmpty()) {
        StringBuilder text = new StringBuilder();
        text.append(failures.size() == 1 ? "A picture of this zoom could not be loaded:"
                                         : failures.size() + " pictures of this zoom could not be loaded:");
        for (String f : failures) text.append("\n    ").append(f);
        throw new BadZoomException(text.toString());
      }
      return new Zoom(file, pictures, widths, heights);
    }

    // A decoded picture with the pixel size of its file (the image may have been decoded smaller).
    static final class Picture {
      final BufferedImage image;
      final int width;
      final int height;

      Picture(BufferedImage image, int width, int height) {
        this.image = image;
        this.width = width;
        this.height = height;
      }
    }

    static Picture readPicture(Source source, String baseName) throws BadZoomException {
      URI uri;
      try {
        uri = source.picture(baseName);
      } catch (URISyntaxException | IllegalArgumentException e) {
        throw new BadZoomException(baseName + " (not a usable file name)");
      }
      String name = Source.describe(uri);
      try (InputStream in = Source.open(uri); ImageInputStream stream = ImageIO.createImageInputStream(in)) {
        Iterator<ImageReader> readers = stream == null ? null : ImageIO.getImageReaders(stream);
        if (readers == null || !readers.hasNext())
          throw new BadZoomException(name + " (not a picture that can be read)");
        ImageReader reader = readers.next();
        try {
          reader.setInput(stream, true, true);
          int width = reader.getWidth(0);
          int height = reader.getHeight(0);
          if (width < 1 || height < 1) throw new BadZoomException(name + " (empty picture)");
          if ((long) width * height > MAX_FILE_PIXELS) {
            throw new BadZoomException(name + " (too large: " + width + " x " + height + " pixels)");
          }
          // Very large pictures are decoded at a fraction of their size: they are reduced anyway.
          ImageReadParam param = reader.getDefaultReadParam();
          int step = Math.max(width, height) / (2 * MAX_SIDE);
          if (step > 1) param.setSourceSubsampling(step, step, 0, 0);
          return new Picture(reader.read(0, param), width, height);
        } finally {
          reader.dispose();
        }
      } catch (FileNotFoundException | NoSuchFileException e) {
        throw new BadZoomException(name + " (not found)");
      } catch (IOException e) {
        throw new BadZoomException(name + " (" + reason(e) + ")");
      } catch (RuntimeException e) {
        // A damaged file can upset a decoder beyond its IOExceptions.
        throw new BadZoomException(name + " (damaged: " + reason(e) + ")");
      }
    }

    // Frame extents: the longer side is one unit, the origin at the centre.
    static double[] extents(int width, int height) {
      float w = width;
      float h = height;
      if (height < width) return new double[] {1.0, h / w};
      return new double[] {w / h, 1.0};
    }

    // Alpha at pixel (x, y): 0 on the left and top edges, reaching 255 at a tenth of the shorter
    // side from every edge, so each picture blends into the one around it.
    static int edgeAlpha(int x, int y, int width, int height) {
      float band = Math.min(width, height) * 0.1f;
      int d = Math.min(Math.min(x, y), Math.min(width - x, height - y));
      if (d >= band) return 255;
      return (int) (d * 255 / band);
    }

    // The first picture is drawn opaque to its edge; the others get the faded border.
    static BufferedImage prepare(BufferedImage picture, boolean fadedBorder) {
      BufferedImage source = reduce(picture, MAX_SIDE);
      int w = source.getWidth();
      int h = source.getHeight();
      BufferedImage out =
          new BufferedImage(w, h, fadedBorder ? BufferedImage.TYPE_INT_ARGB_PRE : BufferedImage.TYPE_INT_RGB);
      int[] row = new int[w];
      for (int y = 0; y < h; y++) {
        source.getRGB(0, y, w, 1, row, 0, w);
        for (int x = 0; x < w; x++) {
          int alpha = fadedBorder ? edgeAlpha(x, y, w, h) : 255;
          row[x] = (alpha << 24) | (row[x] & 0xFFFFFF);
        }
        out.setRGB(0, y, w, 1, row, 0, w); // premultiplies for the ARGB_PRE image
      }
      return out;
    }

    // Halves with bilinear filtering until the longer side is at most maxSide.
    static BufferedImage reduce(BufferedImage picture, int maxSide) {
      int w = picture.getWidth();
      int h = picture.getHeight();
      if (w <= maxSide && h <= maxSide) return picture;
      double factor = (double) maxSide / Math.max(w, h);
      int targetW = Math.max(1, (int) Math.round(w * factor));
      int targetH = Math.max(1, (int) Math.round(h * factor));
      BufferedImage current = picture;
      while (w != targetW || h != targetH) {
        w = Math.max(targetW, w / 2);
        h = Math.max(targetH, h / 2);
        BufferedImage next = new BufferedImage(w, h, BufferedImage.TYPE_INT_RGB);
        Graphics2D g = next.createGraphics();
        g.setRenderingHint(RenderingHints.KEY_INTERPOLATION, RenderingHints.VALUE_INTERPOLATION_BILINEAR);
        g.drawImage(current, 0, 0, w, h, null);
        g.dispose();
        current = next;
      }
      return current;
    }

    // The view at normalised time t: {zoom, x, y, rotate} by cubic Hermite interpolation of the
    // keyframes, logarithmic in the zoom.
    static double[] viewAt(float[][] keys, double t) {
      int count = keys.length;
      int k = 1;
      while (k < count && t > keys[k][ZoomFile.TIME]) k++;
      if (k == count) k = count - 1;
      float[] a = keys[k - 1];
      float[] b = keys[k];
      double span = (double) b[ZoomFile.TIME] - a[ZoomFile.TIME];
      double s = span > 0 ? (t - a[ZoomFile.TIME]) / span : 0; // a zero-length segment holds still
      double logZoom = hermite(
          a[ZoomFile.LOG_ZOOM], b[ZoomFile.LOG_ZOOM], a[ZoomFile.LOG_ZOOM_SLOPE], b[ZoomFile.LOG_ZOOM_SLOPE], span, s);
      double x = hermite(a[ZoomFile.X], b[ZoomFile.X], a[ZoomFile.X_SLOPE], b[ZoomFile.X_SLOPE], span, s);
      double y = hermite(a[ZoomFile.Y], b[ZoomFile.Y], a[ZoomFile.Y_SLOPE], b[ZoomFile.Y_SLOPE], span, s);
      double rotate = hermite(
          a[ZoomFile.KEY_ROTATE], b[ZoomFile.KEY_ROTATE], a[ZoomFile.ROTATE_SLOPE], b[ZoomFile.ROTATE_SLOPE], span, s);
      return new double[] {Math.exp(logZoom), x, y, rotate};
    }

    static double hermite(double p0, double p1, double slope0, double slope1, double span, double s) {
      double m0 = span * slope0;
      double m1 = span * slope1;
      double a = 2 * p0 - 2 * p1 + m0 + m1;
      double b = -3 * p0 + 3 * p1 - 2 * m0 - m1;
      return ((a * s + b) * s + m0) * s + p0;
    }

    // Draws the zoom at time t into the rectangle (0, 0, width, height) of g: the first picture's
    // frame fitted to the rectangle, the view of time t applied, every picture nested in the one
    // before it, outermost first.
    void draw(Graphics2D g, int width, int height, double t) {
      g.setComposite(AlphaComposite.SrcOver);
      g.setColor(BACKGROUND);
      g.fillRect(0, 0, width, height);
      if (width < 1 || height < 1) return;
      g.setRenderingHint(RenderingHints.KEY_INTERPOLATION, RenderingHints.VALUE_INTERPOLATION_BILINEAR);
      g.setRenderingHint(RenderingHints.KEY_RENDERING, RenderingHints.VALUE_RENDER_QUALITY);

      double[] view = viewAt(file.keys, t);
      // First picture's frame (y up) to pixels (y down), fitted along the constraining axis.
      double pixelsPerUnit =
          extentX[0] / extentY[0] > (double) width / height ? width / extentX[0] : height / extentY[0];
      AffineTransform frame = new AffineTransform();
      frame.translate(width / 2.0, height / 2.0);
      frame.scale(pixelsPerUnit, -pixelsPerUnit);
      frame.rotate(Math.toRadians(view[3]));
      frame.scale(view[0], view[0]);
      frame.translate(view[1], view[2]);

      int n = pictures.length;
      AffineTransform[] frames = new AffineTransform[n];
      frames[0] = frame;
      for (int j = 1; j < n; j++) {
        float[] p = file.placements[j];
        AffineTransform f = new AffineTransform(frames[j - 1]);
        f.translate(p[ZoomFile.TRANSLATE_X], p[ZoomFile.TRANSLATE_Y]);
        f.scale(p[ZoomFile.SCALE], p[ZoomFile.SCALE]);
        f.rotate(Math.toRadians(p[ZoomFile.ROTATE]));
        frames[j] = f;
      }
      for (int j = 0; j < n; j++) {
        // A picture whose successor's opaque core fills the view cannot be seen.
        if (j + 1 < n && coversView(frames[j + 1], j + 1, width, height)) continue;
        drawPicture(g, j, frames[j], width, height);
      }
    }

    // Whether picture j's opaque core (inside its faded border) covers the whole rectangle.
    boolean coversView(AffineTransform frame, int j, int width, int height) {
      AffineTransform inverse = invert(frame);
      if (inverse == null) return false;
      double margin = 0.2 * Math.min(extentX[j], extentY[j]);
      double halfX = (extentX[j] - margin) / 2;
      double halfY = (extentY[j] - margin) / 2;
      double[] corners = {0, 0, width, 0, 0, height, width, height};
      inverse.transform(corners, 0, corners, 0, 4);
      for (int c = 0; c < 8; c += 2) {
        if (!(Math.abs(corners[c]) <= halfX && Math.abs(corners[c + 1]) <= halfY)) return false;
      }
      return true;
    }

    private void drawPicture(Graphics2D g, int j, AffineTransform frame, int width, int height) {
      BufferedImage picture = pictures[j];
      int w = picture.getWidth();
      int h = picture.getHeight();
      // Picture pixels (y down, from the top-left corner) into the picture's frame.
      AffineTransform toPixels = new AffineTransform(frame);
      toPixels.translate(-extentX[j] / 2, extentY[j] / 2);
      toPixels.scale(extentX[j] / w, -extentY[j] / h);
      AffineTransform inverse = invert(toPixels);
      if (inverse == null) return;

      // Only the part of the picture that can reach the rectangle is handed to Java2D, which keeps
      // device coordinates small however deep the zoom.
      double[] corners = {0, 0, width, 0, 0, height, width, height};
      inverse.transform(corners, 0, corners, 0, 4);
      double minX = Double.POSITIVE_INFINITY, minY = Double.POSITIVE_INFINITY;
      double maxX = Double.NEGATIVE_INFINITY, maxY = Double.NEGATIVE_INFINITY;
      for (int c = 0; c < 8; c += 2) {
        minX = Math.min(minX, corners[c]);
        maxX = Math.max(maxX, corners[c]);
        minY = Math.min(minY, corners[c + 1]);
        maxY = Math.max(maxY, corners[c + 1]);
      }
      int x0 = (int) Math.max(0, Math.floor(minX) - 2);
      int y0 = (int) Math.max(0, Math.floor(minY) - 2);
      int x1 = (int) Math.min(w, Math.ceil(maxX) + 2);
      int y1 = (int) Math.min(h, Math.ceil(maxY) + 2);
      if (x0 >= x1 || y0 >= y1) return;

      Graphics2D pg = (Graphics2D) g.create();
      try {
        pg.transform(toPixels);
        pg.drawImage(picture, x0, y0, x1, y1, x0, y0, x1, y1, null);
      } finally {
        pg.dispose();
      }
    }

    // The inverse of a usable transform, or null for a degenerate or non-finite one.
    static AffineTransform invert(AffineTransform t) {
      double det = t.getDeterminant();
      if (det == 0 || Double.isNaN(det) || Double.isInfinite(det)) return null;
      double[] m = new double[6];
      t.getMatrix(m);
      for (double v : m) {
        if (Double.isNaN(v) || Double.isInfinite(v)) return null;
      }
      try {
        return t.createInverse();
      } catch (NoninvertibleTransformException e) {
        return null;
      }
    }
  }

  // ---------------------------------------------------------------------------------------------
  // Playback position: 0 (first picture) to 1 (target frame) and back

  static final class Playhead {
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

  // ---------------------------------------------------------------------------------------------
  // The drawing component with its play bar, shared by the applet and the window

  static final class Player extends Canvas implements ActionListener {
    private static final long serialVersionUID = 1L;
    static final int BAR_HEIGHT = 20;
    static final int FRAME_MS = 15;
    static final Color BACKGROUND = Zoom.BACKGROUND;
    static final Color BAR = new Color(0x20, 0x20, 0x20);
    static final Color BAR_INK = new Color(0xE0, 0xE0, 0xE0);
    static final Color TRACK = new Color(0x70, 0x70, 0x70);

    private final boolean showControls;
    private final boolean playForward;
    private final boolean autoPlay;
    private final transient Playhead playhead;
    private final Timer timer;
    private transient Zoom zoom;
    private double duration = DEFAULT_DURATION;
    private String message = "Loading ...";
    private boolean error;
    private boolean playing;
    private boolean resumeOnStart;
    private boolean dragging;
    private boolean playingBeforeDrag;
    private boolean closed;
    private long lastTick;
    private transient BufferedImage back;

    Player(boolean showControls, boolean playForward, boolean autoPlay) {
      this.showControls = showControls;
      this.playForward = playForward;
      this.autoPlay = autoPlay;
      playhead = new Playhead(playForward);
      timer = new Timer(FRAME_MS, this);
      timer.setCoalesce(true);
      setBackground(BACKGROUND);
      setFocusable(true);
      MouseAdapter mouse = new MouseAdapter() {
        @Override
        public void mousePressed(MouseEvent e) {
          pressed(e.getX(), e.getY());
        }

        @Override
        public void mouseDragged(MouseEvent e) {
          if (dragging) seekTo(e.getX());
        }

        @Override
        public void mouseReleased(MouseEvent e) {
          released();
        }
      };
      addMouseListener(mouse);
      addMouseMotionListener(mouse);
      addKeyListener(new KeyAdapter() {
        @Override
        public void keyPressed(KeyEvent e) {
          if (e.getKeyCode() == KeyEvent.VK_SPACE) togglePlay();
        }
      });
    }

    // -- state changes, all on the event thread

    void setZoom(Zoom z, double seconds) {
      if (closed) return; // the page went away while the pictures were loading
      zoom = z;
      duration = seconds;
      message = null;
      error = false;
      playhead.restart(playForward);
      if (autoPlay) play();
      repaint();
    }

    void showProgress(String text) {
      if (zoom == null && !error) {
        message = text;
        repaint();
      }
    }

    void showError(String text) {
      if (closed) return;
      pause();
      zoom = null;
      message = text;
      error = true;
      repaint();
    }

    void play() {
      if (zoom == null || playing) return;
      playing = true;
      lastTick = System.nanoTime();
      timer.start();
      repaint();
    }

    void pause() {
      playing = false;
      timer.stop();
      repaint();
    }

    void togglePlay() {
      if (playing) {
        pause();
      } else {
        play();
      }
    }

    // The page was left and came back.
    void suspend() {
      resumeOnStart = playing;
      pause();
    }

    void resume() {
      if (resumeOnStart) play();
      resumeOnStart = false;
    }

    void close() {
      closed = true;
      pause();
      zoom = null;
      back = null;
    }

    @Override
    public void actionPerformed(ActionEvent e) {
      long now = System.nanoTime();
      double seconds = (now - lastTick) / 1e9;
      lastTick = now;
      if (!dragging) playhead.advance(seconds / duration);
      repaint();
    }

    // -- mouse: the button plays and pauses, the track seeks, a click on the picture plays and pauses

    private int trackLeft() { return BAR_HEIGHT + 8; }

    private int trackRight() { return Math.max(trackLeft() + 1, getWidth() - 10); }

    private void pressed(int x, int y) {
      requestFocus();
      boolean onBar = showControls && y >= getHeight() - BAR_HEIGHT;
      if (!onBar || x < BAR_HEIGHT) {
        togglePlay();
      } else if (zoom != null) {
        dragging = true;
        playingBeforeDrag = playing;
        pause();
        seekTo(x);
      }
    }

    private void released() {
      if (!dragging) return;
      dragging = false;
      if (playingBeforeDrag) play();
    }

    private void seekTo(int x) {
      playhead.seek((double) (x - trackLeft()) / (trackRight() - trackLeft()));
      repaint();
    }

    // -- painting: into a back buffer, then onto the screen in one piece

    @Override
    public void update(Graphics g) {
      paint(g); // no clearing first: the back buffer covers everything
    }

    @Override
    public void paint(Graphics g) {
      int w = getWidth();
      int h = getHeight();
      if (w < 1 || h < 1) return;
      if (back == null || back.getWidth() != w || back.getHeight() != h) {
        back = new BufferedImage(w, h, BufferedImage.TYPE_INT_RGB);
      }
      Graphics2D b = back.createGraphics();
      try {
        int viewHeight = showControls ? Math.max(0, h - BAR_HEIGHT) : h;
        if (zoom != null) {
          zoom.draw(b, w, viewHeight, playhead.position);
        } else {
          drawMessage(b, w, viewHeight);
        }
        if (showControls) drawBar(b, w, h - BAR_HEIGHT);
      } finally {
        b.dispose();
      }
      g.drawImage(back, 0, 0, null);
    }

    private void drawMessage(Graphics2D g, int w, int h) {
      g.setColor(BACKGROUND);
      g.fillRect(0, 0, w, h);
      if (message == null) return;
      g.setRenderingHint(RenderingHints.KEY_TEXT_ANTIALIASING, RenderingHints.VALUE_TEXT_ANTIALIAS_ON);
      g.setFont(new Font(Font.SANS_SERIF, error ? Font.BOLD : Font.PLAIN, 12));
      g.setColor(error ? new Color(0xFF, 0xC0, 0xC0) : Color.WHITE);
      FontMetrics fm = g.getFontMetrics();
      List<String> lines = wrap(message, fm, Math.max(20, w - 16));
      int lineHeight = fm.getHeight();
      int y = Math.max(fm.getAscent() + 4, (h - lines.size() * lineHeight) / 2 + fm.getAscent());
      for (String line : lines) {
        g.drawString(line, 8, y);
        y += lineHeight;
      }
    }

    // Breaks the text at its line breaks and, where a line is wider than the room, between words
    // (or anywhere, for a word that does not fit on its own).
    static List<String> wrap(String text, FontMetrics fm, int room) {
      List<String> lines = new ArrayList<String>();
      for (String paragraph : text.split("\n", -1)) {
        StringBuilder line = new StringBuilder();
        boolean fresh = true; // a paragraph's leading blanks (its indentation) are kept
        for (String word : paragraph.split(" ", -1)) {
          String candidate = fresh ? word : line + " " + word;
          if (fm.stringWidth(candidate) <= room) {
            line.setLength(0);
            line.append(candidate);
            fresh = false;
            continue;
          }
          if (line.length() > 0) lines.add(line.toString());
          line.setLength(0);
          fresh = false;
          String rest = word;
          while (rest.length() > 1 && fm.stringWidth(rest) > room) {
            int cut = rest.length() - 1;
            while (cut > 1 && fm.stringWidth(rest.substring(0, cut)) > room) cut--;
            lines.add(rest.substring(0, cut));
            rest = rest.substring(cut);
          }
          line.append(rest);
        }
        lines.add(line.toString());
      }
      return lines;
    }

    private void drawBar(Graphics2D g, int w, int top) {
      g.setRenderingHint(RenderingHints.KEY_ANTIALIASING, RenderingHints.VALUE_ANTIALIAS_ON);
      g.setColor(BAR);
      g.fillRect(0, top, w, BAR_HEIGHT);
      g.setColor(zoom == null ? TRACK : BAR_INK);
      if (playing) {
        g.fillRect(6, top + 5, 3, 10);
        g.fillRect(11, top + 5, 3, 10);
      } else {
        g.fillPolygon(new int[] {6, 6, 15}, new int[] {top + 4, top + 16, top + 10}, 3);
      }
      int left = trackLeft();
      int right = trackRight();
      int mid = top + BAR_HEIGHT / 2;
      g.setColor(TRACK);
      g.fillRect(left, mid - 1, right - left, 3);
      if (zoom != null) {
        int knob = left + (int) Math.round(playhead.position * (right - left));
        g.setColor(BAR_INK);
        g.fillRect(left, mid - 1, knob - left, 3);
        g.fillOval(knob - 5, mid - 5, 10, 10);
      }
    }
  }
}
