// The zoom: the data file's geometry with its pictures, and the one drawing routine

import java.awt.AlphaComposite;
import java.awt.Color;
import java.awt.Graphics2D;
import java.awt.RenderingHints;
import java.awt.geom.AffineTransform;
import java.awt.geom.NoninvertibleTransformException;
import java.awt.image.BufferedImage;
import java.io.FileNotFoundException;
import java.io.IOException;
import java.io.InputStream;
import java.net.URI;
import java.net.URISyntaxException;
import java.nio.file.NoSuchFileException;
import java.util.ArrayList;
import java.util.Iterator;
import java.util.List;
import javax.imageio.ImageIO;
import javax.imageio.ImageReadParam;
import javax.imageio.ImageReader;
import javax.imageio.stream.ImageInputStream;

final class Zoom {
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
      throw new BadZoomException(name + " (" + kx.reason(e) + ")");
    } catch (RuntimeException e) {
      // A damaged file can upset a decoder beyond its IOExceptions.
      throw new BadZoomException(name + " (damaged: " + kx.reason(e) + ")");
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
  // keyframes, logarithmic in the zoom. Twins: ImageStack::ViewValuesAtTime in
  // src-gl/core/ImagestackKeyframes.cpp and tableViewAt in web/player/timeline.js, both in single
  // precision; tests/data/keyframe-views.txt holds all three to the same views.
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
