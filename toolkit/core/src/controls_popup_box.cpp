// The pop-up box: a button that opens a list of texts.
#include <algorithm>
#include <cmath>

#include "controls_util.h"
#include "runtime/errors.h"
#include "runtime/text.h"
#include "toolkit/controls/popup_box.h"
#include "toolkit/scene.h"
#include "toolkit/translate.h"

namespace tk {

using namespace detail;

// --- pop-up box ------------------------------------------------------------------------------

namespace {
// A row of a pop-up box's list.
class TPopupListRow : public TvgTextControl {
 public:
  TPopupListRow(TvgPopupBox* box, int index, TAlphaColor hot, TAlphaColor selected)
      : TvgTextControl(nullptr), box_(box), index_(index), hot_(hot), selected_(selected) {
    SetStored(false);
    SetTextAlign(TTextAlign::Near);
    Padding().Set(6, 0, 6, 0);
  }
  std::string ClassName() const override { return "TvgPopupListRow"; }
  void Paint(TCanvas& canvas) override {
    if (IsMouseOver() || box_->ItemIndex() == index_) {
      TBrush hi(TBrushKind::Solid, IsMouseOver() ? hot_ : selected_);
      canvas.FillRect(LocalRect(), 0, 0, crnAll, 1, hi);
    }
    TvgTextControl::Paint(canvas);
  }
  void MouseEnter() override {
    TObjectRef<TVisualObject> self(this);  // the handler may free this
    TvgTextControl::MouseEnter();
    if (!self) return;
    Repaint();
  }
  void MouseLeave() override {
    TObjectRef<TVisualObject> self(this);  // the handler may free this
    TvgTextControl::MouseLeave();
    if (!self) return;
    Repaint();
  }
  void Click() override {
    TvgPopupBox* box = box_;
    const int i = index_;
    if (box->ListPopup()) box->ListPopup()->ClosePopup();
    box->SetItemIndex(i);
  }

