// Watches the kernel's device-event socket from the window's event loop and hands each mapped
// event code to the window logic (TForm1::WMDeviceChange). No udev daemon is involved.
#pragma once

#include <QObject>

#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

class QSocketNotifier;

namespace corvane::app::qt {

class DeviceWatch : public QObject {
  Q_OBJECT
 public:
  // `fd`: a socket that turns readable when events are pending; `drain` reads everything pending
  // and returns the event codes it maps to, in order; `deliver` is called once per code on the
  // window thread.
  DeviceWatch(int fd, std::function<std::vector<std::uint32_t>()> drain,
              std::function<void(std::uint32_t code)> deliver, QObject* parent = nullptr);
  ~DeviceWatch() override;

  int EventsDelivered() const { return delivered_; }

 private:
  void OnReadable();

  QSocketNotifier* notifier_;
  std::function<std::vector<std::uint32_t>()> drain_;
  std::function<void(std::uint32_t)> deliver_;
  std::deque<std::uint32_t> pending_;
  bool delivering_ = false;
  int delivered_ = 0;
};

}  // namespace corvane::app::qt
