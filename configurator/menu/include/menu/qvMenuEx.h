// The function menu: a tree of numbered items shown as a cascade of skinned pop-ups. Each
// level of the tree owns the pop-up it is shown in; a click on a leaf closes the cascade and is
// reported with the item's name and id.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "runtime/collection.h"
#include "runtime/component.h"
#include "runtime/event.h"
#include "toolkit/canvas.h"
#include "toolkit/controls.h"
#include "toolkit/object.h"

namespace vrnke {

class TqvFunctionManager;
class TqvMenuEx;
class TqvMenuItemEx;
class TqvMenuItemsEx;
class TqvMenuBox;
class TqvMenuBoxItem;
class TqvMenuPopup;

// (Sender, AMenuItemName, AMenuItemID, ABufferPointer, ASize)
using TqvMenuItemsExEvent = rt::TEvent<TqvMenuItemEx*, const std::string&, uint32_t, void*, int32_t>;
// (Sender, ABufferPointer, ASize)
using TqvMenuItemExEvent = rt::TEvent<TqvMenuItemEx*, void*, int32_t>;

// The id of the entry shown selected, shared by every menu of the program: ShowMainMenu sets
// it, constructing any menu resets it to 0.
int64_t StoredSelectedMenuID();
void SetStoredSelectedMenuID(int64_t id);

// Registers the menu's classes (and the bitmap state stream) with the toolkit's class
// registry, so stored forms create them by name. Safe to call more than once.
void RegisterMenuClasses();

// The look of a menu or of one level: fills, font, sizes. Brushes, fonts and bitmaps are
// copied on assignment; the set owns all of them.
class TMenuParams : public rt::TPersistent {
 public:
  TMenuParams();
  std::string ClassName() const override { return "TMenuParams"; }
  void Assign(const TMenuParams& source);

  tk::TBrush& BGFill() { return FBGFill; }
  tk::TBrush& ItemNormalFill() { return FItemNormalFill; }
  tk::TBrush& ItemOverFill() { return FItemOverFill; }
  tk::TBrush& ItemDownFill() { return FItemDownFill; }
  tk::TBrush& ItemCheckFill() { return FItemCheckFill; }
  tk::TBrush& ItemExtenderFill() { return FItemExtenderFill; }
  tk::TBitmap& ItemCheckImage() { return FItemCheckImage; }
  tk::TBrush& ItemFontFill() { return FItemFontFill; }
  tk::TFont& ItemFont() { return FItemFont; }
  tk::TBitmap& BGImage() { return FBGImage; }
  tk::TBounds& BGMargins() { return FBGMargins; }
  const tk::TBounds& BGMargins() const { return FBGMargins; }

  int32_t ItemHeight() const { return FItemHeight; }
  void SetItemHeight(int32_t v) { FItemHeight = v; }
  int32_t ItemWidth() const { return FItemWidth; }
  void SetItemWidth(int32_t v) { FItemWidth = v; }
  bool ItemShowCheck() const { return FItemShowCheck; }
  bool ItemAutoSize() const { return FItemAutoSize; }
  void SetItemAutoSize(bool v) { FItemAutoSize = v; }
  bool MenuShowCheckbox() const { return FMenuShowCheckbox; }
  bool MenuShowSelectedState() const { return FMenuShowSelectedState; }
  bool MenuShowSelectedCheckMark() const { return FMenuShowSelectedCheckMark; }
  void SetMenuShowSelectedCheckMark(bool v) { FMenuShowSelectedCheckMark = v; }
  const std::string& BGResource() const { return FBGResource; }
  void SetBGResource(const std::string& v) { FBGResource = v; }
  int32_t CustomHeight() const { return FCustomHeight; }
  void SetCustomHeight(int32_t v) { FCustomHeight = v; }
  int32_t CustomWidth() const { return FCustomWidth; }
  void SetCustomWidth(int32_t v) { FCustomWidth = v; }
  tk::TCursor ItemCursor() const { return FItemCursor; }
  void SetItemCursor(tk::TCursor v) { FItemCursor = v; }

