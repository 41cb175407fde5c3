// The Qt 6 window: builds every control of the layout table and implements FormView on it.
#pragma once

#include <QPointer>
#include <QStringList>
#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/control_layout.h"
#include "app/form_view.h"
#include "app/qt/picture_store.h"

class QComboBox;
class QLabel;
class QScreen;
class QProgressBar;
class QTimer;

namespace corvane::app::qt {

class StatusLabel;

// The colours the window's layout names by system role, fixed at the values of a stock Windows
// desktop, so the window looks the same under every Linux theme.
QColor ToQColor(const app::Colour& colour);
QFont ToQFont(const app::FontSpec& font);
// The faces that stand in for the layout's Windows face, tried in this order: the stored face
// itself where the desktop has it, then Liberation Sans (the widths of the Windows sans-serif
// faces), then Liberation Sans Narrow (fonts-liberation, installed with the package).
QStringList SubstituteFaces(const app::FontSpec& wanted);
// Labels side by side (one row of the layout) with their fonts as the table gives them. Every
// label of the row gets the first installed face in which every text of the row fits its label at
// the table's height. Only when none does, the last face is made smaller, by the same number of
// pixels for every label of the row, until all fit (not below kSmallestFittedPixels).
inline constexpr int kSmallestFittedPixels = 7;
void FitRowOfLabels(const std::vector<std::pair<QLabel*, app::FontSpec>>& row);
// One label on its own row (the status line, whose text changes).
void FitTextToWidth(QLabel* label, const app::FontSpec& wanted);

class QtFormView : public app::FormView {
 public:
  QtFormView();
  ~QtFormView() override;
  QtFormView(const QtFormView&) = delete;
  QtFormView& operator=(const QtFormView&) = delete;

  // Wiring to the window logic.
  std::function<void()> onStatusClicked;              // lblStaust clicked while enabled
  std::function<void(std::uint32_t id)> onTimer;      // a tick of a window timer
  std::function<void()> onRegisterDeviceNotifications;
  // Asked when the window is to close (close box, window manager, CloseWindow); false keeps it.
  std::function<bool()> onCloseRequested;
  // Replaces the two message boxes (the GUI tests record them instead of blocking on them).
  std::function<void(std::string_view text, std::string_view caption)> boxHook;

  QWidget* Window() const { return window_.get(); }
  QWidget* Control(app::ControlId id) const { return controls_[static_cast<std::size_t>(id)]; }
  // Name of the picture last put into a picture control ("" while it is empty).
  std::string PictureIn(app::ControlId id) const;
  bool TimerActive(std::uint32_t id) const;
  // Sizes the window for its screen (or `screen`) and moves it to the middle of the screen's work
  // area; called before it is first shown. The window keeps the layout's own size where the work
  // area holds it with its frame, else it is made smaller as a whole (FitWindow).
  void CentreOnDesktop(QScreen* screen = nullptr);
  // The same for a given work area and frame (logical pixels).
  void FitTo(const QRect& workArea, const QMargins& frame);
  // Device-independent pixels per layout pixel: 1 unless the window had to shrink.
  double Scale() const { return scale_; }

  void ShowPicture(app::ControlId image, std::string_view name) override;
  void SetVisible(app::ControlId control, bool visible) override;
  void SetStatusText(std::string_view text) override;
  void SetStatusEnabled(bool enabled) override;
  void ClearDeviceList() override;
  void AddDeviceItem(std::string_view text) override;
  void SelectDeviceItem(int index) override;
  int SelectedDeviceIndex() const override;
  void SetDeviceListEnabled(bool enabled) override;
  void SetProgress(int percent) override;
  void ProcessPendingMessages() override;
  void ShowWarningBox(std::string_view text, std::string_view caption) override;
  void ShowAccessProblem(std::string_view text, std::string_view caption) override;
  void StartTimer(std::uint32_t id, std::uint32_t ms) override;
  void KillTimer(std::uint32_t id) override;
  void SetCaption(std::string_view caption) override;
  void RegisterDeviceNotifications() override;
  void CloseWindow() override;

 private:
  void BuildControls();
  // Puts every control at its rectangle and font for `scale` (1: the layout table's own).
  void ApplyScale(double scale);
  void AssertWindowThread() const;
  QLabel* Picture(app::ControlId id) const;
  void ShowBox(std::string_view text, std::string_view caption, bool warning);

  std::unique_ptr<QWidget> window_;
  std::array<QWidget*, app::kControlCount> controls_{};
  std::array<std::string, app::kControlCount> pictureNames_{};
  StatusLabel* status_ = nullptr;
  QComboBox* deviceList_ = nullptr;
  QProgressBar* progress_ = nullptr;
  std::map<std::uint32_t, QTimer*> timers_;  // children of the window
  PictureStore pictures_;
  double scale_ = 1.0;
};

// The frame assumed for a window manager that has not said yet how wide its frame is (X11 before
// the window is first mapped): a title bar of a common desktop and thin borders.
inline constexpr int kAssumedTitleBarHeight = 38;
inline constexpr int kAssumedBorderWidth = 4;

}  // namespace corvane::app::qt
