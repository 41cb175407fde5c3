#include "app/qt/qt_form_view.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFontInfo>
#include <QFontMetrics>
#include <QIcon>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QThread>
#include <QTimer>

#include <algorithm>

#include "app/form.h"
#include "app/qt/status_label.h"
#include "app/window_fit.h"

namespace corvane::app::qt {

namespace {

QString ToQString(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

void SetTextColour(QWidget* widget, const QColor& colour) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::Active, QPalette::WindowText, colour);
  palette.setColor(QPalette::Inactive, QPalette::WindowText, colour);
  palette.setColor(QPalette::Active, QPalette::ButtonText, colour);
  palette.setColor(QPalette::Inactive, QPalette::ButtonText, colour);
  // A disabled label draws in the desktop's grey-text colour (COLOR_GRAYTEXT of a stock Windows
  // desktop): plainly disabled, still readable.
  palette.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x6D, 0x6D, 0x6D));
  palette.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x6D, 0x6D, 0x6D));
  widget->setPalette(palette);
}

// Lets the window logic keep the window open when it is asked to close.
class CloseGate : public QObject {
 public:
  CloseGate(const std::function<bool()>& mayClose, QObject* parent)
      : QObject(parent), mayClose_(mayClose) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Close && mayClose_ && !mayClose_()) {
      event->ignore();
      return true;
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  const std::function<bool()>& mayClose_;
};

}  // namespace

namespace {

QFont FaceFont(const QString& face, const app::FontSpec& wanted, int pixels) {
  QFont font;
  font.setFamilies({face, QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans"),
                    QStringLiteral("Sans Serif")});
  font.setPixelSize(pixels);
  font.setBold(wanted.bold);
  return font;
}

bool Installed(const QString& face, const app::FontSpec& wanted) {
  return QFontInfo(FaceFont(face, wanted, wanted.heightPx)).family().compare(face, Qt::CaseInsensitive) == 0;
}

// Whether the label's widest line fits with a twentieth of its width (at least 4 px) to spare, so
// that labels whose rectangles touch never run together.
bool Fits(const QLabel* label, const QFont& font) {
  const QFontMetrics metrics(font);
  int widest = 0;
  for (const QString& line : label->text().split(QLatin1Char('\n'))) {
    widest = std::max(widest, metrics.horizontalAdvance(line));
  }
  return widest <= label->width() - std::max(4, label->width() / 20);
}

}  // namespace

QStringList SubstituteFaces(const app::FontSpec& wanted) {
  return {ToQString(wanted.face), QStringLiteral("Liberation Sans"),
          QStringLiteral("Liberation Sans Narrow")};
}

void FitRowOfLabels(const std::vector<std::pair<QLabel*, app::FontSpec>>& row) {
  if (row.empty()) return;
  const auto apply = [&row](const QString& face, int shrink) {
    bool all = true;
    for (const auto& [label, wanted] : row) {
      const int pixels = std::max(kSmallestFittedPixels, wanted.heightPx - shrink);
      all = all && Fits(label, FaceFont(face, wanted, pixels));
    }
    return all;
  };
  QString chosen;
  for (const QString& face : SubstituteFaces(row.front().second)) {
    if (!Installed(face, row.front().second)) continue;
    chosen = face;
    if (apply(face, 0)) break;
  }
  if (chosen.isEmpty()) chosen = QStringLiteral("Sans Serif");  // none installed: the desktop's
  // The last resort: the same number of pixels off every label of the row.
  int shrink = 0;
  int tallest = 0;
  for (const auto& [label, wanted] : row) tallest = std::max(tallest, wanted.heightPx);
  while (!apply(chosen, shrink) && tallest - shrink > kSmallestFittedPixels) ++shrink;
  for (const auto& [label, wanted] : row) {
    label->setFont(FaceFont(chosen, wanted, std::max(kSmallestFittedPixels, wanted.heightPx - shrink)));
  }
}

void FitTextToWidth(QLabel* label, const app::FontSpec& wanted) {
  FitRowOfLabels({{label, wanted}});
}

