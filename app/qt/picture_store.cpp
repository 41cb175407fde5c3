#include "app/qt/picture_store.h"

#include <QImage>

// The resource file lives in a static library; referencing its initialiser keeps it linked.
static void InitPictureResources() { Q_INIT_RESOURCE(pictures); }

namespace corvane::app::qt {

PictureStore::PictureStore() { InitPictureResources(); }

QString PictureStore::ResourcePath(std::string_view name) {
  return QStringLiteral(":/pictures/") +
         QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())).toUpper() +
         QStringLiteral(".bmp");
}

QImage PictureStore::Original(std::string_view name) {
  InitPictureResources();
  return QImage(ResourcePath(name));
}

QPixmap PictureStore::Scaled(std::string_view name, QSize size) {
  const QString key = ResourcePath(name) + QStringLiteral("@%1x%2").arg(size.width()).arg(size.height());
  if (auto it = scaled_.constFind(key); it != scaled_.cend()) return *it;
  const QImage original = Original(name);
  if (original.isNull()) return {};
  QPixmap pixmap = QPixmap::fromImage(
      original.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
  scaled_.insert(key, pixmap);
  return pixmap;
}

}  // namespace corvane::app::qt
