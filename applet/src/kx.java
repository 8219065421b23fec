// The web player of an exported zoom.
//
// It reads the optimized data file (.kxo) that the editor's web export writes, loads the pictures
// that lie beside it and plays the zoom from the first picture to the target frame and back. Three
// ways to run it, all drawing through Zoom.draw:
//   - as the page's applet (class kx, parameters filename, showControls, playForward, autoPlay,
//     duration);
//   - as a window:                 java -jar kx.jar path/to/default.kxo
//   - as a one-frame renderer:     java -jar kx.jar --render <t> <width> <height> <out.png> <file.kxo>
//
// Beside it: Source (where the files come from), ZoomFile and BadZoomException (the data file),
// Zoom (the pictures and the drawing), Playhead and Player (playback and its play bar).

import java.applet.Applet;
import java.awt.BorderLayout;
import java.awt.Dimension;
import java.awt.EventQueue;
import java.awt.Graphics2D;
import java.awt.GraphicsEnvironment;
import java.awt.image.BufferedImage;
import java.io.File;
import java.io.FileOutputStream;
import java.io.IOException;
import java.io.OutputStream;
import java.net.MalformedURLException;
import java.net.URISyntaxException;
import java.net.URL;
import javax.imageio.ImageIO;
import javax.swing.JFrame;
import javax.swing.JOptionPane;

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
}
