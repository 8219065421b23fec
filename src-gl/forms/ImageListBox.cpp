#include "ImageListBox.h"

#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QMimeData>
#include <QPainter>
#include <QUrl>
#include <algorithm>

#include "image.h"

const QString TImageListBox::linesFormat = QStringLiteral("application/x-tunnelvista-image-list-lines");

namespace {

const int thumbnailKeyRole = Qt::UserRole + 1;  // which thumbnail the line's icon was made from
const char* const pictureEndings[] = {".jpg", ".jpeg", ".jpe", ".jfif", ".png", ".webp"};

// The picture's thumbnail reduced into a square of the line's icon size, centred, so that the
// names of wide and tall pictures start at the same place; a grey frame until it is checked.
QIcon Thumbnail(const Image& image) {
  const int side = TImageListBox::thumbnailSide;
  QPixmap icon(side, side);
  icon.fill(Qt::transparent);
  QPainter painter(&icon);
  if (image.bitmap.isNull()) {
    painter.setPen(QColor(150, 150, 150));
    painter.setBrush(QColor(225, 225, 225));
    painter.drawRect(QRect(2, 6, side - 5, side - 13));
  } else {
    const QImage small = image.bitmap.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    painter.drawImage(QPoint((side - small.width()) / 2, (side - small.height()) / 2), small);
  }
  return QIcon(icon);
}

}  // namespace

TImageListBox::TImageListBox(QWidget* parent) : QListWidget(parent) {
  setIconSize(QSize(thumbnailSide, thumbnailSide));
  setSelectionMode(QAbstractItemView::SingleSelection);
  setDragEnabled(true);
  setAcceptDrops(true);
  setDropIndicatorShown(true);
  setDragDropMode(QAbstractItemView::DragDrop);
  setDefaultDropAction(Qt::MoveAction);
  setTextElideMode(Qt::ElideMiddle);
}

QString DisplayName(const std::string& name) { return QFile::decodeName(QByteArray::fromStdString(name)); }

QString EntryName(const Image& image) {
  const QString name = DisplayName(image.baseName);
  return image.foundElsewhere ? name + QStringLiteral(" (found elsewhere)") : name;
}

// A picture that did not load is shown in red; one found away from its stored place in italics,
// saying where.
void MarkEntry(QListWidgetItem* item, const Image& image) {
  const bool failed = !image.loaded && !image.fileName.empty() && image.width > 0;
  item->setForeground(failed ? QBrush(Qt::red) : QBrush());
  QFont font = item->font();
  font.setItalic(image.foundElsewhere);
  item->setFont(font);
  if (failed)
    item->setToolTip(QStringLiteral("This picture could not be loaded: ") + DisplayName(image.FullPath()));
  else if (image.foundElsewhere)
    item->setToolTip(QString::fromUtf8(image.FoundNote().c_str()));
  else
    item->setToolTip(DisplayName(image.FullPath()));
}

void TImageListBox::ShowEntry(QListWidgetItem* item, const Image& image, const QString& folderHint) {
  MarkEntry(item, image);
  const QString name = EntryName(image);
  item->setText(folderHint.isEmpty() ? name : name + QStringLiteral(" \u2014 ") + folderHint);
  // The lines are shown again after every change of the list: a thumbnail is made only when its
  // picture's is new.
  const qint64 shown = image.bitmap.isNull() ? 0 : image.bitmap.cacheKey();
  if (item->icon().isNull() || item->data(thumbnailKeyRole).toLongLong() != shown) {
    item->setIcon(Thumbnail(image));
    item->setData(thumbnailKeyRole, shown);
  }
  // Every line says where its file is; the note of a failed or moved picture comes first.
  const QString folder = QStringLiteral("Folder: ") + DisplayName(image.directory);
  const QString tip = item->toolTip();
  item->setToolTip(tip == DisplayName(image.FullPath()) ? name + QLatin1Char('\n') + folder
                                                        : tip + QLatin1Char('\n') + folder);
}

