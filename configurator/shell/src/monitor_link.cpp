#include "shell/monitor_link.h"

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "keys/suite_names.h"

namespace vrnke {

// One send in flight. The sending thread owns a share, so the state outlives a link that is
// destroyed while the monitor still hangs.
struct TMonitorLink::TPending {
  std::mutex mu;
  std::condition_variable cv;
  bool done = false;
  std::thread thread;
};

TMonitorLink::TMonitorLink(plat::Windows& windows, plat::Shell& shell) : FWindows(windows), FShell(shell) {}

TMonitorLink::~TMonitorLink() {
  if (!FPending) return;
  std::unique_lock lock(FPending->mu);
  const bool done = FPending->done;
  lock.unlock();
  if (done)
    FPending->thread.join();
  else
    FPending->thread.detach();
}

bool TMonitorLink::Busy() const {
  if (!FPending) return false;
  std::lock_guard lock(FPending->mu);
  return !FPending->done;
}

bool TMonitorLink::WaitIdle(std::chrono::milliseconds timeout) {
  if (!FPending) return true;
  {
    std::unique_lock lock(FPending->mu);
    if (!FPending->cv.wait_for(lock, timeout, [this] { return FPending->done; })) return false;
  }
  FPending->thread.join();
  FPending.reset();
  return true;
}

TMonitorLink::TSendResult TMonitorLink::SendReload(const std::function<void()>& whileWaiting) {
  // A monitor that has not answered the last send would only queue this one behind it.
  if (!WaitIdle(std::chrono::milliseconds(0))) return TSendResult::StillBusy;
  const plat::WindowHandle monitor = FWindows.FindWindow(kMonitorWindowClass);
  if (!monitor) return TSendResult::NoMonitor;

  // The send runs on its own thread so this one can keep painting and give up in time.
  auto pending = std::make_shared<TPending>();
  FPending = pending;
  plat::Windows& windows = FWindows;
  pending->thread = std::thread([pending, &windows, monitor] {
    windows.SendMessage(monitor, WM_RELOADSETTINGS, 0, 0);
    std::lock_guard lock(pending->mu);
    pending->done = true;
    pending->cv.notify_all();
  });

  const auto deadline = std::chrono::steady_clock::now() + FAnswerTime;
  while (true) {
    {
      std::unique_lock lock(pending->mu);
      const auto slice = std::min(deadline, std::chrono::steady_clock::now() + std::chrono::milliseconds(15));
      if (pending->cv.wait_until(lock, slice, [&] { return pending->done; })) break;
    }
    if (std::chrono::steady_clock::now() >= deadline) return TSendResult::GaveUp;
    if (whileWaiting) whileWaiting();
  }
  pending->thread.join();
  FPending.reset();
  return TSendResult::Answered;
}

bool TMonitorLink::PostReload() {
  if (Busy()) return false;
  const plat::WindowHandle monitor = FWindows.FindWindow(kMonitorWindowClass);
  return monitor && FWindows.PostMessage(monitor, WM_RELOADSETTINGS, 0, 0);
}

bool TMonitorLink::StartOrShow() {
  if (const plat::WindowHandle monitor = FWindows.FindWindow(kMonitorWindowClass)) {
    FWindows.SetForegroundWindow(monitor);
    return true;
  }
  FShell.ShellOpen(kMonitorFileName, FShell.ExecutableFolder());
  return false;
}

}  // namespace vrnke
