// The status line lblStaust: a label that is also the window's only button. The mouse clicks it,
// and while it is enabled it takes the keyboard focus, where Enter or Space does what a click does;
// assistive technology sees a button whose name is the status text.
#pragma once

#include <QLabel>
#include <QMouseEvent>

namespace corvane::app::qt {

class StatusLabel : public QLabel {
  Q_OBJECT
 public:
  explicit StatusLabel(QWidget* parent = nullptr);

  // Where the keyboard focus is drawn: around the text, a little wider.
  QRect FocusFrame() const;

 Q_SIGNALS:
  void clicked();

 protected:
  // A click is press and release on the label; a disabled label receives neither, so it never
  // clicks, which is what keeps a second update run from starting.
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  // Enter, Return or Space pressed on the focused label. A key held down from before (auto-repeat)
  // does not count: an update must not start by itself from a key the user was already holding.
  void keyPressEvent(QKeyEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  bool pressed_ = false;
};

// Makes Qt's accessibility give every StatusLabel the button interface (once per process).
void InstallStatusLabelAccessibility();

}  // namespace corvane::app::qt
