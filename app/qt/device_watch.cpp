#include "app/qt/device_watch.h"

#include <QSocketNotifier>

#include <utility>

namespace corvane::app::qt {

DeviceWatch::DeviceWatch(int fd, std::function<std::vector<std::uint32_t>()> drain,
                         std::function<void(std::uint32_t code)> deliver, QObject* parent)
    : QObject(parent),
      notifier_(new QSocketNotifier(fd, QSocketNotifier::Read, this)),
      drain_(std::move(drain)),
      deliver_(std::move(deliver)) {
  connect(notifier_, &QSocketNotifier::activated, this, &DeviceWatch::OnReadable);
}

DeviceWatch::~DeviceWatch() { notifier_->setEnabled(false); }

void DeviceWatch::OnReadable() {
  for (std::uint32_t code : drain_()) pending_.push_back(code);
  // A handler may let messages through, which can bring this slot back; the inner call only queues,
  // so the codes reach the window one at a time and in the order the kernel sent them.
  if (delivering_) return;
  delivering_ = true;
  struct Reset {
    bool& flag;
    ~Reset() { flag = false; }
  } reset{delivering_};
  while (!pending_.empty()) {
    const std::uint32_t code = pending_.front();
    pending_.pop_front();
    ++delivered_;
    deliver_(code);
  }
}

}  // namespace corvane::app::qt