 private:
  tk::TBrush FBGFill{tk::TBrushKind::Solid, tk::claBlack};
  tk::TBrush FItemNormalFill{tk::TBrushKind::Solid, tk::claBlack};
  tk::TBrush FItemOverFill{tk::TBrushKind::Solid, tk::claBlack};
  tk::TBrush FItemDownFill{tk::TBrushKind::Solid, tk::claBlack};
  tk::TBrush FItemCheckFill{tk::TBrushKind::Solid, tk::claBlack};
  tk::TBrush FItemExtenderFill{tk::TBrushKind::Solid, tk::claBlack};
  tk::TBitmap FItemCheckImage;
  tk::TBrush FItemFontFill{tk::TBrushKind::Solid, tk::claBlack};
  tk::TFont FItemFont;
  int32_t FItemHeight = 30;
  int32_t FItemWidth = 0;
  bool FItemShowCheck = true;
  bool FItemAutoSize = true;
  bool FMenuShowCheckbox = false;
  bool FMenuShowSelectedState = true;
  bool FMenuShowSelectedCheckMark = true;
  tk::TBitmap FBGImage;
  tk::TBounds FBGMargins;
  std::string FBGResource;
  int32_t FCustomHeight = 0;
  int32_t FCustomWidth = 0;
  tk::TCursor FItemCursor = tk::crDefault;
};

// One item of a level. An item with sub-items is an extender: it opens its sub-menu and never
// clicks. Hint, Data, ShortCut, the bitmaps, descriptions, Enabled, RadioItem, Default, Visible
// and SubItemImages are kept and stored, nothing in the menu reads them.
class TqvMenuItemEx : public rt::TCollectionItem {
 public:
  TqvMenuItemEx();
  ~TqvMenuItemEx() override;
  std::string ClassName() const override { return "TqvMenuItemEx"; }

  const std::string& Name() const { return FName; }
  void SetName(const std::string& v) { FName = v; }
  const std::string& Caption() const { return FCaption; }
  void SetCaption(const std::string& v) { FCaption = v; }
  const std::string& Hint() const { return FHint; }
  void SetHint(const std::string& v) { FHint = v; }
  const std::string& Data() const { return FData; }
  void SetData(const std::string& v) { FData = v; }
  uint16_t ShortCut() const { return FShortCut; }
  void SetShortCut(uint16_t v) { FShortCut = v; }
  tk::TBitmap& Bitmap() { return FBitmap; }
  tk::TBitmap& BitmapOver() { return FBitmapOver; }
  tk::TBitmap& BitmapDown() { return FBitmapDown; }
  void SetBitmap(const tk::TBitmap& b) { FBitmap.Assign(b); }
  void SetBitmapOver(const tk::TBitmap& b) { FBitmapOver.Assign(b); }
  void SetBitmapDown(const tk::TBitmap& b) { FBitmapDown.Assign(b); }
  TqvMenuItemExEvent& OnClick() { return FOnExecute; }
  const std::string& Description() const { return FDescription; }
  void SetDescription(const std::string& v) { FDescription = v; }
  const std::string& ShortDescription() const { return FShortDescription; }
  void SetShortDescription(const std::string& v) { FShortDescription = v; }
  TqvMenuItemsEx& SubItems() { return *FSubItems; }
  const TqvMenuItemsEx& SubItems() const { return *FSubItems; }
  // Copies the given level.
  void SetSubItems(const TqvMenuItemsEx& items);
  bool Enabled() const { return FEnabled; }
  bool RadioItem() const { return FRadioItem; }
  bool Default() const { return FDefault; }
  bool Visible() const { return FVisible; }
  bool Checked() const { return FChecked; }
  void SetChecked(bool v) { FChecked = v; }
  int32_t ImageIndex() const { return FImageIndex; }
  void SetImageIndex(int32_t v) { FImageIndex = v; }
  // Given once, when the item is inserted; never renumbered.
  uint32_t ItemID() const { return FItemID; }
  // 0: the level's row height.
  double ItemHeight() const { return FItemHeight; }
  void SetItemHeight(double v) { FItemHeight = v; }
  bool IsExtender() const;

