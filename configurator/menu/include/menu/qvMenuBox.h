// The skinned list a menu level is shown in: one row per item, hover, pressed and selected
// highlights drawn as shapes behind the rows, and the pointer and keys turned into sub-menus
// and clicks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "toolkit/controls.h"
#include "toolkit/object.h"

namespace vrnke {

class TqvMenuItemsEx;
class TqvMenuBox;

// Program-wide: the form designer shows the rows' outlines and cuts skins with a rate of 1.
bool DesignMode();
void SetDesignMode(bool on);

// One row. Its look comes from the style "menuboxitemstyle" and, with custom parameters on,
// from the governing parameter set.
class TqvMenuBoxItem : public tk::TvgTextControl {
 public:
  explicit TqvMenuBoxItem(rt::TComponent* AOwner);
  ~TqvMenuBoxItem() override;
  std::string ClassName() const override { return "TqvMenuBoxItem"; }

  bool IsChecked() const { return FIsChecked; }
  void SetIsChecked(bool v);
  bool IsSelected() const { return FIsSelected; }
  void SetIsSelected(bool v);
  bool IsExtender() const { return FIsExtender; }
  void SetIsExtender(bool v);
  uint32_t ItemID() const { return FItemID; }
  void SetItemID(uint32_t v) { FItemID = v; }

  // The box that holds the row, nullptr outside one.
  TqvMenuBox* Box() const;
  // Position among the box's rows, -1 outside a box.
  int RowIndex() const;
  void UpdateCheckMark();
  void Paint(tk::TCanvas& canvas) override;
  tk::TVisualObject* CheckMarkPart() const { return FCheckMark; }
  tk::TVisualObject* CheckMarkImagePart() const { return FCheckMarkImage; }
  tk::TVisualObject* ExtenderPart() const { return FExtender; }

 protected:
  void ApplyStyle() override;
  void FreeStyle() override;
  void DescendantFocused(tk::TVisualObject* focused) override;

 private:
  friend class TqvMenuBox;
  void SetSelectedFlag(bool v);
  bool FIsChecked = false;
  tk::TVisualObject* FCheck = nullptr;
  tk::TvgText* FTextObject = nullptr;
  tk::TVisualObject* FExtender = nullptr;
  tk::TvgPath* FExtenderMark = nullptr;
  tk::TvgPath* FCheckMark = nullptr;
  tk::TvgImage* FCheckMarkImage = nullptr;
  tk::TvgBitmapStateButton* FIcon = nullptr;
  bool FIsSelected = false;
  bool FIsExtender = false;
  uint32_t FItemID = 0;
};

enum class TqvListStyle { Vertical, Horizontal };

class TqvMenuBox : public tk::TvgScrollBox {
 public:
  explicit TqvMenuBox(rt::TComponent* AOwner);
  ~TqvMenuBox() override;
  std::string ClassName() const override { return "TqvMenuBox"; }

  void SetMenuItems(TqvMenuItemsEx* AqvMenuItemsEx);
  TqvMenuItemsEx* MenuItems() const { return FqvMenuItemsEx; }

  int ItemIndex() const { return FItemIndex; }
  void SetItemIndex(int Value);
  int Count() const;
  TqvMenuBoxItem* ItemByIndex(int Idx) const;
  // The row under a point in the box's coordinates.
  TqvMenuBoxItem* ItemByPoint(float X, float Y) const;
  std::string ItemClass() const { return "TqvMenuBoxItem"; }
  void AddObject(tk::TVisualObject* AObject) override;
  void Clear();
  void SelectAll();
  void ClearSelection();
  void SelectRange(TqvMenuBoxItem* Item1, TqvMenuBoxItem* Item2);
  std::string GetData() const override;
  void SetData(const std::string& value) override;

  bool ShowSelectedState() const { return FShowSelectedState; }
  void SetShowSelectedState(bool v);
  int Columns() const { return FColumns; }
  float ItemWidth() const { return FItemWidth; }
  void SetItemWidth(float v);
  float ItemHeight() const { return FItemHeight; }
  void SetItemHeight(float v);
  TqvListStyle ListStyle() const { return FListStyle; }
  void SetListStyle(TqvListStyle v);
  bool MouseSelecting() const { return FMouseSelecting; }

