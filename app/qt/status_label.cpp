#include "app/qt/status_label.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QMetaObject>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>

namespace corvane::app::qt {

StatusLabel::StatusLabel(QWidget* parent) : QLabel(parent) {}

QRect StatusLabel::FocusFrame() const {
  const QRect text = fontMetrics().boundingRect(rect(), static_cast<int>(alignment()), this->text());
  return text.adjusted(-8, -3, 8, 3).intersected(rect().adjusted(1, 1, -1, -1));
}

void StatusLabel::mousePressEvent(QMouseEvent* event) {
  pressed_ = event->button() == Qt::LeftButton;
  QLabel::mousePressEvent(event);
}

void StatusLabel::mouseReleaseEvent(QMouseEvent* event) {
  const bool click = pressed_ && event->button() == Qt::LeftButton && isEnabled() &&
                     rect().contains(event->position().toPoint());
  pressed_ = false;
  QLabel::mouseReleaseEvent(event);
  if (click) Q_EMIT clicked();
}

void StatusLabel::keyPressEvent(QKeyEvent* event) {
  const int key = event->key();
  if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) {
    event->accept();
    if (!event->isAutoRepeat() && isEnabled()) Q_EMIT clicked();
    return;
  }
  QLabel::keyPressEvent(event);
}

void StatusLabel::paintEvent(QPaintEvent* event) {
  QLabel::paintEvent(event);
  if (!hasFocus()) return;
  QPainter painter(this);
  QStyleOptionFocusRect option;
  option.initFrom(this);
  option.rect = FocusFrame();
  option.backgroundColor = palette().color(QPalette::Window);
  style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
}

void StatusLabel::focusInEvent(QFocusEvent* event) {
  QLabel::focusInEvent(event);
  update();
}

void StatusLabel::focusOutEvent(QFocusEvent* event) {
  QLabel::focusOutEvent(event);
  update();
}

namespace {

// A push button to assistive technology: named by the status text, unavailable while disabled,
// pressed through its press action.
class StatusLabelAccessible : public QAccessibleWidget {
 public:
  explicit StatusLabelAccessible(StatusLabel* label) : QAccessibleWidget(label, QAccessible::Button) {}

  QString text(QAccessible::Text kind) const override {
    if (kind == QAccessible::Name) return static_cast<const QLabel*>(widget())->text();
    return QAccessibleWidget::text(kind);
  }

  // A disabled status line takes no focus, whatever its focus policy says.
  QAccessible::State state() const override {
    QAccessible::State state = QAccessibleWidget::state();
    if (!widget()->isEnabled()) state.focusable = false;
    return state;
  }

  QStringList actionNames() const override {
    QStringList names = QAccessibleWidget::actionNames();
    if (widget()->isEnabled()) names.prepend(pressAction());
    return names;
  }

  void doAction(const QString& action) override {
    if (action != pressAction()) {
      QAccessibleWidget::doAction(action);
      return;
    }
    if (!widget()->isEnabled()) return;
    // The update runs from the event loop, not inside the assistive technology's call.
    auto* label = static_cast<StatusLabel*>(widget());
    QMetaObject::invokeMethod(
        label, [label] { if (label->isEnabled()) Q_EMIT label->clicked(); }, Qt::QueuedConnection);
  }

  QStringList keyBindingsForAction(const QString& action) const override {
    if (action == pressAction()) return {QStringLiteral("Return"), QStringLiteral("Space")};
    return QAccessibleWidget::keyBindingsForAction(action);
  }
};

QAccessibleInterface* StatusLabelFactory(const QString& className, QObject* object) {
  if (className == QLatin1String(StatusLabel::staticMetaObject.className())) {
    if (auto* label = qobject_cast<StatusLabel*>(object)) return new StatusLabelAccessible(label);
  }
  return nullptr;
}

}  // namespace

void InstallStatusLabelAccessibility() {
  static const bool installed = [] {
    QAccessible::installFactory(StatusLabelFactory);
    return true;
  }();
  (void)installed;
}

}  // namespace corvane::app::qt