QColor ToQColor(const app::Colour& colour) {
  switch (colour.system) {
    case app::SystemColour::BtnHighlight: return QColor(0xFF, 0xFF, 0xFF);
    case app::SystemColour::MenuHilight: return QColor(0x33, 0x99, 0xFF);
    case app::SystemColour::InactiveCaptionText: return QColor(0x43, 0x4E, 0x54);
    case app::SystemColour::WindowText: return QColor(0x00, 0x00, 0x00);
    case app::SystemColour::None: break;
  }
  return QColor(colour.red, colour.green, colour.blue);
}

QFont ToQFont(const app::FontSpec& wanted) {
  QFont font;
  // The stored faces are Windows fonts; the next ones are what a Debian desktop has that looks alike.
  font.setFamilies({ToQString(wanted.face), QStringLiteral("Liberation Sans"),
                    QStringLiteral("DejaVu Sans"), QStringLiteral("Sans Serif")});
  font.setPixelSize(wanted.heightPx);
  font.setBold(wanted.bold);
  return font;
}

QtFormView::QtFormView() : window_(std::make_unique<QWidget>()) {
  const app::WindowLayout& layout = app::kWindowLayout;
  window_->setObjectName(QStringLiteral("Form1"));
  window_->setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  window_->setFixedSize(layout.clientWidth, layout.clientHeight);
  window_->setWindowTitle(ToQString(layout.storedCaption));
  QPalette palette = window_->palette();
  palette.setColor(QPalette::Window, ToQColor(layout.background));
  window_->setPalette(palette);
  window_->setAutoFillBackground(true);
  window_->setFont(ToQFont(layout.defaultFont));
  window_->setWindowIcon(QIcon(QStringLiteral(":/pictures/ICON.png")));
  window_->installEventFilter(new CloseGate(onCloseRequested, window_.get()));
  InstallStatusLabelAccessibility();
  BuildControls();
}

QtFormView::~QtFormView() {
  for (auto& [id, timer] : timers_) timer->stop();
}

void QtFormView::BuildControls() {
  using app::ControlKind;
  // Creation order is the table's order; a later sibling paints over an earlier one, which is what
  // puts Image3 above Image2.
  for (const app::ControlLayout& row : app::kControlLayout) {
    QWidget* widget = nullptr;
    switch (row.kind) {
      case ControlKind::Picture: {
        auto* picture = new QLabel(window_.get());
        picture->setScaledContents(true);  // a picture always fills its rectangle
        widget = picture;
        break;
      }
      case ControlKind::Label: {
        QLabel* label = nullptr;
        if (row.id == app::ControlId::lblStaust) {
          status_ = new StatusLabel(window_.get());
          QObject::connect(status_, &StatusLabel::clicked, [this] {
            if (onStatusClicked) onStatusClicked();
          });
          label = status_;
        } else {
          label = new QLabel(window_.get());
        }
        label->setTextFormat(Qt::PlainText);
        label->setText(ToQString(row.text));
        label->setWordWrap(false);
        if (row.align == app::TextAlign::Centred) label->setAlignment(Qt::AlignCenter);
        widget = label;
        break;
      }
      case ControlKind::DropDownList: {
        deviceList_ = new QComboBox(window_.get());
        deviceList_->setEditable(false);
        deviceList_->setPlaceholderText(ToQString(row.text));
        widget = deviceList_;
        break;
      }
      case ControlKind::PushButton:
        widget = new QPushButton(ToQString(row.text), window_.get());
        break;
      case ControlKind::ProgressBar:
        progress_ = new QProgressBar(window_.get());
        progress_->setRange(row.rangeMin, row.rangeMax);
        progress_->setValue(row.rangeMin);
        progress_->setTextVisible(false);  // a plain continuous bar
        widget = progress_;
        break;
    }
    widget->setObjectName(ToQString(row.name));
    SetTextColour(widget, ToQColor(row.font.colour));
    widget->setFocusPolicy(row.tabOrder >= 0 ? Qt::TabFocus : Qt::NoFocus);
    if (row.cursor == app::CursorKind::HandPoint) widget->setCursor(Qt::PointingHandCursor);
    widget->setVisible(row.shown);
    controls_[static_cast<std::size_t>(row.id)] = widget;
  }
  ApplyScale(1.0);
  // Tab order follows the table's tab-order column.
  QWidget* previous = nullptr;
  for (int order = 0; order < static_cast<int>(app::kControlCount); ++order) {
    for (const app::ControlLayout& row : app::kControlLayout) {
      if (row.tabOrder != order) continue;
      QWidget* current = Control(row.id);
      if (previous != nullptr) QWidget::setTabOrder(previous, current);
      previous = current;
    }
  }
}