  TqvMenuItemsEx* GetOwner() const;
  TqvMenuEx* GetRootMenu() const;
  std::string GetDisplayName() const override;
  void Assign(const rt::TCollectionItem& source) override;

  // The click: the root menu's function buffer goes to OnClick, else to the root's
  // OnItemsClick. EListError when the root's FunctionItemIndex lies outside its manager.
  void Execute();

 protected:
  void Inserted() override;

 private:
  friend class TqvMenuItemsEx;
  std::string FName;
  std::string FCaption;
  std::string FHint;
  std::string FData;
  uint16_t FShortCut = 0;
  tk::TBitmap FBitmap, FBitmapOver, FBitmapDown;
  TqvMenuItemExEvent FOnExecute;
  std::string FDescription;
  std::string FShortDescription;
  std::unique_ptr<TqvMenuItemsEx> FSubItems;
  bool FEnabled = true;
  bool FRadioItem = false;
  bool FDefault = false;
  bool FVisible = true;
  std::string FSubMenuImages;  // by name; kept only
  bool FChecked = false;
  int32_t FImageIndex = -1;
  TqvMenuItemsEx* FOwner = nullptr;
  TqvMenuEx* FRootMenu = nullptr;
  uint32_t FItemID = 0;
  double FItemHeight = 0;
  bool FIsSelected = false;
};

// One level of the tree: its items, its look, and the pop-up it is shown in (made on the first
// show, a child of the scene the menu was shown in and kept while the level lives).
class TqvMenuItemsEx : public rt::TTypedCollection<TqvMenuItemEx, rt::TOwnedCollection> {
 public:
  // AOwner: the TqvMenuEx (top level) or the TqvMenuItemEx that owns the level.
  explicit TqvMenuItemsEx(rt::TPersistent* AOwner);
  ~TqvMenuItemsEx() override;
  std::string ClassName() const override { return "TqvMenuItemsEx"; }

  TqvMenuEx* RootMenu() const;
  // The item that owns this level; nullptr for the top level.
  TqvMenuItemEx* OwnerItem() const;
  tk::TvgImageList* Images() const { return FImages; }
  // Not owned: the owner clears it before the list goes.
  void SetImages(tk::TvgImageList* images) { FImages = images; }
  int32_t ItemIndex() const { return FItemIndex; }
  void SetItemIndex(int32_t v) { FItemIndex = v; }
  bool UseParentParameter() const { return FUseParentParameter; }
  void SetUseParentParameter(bool v) { FUseParentParameter = v; }
  TMenuParams& Parameters() { return *FParams; }
  // Holds the given set itself (and releases the one it held).
  void SetParameters(TMenuParams* params);
  const tk::TFont& ItemDefaultFont() const { return FItemDefaultFont; }
  const tk::TBrush& ItemDefaultFontFill() const { return FItemDefaultFontFill; }

  // Checks or unchecks the item at AItemIndex; an index outside the level does nothing.
  void SetItemCheckedState(int32_t AItemIndex, bool AState);
  // Widens the pop-up to AWidth when that is the largest width given so far.
  void ItemSetMaxSize(double AWidth);

  void ShowPopup(tk::TVisualObject* target, tk::TvgPlacement placement);
  void BuildPopup(tk::TVisualObject* target);
  // Closes this level's pop-up and every sub-menu below it.
  void ClosePopups();
  // Forgets the remembered row of this level and every level below, except `keep`.
  void ResetItemIndexes(TqvMenuItemsEx* keep);

