#include "platform/qt/end_within.h"

#include <cstdlib>

namespace kelvorin::qt {

EndWithin::EndWithin(std::chrono::milliseconds bound, int status)
    : watch_([this, bound, status] {
          std::unique_lock lock(mutex_);
          if (!disarmed_.wait_for(lock, bound, [this] { return done_; })) {
              std::_Exit(status); // no handlers, no destructors: they may be what hangs
          }
      }) {}

EndWithin::~EndWithin() {
    {
        const std::lock_guard lock(mutex_);
        done_ = true;
    }
    disarmed_.notify_one();
    watch_.join();
}

} // namespace kelvorin::qt