void QtFormView::ApplyScale(double scale) {
  scale_ = scale;
  const app::WindowLayout& layout = app::kWindowLayout;
  window_->setFixedSize(app::ScaleLength(layout.clientWidth, scale), app::ScaleLength(layout.clientHeight, scale));
  window_->setFont(ToQFont(app::ScaledFont(layout.defaultFont, scale)));
  // Labels side by side share their top edge; each such row is given its fonts together.
  std::map<int, std::vector<std::pair<QLabel*, app::FontSpec>>> labelRows;
  for (const app::ControlLayout& row : app::kControlLayout) {
    QWidget* widget = Control(row.id);
    const app::PixelRect rect = app::ScaledControlRect(row.id, scale);
    widget->setGeometry(rect.left, rect.top, rect.width, rect.height);
    const app::FontSpec font = app::ScaledFont(row.font, scale);
    widget->setFont(ToQFont(font));
    if (row.kind == app::ControlKind::Label) labelRows[row.top].emplace_back(static_cast<QLabel*>(widget), font);
  }
  for (const auto& [top, labels] : labelRows) FitRowOfLabels(labels);
  // The pictures again, stretched to their new rectangles.
  for (const app::ControlLayout& row : app::kControlLayout) {
    const std::string name = pictureNames_[static_cast<std::size_t>(row.id)];
    if (row.kind == app::ControlKind::Picture && !name.empty()) ShowPicture(row.id, name);
  }
}

void QtFormView::AssertWindowThread() const {
  // Widgets belong to the window thread; the animation thread must hand its frames over, never
  // call in here itself.
  Q_ASSERT_X(QThread::currentThread() == window_->thread(), "QtFormView",
             "a widget was touched from a thread other than the window thread");
}

QLabel* QtFormView::Picture(app::ControlId id) const {
  return qobject_cast<QLabel*>(Control(id));
}

std::string QtFormView::PictureIn(app::ControlId id) const {
  return pictureNames_[static_cast<std::size_t>(id)];
}

bool QtFormView::TimerActive(std::uint32_t id) const {
  auto it = timers_.find(id);
  return it != timers_.end() && it->second->isActive();
}

void QtFormView::CentreOnDesktop(QScreen* screen) {
  if (screen == nullptr) screen = window_->screen() != nullptr ? window_->screen() : QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  window_->winId();  // the platform window, which knows the frame where the platform draws one
  const QRect window = window_->geometry();
  const QRect outer = window_->frameGeometry();
  QMargins frame(window.left() - outer.left(), window.top() - outer.top(), outer.right() - window.right(),
                 outer.bottom() - window.bottom());
  // An X11 window manager tells its frame only once the window is on screen; until then a common
  // one is assumed, so the title bar and the status line are not pushed off a small screen.
  if (frame.isNull() && QGuiApplication::platformName() == QLatin1String("xcb")) {
    frame = QMargins(kAssumedBorderWidth, kAssumedTitleBarHeight, kAssumedBorderWidth, kAssumedBorderWidth);
  }
  FitTo(screen->availableGeometry(), frame);
}

void QtFormView::FitTo(const QRect& workArea, const QMargins& frame) {
  // Qt's pixels are already the desktop's scaled ones, so the layout's 96 dpi is what they stand for.
  const app::WindowFit fit =
      app::FitWindow(app::PixelRect{workArea.x(), workArea.y(), workArea.width(), workArea.height()},
                     app::kWindowLayout.designDpi,
                     app::FrameExtents{frame.left(), frame.top(), frame.right(), frame.bottom()});
  if (fit.scale != scale_) ApplyScale(fit.scale);
  // A top-level widget's position is its frame's.
  window_->move(fit.window.left, fit.window.top);
}