 private:
  TvgPopupBox* box_;
  int index_;
  TAlphaColor hot_, selected_;
};
}  // namespace

TvgPopupBox::TvgPopupBox(rt::TComponent* owner) : TvgTextControl(owner) {
  SetCanFocus(true);
  SetSize(120, 22);
  Publish(
      "Items", [this] { return JoinLines(items_); },
      [this](const std::string& v) { SetItems(v.empty() ? std::vector<std::string>{} : SplitLines(v)); });
  PublishProperty(this, "ItemIndex", &TvgPopupBox::itemIndex_, &TvgPopupBox::SetItemIndex);
  PublishEvent("OnChange", &OnChange);
}

TvgPopupBox::~TvgPopupBox() = default;

void TvgPopupBox::SetItems(const std::vector<std::string>& items) {
  items_ = items;
  if (itemIndex_ >= int(items_.size())) itemIndex_ = -1;
  UpdateShownText();
}

void TvgPopupBox::AddItem(const std::string& item) { items_.push_back(item); }

void TvgPopupBox::ClearItems() {
  items_.clear();
  itemIndex_ = -1;
  UpdateShownText();
}

void TvgPopupBox::SetItemIndex(int index) {
  if (index < -1 || index >= int(items_.size()))
    throw rt::ERangeError(rt::Format("Item index %d out of range (%d items)", index, int(items_.size())));
  if (index == itemIndex_) return;
  itemIndex_ = index;
  UpdateShownText();
  DataChanged();
  OnChange(this);
}

void TvgPopupBox::SetData(const std::string& value) {
  for (int i = 0; i < int(items_.size()); ++i)
    if (items_[i] == value) return SetItemIndex(i);
}

void TvgPopupBox::UpdateShownText() { SetText(itemIndex_ >= 0 ? items_[itemIndex_] : std::string()); }

void TvgPopupBox::Retranslate() {
  TvgTextControl::Retranslate();
  if (popup_)
    for (TVisualObject* c : popup_->Children()) c->Retranslate();
}

void TvgPopupBox::DropDown() {
  if (popup_ && popup_->IsOpen()) {
    popup_->ClosePopup();
    return;
  }
  if (!popup_) {
    popup_ = new TvgPopup(nullptr);
    popup_->SetStored(false);
    popup_->SetParent(this);
    popup_->SetPlacementTarget(this);
    popup_->SetPlacement(TvgPlacement::vgPlacementBottom);
  }
  while (popup_->ChildCount() > 0) delete popup_->Child(popup_->ChildCount() - 1);
  // A style may dress the list too: hidden parts "list" (its fill and border) and
  // "listhighlight" (the row under the pointer; the chosen row takes it at half strength).
  // The rows' text then takes the box's own text colour.
  auto* listPart = dynamic_cast<TvgShape*>(FindResource("list"));
  auto* highlightPart = dynamic_cast<TvgShape*>(FindResource("listhighlight"));
  TAlphaColor hot = 0xFF9BD3F5, selected = 0xFFD8ECF9;
  if (highlightPart) {
    hot = highlightPart->Fill().Color();
    selected = (hot & 0x00FFFFFF) | ((hot >> 25) << 24);
  }
  auto* back = new TvgRectangle(nullptr);
  back->Fill().SetColor(claWhite);
  back->Stroke().SetColor(0xFF8A8A8A);
  if (listPart) {
    back->Fill().Assign(listPart->Fill());
    back->Stroke().Assign(listPart->Stroke());
  }
  back->SetHitTest(false);
  back->SetAlign(TvgAlign::vaContents);
  back->SetParent(popup_);
  const float rowH = std::max(20.f, MeasureTextRect("Wg", Font(), {0, 0, 1000, 1000}, false).Height() + 6);
  float width = Width();
  for (int i = 0; i < int(items_.size()); ++i) {
    auto* row = new TPopupListRow(this, i, hot, selected);
    row->Font().Assign(Font());
    if (listPart) row->FontFill().Assign(FontFill());
    row->SetText(items_[i]);
    row->SetBounds(1, 1 + rowH * float(i), 0, rowH);
    row->SetParent(popup_);
    width = std::max(width, row->TextWidth(row->DisplayText()) + 16);
  }
  for (TVisualObject* c : popup_->Children())
    if (dynamic_cast<TPopupListRow*>(c)) c->SetWidth(width - 2);
  popup_->SetSize(width, rowH * float(items_.size()) + 2);
  popup_->Popup();
}

void TvgPopupBox::Click() {
  TObjectRef<TVisualObject> self(this);  // the handler may free this
  TvgTextControl::Click();
  if (!self) return;
  DropDown();
}

void TvgPopupBox::KeyDown(uint16_t& key, char32_t& keyChar, TShiftState shift) {
  TObjectRef<TVisualObject> self(this);  // the handler may free this
  TvgTextControl::KeyDown(key, keyChar, shift);
  if (!self) return;
  if (key == vk::Up && itemIndex_ > 0) {
    SetItemIndex(itemIndex_ - 1);
    key = 0;
  } else if (key == vk::Down && itemIndex_ + 1 < int(items_.size())) {
    SetItemIndex(itemIndex_ + 1);
    key = 0;
  } else if (key == vk::Return || keyChar == U' ') {
    key = 0;
    keyChar = 0;
    DropDown();
  }
}

void TvgPopupBox::Paint(TCanvas& canvas) {
  TvgStyledControl::Paint(canvas);
  if (!StyleApplied()) {
    TBrush back(TBrushKind::Solid, 0xFFF0F0F0), border(TBrushKind::Solid, 0xFF8A8A8A);
    canvas.FillRect(LocalRect(), 2, 2, crnAll, 1, back);
    canvas.DrawRect(LocalRect().Inflate(-0.5f, -0.5f), 2, 2, crnAll, 1, border, 1);
  }
  TvgTextControl::Paint(canvas);
}

TvgStringComboBox::TvgStringComboBox(rt::TComponent* owner) : TvgPopupBox(owner) {
  SetTextAlign(TTextAlign::Near);
  Padding().Set(4, 0, 18, 0);
}

void TvgStringComboBox::Paint(TCanvas& canvas) {
  TvgPopupBox::Paint(canvas);
  if (StyleApplied()) return;
  TPathData arrow;
  const float x = Width() - 13, y = Height() / 2 - 2;
  arrow.MoveTo({x, y});
  arrow.LineTo({x + 8, y});
  arrow.LineTo({x + 4, y + 5});
  arrow.ClosePath();
  TBrush b(TBrushKind::Solid, 0xFF404040);
  canvas.FillPath(arrow, 1, b);
}

}  // namespace tk
