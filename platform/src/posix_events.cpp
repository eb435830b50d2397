// Events in one process: a table of flags under one lock, one condition variable for every
// wait. A wait holds its events alive, so closing a handle does not pull them from under it.
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>

#include "platform/posix.h"
#include "posix_runtime.h"

namespace plat {
namespace {

std::mutex gPresenterMutex;
MessageBoxPresenter gPresenter;

}  // namespace

MessageBoxPresenter SetMessageBoxPresenter(MessageBoxPresenter presenter) {
  std::lock_guard<std::mutex> lock(gPresenterMutex);
  std::swap(gPresenter, presenter);
  return presenter;
}

namespace detail {
namespace {

struct Event {
  bool manualReset;
  bool signalled;
};

class PosixEvents : public Events {
 public:
  EventHandle CreateEvent(bool manualReset, bool initialState) override {
    std::lock_guard<std::mutex> lock(mutex_);
    const EventHandle h = next_++;
    events_[h] = std::make_shared<Event>(Event{manualReset, initialState});
    return h;
  }

  bool SetEvent(EventHandle h) override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      auto it = events_.find(h);
      if (it == events_.end()) return false;
      it->second->signalled = true;
    }
    changed_.notify_all();
    return true;
  }

  bool ResetEvent(EventHandle h) override {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = events_.find(h);
    if (it == events_.end()) return false;
    it->second->signalled = false;
    return true;
  }

  std::uint32_t WaitForMultipleObjects(const std::vector<EventHandle>& handles,
                                       std::uint32_t timeoutMs) override {
    if (handles.empty() || handles.size() > kMaximumWaitObjects) return kWaitFailed;
    std::unique_lock<std::mutex> lock(mutex_);
    std::vector<std::shared_ptr<Event>> waited;
    for (EventHandle h : handles) {
      auto it = events_.find(h);
      if (it == events_.end()) return kWaitFailed;
      waited.push_back(it->second);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      for (std::size_t i = 0; i < waited.size(); ++i) {
        if (!waited[i]->signalled) continue;
        if (!waited[i]->manualReset) waited[i]->signalled = false;
        return kWaitObject0 + static_cast<std::uint32_t>(i);
      }
      if (timeoutMs == kInfinite) {
        changed_.wait(lock);
      } else if (changed_.wait_until(lock, deadline) == std::cv_status::timeout) {
        // One last look: a signal may have come with the deadline.
        for (std::size_t i = 0; i < waited.size(); ++i) {
          if (!waited[i]->signalled) continue;
          if (!waited[i]->manualReset) waited[i]->signalled = false;
          return kWaitObject0 + static_cast<std::uint32_t>(i);
        }
        return kWaitTimeout;
      }
    }
  }

  bool CloseHandle(EventHandle h) override {
    std::lock_guard<std::mutex> lock(mutex_);
    return events_.erase(h) == 1;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::map<EventHandle, std::shared_ptr<Event>> events_;
  EventHandle next_ = 1;
};

}  // namespace

std::unique_ptr<Events> CreatePosixEvents() { return std::make_unique<PosixEvents>(); }

int ShowPosixMessageBox(std::string_view text, std::string_view caption, std::uint32_t type) {
  MessageBoxPresenter presenter;
  {
    std::lock_guard<std::mutex> lock(gPresenterMutex);
    presenter = gPresenter;
  }
  if (presenter) return presenter(MessageBoxRequest{std::string(text), std::string(caption), type});
  // No window system to draw on: the user sees the line on standard error.
  std::fprintf(stderr, "%.*s: %.*s\n", static_cast<int>(caption.size()), caption.data(),
               static_cast<int>(text.size()), text.data());
  return kIdOk;
}

}  // namespace detail
}  // namespace plat
