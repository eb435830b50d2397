// The application object: title, message loop, modal windows, the standard error display
// and the modal message box.
#pragma once

#include <chrono>
#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "runtime/component.h"
#include "toolkit/controls.h"
#include "toolkit/scene.h"

namespace tk {

enum class TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };

// A set of message box buttons.
using TMsgDlgButtons = uint32_t;
constexpr TMsgDlgButtons mbYes = 1, mbNo = 2, mbOK = 4, mbCancel = 8, mbAbort = 16, mbRetry = 32,
                         mbIgnore = 64;
constexpr TMsgDlgButtons mbYesNo = mbYes | mbNo, mbYesNoCancel = mbYes | mbNo | mbCancel,
                         mbOKCancel = mbOK | mbCancel;

// What a message box shows (and what a test hook is handed).
struct TMessageBoxRequest {
  std::string title;
  std::string text;
  TMsgDlgType type = TMsgDlgType::mtInformation;
  TMsgDlgButtons buttons = mbOK;
};

class TMessageBox;

class TApplication : public rt::TComponent {
 public:
  TApplication();
  ~TApplication() override;
  std::string ClassName() const override { return "TApplication"; }

  // The text of the program's taskbar button. Published: Title.
  const std::string& Title() const { return title_; }
  void SetTitle(const std::string& title);

  // The first window made through CreateForm, or set here; Run ends when it closes.
  TWindow* MainForm() const;  // null once that window is destroyed
  void SetMainForm(TWindow* form) { mainForm_ = form; }
  bool ShowMainForm() const { return showMainForm_; }
  void SetShowMainForm(bool show) { showMainForm_ = show; }
  // Whether the main window gets a taskbar button of its own.
  bool MainFormOnTaskBar() const { return mainFormOnTaskBar_; }
  void SetMainFormOnTaskBar(bool on) { mainFormOnTaskBar_ = on; }

  // Makes a window with `make` (owned by the application); an error escaping it, or the
  // window's creation handler, is shown by HandleException and null is returned.
  TWindow* CreateForm(const std::function<TWindow*(rt::TComponent* owner)>& make);

  // Shows the main window and handles messages until it closes or Terminate is called.
  void Run();
  void Terminate() { terminated_ = true; }
  bool Terminated() const { return terminated_; }
  // Handles everything pending without waiting, then paints what is dirty.
  void ProcessMessages();
  // One round of the loop: waits for input when nothing is pending and nothing animates.
  void HandleMessage();

  // Shows `window` until it has a modal result (or is closed: mrCancel); returns the result.
  // Meanwhile the other shown windows take no pointer input.
  int ShowModal(TWindow& window);
  bool InModalLoop() const { return modalLevel_ > 0; }

  // The standard error display: the error's text in an error box; the program goes on.
  // OnException, when assigned, takes its place. Errors raised while an error box is open are
  // shown after it, one box at a time (at most five distinct ones are kept; one
  // equal to the shown error is not repeated).
  void HandleException(const std::exception& error);
  // Runs fn; an escaping error goes to HandleException. Returns whether fn finished.
  bool Guarded(const std::function<void()>& fn);
  rt::TEvent<rt::TComponent*, const std::exception&> OnException;

  // The modal message box; returns the modal result of the chosen button (mrYes = 6 ...).
  // Escape chooses Cancel, or OK when it is the only button; Enter the focused button
  // (the first one at the start). Closing the host window gives mrCancel. Its host is `host`
  // when given, else the active modal window or the main window when it is shown. On a backend
  // with real windows the box is a window of its own owned by the host, centred over it (kept on
  // the screen), and the host takes no input meanwhile; otherwise it is drawn inside the host's
  // scene. Without a host it is a window of its own centred on the screen.
  int MessageBox(const std::string& text, const std::string& title,
                 TMsgDlgType type = TMsgDlgType::mtInformation, TMsgDlgButtons buttons = mbOK,
                 TWindow* host = nullptr);
  // The box being shown (innermost), for tests and tools.
  TMessageBox* ActiveMessageBox() const { return boxes_.empty() ? nullptr : boxes_.back(); }

