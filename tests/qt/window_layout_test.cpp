// The built window against the layout table: every control, where it is, what it is, whether it
// shows, and the window's own fixed frame.
#include <QComboBox>
#include <QGuiApplication>
#include <QFontInfo>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include <map>
#include <set>

#include <gtest/gtest.h>

#include "app/control_layout.h"
#include "app/qt/qt_form_view.h"
#include "tests/qt/sim_window.h"

namespace corvane::app::qt::testing {
namespace {

using namespace ::corvane::device;

using app::ControlId;
using app::ControlKind;

bool IsKind(QWidget* widget, ControlKind kind) {
  switch (kind) {
    case ControlKind::Picture:
      return qobject_cast<QLabel*>(widget) != nullptr && static_cast<QLabel*>(widget)->hasScaledContents();
    case ControlKind::Label:
      return qobject_cast<QLabel*>(widget) != nullptr && !static_cast<QLabel*>(widget)->hasScaledContents();
    case ControlKind::DropDownList: return qobject_cast<QComboBox*>(widget) != nullptr;
    case ControlKind::PushButton: return qobject_cast<QPushButton*>(widget) != nullptr;
    case ControlKind::ProgressBar: return qobject_cast<QProgressBar*>(widget) != nullptr;
  }
  return false;
}

TEST(QtWindowLayout, EveryControlOfTheTableIsBuiltAsTheTableSays) {
  QtFormView view;
  QWidget* window = view.Window();
  std::map<int, std::set<QString>> rowFaces;  // label rows by their top edge
  for (const app::ControlLayout& row : app::kControlLayout) {
    SCOPED_TRACE(std::string(row.name));
    QWidget* widget = window->findChild<QWidget*>(Q(row.name), Qt::FindDirectChildrenOnly);
    ASSERT_NE(widget, nullptr);
    EXPECT_EQ(widget, view.Control(row.id));
    EXPECT_EQ(widget->geometry(), QRect(row.left, row.top, row.width, row.height));
    EXPECT_EQ(widget->isHidden(), !row.shown);
    EXPECT_TRUE(IsKind(widget, row.kind));
    EXPECT_EQ(widget->cursor().shape(),
              row.cursor == app::CursorKind::HandPoint ? Qt::PointingHandCursor : Qt::ArrowCursor);
    if (auto* button = qobject_cast<QPushButton*>(widget)) {
      EXPECT_EQ(button->text(), Q(row.text));
    }
    if (auto* list = qobject_cast<QComboBox*>(widget)) {
      EXPECT_EQ(list->placeholderText(), Q(row.text));
    }
    if (row.kind == ControlKind::Label) {
      auto* label = static_cast<QLabel*>(widget);
      EXPECT_EQ(label->text(), Q(row.text));
      if (row.align == app::TextAlign::Centred) {
        EXPECT_EQ(label->alignment(), Qt::AlignCenter);
      }
      EXPECT_EQ(label->font().bold(), row.font.bold);
      // The substitute faces (fonts-liberation) fit every fixed text at the table's height.
      EXPECT_EQ(label->font().pixelSize(), row.font.heightPx);
      rowFaces[row.top].insert(QFontInfo(label->font()).family());
      // The text of a fixed label is never cut off at its edges.
      EXPECT_LE(QFontMetrics(label->font()).horizontalAdvance(label->text()), row.width);
    }
    if (auto* bar = qobject_cast<QProgressBar*>(widget)) {
      EXPECT_EQ(bar->minimum(), row.rangeMin);
      EXPECT_EQ(bar->maximum(), row.rangeMax);
    }
  }
  // Labels side by side are drawn in one face.
  for (const auto& [top, faces] : rowFaces) EXPECT_EQ(faces.size(), 1u) << "row at " << top;
}

TEST(QtWindowLayout, ControlsStackInCreationOrderSoTheResultPictureCoversTheAnimation) {
  QtFormView view;
  const QObjectList children = view.Window()->children();
  int previous = -1;
  for (const app::ControlLayout& row : app::kControlLayout) {
    const int index = static_cast<int>(children.indexOf(view.Control(row.id)));
    EXPECT_GT(index, previous) << row.name;
    previous = index;
  }
}

TEST(QtWindowLayout, WindowHasAFixedClientAreaNoMaximizeAndStartsWithTheStoredCaption) {
  QtFormView view;
  QWidget* window = view.Window();
  EXPECT_EQ(window->size(), QSize(app::kWindowLayout.clientWidth, app::kWindowLayout.clientHeight));
  EXPECT_EQ(window->minimumSize(), window->maximumSize());
  const Qt::WindowFlags flags = window->windowFlags();
  EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
  EXPECT_TRUE(flags.testFlag(Qt::WindowMinimizeButtonHint));
  EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
  EXPECT_EQ(window->windowTitle(), Q(app::kStoredCaption));
  EXPECT_EQ(window->palette().color(QPalette::Window), QColor(Qt::white));
}

TEST(QtWindowLayout, WindowOpensCentredOnItsScreen) {
  QtFormView view;
  view.CentreOnDesktop();
  const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
  const QPoint offset = view.Window()->frameGeometry().center() - available.center();
  EXPECT_LE(offset.manhattanLength(), 2);
}

TEST(QtWindowLayout, StatusTextThatIsTooWideShrinksUntilItFits) {
  QtFormView view;
  auto* status = static_cast<QLabel*>(view.Control(ControlId::lblStaust));
  const std::string longText(200, 'W');
  view.SetStatusText(longText);
  EXPECT_LT(status->font().pixelSize(), app::LayoutOf(ControlId::lblStaust).font.heightPx);
  EXPECT_GE(status->font().pixelSize(), kSmallestFittedPixels);
  view.SetStatusText(app::kStatusCurrent);  // a short text gets the full size back
  EXPECT_EQ(status->font().pixelSize(), app::LayoutOf(ControlId::lblStaust).font.heightPx);
}

TEST(QtWindowLayout, DisabledStatusLabelIsGreyedAndTakesNoClick) {
  QtFormView view;
  int clicks = 0;
  view.onStatusClicked = [&] { ++clicks; };
  view.Window()->show();
  QWidget* status = view.Control(ControlId::lblStaust);
  struct Case {
    bool enabled;
    int expectedClicks;
  };
  for (const Case& c : {Case{false, 0}, Case{true, 1}}) {
    clicks = 0;
    view.SetStatusEnabled(c.enabled);
    QTest::mouseClick(status, Qt::LeftButton);
    EXPECT_EQ(clicks, c.expectedClicks) << "enabled=" << c.enabled;
  }
  view.SetStatusEnabled(false);
  EXPECT_NE(status->palette().color(QPalette::Disabled, QPalette::WindowText),
            status->palette().color(QPalette::Active, QPalette::WindowText));
}

TEST(QtWindowLayout, PicturesFillTheirControlsWhateverTheirOwnSize) {
  QtFormView view;
  struct Case {
    ControlId control;
    std::string_view picture;
  };
  for (const Case& c : {Case{ControlId::Image1, app::kPictureBackground},
                        Case{ControlId::Image2, app::kPictureLoading1},
                        Case{ControlId::Image3, app::kPictureCross}}) {
    view.ShowPicture(c.control, c.picture);
    auto* label = static_cast<QLabel*>(view.Control(c.control));
    const QPixmap pixmap = label->pixmap();
    ASSERT_FALSE(pixmap.isNull()) << c.picture;
    EXPECT_EQ(pixmap.size(), label->size()) << c.picture;
    EXPECT_EQ(view.PictureIn(c.control), c.picture);
  }
}

}  // namespace
}  // namespace corvane::app::qt::testing