  TqvMenuBoxItem* MoveOverItem() const { return FMoveOverItem.Get(); }
  TqvMenuBoxItem* MouseDownItem() const { return FMouseDownItem.Get(); }
  // The shapes behind the rows, for tests and tools.
  tk::TVisualObject* OverShow() const { return FOverShowObject; }
  tk::TVisualObject* DownShow() const { return FDownShowObject; }
  tk::TVisualObject* NormalShowTemplate() const { return FNormalShowObject; }
  int VisibleNormalShows() const;
  const tk::TBounds& RowMargins() const { return FRowMargins; }

  void UpdateHighlights();
  // Forgets the hovered and pressed rows (a level shown again starts without them).
  void ForgetPointer();

  // Keys of an open cascade, given by the level's pop-up: Up and Down move the hover, Right
  // and Enter open a sub-menu or click, Left and Escape close one level. Returns whether the
  // key was used.
  bool CascadeKey(uint16_t key);

  void MouseDown(tk::TMouseButton button, tk::TShiftState shift, float x, float y) override;
  void MouseMove(tk::TShiftState shift, float x, float y) override;
  void MouseUp(tk::TMouseButton button, tk::TShiftState shift, float x, float y) override;
  void MouseLeave() override;
  void KeyDown(uint16_t& key, char32_t& keyChar, tk::TShiftState shift) override;

  tk::TNotifyEvent OnChange;

 protected:
  void ApplyStyle() override;
  void FreeStyle() override;
  void ContentAddObject(tk::TVisualObject* child) override;
  void ContentBeforeRemoveObject(tk::TVisualObject* child) override;
  void ContentRemoveObject(tk::TVisualObject* child) override;
  void HScrollChange() override;
  void VScrollChange() override;
  tk::TRectF GetContentBounds() override;

 private:
  friend class TqvMenuBoxItem;
  void ScrollIntoView(TqvMenuBoxItem* row);
  void HoverRow(TqvMenuBoxItem* row, bool openSubMenu);
  void CloseSubMenus();
  // Closes the whole cascade and clicks `row` of this box when `click`.
  void FinishOnRow(TqvMenuBoxItem* row, bool click);
  // The row of any open box of this box's cascade under a screen point, and its box.
  TqvMenuBoxItem* CascadeRowAt(tk::TPointF screen, TqvMenuBox*& box) const;
  void FocusOwnWindow();

  bool FMouseSelecting = false;
  bool FShowCheckboxes = true;
  bool FShowSelectedState = true;
  int FColumns = 1;
  float FItemWidth = 0;
  float FItemHeight = 0;
  TqvListStyle FListStyle = TqvListStyle::Vertical;
  tk::TVisualObject* FSelection = nullptr;
  tk::TVisualObject* FbackgroundObject = nullptr;
  tk::TVisualObject* FAlternatingBackgroundObject = nullptr;
  tk::TVisualObject* FNormalShowObject = nullptr;
  tk::TVisualObject* FOverShowObject = nullptr;
  tk::TVisualObject* FDownShowObject = nullptr;
  tk::TVisualObject* FContentObject = nullptr;
  tk::TvgImage* FBackgroundImage = nullptr;
  std::vector<tk::TObjectRef<tk::TVisualObject>> FNormalShows;
  tk::TObjectRef<TqvMenuBoxItem> FMoveOverItem;
  tk::TObjectRef<TqvMenuBoxItem> FMouseDownItem;
  int FItemIndex = -1;
  TqvMenuItemsEx* FqvMenuItemsEx = nullptr;
  tk::TBounds FRowMargins;
};

// A level's pop-up: hands the keys of its window to its box.
class TqvMenuPopup : public tk::TvgPopup {
 public:
  explicit TqvMenuPopup(rt::TComponent* AOwner) : tk::TvgPopup(AOwner) {}
  std::string ClassName() const override { return "TqvMenuPopup"; }
  void KeyDown(uint16_t& key, char32_t& keyChar, tk::TShiftState shift) override;
};

}  // namespace vrnke