  // The screen's size in pixels.
  TPointF ScreenSize() const;

  // Further sources of messages (the platform's window messages): polled on every round of
  // the loop; return true when they handled something. `handle` (the platform's
  // MessageDescriptor()) is what the loop waits on while idle; a source without one (-1) is
  // polled every few milliseconds instead. Returns an id for RemoveMessageSource.
  int AddMessageSource(std::function<bool()> poll, TWaitHandle handle = -1);
  void RemoveMessageSource(int id);

  // Runs `fn` once `seconds` from now (on the toolkit's clock), from the message loop; again
  // every `seconds` when `repeat`. Returns an id for KillTimer. An error escaping `fn` goes to
  // HandleException (a repeating timer goes on).
  int SetTimer(double seconds, std::function<void()> fn, bool repeat = false);
  void KillTimer(int id);
  // How long the loop would wait now with nothing to do (negative: without limit).
  double IdleTimeout() const;

  // Test and tool hooks: runs on every round of a modal loop (a box or ShowModal), where a
  // test drives the headless backend's pointer; and a hook that answers message boxes
  // without showing them (returns the modal result).
  std::function<void()> OnModalIdle;
  std::function<int(const TMessageBoxRequest&)> MessageBoxHook;

 private:
  friend class TMessageBox;
  class ModalShields;
  bool PollSources();
  bool RunDueTimers();
  void AdvanceAnimations();
  void RunModalLoop(const std::function<bool()>& done);

  static constexpr size_t kMaxPendingErrors = 5;
  std::string title_;
  TWindow* mainForm_ = nullptr;
  bool showingError_ = false;
  std::string currentError_;
  std::vector<std::string> pendingErrors_;
  bool showMainForm_ = true, mainFormOnTaskBar_ = true, terminated_ = false;
  int modalLevel_ = 0;
  std::vector<TWindow*> modalWindows_;
  std::vector<TMessageBox*> boxes_;
  struct Source {
    int id;
    std::function<bool()> poll;
    TWaitHandle handle;
  };
  std::vector<Source> sources_;
  int nextSourceId_ = 1;
  struct Timer {
    int id;
    double due, interval;
    bool repeat;
    std::function<void()> fn;
  };
  std::vector<Timer> timers_;
  int nextTimerId_ = 1;
  std::chrono::steady_clock::time_point lastTick_;
  bool ticking_ = false;
};

// The program's application object.
TApplication& Application();

// The box's scene objects, alive while it is shown.
class TMessageBox {
 public:
  const TMessageBoxRequest& Request() const { return request_; }
  // The buttons in their order, left to right, each with its modal result.
  const std::vector<TvgButton*>& Buttons() const { return buttons_; }
  TvgButton* ButtonFor(int modalResult) const;
  // The button's centre in screen pixels (to click it through the backend).
  TPointF ButtonScreenCenter(int modalResult) const;
  TVisualObject* Panel() const { return panel_; }
  TWindow* HostWindow() const { return window_; }
  int Result() const { return result_; }
  void Choose(int modalResult) { result_ = modalResult; }

 private:
  friend class TApplication;
  friend class TMsgButton;
  TMessageBox(const TMessageBoxRequest& request, TWindow& window, bool ownWindow);
  ~TMessageBox();

  TMessageBoxRequest request_;
  TWindow* window_;
  bool ownWindow_;
  TVisualObject* overlay_ = nullptr;
  TVisualObject* panel_ = nullptr;
  std::vector<TvgButton*> buttons_;
  TObjectRef<TVisualObject> previousFocusRef_;
  int result_ = 0;
  int escapeResult_ = 0;
};

// Button texts and the order they are shown in.
std::vector<std::pair<int, std::string>> MessageBoxButtonList(TMsgDlgButtons buttons);

}  // namespace tk