  // The row height and cursor that govern this level, and the set that gives its fills.
  float RowHeight() const;
  tk::TCursor RowCursor() const;
  // nullptr when custom parameters are off.
  TMenuParams* GoverningParams() const;

  TqvMenuPopup* Popup() const { return FqvPopup.Get(); }
  TqvMenuBox* MenuBox() const { return FqvMenuBox.Get(); }
  int RowCount() const { return static_cast<int>(FqvMenuBoxItemList.size()); }
  TqvMenuBoxItem* Row(int index) const;

  void Assign(const rt::TCollection& source) override;

 protected:
  void SetItemName(rt::TCollectionItem* item) override;

 private:
  TqvMenuBoxItem* MakeRow(int index, float height, tk::TCursor cursor);

  rt::TPersistent* FOwner;
  tk::TvgImageList* FImages = nullptr;
  TqvMenuEx* FRootMenu = nullptr;
  tk::TObjectRef<TqvMenuPopup> FqvPopup;
  tk::TObjectRef<TqvMenuBox> FqvMenuBox;
  std::vector<tk::TObjectRef<TqvMenuBoxItem>> FqvMenuBoxItemList;
  int32_t FItemIndex = -1;
  double FItemMaxWidth = 0;
  tk::TFont FItemDefaultFont;
  tk::TBrush FItemDefaultFontFill{tk::TBrushKind::Solid, tk::claBlack};
  bool FUseParentParameter = true;
  std::unique_ptr<TMenuParams> FParams;
};

// The menu component.
class TqvMenuEx : public rt::TComponent {
 public:
  explicit TqvMenuEx(rt::TComponent* AOwner);
  ~TqvMenuEx() override;
  std::string ClassName() const override { return "TqvMenuEx"; }

  TqvMenuItemsEx& Items() { return *FItems; }
  const TqvMenuItemsEx& Items() const { return *FItems; }
  // Copies the given level.
  void SetItems(const TqvMenuItemsEx& items);
  TMenuParams& Parameters() { return *FParams; }
  // Holds the given set itself (and releases the one it held).
  void SetParameters(TMenuParams* params);
  TqvFunctionManager* FunctionManager() const { return FFunctionManager; }
  void SetFunctionManager(TqvFunctionManager* manager) { FFunctionManager = manager; }
  int32_t FunctionItemIndex() const { return FFunctionItemIndex; }
  void SetFunctionItemIndex(int32_t v) { FFunctionItemIndex = v; }
  TqvMenuItemsExEvent& OnItemsClick() { return FOnItemsClick; }
  bool UseCustomMenuParams() const { return FUseCustomMenuParams; }
  void SetUseCustomMenuParams(bool v) { FUseCustomMenuParams = v; }
  tk::TVisualObject* PopupParent() const { return FPopupParent.Get(); }

  // Remembers SelectedMenuID program-wide, then opens the top level at the target.
  void ShowMainMenu(int64_t SelectedMenuID, tk::TVisualObject* PlacementTarget, tk::TvgPlacement Placement);
  // Opens the top level at the target; pop-ups made from now on go into its scene. Returns
  // once the pop-up is open: the click comes later through OnItemsClick. The target must be
  // in a scene (rt::EComponentError otherwise).
  void ShowMainMenu(tk::TVisualObject* PlacementTarget, tk::TvgPlacement Placement);

  // The item of a position code: t, t*100+s or t*10000+s*100+u; nullptr when no item sits
  // at that position.
  TqvMenuItemEx* FindItemByID(uint32_t id) const;

 private:
  tk::TObjectRef<tk::TVisualObject> FPopupParent;
  std::unique_ptr<TqvMenuItemsEx> FItems;
  std::unique_ptr<TMenuParams> FParams;
  TqvFunctionManager* FFunctionManager = nullptr;
  int32_t FFunctionItemIndex = 0;
  TqvMenuItemsExEvent FOnItemsClick;
  bool FUseCustomMenuParams = false;
};

}  // namespace vrnke
