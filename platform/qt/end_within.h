#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace kelvorin::qt {

// Ends the process with `status`, from a thread of its own, unless destroyed within `bound`.
// Guards what runs after the program's last step of its own (the toolkit's teardown), which
// must not keep the process alive however it waits.
class EndWithin {
  public:
    EndWithin(std::chrono::milliseconds bound, int status);
    ~EndWithin();
    EndWithin(const EndWithin&) = delete;
    EndWithin& operator=(const EndWithin&) = delete;

  private:
    std::mutex mutex_;
    std::condition_variable disarmed_;
    bool done_ = false;
    std::thread watch_;
};

} // namespace kelvorin::qt
