#include "toolkit/app/application.h"

#include <algorithm>
#include <cmath>

#include "runtime/text.h"
#include "toolkit/backend.h"
#include "toolkit/canvas.h"
#include "toolkit/translate.h"

namespace tk {

namespace {

bool Alive(const TWindow* w) {
  if (!w) return false;
  const auto& all = TWindow::All();
  return std::find(all.begin(), all.end(), w) != all.end();
}

constexpr float kPanelMinWidth = 320, kPanelMaxWidth = 480;
constexpr float kTitleHeight = 30, kIconSize = 40, kButtonWidth = 84, kButtonHeight = 26, kPad = 16;

TAlphaColor AccentOf(TMsgDlgType type) {
  switch (type) {
    case TMsgDlgType::mtWarning:
      return 0xFFE29A1C;
    case TMsgDlgType::mtError:
      return 0xFFD6433A;
    case TMsgDlgType::mtInformation:
    case TMsgDlgType::mtConfirmation:
      return 0xFF1C98CF;
    case TMsgDlgType::mtCustom:
      return 0xFF5A6168;
  }
  return 0xFF5A6168;
}

// The sign of the box's type: a triangle with "!", a circle with "x", "i" or "?".
class TMsgIcon : public TVisualObject {
 public:
  explicit TMsgIcon(TMsgDlgType type) : TVisualObject(nullptr), type_(type) { SetHitTest(false); }
  std::string ClassName() const override { return "TvgMessageIcon"; }
  void Paint(TCanvas& canvas) override {
    const TRectF r = LocalRect();
    const TBrush fill(TBrushKind::Solid, AccentOf(type_));
    const TBrush white(TBrushKind::Solid, claWhite);
    TFont font;
    font.SetFamily("DejaVu Sans");
    font.SetSize(r.Height() * 0.55f);
    font.SetStyle(fsBold);
    const char* sign = "";  // a C string: GCC 12 warns falsely on small std::string assignments at -O3
    TRectF textRect = r;
    switch (type_) {
      case TMsgDlgType::mtWarning: {
        TPathData tri;
        tri.MoveTo({r.Width() / 2, 1});
        tri.LineTo({r.Width() - 1, r.Height() - 2});
        tri.LineTo({1, r.Height() - 2});
        tri.ClosePath();
        canvas.FillPath(tri, 1, fill);
        sign = "!";
        textRect = {r.left, r.top + r.Height() * 0.18f, r.right, r.bottom};
        break;
      }
      case TMsgDlgType::mtError:
        sign = "\xC3\x97";
        break;
      case TMsgDlgType::mtInformation:
        sign = "i";
        break;
      case TMsgDlgType::mtConfirmation:
        sign = "?";
        break;
      case TMsgDlgType::mtCustom:
        return;
    }
    if (type_ != TMsgDlgType::mtWarning) canvas.FillEllipse(r.Inflate(-1, -1), 1, fill);
    canvas.FillText(textRect, sign, font, white, 1, false, TTextAlign::Center, TTextAlign::Center);
  }

 private:
  TMsgDlgType type_;
};

// Lies over a window's whole scene while another window is modal: it takes the pointer, so
// nothing behind it is clicked, hovered or focused.
class TModalShield : public TVisualObject {
 public:
  TModalShield() : TVisualObject(nullptr) {
    SetStored(false);
    SetAlign(TvgAlign::vaClient);
  }
  std::string ClassName() const override { return "TvgModalShield"; }
};

}  // namespace

// Shields every other shown normal window while `modal` runs; lifted in reverse on leaving.
class TApplication::ModalShields {
 public:
  explicit ModalShields(const TWindow* modal) {
    for (TWindow* w : TWindow::All()) {
      if (w == modal || !w->Visible() || w->Kind() != TWindowKind::Normal) continue;
      auto* shield = new TModalShield();
      shield->SetParent(w->Root());
      shield->SetBounds(0, 0, w->Root()->Width(), w->Root()->Height());
      shield->BringToFront();
      shields_.emplace_back(w, TObjectRef<TVisualObject>(shield));
      // A real window system also keeps the pointer and the keys away from the window.
      if (w->InputEnabled()) {
        w->SetInputEnabled(false);
        disabled_.push_back(w);
      }
    }
  }
  ~ModalShields() {
    for (auto& [w, shield] : shields_)
      if (Alive(w)) delete shield.Get();
    for (TWindow* w : disabled_)
      if (Alive(w)) w->SetInputEnabled(true);
  }
  ModalShields(const ModalShields&) = delete;
  ModalShields& operator=(const ModalShields&) = delete;

