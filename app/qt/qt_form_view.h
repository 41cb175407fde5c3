// The Qt 6 window: builds every control of the layout table and implements FormView on it.
#pragma once

#include <QPointer>
#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "app/control_layout.h"
#include "app/form_view.h"
#include "app/qt/picture_store.h"

class QComboBox;
class QLabel;
class QProgressBar;
class QTimer;

namespace corvane::app::qt {

class StatusLabel;

// The colours the window's layout names by system role, fixed at the values of a stock Windows
// desktop, so the window looks the same under every Linux theme.
QColor ToQColor(const app::Colour& colour);
QFont ToQFont(const app::FontSpec& font);
// Gives `label` the font `wanted`, made smaller (not below kSmallestFittedPixels) where its text would
// not fit the label's width.
inline constexpr int kSmallestFittedPixels = 7;
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
  // Replaces the two message boxes (the GUI tests record them instead of blocking on them).
  std::function<void(std::string_view text, std::string_view caption)> boxHook;

  QWidget* Window() const { return window_.get(); }
  QWidget* Control(app::ControlId id) const { return controls_[static_cast<std::size_t>(id)]; }
  // Name of the picture last put into a picture control ("" while it is empty).
  std::string PictureIn(app::ControlId id) const;
  bool TimerActive(std::uint32_t id) const;
  // Moves the window to the middle of its screen; called before it is first shown.
  void CentreOnDesktop();

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
};

}  // namespace corvane::app::qt
