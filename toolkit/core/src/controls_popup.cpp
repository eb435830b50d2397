// The pop-up: content in a top-level window of its own while open.
#include <algorithm>
#include <cmath>

#include "controls_util.h"
#include "runtime/errors.h"
#include "runtime/text.h"
#include "toolkit/controls/popup.h"
#include "toolkit/scene.h"
#include "toolkit/translate.h"

namespace tk {

using namespace detail;

// --- pop-up ----------------------------------------------------------------------------------

namespace {
constexpr const char* kPlacementNames[] = {"Bottom",       "Top",       "Left",  "Right",       "Center",
                                           "BottomCenter", "TopCenter", "Mouse", "MouseCenter", "Absolute"};
std::vector<TvgPopup*>& OpenList() {
  static std::vector<TvgPopup*> l;
  return l;
}
}  // namespace

std::string PlacementToText(TvgPlacement p) { return std::string("vgPlacement") + kPlacementNames[int(p)]; }

TvgPlacement TextToPlacement(const std::string& text) {
  for (int i = 0; i < 10; ++i)
    if (rt::SameText(text, kPlacementNames[i]) ||
        rt::SameText(text, std::string("vgPlacement") + kPlacementNames[i]))
      return TvgPlacement(i);
  throw rt::EConvertError("'" + text + "' is not a placement");
}

TvgPopup::TvgPopup(rt::TComponent* owner) : TVisualObject(owner) {
  SetSize(100, 100);
  Publish(
      "Placement", [this] { return PlacementToText(placement_); },
      [this](const std::string& v) { placement_ = TextToPlacement(v); });
  PublishProperty(this, "IsOpen", &TvgPopup::IsOpen, &TvgPopup::SetIsOpen);
  PublishProperty(this, "StaysOpen", &TvgPopup::staysOpen_, &TvgPopup::staysOpen_);
  PublishProperty(this, "DragWithParent", &TvgPopup::dragWithParent_, &TvgPopup::dragWithParent_);
  // By name among the owner's components, as stored forms give it.
  Publish(
      "PlacementTarget", [this] { return target_.Get() ? target_.Get()->Name() : std::string(); },
      [this](const std::string& v) {
        if (v.empty()) return target_.Set(nullptr);
        rt::TComponent* c = Owner() ? Owner()->FindComponent(v) : nullptr;
        auto* t = dynamic_cast<TVisualObject*>(c);
        if (!t) throw rt::EPropertyError("PlacementTarget: no object named '" + v + "'");
        target_.Set(t);
      });
  PublishProperty(this, "HorizontalOffset", &TvgPopup::HorizontalOffset, &TvgPopup::SetHorizontalOffset);
  PublishProperty(this, "VerticalOffset", &TvgPopup::VerticalOffset, &TvgPopup::SetVerticalOffset);
  PublishEvent("OnPopup", &OnPopup);
  PublishEvent("OnClosePopup", &OnClosePopup);
}

TvgPopup::~TvgPopup() {
  OpenList().erase(std::remove(OpenList().begin(), OpenList().end(), this), OpenList().end());
  if (window_) {
    window_->Hide();
    window_->Scene()->SetExternalRoot(nullptr);
    window_->popupObject_ = nullptr;
    DisposeWindowLater(std::move(window_));
  }
}

TvgScene* TvgPopup::OwnScene() const { return window_ ? window_->Scene() : nullptr; }

void TvgPopup::SetIsOpen(bool open) {
  if (open)
    Popup();
  else
    ClosePopup();
}

TWindow* TvgPopup::ParentWindow() const { return Parent() ? Parent()->Window() : nullptr; }

TPointF TvgPopup::PlacementPosition() const {
  const TVisualObject* target = target_.Get() ? target_.Get() : Parent();
  const float W = Width(), H = Height();
  TPointF tl{0, 0};
  float tw = 0, th = 0;
  if (target) {
    tl = target->LocalToScreen({0, 0});
    tw = target->Width();
    th = target->Height();
  }
  TPointF p = tl;
  switch (placement_) {
    case TvgPlacement::vgPlacementBottom:
      p = {tl.x, tl.y + th};
      break;
    case TvgPlacement::vgPlacementTop:
      p = {tl.x, tl.y - H};
      break;
    case TvgPlacement::vgPlacementLeft:
      p = {tl.x - W, tl.y};
      break;
    case TvgPlacement::vgPlacementRight:
      p = {tl.x + tw, tl.y};
      break;
    case TvgPlacement::vgPlacementCenter:
      p = {tl.x + (tw - W) / 2, tl.y + (th - H) / 2};
      break;
    case TvgPlacement::vgPlacementBottomCenter:
      p = {tl.x + (tw - W) / 2, tl.y + th};
      break;
    case TvgPlacement::vgPlacementTopCenter:
      p = {tl.x + (tw - W) / 2, tl.y - H};
      break;
    case TvgPlacement::vgPlacementMouse:
      p = Backend().MousePos();
      break;
    case TvgPlacement::vgPlacementMouseCenter: {
      const TPointF m = Backend().MousePos();
      p = {m.x - W / 2, m.y};
      break;
    }
    case TvgPlacement::vgPlacementAbsolute:
      p = Parent() ? Parent()->LocalToScreen(Position()) : Position();
      break;
  }
  p = {p.x + horizontalOffset_, p.y + verticalOffset_};
  // Kept on the screen vertically; horizontally the caller decides (menus shift themselves).
  const TPointF screen = Backend().ScreenSize();
  if (p.y + H > screen.y) p.y = std::max(0.f, screen.y - H);
  if (p.y < 0) p.y = 0;
  return {std::round(p.x), std::round(p.y)};
}

void TvgPopup::Popup() {
  if (window_) return;
  auto w = std::make_unique<TWindow>(nullptr, TWindowKind::Popup);
  w->popupObject_ = this;
  w->Scene()->SetHostScene(HostScene());
  w->Scene()->SetExternalRoot(this);
  const TPointF pos = PlacementPosition();
  w->SetPosition(int(pos.x), int(pos.y));
  w->SetClientSize(int(std::ceil(Width())), int(std::ceil(Height())));
  window_ = std::move(w);
  OpenList().push_back(this);
  Realign();
  OnPopup(this);
  if (window_) window_->Show();
}

void TvgPopup::ClosePopup() {
  if (!window_) return;
  OpenList().erase(std::remove(OpenList().begin(), OpenList().end(), this), OpenList().end());
  std::unique_ptr<TWindow> w = std::move(window_);
  w->Scene()->MouseLeave();
  w->Hide();
  w->Scene()->SetExternalRoot(nullptr);
  w->popupObject_ = nullptr;
  DisposeWindowLater(std::move(w));
  OnClosePopup(this);
}

void TvgPopup::Resized() {
  if (window_) window_->SetClientSize(int(std::ceil(Width())), int(std::ceil(Height())));
}

std::vector<TvgPopup*> TvgPopup::OpenPopups() { return OpenList(); }

bool TvgPopup::IsAncestorPopupOf(const TvgPopup* popup) const {
  int guard = 0;
  for (const TvgPopup* cur = popup; cur && guard < 64; ++guard) {
    const TVisualObject* t = cur->PlacementTarget();
    if (!t) t = cur->Parent();
    const TvgPopup* next = nullptr;
    for (const TVisualObject* o = t; o; o = o->Parent()) {
      if (auto* p = dynamic_cast<const TvgPopup*>(o)) {
        next = p;
        break;
      }
    }
    if (next == this) return true;
    cur = next;
  }
  return false;
}

void TvgPopup::CloseUnrelated(TWindow* window) {
  TvgPopup* inside = window ? window->PopupObject() : nullptr;
  for (TvgPopup* p : OpenPopups()) {
    if (std::find(OpenList().begin(), OpenList().end(), p) == OpenList().end()) continue;  // closed meanwhile
    if (p->staysOpen_) continue;
    if (inside && (inside == p || p->IsAncestorPopupOf(inside))) continue;
    p->ClosePopup();
  }
}

}  // namespace tk
