#include "app/cli/headless_view.h"

#include <iostream>

#include "app/form_texts.h"
#include "device/system_devices.h"

namespace corvane::app::cli {

void HeadlessView::ShowPicture(ControlId image, std::string_view name) {
  pictures_[image] = std::string(name);
}

void HeadlessView::SetVisible(ControlId control, bool visible) { visible_[control] = visible; }

void HeadlessView::SetStatusText(std::string_view text) { status_ = std::string(text); }

void HeadlessView::ClearDeviceList() {
  items_.clear();
  selected_ = -1;
}

void HeadlessView::AddDeviceItem(std::string_view text) { items_.emplace_back(text); }

void HeadlessView::SelectDeviceItem(int index) { selected_ = index; }

void HeadlessView::SetProgress(int percent) {
  if (onProgress) onProgress(percent);
}

void HeadlessView::ShowWarningBox(std::string_view text, std::string_view caption) {
  std::cerr << caption << ": " << text << '\n';
}

void HeadlessView::ShowAccessProblem(std::string_view text, std::string_view caption) {
  std::cerr << caption << ":\n" << text << '\n'
            << device::AdviceForThisPlatform().commandLine << '\n';
}

void HeadlessView::StartTimer(std::uint32_t id, std::uint32_t ms) {
  timers_[id] = Timer{ms, Clock::now() + std::chrono::milliseconds(ms)};
}

void HeadlessView::KillTimer(std::uint32_t id) { timers_.erase(id); }

std::optional<HeadlessView::Clock::time_point> HeadlessView::TimerDue(std::uint32_t id) const {
  const auto it = timers_.find(id);
  if (it == timers_.end()) return std::nullopt;
  return it->second.due;
}

void HeadlessView::TimerTicked(std::uint32_t id, Clock::time_point now) {
  const auto it = timers_.find(id);
  if (it != timers_.end() && it->second.due <= now) {
    it->second.due = now + std::chrono::milliseconds(it->second.periodMs);
  }
}

std::string HeadlessView::Picture(ControlId image) const {
  const auto it = pictures_.find(image);
  return it == pictures_.end() ? std::string() : it->second;
}

}  // namespace corvane::app::cli
