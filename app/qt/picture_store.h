// The carried pictures, loaded from the program's own resources and scaled once per control size.
#pragma once

#include <QHash>
#include <QPixmap>
#include <QSize>
#include <QString>

#include <string_view>

namespace corvane::app::qt {

class PictureStore {
 public:
  PictureStore();

  // The picture `name` (matched without regard to case: "Good" finds "GOOD") stretched to `size`.
  // A null pixmap when the program carries no such picture. Window thread only (QPixmap).
  QPixmap Scaled(std::string_view name, QSize size);

  // The picture as carried (no scaling); a null image when it is missing. Any thread.
  static QImage Original(std::string_view name);
  static QString ResourcePath(std::string_view name);

 private:
  // Scaling 2500 x 1004 or 512 x 512 down on every repaint or animation frame would cost far more
  // than keeping the few scaled results.
  QHash<QString, QPixmap> scaled_;
};

}  // namespace corvane::app::qt
