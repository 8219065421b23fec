// The drawing component with its play bar, shared by the applet and the window

import java.awt.Canvas;
import java.awt.Color;
import java.awt.Font;
import java.awt.FontMetrics;
import java.awt.Graphics;
import java.awt.Graphics2D;
import java.awt.RenderingHints;
import java.awt.event.ActionEvent;
import java.awt.event.ActionListener;
import java.awt.event.KeyAdapter;
import java.awt.event.KeyEvent;
import java.awt.event.MouseAdapter;
import java.awt.event.MouseEvent;
import java.awt.image.BufferedImage;
import java.util.ArrayList;
import java.util.List;
import javax.swing.Timer;

final class Player extends Canvas implements ActionListener {
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
  private double duration = kx.DEFAULT_DURATION;
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
