// Where the data file and the pictures come from

import java.io.ByteArrayOutputStream;
import java.io.File;
import java.io.FileNotFoundException;
import java.io.IOException;
import java.io.InputStream;
import java.net.URI;
import java.net.URISyntaxException;
import java.net.URL;
import java.net.URLConnection;
import java.nio.file.NoSuchFileException;

final class Source {
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
      throw new BadZoomException("The zoom data file " + name + " could not be read: " + kx.reason(e));
    }
  }
}
