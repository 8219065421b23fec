#pragma once
// The image list's list of pictures: a line per picture with a small thumbnail, its lines
// reordered by dragging them, and picture files or folders dropped from a file manager.

#include <QListWidget>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct Image;

class TImageListBox : public QListWidget {
 public:
  // The side of a line's thumbnail, in logical pixels.
  static constexpr int thumbnailSide = 32;
  // What a drag of lines carries: the pictures' ids and which list they come from.
  static const QString linesFormat;

  explicit TImageListBox(QWidget* parent);

  // Lines dragged within this list to `row` (the place before which they go; count(): the end),
  // in their order in the list.
  std::function<void(const std::vector<uint64_t>& ids, int row)> linesMoved;
  // Picture files dropped (a folder's pictures in their order), and the folders that held none.
  std::function<void(const QStringList& pictures, const QStringList& emptyFolders)> filesDropped;

  // The line of `image`: its thumbnail (a placeholder until the picture is checked), its name
  // (with `folderHint` after it when not empty: two pictures of that name are in the list) and
  // its tooltip, which names the folder.
  static void ShowEntry(QListWidgetItem* item, const Image& image, const QString& folderHint);

 protected:
  QStringList mimeTypes() const override;
  QMimeData* mimeData(const QList<QListWidgetItem*>& items) const override;
  Qt::DropActions supportedDropActions() const override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  bool OwnLines(const QMimeData* dragged, std::vector<uint64_t>* ids = nullptr) const;
  int DropRow(const QPoint& at) const;
};

// Colours a list line of `image` red when it did not load, or sets it in italics when the picture
// was found elsewhere; its tooltip gives the file, or where a moved picture was found.
void MarkEntry(QListWidgetItem* item, const Image& image);
// A file name as the user sees it (the bytes decoded as the file system encodes names).
QString DisplayName(const std::string& name);
// The name a list line shows for `image`: its file's, with "(found elsewhere)" after it for a
// picture that was not where the project says.
QString EntryName(const Image& image);
// For pictures of one name in the folders `directories`: the end of each folder that tells
// it apart from the others ("b" for /a/b beside /a/c), else the whole folder as written.
std::vector<QString> FolderHints(const std::vector<std::string>& directories);
// Whether the name is one of a picture kind the editor reads (JPEG, PNG, WebP), by its ending.
bool IsPictureFileName(const QString& file);
// The pictures of `folder` (not its subfolders), in natural name order: "2.png" before "10.png".
QStringList PicturesInFolder(const QString& folder);