 private:
  std::vector<std::pair<TWindow*, TObjectRef<TVisualObject>>> shields_;
  std::vector<TWindow*> disabled_;
};

// A button of the box: its Tag is its modal result; Escape anywhere in the box answers too.
class TMsgButton : public TvgButton {
 public:
  explicit TMsgButton(TMessageBox* box) : TvgButton(nullptr), box_(box) { SetCanFocus(true); }
  std::string ClassName() const override { return "TvgMessageButton"; }
  void Click() override { box_->Choose(static_cast<int>(Tag())); }
  void KeyDown(uint16_t& key, char32_t& keyChar, TShiftState shift) override {
    if (key == vk::Escape) {
      if (box_->escapeResult_) box_->Choose(box_->escapeResult_);
      key = 0;
      return;
    }
    if (key == vk::Left || key == vk::Right) {
      const auto& b = box_->Buttons();
      const auto it = std::find(b.begin(), b.end(), this);
      if (it != b.end()) {
        const long i = (it - b.begin()) + (key == vk::Left ? -1 : 1);
        if (i >= 0 && i < static_cast<long>(b.size())) b[static_cast<size_t>(i)]->SetFocus();
      }
      key = 0;
      return;
    }
    if (key == vk::Return || key == vk::Space) {
      Click();
      key = 0;
      return;
    }
    TvgButton::KeyDown(key, keyChar, shift);
  }