void QtFormView::ShowPicture(app::ControlId image, std::string_view name) {
  AssertWindowThread();
  QLabel* picture = Picture(image);
  if (picture == nullptr) return;
  const QPixmap pixmap = pictures_.Scaled(name, picture->size());
  if (pixmap.isNull()) {
    // A picture the program does not carry is a build fault; show nothing rather than stale art.
    qWarning("missing picture %.*s", static_cast<int>(name.size()), name.data());
  }
  picture->setPixmap(pixmap);
  const std::string canonical = QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())).toUpper().toStdString();
  pictureNames_[static_cast<std::size_t>(image)] = canonical;
  // Setting a name announces it; the animation's frames all have the same one.
  const QString spoken = ToQString(app::PictureAccessibleName(canonical));
  if (picture->accessibleName() != spoken) picture->setAccessibleName(spoken);
}

void QtFormView::SetVisible(app::ControlId control, bool visible) {
  AssertWindowThread();
  Control(control)->setVisible(visible);
}

void QtFormView::SetStatusText(std::string_view text) {
  AssertWindowThread();
  // The status line is a button named by its text and has no fixed accessible name, so the label
  // announces every new text to assistive technology itself (NameChanged).
  status_->setText(ToQString(text));
  FitTextToWidth(status_, app::ScaledFont(app::LayoutOf(app::ControlId::lblStaust).font, scale_));
}

void QtFormView::SetStatusEnabled(bool enabled) {
  status_->setEnabled(enabled);
  // An offer takes the keyboard focus, so Enter alone starts the update; while the window is
  // hidden Qt keeps it for the window's first activation.
  if (enabled) status_->setFocus(Qt::OtherFocusReason);
}

void QtFormView::ClearDeviceList() { deviceList_->clear(); }

void QtFormView::AddDeviceItem(std::string_view text) { deviceList_->addItem(ToQString(text)); }

void QtFormView::SelectDeviceItem(int index) { deviceList_->setCurrentIndex(index); }

int QtFormView::SelectedDeviceIndex() const { return deviceList_->currentIndex(); }

void QtFormView::SetDeviceListEnabled(bool enabled) { deviceList_->setEnabled(enabled); }

void QtFormView::SetProgress(int percent) {
  AssertWindowThread();
  progress_->setValue(percent);
}

void QtFormView::ProcessPendingMessages() {
  AssertWindowThread();
  QCoreApplication::processEvents();
}

void QtFormView::ShowBox(std::string_view text, std::string_view caption, bool warning) {
  if (boxHook) {
    boxHook(text, caption);
    return;
  }
  // No owner, as the window logic asks: the box is modal for the application.
  if (warning) {
    QMessageBox::warning(nullptr, ToQString(caption), ToQString(text));
  } else {
    QMessageBox::information(nullptr, ToQString(caption), ToQString(text));
  }
}

void QtFormView::ShowWarningBox(std::string_view text, std::string_view caption) {
  ShowBox(text, caption, true);
}

void QtFormView::ShowAccessProblem(std::string_view text, std::string_view caption) {
  ShowBox(text, caption, true);
}

void QtFormView::StartTimer(std::uint32_t id, std::uint32_t ms) {
  AssertWindowThread();
  QTimer*& timer = timers_[id];
  if (timer == nullptr) {
    timer = new QTimer(window_.get());
    QObject::connect(timer, &QTimer::timeout, [this, id] {
      if (onTimer) onTimer(id);
    });
  }
  timer->start(static_cast<int>(ms));
}

void QtFormView::KillTimer(std::uint32_t id) {
  if (auto it = timers_.find(id); it != timers_.end()) it->second->stop();
}

void QtFormView::SetCaption(std::string_view caption) { window_->setWindowTitle(ToQString(caption)); }

void QtFormView::RegisterDeviceNotifications() {
  if (onRegisterDeviceNotifications) onRegisterDeviceNotifications();
}

void QtFormView::CloseWindow() { window_->close(); }

}  // namespace corvane::app::qt
