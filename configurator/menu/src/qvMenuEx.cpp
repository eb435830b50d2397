#include "menu/qvMenuEx.h"

#include <climits>
#include <cmath>
#include <unordered_set>

#include "menu/qvFunctionManager.h"
#include "menu/qvMenuBox.h"
#include "menu/qvstream.h"
#include "runtime/errors.h"
#include "runtime/text.h"
#include "toolkit/backend.h"
#include "toolkit/scene.h"
#include "toolkit/translate.h"

namespace vrnke {

namespace {
int64_t& SelectedID() {
  static int64_t id = 0;
  return id;
}

// A pop-up's height never exceeds the screen.
float LimitToScreen(float h) { return std::min(h, tk::Backend().ScreenSize().y); }
}  // namespace

int64_t StoredSelectedMenuID() { return SelectedID(); }
void SetStoredSelectedMenuID(int64_t id) { SelectedID() = id; }

void RegisterMenuClasses() {
  tk::RegisterClassOf<TqvMenuEx>("TqvMenuEx");
  tk::RegisterClassOf<TqvMenuBox>("TqvMenuBox");
  tk::RegisterClassOf<TqvMenuBoxItem>("TqvMenuBoxItem");
  tk::RegisterClassOf<TqvMenuPopup>("TqvMenuPopup");
  tk::RegisterClassOf<TQVStream>("TQVStream");
  tk::RegisterClassOf<TqvFunctionManager>("TqvFunctionManager");
}

// --- parameters ------------------------------------------------------------------------------

TMenuParams::TMenuParams() {
  PublishObject("BGFill", &FBGFill);
  PublishObject("ItemNormalFill", &FItemNormalFill);
  PublishObject("ItemOverFill", &FItemOverFill);
  PublishObject("ItemDownFill", &FItemDownFill);
  PublishObject("ItemCheckFill", &FItemCheckFill);
  PublishObject("ItemExtenderFill", &FItemExtenderFill);
  PublishObject("ItemCheckImage", &FItemCheckImage);
  PublishObject("ItemFontFill", &FItemFontFill);
  PublishObject("ItemFont", &FItemFont);
  PublishProperty(this, "ItemHeight", &TMenuParams::FItemHeight);
  PublishProperty(this, "ItemWidth", &TMenuParams::FItemWidth);
  PublishProperty(this, "ItemShowCheck", &TMenuParams::FItemShowCheck);
  PublishProperty(this, "ItemAutoSize", &TMenuParams::FItemAutoSize);
  PublishProperty(this, "MenuShowCheckbox", &TMenuParams::FMenuShowCheckbox);
  PublishProperty(this, "MenuShowSelectedState", &TMenuParams::FMenuShowSelectedState);
  PublishProperty(this, "MenuShowSelectedCheckMark", &TMenuParams::FMenuShowSelectedCheckMark);
  PublishObject("BGImage", &FBGImage);
  PublishObject("BGMargins", &FBGMargins);
  PublishProperty(this, "BGResource", &TMenuParams::FBGResource);
  PublishProperty(this, "CustomHeight", &TMenuParams::FCustomHeight);
  PublishProperty(this, "CustomWidth", &TMenuParams::FCustomWidth);
  PublishProperty(this, "ItemCursor", &TMenuParams::FItemCursor);
}

void TMenuParams::Assign(const TMenuParams& s) {
  if (&s == this) return;
  FBGFill.Assign(s.FBGFill);
  FItemNormalFill.Assign(s.FItemNormalFill);
  FItemOverFill.Assign(s.FItemOverFill);
  FItemDownFill.Assign(s.FItemDownFill);
  FItemCheckFill.Assign(s.FItemCheckFill);
  FItemExtenderFill.Assign(s.FItemExtenderFill);
  FItemCheckImage.Assign(s.FItemCheckImage);
  FItemFontFill.Assign(s.FItemFontFill);
  FItemFont.Assign(s.FItemFont);
  FItemHeight = s.FItemHeight;
  FItemWidth = s.FItemWidth;
  FItemShowCheck = s.FItemShowCheck;
  FItemAutoSize = s.FItemAutoSize;
  FMenuShowCheckbox = s.FMenuShowCheckbox;
  FMenuShowSelectedState = s.FMenuShowSelectedState;
  FMenuShowSelectedCheckMark = s.FMenuShowSelectedCheckMark;
  FBGImage.Assign(s.FBGImage);
  FBGMargins.Assign(s.FBGMargins);
  FBGResource = s.FBGResource;
  FCustomHeight = s.FCustomHeight;
  FCustomWidth = s.FCustomWidth;
  FItemCursor = s.FItemCursor;
}

// --- item ------------------------------------------------------------------------------------

TqvMenuItemEx::TqvMenuItemEx() : FSubItems(std::make_unique<TqvMenuItemsEx>(this)) {
  PublishProperty(this, "Name", &TqvMenuItemEx::FName);
  PublishProperty(this, "Caption", &TqvMenuItemEx::FCaption);
  PublishProperty(this, "Hint", &TqvMenuItemEx::FHint);
  PublishProperty(this, "Data", &TqvMenuItemEx::FData);
  PublishProperty(this, "ShortCut", &TqvMenuItemEx::FShortCut);
  PublishObject("Bitmap", &FBitmap);
  PublishObject("BitmapOver", &FBitmapOver);
  PublishObject("BitmapDown", &FBitmapDown);
  PublishEvent("OnClick", &FOnExecute);
  PublishProperty(this, "Description", &TqvMenuItemEx::FDescription);
  PublishProperty(this, "ShortDescription", &TqvMenuItemEx::FShortDescription);
  PublishObject("SubItems", FSubItems.get());
  PublishProperty(this, "Enabled", &TqvMenuItemEx::FEnabled);
  PublishProperty(this, "RadioItem", &TqvMenuItemEx::FRadioItem);
  PublishProperty(this, "Default", &TqvMenuItemEx::FDefault);
  PublishProperty(this, "Visible", &TqvMenuItemEx::FVisible);
  PublishProperty(this, "SubItemImages", &TqvMenuItemEx::FSubMenuImages);
  PublishProperty(this, "Checked", &TqvMenuItemEx::FChecked);
  PublishProperty(this, "ImageIndex", &TqvMenuItemEx::FImageIndex);
  PublishProperty(this, "ItemID", &TqvMenuItemEx::ItemID, nullptr);  // read-only
  PublishProperty(this, "ItemHeight", &TqvMenuItemEx::FItemHeight);
}

TqvMenuItemEx::~TqvMenuItemEx() = default;

void TqvMenuItemEx::Inserted() {
  FOwner = static_cast<TqvMenuItemsEx*>(Collection());
  FRootMenu = FOwner ? FOwner->RootMenu() : nullptr;
}

TqvMenuItemsEx* TqvMenuItemEx::GetOwner() const { return static_cast<TqvMenuItemsEx*>(Collection()); }

TqvMenuEx* TqvMenuItemEx::GetRootMenu() const {
  const TqvMenuItemsEx* level = GetOwner();
  return level ? level->RootMenu() : FRootMenu;
}

bool TqvMenuItemEx::IsExtender() const { return FSubItems->Count() > 0; }

std::string TqvMenuItemEx::GetDisplayName() const {
  return FName.empty() ? rt::TCollectionItem::GetDisplayName() : FName;
}

void TqvMenuItemEx::SetSubItems(const TqvMenuItemsEx& items) { FSubItems->Assign(items); }

void TqvMenuItemEx::Assign(const rt::TCollectionItem& source) {
  const auto* o = dynamic_cast<const TqvMenuItemEx*>(&source);
  if (!o) {
    rt::TCollectionItem::Assign(source);
    return;
  }
  FName = o->FName;
  FCaption = o->FCaption;
  FHint = o->FHint;
  FData = o->FData;
  FShortCut = o->FShortCut;
  FBitmap.Assign(o->FBitmap);
  FBitmapOver.Assign(o->FBitmapOver);
  FBitmapDown.Assign(o->FBitmapDown);
  FOnExecute = o->FOnExecute;
  FDescription = o->FDescription;
  FShortDescription = o->FShortDescription;
  FEnabled = o->FEnabled;
  FRadioItem = o->FRadioItem;
  FDefault = o->FDefault;
  FVisible = o->FVisible;
  FSubMenuImages = o->FSubMenuImages;
  FChecked = o->FChecked;
  FImageIndex = o->FImageIndex;
  FItemHeight = o->FItemHeight;
  // The copy keeps the id its own insertion gave it: ids code the position in this tree.
  FSubItems->Assign(*o->FSubItems);
}

void TqvMenuItemEx::Execute() {
  TqvMenuEx* root = GetRootMenu();
  void* buffer = nullptr;
  int32_t size = 0;
  if (root && root->FunctionManager() && root->FunctionItemIndex() >= 0) {
    TqvFunctionItem* f = root->FunctionManager()->Items().Items(root->FunctionItemIndex());
    buffer = const_cast<uint8_t*>(f->BufferPointer());
    size = static_cast<int32_t>(f->GetBufferSize());
  }
  if (FOnExecute.Assigned()) {
    const TqvMenuItemExEvent handler = FOnExecute;  // the handler may free this item
    handler(this, buffer, size);
    return;
  }
  if (root && root->OnItemsClick().Assigned()) {
    const TqvMenuItemsExEvent handler = root->OnItemsClick();
    const std::string name = FName;
    handler(this, name, FItemID, buffer, size);
  }
}

// --- level -----------------------------------------------------------------------------------

TqvMenuItemsEx::TqvMenuItemsEx(rt::TPersistent* AOwner)
    : TTypedCollection(AOwner), FOwner(AOwner), FParams(std::make_unique<TMenuParams>()) {
  FRootMenu = dynamic_cast<TqvMenuEx*>(AOwner);
  FItemDefaultFont.SetFamily("楷体_GB2312");
  FItemDefaultFont.SetSize(18);
  FItemDefaultFont.SetStyle(tk::fsBold);
  FItemDefaultFont.SetClearType(false);
  Publish(
      "Images", [this] { return FImages ? FImages->Name() : std::string(); },
      [this](const std::string& v) {
        if (v.empty()) {
          FImages = nullptr;
          return;
        }
        TqvMenuEx* root = RootMenu();
        rt::TComponent* owner = root ? root->Owner() : nullptr;
        auto* list = dynamic_cast<tk::TvgImageList*>(owner ? owner->FindComponent(v) : nullptr);
        if (!list) throw rt::EPropertyError("Images: no image list named '" + v + "'");
        FImages = list;
      });
  PublishProperty(this, "ItemIndex", &TqvMenuItemsEx::FItemIndex);
  PublishProperty(this, "UseParentParameter", &TqvMenuItemsEx::FUseParentParameter);
  PublishObject("Parameters", FParams.get());
}

TqvMenuItemsEx::~TqvMenuItemsEx() {
  // While the level lives its pop-up is the scene's; with the level gone nothing can show it.
  if (TqvMenuBox* b = FqvMenuBox.Get()) b->SetMenuItems(nullptr);
  delete FqvPopup.Get();
  Clear();  // items go before the level they point to
}

TqvMenuEx* TqvMenuItemsEx::RootMenu() const {
  if (auto* menu = dynamic_cast<TqvMenuEx*>(FOwner)) return menu;
  if (auto* item = dynamic_cast<TqvMenuItemEx*>(FOwner)) return item->GetRootMenu();
  return FRootMenu;
}

TqvMenuItemEx* TqvMenuItemsEx::OwnerItem() const { return dynamic_cast<TqvMenuItemEx*>(FOwner); }

void TqvMenuItemsEx::SetParameters(TMenuParams* params) {
  if (!params || params == FParams.get()) return;
  FParams.reset(params);
  PublishObject("Parameters", params);
}

void TqvMenuItemsEx::SetItemName(rt::TCollectionItem* item) {
  auto* it = static_cast<TqvMenuItemEx*>(item);
  if (!it->FName.empty()) return;
  std::unordered_set<std::string> used;
  for (int i = 0; i < Count(); ++i) used.insert(rt::LowerCase(Items(i)->FName));
  int n = 1;
  while (n < INT_MAX && used.count(rt::LowerCase(rt::Format("Item%d", n)))) ++n;
  uint32_t id = static_cast<uint32_t>(n);
  if (TqvMenuItemEx* parent = OwnerItem()) {
    const uint64_t wide = uint64_t(parent->ItemID()) * 100u + uint64_t(n);
    if (wide > UINT32_MAX)
      throw rt::EOverflowError(rt::Format("Arithmetic overflow: item %d under id %u", n, parent->ItemID()));
    id = static_cast<uint32_t>(wide);
  }
  it->FName = rt::Format("Item%d", n);
  it->FItemID = id;
}

void TqvMenuItemsEx::Assign(const rt::TCollection& source) {
  if (&source == this) return;
  Clear();
  for (int i = 0; i < source.Count(); ++i) Add()->Assign(*source.Items(i));
  if (const auto* o = dynamic_cast<const TqvMenuItemsEx*>(&source)) {
    FImages = o->FImages;
    FItemIndex = o->FItemIndex;
    FUseParentParameter = o->FUseParentParameter;
    FParams->Assign(*o->FParams);
  }
}

void TqvMenuItemsEx::SetItemCheckedState(int32_t AItemIndex, bool AState) {
  if (AItemIndex < 0 || AItemIndex >= Count()) return;
  Items(AItemIndex)->SetChecked(AState);
}

void TqvMenuItemsEx::ItemSetMaxSize(double AWidth) {
  if (AWidth <= FItemMaxWidth) return;
  FItemMaxWidth = AWidth;
  if (TqvMenuPopup* p = FqvPopup.Get()) p->SetWidth(static_cast<float>(AWidth));
}

TMenuParams* TqvMenuItemsEx::GoverningParams() const {
  TqvMenuEx* root = RootMenu();
  if (!root || !root->UseCustomMenuParams()) return nullptr;
  return FUseParentParameter ? &root->Parameters() : FParams.get();
}

float TqvMenuItemsEx::RowHeight() const {
  TqvMenuEx* root = RootMenu();
  if (!root || !root->UseCustomMenuParams()) return 40;
  if (FUseParentParameter) return float(std::max(root->Parameters().ItemHeight(), 20));
  return float(FParams->ItemHeight());
}

tk::TCursor TqvMenuItemsEx::RowCursor() const {
  const TMenuParams* p = GoverningParams();
  return p ? p->ItemCursor() : tk::crDefault;
}

TqvMenuBoxItem* TqvMenuItemsEx::Row(int index) const {
  if (index < 0 || index >= RowCount()) return nullptr;
  return FqvMenuBoxItemList[size_t(index)].Get();
}

TqvMenuBoxItem* TqvMenuItemsEx::MakeRow(int index, float height, tk::TCursor cursor) {
  TqvMenuBox* box = FqvMenuBox.Get();
  auto* row = new TqvMenuBoxItem(box);
  row->SetParent(box);
  const double own = Items(index)->ItemHeight();
  row->SetHeight(own != 0 ? float(own) : height);
  row->SetCursor(cursor);
  FqvMenuBoxItemList.emplace_back(row);
  return row;
}

void TqvMenuItemsEx::BuildPopup(tk::TVisualObject* target) {
  TqvMenuEx* root = RootMenu();
  const float h = RowHeight();
  const tk::TCursor cursor = RowCursor();
  // Rows lose their selection while they are brought in line; the remembered row is read first.
  const int32_t remembered = FItemIndex;
  const int64_t stored = StoredSelectedMenuID();
  int selected = -1;
  double total = 0;

  TqvMenuPopup* popup = FqvPopup.Get();
  if (!popup) {
    tk::TVisualObject* parent = root ? root->PopupParent() : nullptr;
    if (!parent && target) parent = target->Root();
    popup = new TqvMenuPopup(nullptr);
    popup->SetParent(parent);
    popup->SetHitTest(true);
    popup->SetDragWithParent(true);
    popup->SetSize(100, 0);
    FqvPopup.Set(popup);
    auto* box = new TqvMenuBox(popup);
    box->SetMenuItems(this);
    box->SetParent(popup);
    box->SetAlign(tk::TvgAlign::vaClient);
    box->SetShowScrollBars(false);
    box->SetCanFocus(false);
    FqvMenuBox.Set(box);
    FqvMenuBoxItemList.clear();
  }
  TqvMenuBox* box = FqvMenuBox.Get();
  // Rows freed with their box (a scene that went) are made again.
  FqvMenuBoxItemList.erase(std::remove_if(FqvMenuBoxItemList.begin(), FqvMenuBoxItemList.end(),
                                          [](const tk::TObjectRef<TqvMenuBoxItem>& r) { return !r; }),
                           FqvMenuBoxItemList.end());
  box->BeginUpdate();
  while (RowCount() > Count()) {
    TqvMenuBoxItem* last = FqvMenuBoxItemList.back().Get();
    FqvMenuBoxItemList.pop_back();
    delete last;
  }
  for (int i = 0; i < Count(); ++i) {
    TqvMenuItemEx* item = Items(i);
    TqvMenuBoxItem* row = i < RowCount() ? Row(i) : MakeRow(i, h, cursor);
    row->SetText(tk::Translate(item->Caption()));
    row->SetItemID(item->ItemID());
    row->SetIsExtender(item->IsExtender());
    row->SetVisible(true);
    row->SetIsChecked(item->Checked());
    row->SetIsSelected(item->FIsSelected);
    if (stored >= 0 && stored <= int64_t(UINT32_MAX) && uint32_t(stored) == item->ItemID()) selected = i;
    total += row->Height();
  }
  box->EndUpdate();
  box->RealignContent();
  box->SetItemIndex(selected >= 0 ? selected : remembered);

  // Height.
  double H = total + 5;
  if (FUseParentParameter) {
    const bool custom = root && root->UseCustomMenuParams();
    if (custom) H += root->Parameters().BGMargins().top + root->Parameters().BGMargins().bottom;
    if (H > popup->Height()) {
      popup->SetHeight(LimitToScreen(float(H)));
      if (custom && root->Parameters().CustomHeight() != 0)
        popup->SetHeight(float(root->Parameters().CustomHeight()));
    } else {
      popup->SetHeight(LimitToScreen(float(H)));
    }
  } else {
    H += FParams->BGMargins().top + FParams->BGMargins().bottom;
    float height = popup->Height();
    if (H > height) height = float(H);
    if (FParams->CustomHeight() != 0) height = float(FParams->CustomHeight());
    popup->SetHeight(LimitToScreen(height));
  }

  // Width: from the caption with the most characters.
  TqvMenuBoxItem* widest = nullptr;
  size_t widestLength = 1;
  for (int i = 0; i < RowCount(); ++i) {
    const size_t n = rt::Utf8ToUtf16(Row(i)->Text()).size();
    if (n > widestLength) {
      widest = Row(i);
      widestLength = n;
    }
  }
  if (!widest) return;
  double W = 0;
  int32_t customWidth = 0;
  if (FUseParentParameter) {
    const bool custom = root && root->UseCustomMenuParams();
    if (custom) {
      widest->SetFont(root->Parameters().ItemFont());
      widest->SetFontFill(root->Parameters().ItemFontFill());
    } else {
      widest->SetFont(FItemDefaultFont);
      widest->SetFontFill(FItemDefaultFontFill);
    }
    W = widest->TextWidth(widest->Text()) + 100;
    if (custom) {
      W += root->Parameters().BGMargins().left + root->Parameters().BGMargins().right;
      customWidth = root->Parameters().CustomWidth();
    }
  } else {
    widest->SetFont(FParams->ItemFont());
    widest->SetFontFill(FParams->ItemFontFill());
    const double margins = FParams->BGMargins().left + FParams->BGMargins().right;
    W = FParams->ItemAutoSize() ? widest->TextWidth(widest->Text()) + 100 + margins
                                : FParams->ItemWidth() + margins;
    customWidth = FParams->CustomWidth();
  }
  if (!popup->IsOpen()) popup->SetWidth(customWidth != 0 ? float(customWidth) : float(W));
}

void TqvMenuItemsEx::ShowPopup(tk::TVisualObject* target, tk::TvgPlacement placement) {
  // A hover left from the keyboard of an earlier show would swallow the pointer's first move.
  if (FqvPopup && !FqvPopup->IsOpen() && FqvMenuBox) FqvMenuBox->ForgetPointer();
  BuildPopup(target);
  TqvMenuPopup* popup = FqvPopup.Get();
  popup->SetPlacement(placement);
  popup->SetPlacementTarget(target);
  popup->Popup();
  tk::TWindow* window = popup->PopupWindow();
  if (!window) return;
  // Where the target stands on the screen, in whole pixels.
  tk::TPointF p = target->LocalToAbsolute({0, 0});
  p = {std::trunc(p.x), std::trunc(p.y)};
  if (tk::TvgScene* scene = target->Scene()) {
    p = scene->LocalToScreen(p);
    p = {std::round(p.x), std::round(p.y)};
  }
  if (p.x + target->Width() + popup->Width() >= tk::Backend().ScreenSize().x)
    window->SetPosition(window->Left() - int(std::trunc(target->Width())), window->Top() + 20);
  // The keyboard goes to the newest level of the cascade.
  window->Activate();
  popup->SetFocus();
}

void TqvMenuItemsEx::ClosePopups() {
  for (int i = 0; i < Count(); ++i)
    if (Items(i)->IsExtender()) Items(i)->SubItems().ClosePopups();
  if (TqvMenuPopup* p = FqvPopup.Get(); p && p->IsOpen()) p->ClosePopup();
}

void TqvMenuItemsEx::ResetItemIndexes(TqvMenuItemsEx* keep) {
  for (int i = 0; i < Count(); ++i)
    if (Items(i)->IsExtender()) Items(i)->SubItems().ResetItemIndexes(keep);
  if (this != keep) FItemIndex = -1;
}

// --- menu ------------------------------------------------------------------------------------

TqvMenuEx::TqvMenuEx(rt::TComponent* AOwner)
    : rt::TComponent(AOwner),
      FItems(std::make_unique<TqvMenuItemsEx>(this)),
      FParams(std::make_unique<TMenuParams>()) {
  SetStoredSelectedMenuID(0);
  PublishObject("Items", FItems.get());
  PublishObject("Parameters", FParams.get());
  PublishProperty(this, "UseCustomMenuParams", &TqvMenuEx::FUseCustomMenuParams);
  Publish(
      "FunctionManager", [this] { return FFunctionManager ? FFunctionManager->Name() : std::string(); },
      [this](const std::string& v) {
        if (v.empty()) {
          FFunctionManager = nullptr;
          return;
        }
        auto* m = dynamic_cast<TqvFunctionManager*>(Owner() ? Owner()->FindComponent(v) : nullptr);
        if (!m) throw rt::EPropertyError("FunctionManager: no function manager named '" + v + "'");
        FFunctionManager = m;
      });
  PublishProperty(this, "FunctionItemIndex", &TqvMenuEx::FFunctionItemIndex);
  PublishEvent("OnItemsClick", &FOnItemsClick);
}

TqvMenuEx::~TqvMenuEx() { FItems.reset(); }

void TqvMenuEx::SetItems(const TqvMenuItemsEx& items) { FItems->Assign(items); }

void TqvMenuEx::SetParameters(TMenuParams* params) {
  if (!params || params == FParams.get()) return;
  FParams.reset(params);
  PublishObject("Parameters", params);
}

void TqvMenuEx::ShowMainMenu(int64_t SelectedMenuID, tk::TVisualObject* PlacementTarget,
                             tk::TvgPlacement Placement) {
  SetStoredSelectedMenuID(SelectedMenuID);
  ShowMainMenu(PlacementTarget, Placement);
}

void TqvMenuEx::ShowMainMenu(tk::TVisualObject* PlacementTarget, tk::TvgPlacement Placement) {
  tk::TvgScene* scene = PlacementTarget ? PlacementTarget->Scene() : nullptr;
  if (!scene) throw rt::EComponentError("The menu " + Name() + " needs a placement target inside a window");
  FPopupParent.Set(scene->Root());
  FItems->ShowPopup(PlacementTarget, Placement);
}

TqvMenuItemEx* TqvMenuEx::FindItemByID(uint32_t id) const {
  auto at = [](const TqvMenuItemsEx& level, long long index) -> TqvMenuItemEx* {
    return index >= 0 && index < level.Count() ? level.Items(int(index)) : nullptr;
  };
  if (id == 0) return nullptr;
  if (id < 100) return at(*FItems, id - 1LL);
  if (id < 10000) {
    TqvMenuItemEx* top = at(*FItems, id / 100 - 1LL);
    return top ? at(top->SubItems(), id % 100 - 1LL) : nullptr;
  }
  if (id < 1000000) {
    TqvMenuItemEx* top = at(*FItems, id / 10000 - 1LL);
    TqvMenuItemEx* mid = top ? at(top->SubItems(), (id % 10000) / 100 - 1LL) : nullptr;
    return mid ? at(mid->SubItems(), id % 100 - 1LL) : nullptr;
  }
  return nullptr;
}

}  // namespace vrnke