 private:
  TMessageBox* box_;
};

std::vector<std::pair<int, std::string>> MessageBoxButtonList(TMsgDlgButtons buttons) {
  static const std::pair<TMsgDlgButtons, std::pair<int, const char*>> kOrder[] = {
      {mbYes, {mrYes, "Yes"}},          {mbNo, {mrNo, "No"}},          {mbOK, {mrOk, "OK"}},
      {mbCancel, {mrCancel, "Cancel"}}, {mbAbort, {mrAbort, "Abort"}}, {mbRetry, {mrRetry, "Retry"}},
      {mbIgnore, {mrIgnore, "Ignore"}}};
  std::vector<std::pair<int, std::string>> out;
  for (const auto& [bit, info] : kOrder)
    if (buttons & bit) out.emplace_back(info.first, info.second);
  if (out.empty()) out.emplace_back(mrOk, "OK");  // a box must be answerable
  return out;
}

// --- TMessageBox --------------------------------------------------------------------------

TMessageBox::TMessageBox(const TMessageBoxRequest& request, TWindow& window, bool ownWindow)
    : request_(request), window_(&window), ownWindow_(ownWindow) {
  const auto list = MessageBoxButtonList(request.buttons);
  bool hasCancel = false;
  for (const auto& [r, t] : list) hasCancel = hasCancel || r == mrCancel;
  escapeResult_ = hasCancel ? mrCancel : (list.size() == 1 ? list.front().first : 0);

  TFont textFont;
  textFont.SetSize(12);
  TFont titleFont;
  titleFont.SetSize(12);
  titleFont.SetStyle(fsBold);

  // Size the panel to the text: as wide as the text wants, within limits, then as tall.
  const float textLeft = kPad + kIconSize + 14;
  const float buttonsWidth = list.size() * kButtonWidth + (list.size() - 1) * 8.0f;
  const TRectF oneLine = MeasureTextRect(request.text, textFont, {0, 0, 10000, 10000}, false);
  float width = std::clamp(textLeft + oneLine.Width() + kPad + 4, kPanelMinWidth, kPanelMaxWidth);
  width = std::max(width, buttonsWidth + 2 * kPad);
  const float textWidth = width - textLeft - kPad;
  const TRectF wrapped = MeasureTextRect(request.text, textFont, {0, 0, textWidth, 10000}, true);
  const float bodyHeight = std::max(kIconSize, wrapped.Height());
  const float height = kTitleHeight + kPad + bodyHeight + kPad + kButtonHeight + 14;

  TVisualObject* root = window.Root();
  auto* overlay = new TvgRectangle(nullptr);
  overlay->SetStored(false);
  overlay->SetAlign(TvgAlign::vaClient);
  overlay->Stroke().SetKind(TBrushKind::None);
  overlay->Fill().SetColor(ownWindow ? claNull : 0x66000000);
  if (ownWindow) overlay->Fill().SetKind(TBrushKind::None);
  overlay->SetParent(root);
  overlay->BringToFront();
  overlay->SetBounds(0, 0, root->Width(), root->Height());
  overlay_ = overlay;

  auto* panel = new TvgRectangle(nullptr);
  panel->SetParent(overlay);
  panel->SetRadius(ownWindow ? 0 : 6, ownWindow ? 0 : 6);
  panel->Fill().SetColor(0xFFF7F9FB);
  panel->Stroke().SetColor(0xFF4F4E4E);
  const float px = ownWindow ? 0 : std::max(0.0f, (root->Width() - width) / 2);
  const float py = ownWindow ? 0 : std::max(0.0f, (root->Height() - height) / 2);
  panel->SetBounds(px, py, width, height);
  if (!ownWindow) (new TvgShadowEffect(nullptr))->SetParent(panel);
  panel_ = panel;

  auto* bar = new TvgRectangle(nullptr);
  bar->SetParent(panel);
  bar->SetHitTest(false);
  bar->SetBounds(1, 1, width - 2, kTitleHeight);
  bar->SetRadius(ownWindow ? 0 : 5, ownWindow ? 0 : 5);
  bar->SetCorners(crnTopLeft | crnTopRight);
  bar->Stroke().SetKind(TBrushKind::None);
  bar->Fill().SetColor(AccentOf(request.type));

  auto* title = new TvgText(nullptr);
  title->SetParent(bar);
  title->SetAutoTranslate(false);
  title->SetBounds(12, 0, width - 24, kTitleHeight);
  title->Font().Assign(titleFont);
  title->Fill().SetColor(claWhite);
  title->SetHorzTextAlign(TTextAlign::Near);
  title->SetWordWrap(false);
  title->SetText(request.title);

  auto* icon = new TMsgIcon(request.type);
  icon->SetParent(panel);
  icon->SetBounds(kPad, kTitleHeight + kPad, kIconSize, kIconSize);

  auto* text = new TvgText(nullptr);
  text->SetParent(panel);
  text->SetHitTest(false);
  text->SetAutoTranslate(false);
  text->Font().Assign(textFont);
  text->Fill().SetColor(0xFF202428);
  text->SetHorzTextAlign(TTextAlign::Near);
  text->SetVertTextAlign(TTextAlign::Center);
  text->SetWordWrap(true);
  text->SetBounds(textLeft, kTitleHeight + kPad, textWidth, bodyHeight);
  text->SetText(request.text);

  float bx = width - kPad - buttonsWidth;
  const float by = height - 14 - kButtonHeight;
  for (const auto& [result, caption] : list) {
    auto* b = new TMsgButton(this);
    b->SetParent(panel);
    b->SetTag(result);
    b->SetText(caption);  // translated by the button
    b->SetBounds(bx, by, kButtonWidth, kButtonHeight);
    buttons_.push_back(b);
    bx += kButtonWidth + 8;
  }
  if (TvgScene* scene = window.Scene()) previousFocusRef_.Set(scene->Focused());
  buttons_.front()->SetFocus();
  overlay->Repaint();
}

TMessageBox::~TMessageBox() {
  if (Alive(window_)) {
    delete overlay_;  // takes the panel and the buttons with it
    if (TVisualObject* f = previousFocusRef_.Get()) f->SetFocus();
    window_->Root()->Repaint();
  }
}

TvgButton* TMessageBox::ButtonFor(int modalResult) const {
  for (TvgButton* b : buttons_)
    if (b->Tag() == modalResult) return b;
  return nullptr;
}

TPointF TMessageBox::ButtonScreenCenter(int modalResult) const {
  TvgButton* b = ButtonFor(modalResult);
  if (!b) return {-1, -1};
  return b->LocalToScreen({b->Width() / 2, b->Height() / 2});
}

// --- TApplication -------------------------------------------------------------------------

TApplication::TApplication() : rt::TComponent(nullptr) {
  Publish(
      "Title", [this] { return title_; }, [this](const std::string& v) { SetTitle(v); });
}

TApplication::~TApplication() = default;

TApplication& Application() {
  static TApplication* app = new TApplication();  // lives as long as the process
  return *app;
}

void TApplication::SetTitle(const std::string& title) {
  title_ = title;
  // The main window stands for the program on the taskbar when it has no button of its own.
  if (TWindow* mf = MainForm(); mf && !mainFormOnTaskBar_ && mf->Handle()) mf->Handle()->SetTitle(title);
}

TWindow* TApplication::MainForm() const { return Alive(mainForm_) ? mainForm_ : nullptr; }

TWindow* TApplication::CreateForm(const std::function<TWindow*(rt::TComponent* owner)>& make) {
  TWindow* w = nullptr;
  Guarded([&] { w = make(this); });
  if (w && !MainForm()) {
    mainForm_ = w;
    w->SetShowInTaskBar(mainFormOnTaskBar_);
  }
  return w;
}

void TApplication::Run() {
  terminated_ = false;
  TWindow* mf = MainForm();
  if (mf && showMainForm_) Guarded([mf] { mf->Show(); });
  // A title set before the window had its handle reaches it now.
  if (mf && !mainFormOnTaskBar_ && !title_.empty() && mf->Handle()) mf->Handle()->SetTitle(title_);
  while (!terminated_) {
    mf = MainForm();
    if (!mf || mf->Closed()) break;
    HandleMessage();
  }
}

bool TApplication::Guarded(const std::function<void()>& fn) {
  try {
    fn();
    return true;
  } catch (const std::exception& e) {
    HandleException(e);
  } catch (...) {
    HandleException(rt::Exception("Unknown error"));
  }
  return false;
}

void TApplication::HandleException(const std::exception& error) {
  if (OnException.Assigned()) {
    try {
      OnException(this, error);
      return;
    } catch (const std::exception&) {
      // A failing handler falls back to the standard display below.
    }
  }
  std::string text = error.what();
  if (text.empty()) text = "Unknown error";
  // An error raised while an error box is open (a failing message source, say) would open a box
  // inside the box, and another inside that: keep it for when the open one is answered.
  if (showingError_) {
    if (text != currentError_ && pendingErrors_.size() < kMaxPendingErrors &&
        std::find(pendingErrors_.begin(), pendingErrors_.end(), text) == pendingErrors_.end())
      pendingErrors_.push_back(text);
    return;
  }
  showingError_ = true;
  try {
    currentError_ = text;
    MessageBox(text, title_.empty() ? "Error" : title_, TMsgDlgType::mtError, mbOK);
    while (!pendingErrors_.empty()) {
      currentError_ = pendingErrors_.front();
      pendingErrors_.erase(pendingErrors_.begin());
      MessageBox(currentError_, title_.empty() ? "Error" : title_, TMsgDlgType::mtError, mbOK);
    }
  } catch (...) {
    showingError_ = false;
    pendingErrors_.clear();
    throw;
  }
  showingError_ = false;
}

bool TApplication::PollSources() {
  bool did = false;
  // Copy: a source may remove itself or add another.
  const auto sources = sources_;
  for (const auto& source : sources) {
    bool handled = false;
    const auto& poll = source.poll;
    Guarded([&] { handled = poll(); });
    did = did || handled;
  }
  return did;
}

void TApplication::AdvanceAnimations() {
  const auto now = std::chrono::steady_clock::now();
  bool any = false;
  for (TvgScene* s : TvgScene::All()) any = any || s->Animating();
  if (!any) {
    ticking_ = false;
    return;
  }
  const double dt = ticking_ ? std::chrono::duration<double>(now - lastTick_).count() : 0;
  lastTick_ = now;
  ticking_ = true;
  const auto scenes = TvgScene::All();
  for (TvgScene* s : scenes)
    if (s->Animating()) Guarded([&] { s->AdvanceAnimations(dt); });
}

namespace {
// An animation's frame period while something animates.
constexpr double kFramePeriod = 1.0 / 60;
// How often sources without a wait handle are polled.
constexpr double kSourcePollPeriod = 0.005;
}  // namespace

bool TApplication::RunDueTimers() {
  bool did = false;
  const double now = ClockNow();
  // Ids, not references: a timer may set or kill timers.
  std::vector<int> due;
  for (const Timer& t : timers_)
    if (t.due <= now) due.push_back(t.id);
  for (int id : due) {
    auto it = std::find_if(timers_.begin(), timers_.end(), [id](const Timer& t) { return t.id == id; });
    if (it == timers_.end()) continue;
    std::function<void()> fn = it->fn;
    if (it->repeat)
      it->due = std::max(it->due + it->interval, now);
    else
      timers_.erase(it);
    Guarded(fn);
    did = true;
  }
  return did;
}

int TApplication::SetTimer(double seconds, std::function<void()> fn, bool repeat) {
  const int id = nextTimerId_++;
  seconds = std::max(0.0, seconds);
  timers_.push_back({id, ClockNow() + seconds, seconds, repeat && seconds > 0, std::move(fn)});
  return id;
}

void TApplication::KillTimer(int id) {
  timers_.erase(std::remove_if(timers_.begin(), timers_.end(), [id](const Timer& t) { return t.id == id; }),
                timers_.end());
}

double TApplication::IdleTimeout() const {
  double timeout = -1;
  auto sooner = [&timeout](double t) {
    timeout = timeout < 0 ? std::max(0.0, t) : std::min(timeout, std::max(0.0, t));
  };
  if (ticking_) sooner(kFramePeriod);
  const double now = ClockNow();
  for (const Timer& t : timers_) sooner(t.due - now);
  for (TvgScene* s : TvgScene::All())
    if (s->HintWaiting()) sooner(s->HintDue() - now);
  for (const Source& s : sources_)
    if (s.handle < 0 && !(HasBackend() && Backend().WaitsOnThreadMessages())) sooner(kSourcePollPeriod);
  return timeout;
}

void TApplication::ProcessMessages() {
  std::vector<TWaitHandle> handles;
  for (const Source& s : sources_)
    if (s.handle >= 0) handles.push_back(s.handle);
  for (int round = 0; round < 1000; ++round) {  // bounded: input may keep arriving
    bool did = false;
    Guarded([&] { did = Backend().ProcessEvents(0, handles); });
    did = PollSources() || did;
    did = RunDueTimers() || did;
    if (!did) break;
  }
  AdvanceAnimations();
  Guarded([] { TWindow::UpdateAll(); });
}

void TApplication::HandleMessage() {
  std::vector<TWaitHandle> handles;
  for (const Source& s : sources_)
    if (s.handle >= 0) handles.push_back(s.handle);
  bool did = false;
  Guarded([&] { did = Backend().ProcessEvents(0, handles); });
  did = PollSources() || did;
  did = RunDueTimers() || did;
  AdvanceAnimations();
  Guarded([] { TWindow::UpdateAll(); });
  if (did) return;
  // Nothing to do: sleep until input, a platform message, a timer, a hint or the next
  // animation frame is due. What arrives is handled in the next round.
  const double timeout = IdleTimeout();
  Guarded([&] { Backend().ProcessEvents(timeout, handles); });
}

void TApplication::RunModalLoop(const std::function<bool()>& done) {
  ++modalLevel_;
  try {
    while (!done()) {
      if (OnModalIdle) Guarded(OnModalIdle);
      if (done()) break;
      HandleMessage();
    }
  } catch (...) {
    --modalLevel_;
    throw;
  }
  --modalLevel_;
}

int TApplication::ShowModal(TWindow& window) {
  window.SetModalResult(mrNone);
  if (!window.Visible()) window.Show();
  window.Activate();
  modalWindows_.push_back(&window);
  TWindow* w = &window;
  ModalShields shields(w);
  RunModalLoop([&] { return terminated_ || !Alive(w) || w->ModalResult() != mrNone || !w->Visible(); });
  modalWindows_.erase(std::remove(modalWindows_.begin(), modalWindows_.end(), w), modalWindows_.end());
  if (!Alive(w)) return mrCancel;
  const int result = w->ModalResult() != mrNone ? w->ModalResult() : mrCancel;
  w->SetModalResult(result);
  if (w->Visible()) {
    w->Hide();
    // A window system gives the focus to no one when the focused window goes: the window
    // underneath (the next modal one, else the main window) takes it back.
    if (HasBackend() && Backend().RealWindows()) {
      TWindow* back = nullptr;
      for (auto it = modalWindows_.rbegin(); it != modalWindows_.rend() && !back; ++it)
        if (Alive(*it) && (*it)->Visible()) back = *it;
      if (!back && MainForm() && MainForm()->Visible()) back = MainForm();
      if (back) back->Activate();
    }
  }
  return result;
}

int TApplication::MessageBox(const std::string& text, const std::string& title, TMsgDlgType type,
                             TMsgDlgButtons buttons, TWindow* host) {
  TMessageBoxRequest request{title, text, type, buttons};
  if (MessageBoxHook) return MessageBoxHook(request);

  if (!Alive(host) || !host->Visible()) host = nullptr;
  if (!host) {
    for (auto it = modalWindows_.rbegin(); it != modalWindows_.rend() && !host; ++it)
      if (Alive(*it) && (*it)->Visible()) host = *it;
  }
  if (!host && MainForm() && MainForm()->Visible()) host = MainForm();

  // On a window system the box is a window of its own, kept above its host and centred over
  // it; headless it is drawn inside the host's scene.
  const bool realWindows = HasBackend() && Backend().RealWindows();
  std::unique_ptr<TWindow> own;
  TWindow* owner = nullptr;
  if (!host || realWindows) {
    own = std::make_unique<TWindow>(nullptr);
    own->SetCaption(title);
    own->SetBorderless(true);
    if (host) {
      owner = host;
      own->SetPlacementOwner(host);
      own->SetShowInTaskBar(false);  // it belongs to the host's button
    } else {
      own->SetPlacementMode(TWindowPosition::ScreenCenter);
    }
    host = own.get();
  }
  TMessageBox* box = new TMessageBox(request, *host, own != nullptr);
  if (own) {
    const int width = static_cast<int>(box->Panel()->Width()),
              height = static_cast<int>(box->Panel()->Height());
    own->SetClientSize(width, height);
    own->Root()->SetBounds(0, 0, box->Panel()->Width(), box->Panel()->Height());
    if (owner) {
      // Over the owner's centre, but on the screen whatever the owner's place.
      const TPointF screen = ScreenSize();
      const int x = owner->Left() + (owner->ClientWidth() - width) / 2;
      const int y = owner->Top() + (owner->ClientHeight() - height) / 2;
      own->SetPosition(std::clamp(x, 0, std::max(0, static_cast<int>(screen.x) - width)),
                       std::clamp(y, 0, std::max(0, static_cast<int>(screen.y) - height)));
    }
    own->Show();
    own->Activate();
  }
  boxes_.push_back(box);
  TWindow* w = host;
  ModalShields shields(w);  // the box's window takes input, every other one none
  auto ended = [&] {
    return terminated_ || box->Result() != 0 || !Alive(w) || !w->Visible() ||
           (owner && (!Alive(owner) || !owner->Visible()));
  };
  try {
    RunModalLoop(ended);
  } catch (...) {
    boxes_.pop_back();
    delete box;
    throw;
  }
  const int result = box->Result() != 0 ? box->Result() : mrCancel;
  boxes_.pop_back();
  delete box;
  if (own) own->Hide();
  // A window system gives the focus to no one when the focused window goes.
  if (Alive(owner) && owner->Visible()) owner->Activate();
  return result;
}

TPointF TApplication::ScreenSize() const { return Backend().ScreenSize(); }

int TApplication::AddMessageSource(std::function<bool()> poll, TWaitHandle handle) {
  const int id = nextSourceId_++;
  sources_.push_back({id, std::move(poll), handle});
  return id;
}

void TApplication::RemoveMessageSource(int id) {
  sources_.erase(
      std::remove_if(sources_.begin(), sources_.end(), [id](const Source& s) { return s.id == id; }),
      sources_.end());
}

}  // namespace tk
