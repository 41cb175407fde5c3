// The status line lblStaust: a label that is also the window's only button.
#pragma once

#include <QLabel>
#include <QMouseEvent>

namespace corvane::app::qt {

class StatusLabel : public QLabel {
  Q_OBJECT
 public:
  using QLabel::QLabel;

 Q_SIGNALS:
  void clicked();

 protected:
  // A click is press and release on the label; a disabled label receives neither, so it never
  // clicks, which is what keeps a second update run from starting.
  void mousePressEvent(QMouseEvent* event) override {
    pressed_ = event->button() == Qt::LeftButton;
    QLabel::mousePressEvent(event);
  }
  void mouseReleaseEvent(QMouseEvent* event) override {
    const bool click = pressed_ && event->button() == Qt::LeftButton && isEnabled() &&
                       rect().contains(event->position().toPoint());
    pressed_ = false;
    QLabel::mouseReleaseEvent(event);
    if (click) Q_EMIT clicked();
  }

 private:
  bool pressed_ = false;
};

}  // namespace corvane::app::qt
