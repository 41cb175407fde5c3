#include "app/cli/headless_view.h"

#include <iostream>

#include "app/form_texts.h"

namespace corvane::app::cli {

void HeadlessView::ShowPicture(ControlId image, std::string_view name) {
  pictures_[image] = std::string(name);
}

void HeadlessView::SetVisible(ControlId control, bool visible) {
  const bool wasVisible = visible_[control];
  visible_[control] = visible;
  if (control == ControlId::UpdateProgressBar && wasVisible && !visible && onProgressHidden) {
    onProgressHidden();
  }
}

void HeadlessView::SetStatusText(std::string_view text) {
  status_ = std::string(text);
  // Every scan begins with this text; from here its items are collected until it selects one.
  if (text == kStatusLooking) {
    ++scanCount_;
    scannedItems_.clear();
    capturingScan_ = true;
  }
}

void HeadlessView::ClearDeviceList() {
  items_.clear();
  selected_ = -1;
  if (capturingScan_) scannedItems_.clear();
}

void HeadlessView::AddDeviceItem(std::string_view text) {
  items_.emplace_back(text);
  // A listed device always has its bus prefix; the scan's empty item and the placeholder item of
  // "no device" stand for no device at all.
  if (capturingScan_ && !text.empty() && text != kNoAvailableDevice) {
    scannedItems_.emplace_back(text);
  }
}

void HeadlessView::SelectDeviceItem(int index) {
  selected_ = index;
  capturingScan_ = false;
}

void HeadlessView::SetProgress(int percent) {
  if (onProgress) onProgress(percent);
}

void HeadlessView::ShowWarningBox(std::string_view text, std::string_view caption) {
  std::cerr << caption << ": " << text << '\n';
}

void HeadlessView::ShowAccessProblem(std::string_view text, std::string_view caption) {
  accessProblemShown_ = true;
  std::cerr << caption << ":\n" << text << '\n' << kSudoHint << '\n';
}

void HeadlessView::StartTimer(std::uint32_t id, std::uint32_t ms) {
  timers_[id] = Timer{ms, now_() + std::chrono::milliseconds(ms)};
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