QStringList TImageListBox::mimeTypes() const { return {linesFormat, QStringLiteral("text/uri-list")}; }

// The lines' pictures by id, with the process and the list they come from: a drag that ends in
// another list or another run of the program moves nothing.
QMimeData* TImageListBox::mimeData(const QList<QListWidgetItem*>& items) const {
  QByteArray text = QByteArray::number(QCoreApplication::applicationPid()) + ' ' +
                    QByteArray::number(reinterpret_cast<quintptr>(this));
  std::vector<std::pair<int, qulonglong>> lines;
  for (const QListWidgetItem* item : items) lines.emplace_back(row(item), item->data(Qt::UserRole).toULongLong());
  std::sort(lines.begin(), lines.end());
  for (const auto& line : lines) text += ' ' + QByteArray::number(line.second);
  auto* carried = new QMimeData;
  carried->setData(linesFormat, text);
  return carried;
}

Qt::DropActions TImageListBox::supportedDropActions() const { return Qt::CopyAction | Qt::MoveAction; }

bool TImageListBox::OwnLines(const QMimeData* dragged, std::vector<uint64_t>* ids) const {
  if (!dragged || !dragged->hasFormat(linesFormat)) return false;
  const QList<QByteArray> words = dragged->data(linesFormat).split(' ');
  bool pidOk = false, listOk = false;
  if (words.size() < 3 || words[0].toLongLong(&pidOk) != QCoreApplication::applicationPid() || !pidOk ||
      words[1].toULongLong(&listOk) != reinterpret_cast<quintptr>(this) || !listOk)
    return false;
  std::vector<uint64_t> found;
  for (qsizetype i = 2; i < words.size(); ++i) {
    bool ok = false;
    found.push_back(words[i].toULongLong(&ok));
    if (!ok) return false;
  }
  if (ids) *ids = std::move(found);
  return true;
}

namespace {

// The local files and folders a drag from a file manager carries that the list takes.
bool CarriesPictures(const QMimeData* data) {
  if (!data || !data->hasUrls()) return false;
  for (const QUrl& url : data->urls()) {
    const QString file = url.toLocalFile();
    if (!file.isEmpty() && (IsPictureFileName(file) || QFileInfo(file).isDir())) return true;
  }
  return false;
}

}  // namespace

void TImageListBox::dragEnterEvent(QDragEnterEvent* event) {
  const bool own = OwnLines(event->mimeData());
  if (!own && !CarriesPictures(event->mimeData())) {
    event->ignore();
    return;
  }
  QListWidget::dragEnterEvent(event);  // the drop indicator and scrolling near the edges
  event->setDropAction(own ? Qt::MoveAction : Qt::CopyAction);
  event->accept();
}

void TImageListBox::dragMoveEvent(QDragMoveEvent* event) {
  const bool own = OwnLines(event->mimeData());
  if (!own && !CarriesPictures(event->mimeData())) {
    event->ignore();
    return;
  }
  QListWidget::dragMoveEvent(event);
  event->setDropAction(own ? Qt::MoveAction : Qt::CopyAction);
  event->accept();
}

int TImageListBox::DropRow(const QPoint& at) const {
  const QListWidgetItem* over = itemAt(at);
  if (!over) return count();
  return row(over) + (at.y() >= visualItemRect(over).center().y() ? 1 : 0);
}

