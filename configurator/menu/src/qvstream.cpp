#include "menu/qvstream.h"

#include <cmath>

#include "menu/qvMenuBox.h"
#include "runtime/text.h"
#include "toolkit/backend.h"

namespace vrnke {

namespace {
int& BusyNesting() {
  static int n = 0;
  return n;
}
tk::TCursor& SavedCursor() {
  static tk::TCursor c = tk::crDefault;
  return c;
}
}  // namespace

TQVStream::TQVStream(rt::TComponent* AOwner) : rt::TComponent(AOwner) {
  FUIRate = DesignMode() ? 1.f : 0.f;
  Publish(
      "BoundComponent", [this] { return FBoundComponent ? FBoundComponent->Name() : std::string(); },
      [this](const std::string& v) {
        if (v.empty()) {
          FBoundComponent.Set(nullptr);
          return;
        }
        auto* c = dynamic_cast<tk::TVisualObject*>(Owner() ? Owner()->FindComponent(v) : nullptr);
        if (!c) throw rt::EPropertyError("BoundComponent: no visual object named '" + v + "'");
        FBoundComponent.Set(c);
      });
  PublishProperty(this, "BoundComponentWidth", &TQVStream::BoundComponentWidth, nullptr);
  PublishProperty(this, "UIBackgroundBitmapWidth", &TQVStream::UIBackgroundBitmapWidth, nullptr);
  PublishProperty(this, "UIRate", &TQVStream::UIRate, nullptr);
  PublishProperty(this, "ActiveUI", &TQVStream::ActiveUI, &TQVStream::SetActiveUI);
  PublishObject("Bitmap", &FBitmap);
  PublishObject("BitmapDown", &FBitmapDown);
  PublishObject("BitmapHot", &FBitmapHot);
}

void TQVStream::SetActiveUI(bool v) {
  if (!v && FActiveUI) ApplySkin();
}

void TQVStream::BeginBusyCursor() {
  if (BusyNesting() == 0) {
    SavedCursor() = tk::Backend().ScreenCursor();
    tk::Backend().SetScreenCursor(tk::crHourGlass);
  }
  ++BusyNesting();
}

void TQVStream::EndBusyCursor() {
  if (BusyNesting() < 1) return;
  if (--BusyNesting() == 0) tk::Backend().SetScreenCursor(SavedCursor());
}

int TQVStream::BusyCount() { return BusyNesting(); }

void TQVStream::ApplySkin() {
  tk::TVisualObject* panel = FBoundComponent.Get();
  if (!panel) return;
  BeginBusyCursor();
  struct Busy {
    ~Busy() { EndBusyCursor(); }
  } busy;
  FBoundComponentWidth = panel->Width();
  FUIBackgroundBitmapWidth = !FBitmap.IsEmpty()       ? float(FBitmap.Width())
                             : !FBitmapDown.IsEmpty() ? float(FBitmapDown.Width())
                             : !FBitmapHot.IsEmpty()  ? float(FBitmapHot.Width())
                                                      : 0.f;
  FUIRate = 1;
  if (FBoundComponentWidth > 0 && FUIBackgroundBitmapWidth > 0) {
    FUIRate = FUIBackgroundBitmapWidth / FBoundComponentWidth;
    if (FUIRate == 0) FUIRate = 1;
  }
  for (tk::TVisualObject* child : std::vector<tk::TVisualObject*>(panel->Children())) {
    auto* button = dynamic_cast<tk::TvgBitmapStateButton*>(child);
    if (!button || button->Parent() != panel) continue;
    const std::pair<const tk::TBitmap*, tk::TBitmap*> pairs[] = {{&FBitmap, &button->Bitmap()},
                                                                 {&FBitmapDown, &button->BitmapDown()},
                                                                 {&FBitmapHot, &button->BitmapHot()}};
    for (const auto& [skin, target] : pairs) {
      const tk::TBitmap piece = SliceBitmap(button, *skin);
      if (piece.Width() > 1 && piece.Height() > 1) {
        target->Assign(piece);
        button->Repaint();
      }
    }
  }
}

tk::TBitmap TQVStream::SliceBitmap(const tk::TVisualObject* button, const tk::TBitmap& source) const {
  tk::TBitmap result;
  if (source.IsEmpty() || !dynamic_cast<const tk::TvgBitmapStateButton*>(button)) return result;
  const tk::TRectF r = button->BoundsRect();
  const tk::TRectF s{r.left * FUIRate, r.top * FUIRate, r.right * FUIRate, r.bottom * FUIRate};
  const int w = int(std::trunc(r.Width())), h = int(std::trunc(r.Height()));
  if (w <= 0 || h <= 0) return result;
  tk::TBitmap work(w, h);
  {
    auto canvas = work.CreateCanvas();
    canvas->DrawBitmap(source, s, {0, 0, button->Width(), button->Height()}, 1, false);
  }
  result.Assign(work);
  return result;
}

}  // namespace vrnke
