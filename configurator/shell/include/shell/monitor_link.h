// The configuration program's side of the talk with the monitor: it finds the monitor's window
// by class name, tells it to read the settings again (sent and waited for, or posted), and
// starts the monitor program when its window is absent.
#pragma once

#include <chrono>
#include <functional>
#include <memory>

#include "platform/platform.h"

namespace vrnke {

class TMonitorLink {
 public:
  enum class TSendResult {
    Answered,   // the monitor handled the message
    NoMonitor,  // no monitor window: nothing was sent
    GaveUp,     // no answer within the time allowed; the send goes on in the background
    StillBusy,  // an earlier send has not been answered yet: nothing was sent
  };

  // How long a synchronous send waits for an answer before the program goes on.
  static constexpr std::chrono::milliseconds kDefaultAnswerTime{5000};

  TMonitorLink(plat::Windows& windows, plat::Shell& shell);
  // A send still waiting for a hung monitor is left to finish on its own.
  ~TMonitorLink();
  TMonitorLink(const TMonitorLink&) = delete;
  TMonitorLink& operator=(const TMonitorLink&) = delete;

  // WM_RELOADSETTINGS to the monitor window, waiting until it has been handled, but at most
  // AnswerTime(); `whileWaiting` runs every few milliseconds meanwhile (the caller keeps its
  // window painted). The monitor relies on having read the settings when an answered send
  // returns, so the send itself is never shortened: only the wait for it is.
  TSendResult SendReload(const std::function<void()>& whileWaiting = {});
  // WM_RELOADSETTINGS queued without waiting; false when no monitor window takes it (none, or
  // one that has not answered an earlier send: its queue is not touched then).
  bool PostReload();
  // The monitor's window to the front when it exists, else "VRNKEMon.exe" started from the
  // program's folder (the outcome is ignored). True when the window existed.
  bool StartOrShow();

  // A send that gave up is still waiting for its answer.
  bool Busy() const;
  // Waits up to `timeout` for a send that gave up to end; true when none is left.
  bool WaitIdle(std::chrono::milliseconds timeout);

  std::chrono::milliseconds AnswerTime() const { return FAnswerTime; }
  void SetAnswerTime(std::chrono::milliseconds t) { FAnswerTime = t; }

 private:
  struct TPending;
  plat::Windows& FWindows;
  plat::Shell& FShell;
  std::chrono::milliseconds FAnswerTime = kDefaultAnswerTime;
  std::shared_ptr<TPending> FPending;  // the send in flight, if any
};

}  // namespace vrnke