void TImageListBox::dropEvent(QDropEvent* event) {
  stopAutoScroll();
  setState(QAbstractItemView::NoState);
  viewport()->update();
  std::vector<uint64_t> ids;
  if (OwnLines(event->mimeData(), &ids)) {
    // The list moves the lines itself: a copy for the drag, so that its source removes nothing.
    event->setDropAction(Qt::CopyAction);
    event->accept();
    if (linesMoved) linesMoved(ids, DropRow(event->position().toPoint()));
    return;
  }
  if (!CarriesPictures(event->mimeData())) {
    event->ignore();
    return;
  }
  event->setDropAction(Qt::CopyAction);
  event->accept();
  QStringList pictures, emptyFolders;
  for (const QUrl& url : event->mimeData()->urls()) {
    const QString file = url.toLocalFile();
    if (file.isEmpty()) continue;
    if (QFileInfo(file).isDir()) {
      const QStringList inside = PicturesInFolder(file);
      if (inside.isEmpty()) emptyFolders.push_back(file);
      pictures += inside;
    } else if (IsPictureFileName(file)) {
      pictures.push_back(file);
    }
  }
  if (filesDropped) filesDropped(pictures, emptyFolders);
}

bool IsPictureFileName(const QString& file) {
  for (const char* ending : pictureEndings)
    if (file.endsWith(QLatin1String(ending), Qt::CaseInsensitive)) return true;
  return false;
}

namespace {

// Names compared as people read them: runs of digits as numbers ("2" before "10", "007" as 7),
// the rest without regard to case. The collator's numeric mode needs a locale with collation
// rules; this does not depend on the user's.
int NaturalCompare(const QString& a, const QString& b) {
  qsizetype i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (a[i].isDigit() && b[j].isDigit()) {
      qsizetype ei = i, ej = j;
      while (ei < a.size() && a[ei].isDigit()) ++ei;
      while (ej < b.size() && b[ej].isDigit()) ++ej;
      QStringView x = QStringView(a).mid(i, ei - i), y = QStringView(b).mid(j, ej - j);
      while (x.size() > 1 && x[0] == QLatin1Char('0')) x = x.mid(1);
      while (y.size() > 1 && y[0] == QLatin1Char('0')) y = y.mid(1);
      if (x.size() != y.size()) return x.size() < y.size() ? -1 : 1;
      if (const int order = x.compare(y)) return order;
      i = ei;
      j = ej;
      continue;
    }
    if (const int order = QStringView(a).mid(i, 1).compare(QStringView(b).mid(j, 1), Qt::CaseInsensitive)) return order;
    ++i;
    ++j;
  }
  if (i < a.size() || j < b.size()) return i < a.size() ? 1 : -1;
  return a.compare(b);  // equal as read: a fixed order all the same
}

}  // namespace

QStringList PicturesInFolder(const QString& folder) {
  QStringList patterns;
  for (const char* ending : pictureEndings) patterns.push_back(QLatin1Char('*') + QLatin1String(ending));
  const QDir dir(folder);
  QStringList names = dir.entryList(patterns, QDir::Files | QDir::Readable, QDir::NoSort);
  std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) { return NaturalCompare(a, b) < 0; });
  QStringList pictures;
  for (const QString& name : names) pictures.push_back(dir.filePath(name));
  return pictures;
}

std::vector<QString> FolderHints(const std::vector<std::string>& directories) {
  std::vector<QStringList> parts;
  for (const std::string& directory : directories) {
    QString folder = DisplayName(directory);
    folder.replace(QLatin1Char('\\'), QLatin1Char('/'));
    parts.push_back(folder.split(QLatin1Char('/'), Qt::SkipEmptyParts));
  }
  auto tail = [&parts](size_t i, qsizetype depth) {
    return parts[i].mid(std::max<qsizetype>(0, parts[i].size() - depth));
  };
  std::vector<QString> hints(directories.size());
  for (size_t i = 0; i < parts.size(); ++i) {
    // The fewest last folders that no other picture's folder ends with.
    qsizetype depth = 1;
    for (; depth < parts[i].size(); ++depth) {
      bool unique = true;
      for (size_t j = 0; j < parts.size() && unique; ++j) unique = j == i || tail(j, depth) != tail(i, depth);
      if (unique) break;
    }
    hints[i] = depth >= parts[i].size() ? DisplayName(directories[i]) : tail(i, depth).join(QLatin1Char('/'));
  }
  return hints;
}
