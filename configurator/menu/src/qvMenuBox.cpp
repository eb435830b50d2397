#include "menu/qvMenuBox.h"

#include <algorithm>
#include <cmath>
#include <cwctype>

#include "menu/qvMenuEx.h"
#include "runtime/text.h"
#include "toolkit/backend.h"
#include "toolkit/scene.h"
#include "toolkit/style.h"

namespace vrnke {

namespace {
bool& DesignFlag() {
  static bool on = false;
  return on;
}

char32_t FirstChar(const std::string& text) {
  const std::u16string u = rt::Utf8ToUtf16(text);
  if (u.empty()) return 0;
  char32_t c = u[0];
  if (c >= 0xD800 && c < 0xDC00 && u.size() > 1) c = 0x10000 + ((c - 0xD800) << 10) + (u[1] - 0xDC00);
  return c;
}

char32_t Lower(char32_t c) { return static_cast<char32_t>(std::towlower(static_cast<wint_t>(c))); }

// Whether a bitmap has more than one pixel.
bool Pictured(const tk::TBitmap& b) { return !b.IsEmpty() && long(b.Width()) * b.Height() > 1; }
}  // namespace

bool DesignMode() { return DesignFlag(); }
void SetDesignMode(bool on) { DesignFlag() = on; }

// --- row -------------------------------------------------------------------------------------

TqvMenuBoxItem::TqvMenuBoxItem(rt::TComponent* AOwner) : tk::TvgTextControl(AOwner) {
  SetBounds(5000, 5000, 19, 19);
  SetHitTest(false);
  SetTextAlign(tk::TTextAlign::Near);
  PublishProperty(this, "IsChecked", &TqvMenuBoxItem::IsChecked, &TqvMenuBoxItem::SetIsChecked);
  PublishProperty(this, "IsSelected", &TqvMenuBoxItem::IsSelected, &TqvMenuBoxItem::SetIsSelected);
  PublishProperty(this, "IsExtender", &TqvMenuBoxItem::IsExtender, &TqvMenuBoxItem::SetIsExtender);
  PublishProperty(this, "ItemID", &TqvMenuBoxItem::FItemID);
}

TqvMenuBoxItem::~TqvMenuBoxItem() {
  // The box adjusts its selection while it still sees a whole row.
  SetParent(nullptr);
}

TqvMenuBox* TqvMenuBoxItem::Box() const { return FindParentOfClass<TqvMenuBox>(); }

int TqvMenuBoxItem::RowIndex() const {
  TqvMenuBox* box = Box();
  if (!box) return -1;
  for (int i = 0; i < box->Count(); ++i)
    if (box->ItemByIndex(i) == this) return i;
  return -1;
}

void TqvMenuBoxItem::ApplyStyle() {
  tk::TvgTextControl::ApplyStyle();
  TqvMenuBox* box = Box();
  TqvMenuItemsEx* level = box ? box->MenuItems() : nullptr;
  TqvMenuEx* root = level ? level->RootMenu() : nullptr;
  tk::TvgImageList* images = level ? level->Images() : nullptr;

  if (tk::TVisualObject* iconBox = FindResource("iconbox")) iconBox->SetVisible(images != nullptr);
  FIcon = dynamic_cast<tk::TvgBitmapStateButton*>(FindResource("icon"));
  if (FIcon) {
    FIcon->SetVisible(images != nullptr);
    const int index = RowIndex();
    if (images && level && index >= 0 && index < level->Count()) {
      const int image = level->Items(index)->ImageIndex();
      if (image >= 0 && image < images->Count()) FIcon->SetBitmap(images->Bitmap(image));
    }
  }
  FExtender = FindResource("extender");
  if (FExtender) FExtender->SetVisible(FIsExtender);
  FCheck = FindResource("check");
  if (FCheck) FCheck->SetVisible(box != nullptr);
  FExtenderMark = dynamic_cast<tk::TvgPath*>(FindResource("extendermark"));
  FCheckMark = dynamic_cast<tk::TvgPath*>(FindResource("checkmark"));
  if (FCheckMark) FCheckMark->SetVisible(FIsSelected || FIsChecked);
  FCheckMarkImage = dynamic_cast<tk::TvgImage*>(FindResource("checkmarkimage"));
  if (FCheckMarkImage) FCheckMarkImage->SetVisible(false);
  FTextObject = dynamic_cast<tk::TvgText*>(FindResource("text"));
  if (FTextObject) {
    FTextObject->SetWordWrap(false);
    FTextObject->SetAutoSize(true);
  }
  if (!level) return;
  if (!root || !root->UseCustomMenuParams()) {
    SetFont(level->ItemDefaultFont());
    SetFontFill(level->ItemDefaultFontFill());
    if (auto* shadow = dynamic_cast<tk::TvgShadowEffect*>(FindResource("texteffect")))
      shadow->SetEffectEnabled(false);
    return;
  }
  TMenuParams& p = root->Parameters();
  SetFont(p.ItemFont());
  SetFontFill(p.ItemFontFill());
  if (FExtenderMark) FExtenderMark->SetFill(p.ItemExtenderFill());
  if (FCheckMark) FCheckMark->SetFill(p.ItemCheckFill());
  if (FCheckMarkImage && Pictured(p.ItemCheckImage())) FCheckMarkImage->SetBitmap(p.ItemCheckImage());
  UpdateCheckMark();
}

void TqvMenuBoxItem::FreeStyle() {
  tk::TvgTextControl::FreeStyle();
  FCheck = FExtender = nullptr;
  FTextObject = nullptr;
  FExtenderMark = FCheckMark = nullptr;
  FCheckMarkImage = nullptr;
  FIcon = nullptr;
}

void TqvMenuBoxItem::UpdateCheckMark() {
  if (!FCheckMark || !FCheckMarkImage) return;
  TqvMenuBox* box = Box();
  TqvMenuItemsEx* level = box ? box->MenuItems() : nullptr;
  TqvMenuEx* root = level ? level->RootMenu() : nullptr;
  const bool selectedMark = root && root->Parameters().MenuShowSelectedCheckMark();
  const bool on = FIsChecked || (FIsSelected && selectedMark);
  if (!FCheckMarkImage->Bitmap().IsEmpty()) {
    FCheckMarkImage->SetVisible(on);
    FCheckMark->SetVisible(false);
  } else {
    FCheckMarkImage->SetVisible(false);
    FCheckMark->SetVisible(on);
  }
}

void TqvMenuBoxItem::SetIsChecked(bool v) {
  if (v == FIsChecked) return;
  FIsChecked = v;
  UpdateCheckMark();
}

void TqvMenuBoxItem::SetIsExtender(bool v) {
  FIsExtender = v;
  // The style may be in place before the row learns what it is.
  if (FExtender) FExtender->SetVisible(v);
}

void TqvMenuBoxItem::SetSelectedFlag(bool v) {
  FIsSelected = v;
  UpdateCheckMark();
  if (tk::TVisualObject* inst = StyleInstance()) inst->StartTriggerAnimation(this, "IsSelected");
}

void TqvMenuBoxItem::SetIsSelected(bool v) {
  if (v == FIsSelected) return;
  SetSelectedFlag(v);
  TqvMenuBox* box = Box();
  if (!box) return;
  const int index = RowIndex();
  if (v)
    box->SetItemIndex(index);
  else if (box->ItemIndex() == index)
    box->SetItemIndex(-1);
  else
    box->UpdateHighlights();
}

void TqvMenuBoxItem::DescendantFocused(tk::TVisualObject* focused) {
  (void)focused;
  if (TqvMenuBox* box = Box()) box->SetItemIndex(RowIndex());
}

void TqvMenuBoxItem::Paint(tk::TCanvas& canvas) {
  tk::TvgTextControl::Paint(canvas);
  if (DesignMode()) canvas.DrawDashRect(LocalRect().Inflate(-0.5f, -0.5f), AbsoluteOpacity(), 0xA0909090, 1);
}

// --- box -------------------------------------------------------------------------------------

TqvMenuBox::TqvMenuBox(rt::TComponent* AOwner) : tk::TvgScrollBox(AOwner) {
  SetCanFocus(true);
  SetSize(100, 100);
  PublishProperty(this, "ShowCheckBox", &TqvMenuBox::FShowCheckboxes);
  PublishProperty(this, "ShowSelectedState", &TqvMenuBox::ShowSelectedState,
                  &TqvMenuBox::SetShowSelectedState);
  PublishProperty(this, "ItemWidth", &TqvMenuBox::ItemWidth, &TqvMenuBox::SetItemWidth);
  PublishProperty(this, "ItemHeight", &TqvMenuBox::ItemHeight, &TqvMenuBox::SetItemHeight);
  PublishProperty(this, "ItemIndex", &TqvMenuBox::ItemIndex, &TqvMenuBox::SetItemIndex);
  PublishEvent("OnChange", &OnChange);
}

TqvMenuBox::~TqvMenuBox() {
  // Rows leave while the box is still whole; their removal must not move a selection.
  BeginUpdate();
  for (int i = Count() - 1; i >= 0; --i)
    if (TqvMenuBoxItem* row = ItemByIndex(i)) row->SetParent(nullptr);
}

void TqvMenuBox::SetMenuItems(TqvMenuItemsEx* AqvMenuItemsEx) {
  if (AqvMenuItemsEx == FqvMenuItemsEx) return;
  FqvMenuItemsEx = AqvMenuItemsEx;
  // The parts the style gives depend on the level's parameters.
  if (StyleApplied() && AqvMenuItemsEx) NeedStyleLookup();
}

int TqvMenuBox::Count() const { return Content() ? Content()->ChildCount() : 0; }

TqvMenuBoxItem* TqvMenuBox::ItemByIndex(int Idx) const {
  if (Idx < 0 || Idx >= Count()) return nullptr;
  return dynamic_cast<TqvMenuBoxItem*>(Content()->Child(Idx));
}

TqvMenuBoxItem* TqvMenuBox::ItemByPoint(float X, float Y) const {
  const tk::TPointF abs = LocalToAbsolute({X, Y});
  for (int i = 0; i < Count(); ++i) {
    TqvMenuBoxItem* row = ItemByIndex(i);
    if (row && row->Visible() && row->AbsoluteRect().Contains(abs)) return row;
  }
  return nullptr;
}

void TqvMenuBox::AddObject(tk::TVisualObject* AObject) {
  if (dynamic_cast<TqvMenuBoxItem*>(AObject))
    tk::TvgScrollBox::AddObject(AObject);
  else
    tk::TVisualObject::AddObject(AObject);
}

void TqvMenuBox::SetShowSelectedState(bool v) {
  if (v == FShowSelectedState) return;
  FShowSelectedState = v;
  UpdateHighlights();
}

void TqvMenuBox::SetItemWidth(float v) {
  if (v == FItemWidth) return;
  FItemWidth = v;
  RealignContent();
}

void TqvMenuBox::SetItemHeight(float v) {
  if (v == FItemHeight) return;
  FItemHeight = v;
  RealignContent();
}

void TqvMenuBox::SetListStyle(TqvListStyle v) {
  if (v == FListStyle) return;
  FListStyle = v;
  RealignContent();
}

void TqvMenuBox::SetItemIndex(int Value) {
  if (Value == FItemIndex) return;
  if (TqvMenuBoxItem* old = ItemByIndex(FItemIndex)) old->SetSelectedFlag(false);
  FItemIndex = Value;
  TqvMenuBoxItem* row = ItemByIndex(Value);
  if (row) ScrollIntoView(row);
  if (Value >= 0 && row && !row->IsSelected()) row->SetSelectedFlag(true);
  if (!IsUpdating()) {
    DataChanged();
    OnChange(ItemByIndex(FItemIndex));
  }
  // An extender opens a sub-menu: it is never left selected.
  if (row && row->IsExtender() && row->IsSelected() && FItemIndex == Value) {
    row->SetSelectedFlag(false);
    FItemIndex = -1;
  }
  if (FqvMenuItemsEx) FqvMenuItemsEx->SetItemIndex(FItemIndex);
  UpdateHighlights();
}

void TqvMenuBox::ScrollIntoView(TqvMenuBoxItem* row) {
  const tk::TRectF view = VisibleRect();
  tk::TPointF pos = ViewportPosition();
  const tk::TBounds& pad = row->Padding();
  const float bottom = row->Top() + pad.top + pad.bottom + row->Height();
  const float right = row->Left() + pad.left + pad.right + row->Width();
  if (bottom > view.bottom)
    pos.y += bottom - view.bottom;
  else if (row->Top() < view.top)
    pos.y = row->Top();
  if (right > view.right)
    pos.x += right - view.right;
  else if (row->Left() < view.left)
    pos.x = row->Left();
  SetViewportPosition(pos);
}

int TqvMenuBox::VisibleNormalShows() const {
  int n = 0;
  for (const auto& s : FNormalShows)
    if (s && s->Visible()) ++n;
  return n;
}

void TqvMenuBox::ForgetPointer() {
  FMoveOverItem.Set(nullptr);
  FMouseDownItem.Set(nullptr);
  FMouseSelecting = false;
  UpdateHighlights();
}

void TqvMenuBox::UpdateHighlights() {
  if (!FNormalShowObject) return;
  const tk::TRectF view = VisibleRect();
  tk::TVisualObject* space = FSelection && FSelection->Parent() ? FSelection->Parent() : nullptr;
  std::vector<tk::TRectF> normals;
  tk::TRectF over, down;
  bool hasOver = false, hasDown = false;
  TqvMenuBoxItem* hover = FMoveOverItem.Get();
  TqvMenuBoxItem* pressed = FMouseDownItem.Get();
  for (int i = 0; i < Count(); ++i) {
    TqvMenuBoxItem* row = ItemByIndex(i);
    if (!row || !row->Visible() || !row->BoundsRect().Intersects(view)) continue;
    tk::TPointF corner = row->LocalToAbsolute({0, 0});
    if (space) corner = space->AbsoluteToLocal(corner);
    const tk::TRectF r = tk::TRectF::FromSize(corner.x, corner.y, row->Width(), row->Height());
    if (row == hover && row != pressed) {
      over = r;
      hasOver = true;
    } else if (row == pressed || (row->IsSelected() && FShowSelectedState)) {
      down = r;
      hasDown = true;
    } else {
      normals.push_back(r);
    }
  }
  FNormalShows.erase(std::remove_if(FNormalShows.begin(), FNormalShows.end(),
                                    [](const tk::TObjectRef<tk::TVisualObject>& r) { return !r; }),
                     FNormalShows.end());
  tk::TVisualObject* templParent = FNormalShowObject->Parent();
  while (FNormalShows.size() < normals.size() && templParent) {
    tk::TVisualObject* copy = FNormalShowObject->Clone(this);
    copy->SetResourceName("");
    copy->SetStored(false);
    copy->SetLocked(true);
    copy->SetVisible(false);
    // Behind the rows, beside the template.
    templParent->InsertObject(FNormalShowObject->Index() + 1, copy);
    FNormalShows.emplace_back(copy);
  }
  for (size_t i = 0; i < FNormalShows.size(); ++i) {
    tk::TVisualObject* s = FNormalShows[i].Get();
    if (i < normals.size()) {
      s->SetBoundsRect(normals[i]);
      s->SetVisible(true);
    } else {
      s->SetVisible(false);
    }
  }
  FNormalShowObject->SetVisible(false);
  if (FOverShowObject) {
    FOverShowObject->SetVisible(false);
    if (hasOver) {
      FOverShowObject->SetStored(false);
      FOverShowObject->SetBoundsRect(over);
      FOverShowObject->SetVisible(true);
    }
  }
  if (FDownShowObject) {
    FDownShowObject->SetVisible(false);
    if (hasDown) {
      FDownShowObject->SetStored(false);
      FDownShowObject->SetBoundsRect(down);
      FDownShowObject->SetVisible(true);
    }
  }
}

void TqvMenuBox::ApplyStyle() {
  tk::TvgScrollBox::ApplyStyle();
  FContentObject = dynamic_cast<tk::TvgLayout*>(FindResource("content"));
  FbackgroundObject = FindResource("background");
  if (FbackgroundObject)
    FbackgroundObject->OnBeforePaint = [](rt::TComponent*, tk::TCanvas&, const tk::TRectF&) {};
  FAlternatingBackgroundObject = FindResource("AlternatingBackground");
  if (FAlternatingBackgroundObject) FAlternatingBackgroundObject->SetVisible(false);
  FSelection = FindResource("selection");
  if (FSelection) FSelection->SetVisible(false);
  FRowMargins.Set(0, 0, 0, 0);
  TMenuParams* p = FqvMenuItemsEx ? FqvMenuItemsEx->GoverningParams() : nullptr;
  auto hidden = [this](const char* name) {
    tk::TVisualObject* o = FindResource(name);
    if (o) o->SetVisible(false);
    return o;
  };
  if (!p) {
    FOverShowObject = hidden("blurovershow");
    FDownShowObject = hidden("blurdownshow");
    FNormalShowObject = hidden("blurnormalshow");
  } else {
    FOverShowObject = hidden("overshow");
    FDownShowObject = hidden("downshow");
    FNormalShowObject = hidden("normalshow");
    FBackgroundImage = dynamic_cast<tk::TvgImage*>(hidden("backgroundimage"));
    if (auto* s = dynamic_cast<tk::TvgShape*>(FNormalShowObject)) s->SetFill(p->ItemNormalFill());
    if (auto* s = dynamic_cast<tk::TvgShape*>(FOverShowObject)) s->SetFill(p->ItemOverFill());
    if (auto* s = dynamic_cast<tk::TvgShape*>(FDownShowObject)) s->SetFill(p->ItemDownFill());
    if (auto* s = dynamic_cast<tk::TvgShape*>(FbackgroundObject)) s->SetFill(p->BGFill());
    if (FBackgroundImage && Pictured(p->BGImage())) {
      FBackgroundImage->SetBitmap(p->BGImage());
      FBackgroundImage->SetVisible(true);
    }
    if (!p->BGResource().empty()) {
      if (auto* alt = dynamic_cast<tk::TvgStyledControl*>(FAlternatingBackgroundObject)) {
        alt->SetResource(p->BGResource());
        alt->SetVisible(true);
      }
    }
    FRowMargins.Assign(p->BGMargins());
  }
  UpdateHighlights();
}

void TqvMenuBox::FreeStyle() {
  for (auto& s : FNormalShows) delete s.Get();
  FNormalShows.clear();
  FSelection = FbackgroundObject = FAlternatingBackgroundObject = nullptr;
  FNormalShowObject = FOverShowObject = FDownShowObject = FContentObject = nullptr;
  FBackgroundImage = nullptr;
  tk::TvgScrollBox::FreeStyle();
}

tk::TRectF TqvMenuBox::GetContentBounds() {
  const tk::TVisualObject* layout = ContentLayout();
  tk::TRectF r{FRowMargins.left, FRowMargins.top, layout->Width() - FRowMargins.right,
               layout->Height() - FRowMargins.bottom};
  if (IsUpdating() || !FContentObject) return tk::TvgScrollBox::GetContentBounds();
  if (TqvMenuBoxItem* sel = ItemByIndex(FItemIndex); sel && !sel->IsSelected()) sel->SetSelectedFlag(true);
  const bool vertical = FListStyle == TqvListStyle::Vertical;
  // Along: the direction rows are stacked in; across: the direction of the columns.
  const float across = vertical ? r.Width() : r.Height();
  const float fixedAcross = vertical ? FItemWidth : FItemHeight;
  const float fixedAlong = vertical ? FItemHeight : FItemWidth;
  if (fixedAcross != 0) FColumns = std::max(1, int(across / fixedAcross));
  const float column = fixedAcross != 0 ? fixedAcross : across / float(std::max(1, FColumns));
  std::vector<TqvMenuBoxItem*> rows;
  for (int i = 0; i < Count(); ++i)
    if (TqvMenuBoxItem* row = ItemByIndex(i)) rows.push_back(row);
  auto alongOf = [vertical](const tk::TVisualObject* o) { return vertical ? o->Height() : o->Width(); };
  auto padAlong = [vertical](const tk::TVisualObject* o) {
    return vertical ? o->Padding().top + o->Padding().bottom : o->Padding().left + o->Padding().right;
  };
  float sum = 0;
  for (size_t first = 0; first < rows.size(); first += size_t(FColumns)) {
    const size_t last = std::min(rows.size(), first + size_t(FColumns));
    float line = 0;
    for (size_t i = first; i < last; ++i) {
      const float own = fixedAlong != 0 ? fixedAlong : alongOf(rows[i]);
      line = std::max(line, own + padAlong(rows[i]));
    }
    for (size_t i = first; i < last; ++i) {
      TqvMenuBoxItem* row = rows[i];
      const tk::TBounds& pad = row->Padding();
      const float col = column * float(i - first);
      if (vertical)
        row->SetBounds(r.left + pad.left + col, r.top + sum + pad.top, column - pad.left - pad.right,
                       line - pad.top - pad.bottom);
      else
        row->SetBounds(r.left + sum + pad.left, r.top + pad.top + col, line - pad.left - pad.right,
                       column - pad.top - pad.bottom);
    }
    sum += line;
  }
  if (!vertical && FItemIndex >= int(rows.size())) FItemIndex = int(rows.size()) - 1;
  tk::TRectF bounds = r;
  if (sum > 0) {
    if (vertical)
      bounds.bottom = r.top + sum;
    else
      bounds.right = r.left + sum;
  }
  if (fixedAcross != 0) {
    if (vertical)
      bounds.right = r.left + fixedAcross * float(FColumns);
    else
      bounds.bottom = r.top + fixedAcross * float(FColumns);
  }
  // The scrolled area starts at the layout's origin.
  bounds.left = 0;
  bounds.top = 0;
  UpdateHighlights();
  return bounds;
}

void TqvMenuBox::ContentAddObject(tk::TVisualObject* child) {
  if (!IsUpdating()) tk::TvgScrollBox::ContentAddObject(child);
}

void TqvMenuBox::ContentBeforeRemoveObject(tk::TVisualObject* child) {
  auto* row = dynamic_cast<TqvMenuBoxItem*>(child);
  if (!row || IsUpdating()) return;
  const int index = row->Index();
  if (index >= 0 && index < FItemIndex) {
    --FItemIndex;
    UpdateHighlights();
  } else if (index == FItemIndex) {
    row->SetSelectedFlag(false);
    FItemIndex = -1;
    if (FqvMenuItemsEx) FqvMenuItemsEx->SetItemIndex(-1);
  }
  if (row == FMoveOverItem.Get()) FMoveOverItem.Set(nullptr);
  if (row == FMouseDownItem.Get()) FMouseDownItem.Set(nullptr);
}

void TqvMenuBox::ContentRemoveObject(tk::TVisualObject* child) {
  if (!IsUpdating()) tk::TvgScrollBox::ContentRemoveObject(child);
}

void TqvMenuBox::HScrollChange() {
  tk::TvgScrollBox::HScrollChange();
  UpdateHighlights();
}

void TqvMenuBox::VScrollChange() {
  tk::TvgScrollBox::VScrollChange();
  UpdateHighlights();
}

void TqvMenuBox::Clear() {
  BeginUpdate();
  for (int i = Count() - 1; i >= 0; --i) {
    tk::TVisualObject* row = Content()->Child(i);
    if (row == FMoveOverItem.Get()) FMoveOverItem.Set(nullptr);
    if (row == FMouseDownItem.Get()) FMouseDownItem.Set(nullptr);
    delete row;
  }
  FItemIndex = -1;
  EndUpdate();
  SetViewportPosition({0, 0});
  RealignContent();
}

void TqvMenuBox::SelectAll() {
  for (int i = 0; i < Count(); ++i)
    if (TqvMenuBoxItem* row = ItemByIndex(i); row && !row->IsSelected()) row->SetSelectedFlag(true);
  UpdateHighlights();
}

void TqvMenuBox::ClearSelection() {
  for (int i = 0; i < Count(); ++i)
    if (TqvMenuBoxItem* row = ItemByIndex(i); row && row->IsSelected()) row->SetSelectedFlag(false);
  UpdateHighlights();
}

void TqvMenuBox::SelectRange(TqvMenuBoxItem* Item1, TqvMenuBoxItem* Item2) {
  if (!Item1 || !Item2) return;
  const int a = std::min(Item1->RowIndex(), Item2->RowIndex());
  const int b = std::max(Item1->RowIndex(), Item2->RowIndex());
  if (a < 0) return;
  for (int i = 0; i < Count(); ++i) {
    TqvMenuBoxItem* row = ItemByIndex(i);
    const bool in = i >= a && i <= b;
    if (row && row->IsSelected() != in) row->SetSelectedFlag(in);
  }
  UpdateHighlights();
}

std::string TqvMenuBox::GetData() const {
  const TqvMenuBoxItem* row = ItemByIndex(FItemIndex);
  return row ? row->Text() : std::string();
}

void TqvMenuBox::SetData(const std::string& value) {
  if (TqvMenuBoxItem* row = ItemByIndex(FItemIndex)) row->SetText(value);
}

// --- pointer ---------------------------------------------------------------------------------

void TqvMenuBox::CloseSubMenus() {
  if (!FqvMenuItemsEx) return;
  for (int i = 0; i < FqvMenuItemsEx->Count(); ++i)
    if (TqvMenuItemEx* item = FqvMenuItemsEx->Items(i); item->IsExtender()) item->SubItems().ClosePopups();
}

void TqvMenuBox::FocusOwnWindow() {
  tk::TvgPopup* popup = FqvMenuItemsEx ? FqvMenuItemsEx->Popup() : nullptr;
  tk::TWindow* window = popup ? popup->PopupWindow() : nullptr;
  if (!window) return;
  window->Activate();
  popup->SetFocus();
}

void TqvMenuBox::HoverRow(TqvMenuBoxItem* row, bool openSubMenu) {
  FMoveOverItem.Set(row);
  UpdateHighlights();
  CloseSubMenus();
  if (!FqvMenuItemsEx || !row) return;
  const int index = row->RowIndex();
  if (row->IsExtender() && openSubMenu) {
    if (index >= 0 && index < FqvMenuItemsEx->Count())
      FqvMenuItemsEx->Items(index)->SubItems().ShowPopup(row, tk::TvgPlacement::vgPlacementRight);
  } else {
    FocusOwnWindow();
  }
}

void TqvMenuBox::MouseDown(tk::TMouseButton button, tk::TShiftState shift, float x, float y) {
  tk::TObjectRef<TqvMenuBox> self(this);
  tk::TvgScrollBox::MouseDown(button, shift, x, y);
  if (!self || button != tk::TMouseButton::mbLeft || MouseTracking()) return;
  TqvMenuBoxItem* row = ItemByPoint(x, y);
  FMouseDownItem.Set(row);
  UpdateHighlights();
  if (row && row->RowIndex() != FItemIndex) SetItemIndex(row->RowIndex());
  FMouseSelecting = true;
  // The press closed the pop-ups placed on this one; the pressed extender keeps its sub-menu.
  if (self && row && row->IsExtender() && FqvMenuItemsEx) {
    const int index = row->RowIndex();
    if (index >= 0 && index < FqvMenuItemsEx->Count()) {
      TqvMenuItemsEx& sub = FqvMenuItemsEx->Items(index)->SubItems();
      if (!sub.Popup() || !sub.Popup()->IsOpen()) sub.ShowPopup(row, tk::TvgPlacement::vgPlacementRight);
    }
  }
}

void TqvMenuBox::MouseMove(tk::TShiftState shift, float x, float y) {
  tk::TObjectRef<TqvMenuBox> self(this);
  tk::TvgScrollBox::MouseMove(shift, x, y);
  if (!self) return;
  TqvMenuBoxItem* row = ItemByPoint(x, y);
  if (!row || row == FMoveOverItem.Get()) return;
  HoverRow(row, true);
}

void TqvMenuBox::MouseLeave() {
  tk::TvgScrollBox::MouseLeave();
  FMoveOverItem.Set(nullptr);
  UpdateHighlights();
}

TqvMenuBoxItem* TqvMenuBox::CascadeRowAt(tk::TPointF screen, TqvMenuBox*& box) const {
  box = nullptr;
  TqvMenuEx* root = FqvMenuItemsEx ? FqvMenuItemsEx->RootMenu() : nullptr;
  if (!root) return nullptr;
  std::vector<TqvMenuItemsEx*> levels{&root->Items()};
  for (size_t i = 0; i < levels.size(); ++i) {
    TqvMenuItemsEx* level = levels[i];
    for (int k = 0; k < level->Count(); ++k)
      if (level->Items(k)->IsExtender()) levels.push_back(&level->Items(k)->SubItems());
    TqvMenuBox* other = level->MenuBox();
    if (!other || !level->Popup() || !level->Popup()->IsOpen()) continue;
    const tk::TPointF local = other->ScreenToLocal(screen);
    if (!other->LocalRect().Contains(local)) continue;
    if (TqvMenuBoxItem* row = other->ItemByPoint(local.x, local.y)) {
      box = other;
      return row;
    }
  }
  return nullptr;
}

void TqvMenuBox::FinishOnRow(TqvMenuBoxItem* row, bool click) {
  tk::TObjectRef<TqvMenuBox> self(this);
  TqvMenuItemsEx* level = FqvMenuItemsEx;
  if (!level) return;
  tk::Backend().ProcessEvents(0);
  tk::Backend().ProcessEvents(0);
  if (!self) return;
  TqvMenuEx* root = level->RootMenu();
  if (root) {
    root->Items().ClosePopups();
    root->Items().ResetItemIndexes(level);
  }
  if (!click || !row) return;
  const int index = FItemIndex;
  if (index >= 0 && index < level->Count()) level->Items(index)->Execute();
}

void TqvMenuBox::MouseUp(tk::TMouseButton button, tk::TShiftState shift, float x, float y) {
  tk::TObjectRef<TqvMenuBox> self(this);
  tk::TvgScrollBox::MouseUp(button, shift, x, y);
  if (!self) return;
  if (MouseTracking() && LastDragStep() == tk::TPointF{0, 0})
    if (TqvMenuBoxItem* under = ItemByPoint(x, y)) SetItemIndex(under->RowIndex());
  FMouseSelecting = false;
  TqvMenuBoxItem* pressed = FMouseDownItem.Get();
  if (pressed) {
    FMouseDownItem.Set(nullptr);
    FMoveOverItem.Set(nullptr);
    UpdateHighlights();
  }
  TqvMenuBox* box = this;
  TqvMenuBoxItem* row = ItemByPoint(x, y);
  // The press may have been in another pop-up of the cascade, which keeps the pointer.
  if (!row && Scene()) row = CascadeRowAt(LocalToScreen({x, y}), box);
  if (!row || !box->FqvMenuItemsEx || row->IsExtender()) return;
  box->FinishOnRow(row, box == this && pressed == row);
}

// --- keys ------------------------------------------------------------------------------------

void TqvMenuBox::KeyDown(uint16_t& key, char32_t& keyChar, tk::TShiftState shift) {
  tk::TvgScrollBox::KeyDown(key, keyChar, shift);
  const int count = Count();
  if (count == 0) return;
  if (keyChar != 0) {
    const char32_t wanted = Lower(keyChar);
    for (int i = 0; i < count; ++i) {
      TqvMenuBoxItem* row = ItemByIndex(i);
      if (row && !row->Text().empty() && Lower(FirstChar(row->Text())) == wanted) {
        SetItemIndex(i);
        break;
      }
    }
    keyChar = 0;
  }
  int next = FItemIndex;
  switch (key) {
    case tk::vk::End:
      next = count - FColumns;
      break;
    case tk::vk::Home:
      next = 0;
      break;
    case tk::vk::Left:
      if (FItemIndex > 0) next = FItemIndex - 1;
      break;
    case tk::vk::Up:
      if (FItemIndex >= 1) next = std::max(0, FItemIndex - FColumns);
      break;
    case tk::vk::Right:
      if (FItemIndex < count - 1) next = FItemIndex + 1;
      break;
    case tk::vk::Down:
      if (FItemIndex < count - 1) next = std::min(count - 1, FItemIndex + FColumns);
      break;
    default:
      return;
  }
  key = 0;
  SetItemIndex(next);
}

bool TqvMenuBox::CascadeKey(uint16_t key) {
  const int count = Count();
  TqvMenuBoxItem* hover = FMoveOverItem.Get();
  const int at = hover ? hover->RowIndex() : -1;
  switch (key) {
    case tk::vk::Up:
    case tk::vk::Down: {
      if (count == 0) return true;
      int next = at < 0 ? (key == tk::vk::Down ? 0 : count - 1)
                        : std::clamp(at + (key == tk::vk::Down ? 1 : -1), 0, count - 1);
      TqvMenuBoxItem* row = ItemByIndex(next);
      if (row && row != hover) {
        ScrollIntoView(row);
        HoverRow(row, false);
      }
      return true;
    }
    case tk::vk::Right:
    case tk::vk::Return: {
      if (!hover || !FqvMenuItemsEx) return true;
      if (hover->IsExtender()) {
        if (at < 0 || at >= FqvMenuItemsEx->Count()) return true;
        TqvMenuItemsEx& sub = FqvMenuItemsEx->Items(at)->SubItems();
        CloseSubMenus();
        sub.ShowPopup(hover, tk::TvgPlacement::vgPlacementRight);
        if (TqvMenuBox* subBox = sub.MenuBox()) {
          subBox->FMoveOverItem.Set(subBox->ItemByIndex(0));
          subBox->UpdateHighlights();
        }
        return true;
      }
      if (key == tk::vk::Right) return true;
      // Enter on a leaf: exactly what a press and a release on it do.
      if (at != FItemIndex) SetItemIndex(at);
      FMoveOverItem.Set(nullptr);
      UpdateHighlights();
      FinishOnRow(hover, true);
      return true;
    }
    case tk::vk::Left:
    case tk::vk::Escape: {
      if (!FqvMenuItemsEx) return false;
      TqvMenuItemEx* owner = FqvMenuItemsEx->OwnerItem();
      if (!owner) {
        if (key == tk::vk::Left) return true;
        FqvMenuItemsEx->ClosePopups();
        return true;
      }
      TqvMenuItemsEx* parent = owner->GetOwner();
      FqvMenuItemsEx->ClosePopups();
      if (parent && parent->MenuBox()) parent->MenuBox()->FocusOwnWindow();
      return true;
    }
    default:
      return false;
  }
}

void TqvMenuPopup::KeyDown(uint16_t& key, char32_t& keyChar, tk::TShiftState shift) {
  tk::TvgPopup::KeyDown(key, keyChar, shift);
  if (key == 0) return;
  for (tk::TVisualObject* child : Children())
    if (auto* box = dynamic_cast<TqvMenuBox*>(child)) {
      if (box->CascadeKey(key)) {
        key = 0;
        keyChar = 0;
      }
      return;
    }
}

}  // namespace vrnke
