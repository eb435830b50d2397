// Events through CreateEventW and WaitForMultipleObjects. A handle closed while a wait runs on
// it stays open to the system until that wait ends (the system leaves that case undefined).
#include <map>
#include <mutex>

#include "win32_util.h"

namespace plat::detail {
namespace {

struct Event {
  explicit Event(HANDLE h) : handle(h) {}
  ~Event() { ::CloseHandle(handle); }
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;
  HANDLE handle;
};

class Win32Events : public Events {
 public:
  EventHandle CreateEvent(bool manualReset, bool initialState) override {
    HANDLE h = CreateEventW(nullptr, manualReset ? TRUE : FALSE, initialState ? TRUE : FALSE, nullptr);
    if (!h) return 0;
    std::lock_guard lock(mutex_);
    do {
      next_ = next_ >= 0x7FFFFFFFu ? 1 : next_ + 1;
    } while (events_.count(next_));
    events_[next_] = std::make_shared<Event>(h);
    return next_;
  }

  bool SetEvent(EventHandle h) override {
    auto e = Find(h);
    return e && ::SetEvent(e->handle);
  }
  bool ResetEvent(EventHandle h) override {
    auto e = Find(h);
    return e && ::ResetEvent(e->handle);
  }

  std::uint32_t WaitForMultipleObjects(const std::vector<EventHandle>& handles,
                                       std::uint32_t timeoutMs) override {
    if (handles.empty() || handles.size() > kMaximumWaitObjects) return kWaitFailed;
    // The system refuses a list with one handle twice: each is waited on once, and an answer
    // names the first place it has in the caller's list.
    std::vector<std::shared_ptr<Event>> held;
    std::vector<HANDLE> unique;
    std::vector<std::uint32_t> firstIndex;
    for (std::size_t i = 0; i < handles.size(); ++i) {
      auto e = Find(handles[i]);
      if (!e) return kWaitFailed;
      bool seen = false;
      for (HANDLE u : unique) seen = seen || u == e->handle;
      if (seen) continue;
      unique.push_back(e->handle);
      firstIndex.push_back(static_cast<std::uint32_t>(i));
      held.push_back(std::move(e));
    }
    DWORD r = ::WaitForMultipleObjects(static_cast<DWORD>(unique.size()), unique.data(), FALSE,
                                       timeoutMs == kInfinite ? INFINITE : timeoutMs);
    if (r == WAIT_TIMEOUT) return kWaitTimeout;
    if (r >= WAIT_OBJECT_0 && r < WAIT_OBJECT_0 + unique.size())
      return kWaitObject0 + firstIndex[r - WAIT_OBJECT_0];
    return kWaitFailed;
  }

  bool CloseHandle(EventHandle h) override {
    std::lock_guard lock(mutex_);
    return events_.erase(h) == 1;
  }

 private:
  std::shared_ptr<Event> Find(EventHandle h) {
    std::lock_guard lock(mutex_);
    auto it = events_.find(h);
    return it == events_.end() ? nullptr : it->second;
  }

  std::mutex mutex_;
  std::map<EventHandle, std::shared_ptr<Event>> events_;
  EventHandle next_ = 0;
};

}  // namespace

std::unique_ptr<Events> CreateWin32Events() { return std::make_unique<Win32Events>(); }

}  // namespace plat::detail
