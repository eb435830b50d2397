// The toolkit's controls: shapes, layouts, images, text controls, buttons, pop-ups, scroll
// boxes and the controls of list-and-grid windows.
#pragma once

#include <string>
#include <vector>

#include "toolkit/object.h"
#include "toolkit/scene.h"
#include "toolkit/style.h"
#include "toolkit/text_state.h"

namespace tk {

// Modal results.
constexpr int mrNone = 0, mrOk = 1, mrCancel = 2, mrAbort = 3, mrRetry = 4, mrIgnore = 5, mrYes = 6, mrNo = 7;

// A container that draws nothing. Hit-testing is off by default.
class TvgLayout : public TVisualObject {
 public:
  explicit TvgLayout(rt::TComponent* owner);
  std::string ClassName() const override { return "TvgLayout"; }
};

// Shapes have a Fill and a Stroke brush. Published: Fill, Stroke (objects), StrokeThickness.
class TvgShape : public TVisualObject {
 public:
  explicit TvgShape(rt::TComponent* owner);
  std::string ClassName() const override { return "TvgShape"; }
  TBrush& Fill() { return fill_; }
  TBrush& Stroke() { return stroke_; }
  void SetFill(const TBrush& b) { fill_.Assign(b); }
  void SetStroke(const TBrush& b) { stroke_.Assign(b); }
  float StrokeThickness() const { return thickness_; }
  void SetStrokeThickness(float t);
  void AssignFrom(const TVisualObject& source) override;

 protected:
  // The rectangle the shape is drawn in: half the stroke inside the bounds.
  TRectF ShapeRect() const;

 private:
  TBrush fill_{TBrushKind::Solid, claWhite};
  TBrush stroke_{TBrushKind::Solid, claBlack};
  float thickness_ = 1;
};

// Published: XRadius, YRadius, Corners ("All" or "TopLeft,BottomRight"...).
class TvgRectangle : public TvgShape {
 public:
  explicit TvgRectangle(rt::TComponent* owner);
  std::string ClassName() const override { return "TvgRectangle"; }
  float XRadius() const { return xRadius_; }
  float YRadius() const { return yRadius_; }
  void SetRadius(float x, float y);
  uint32_t Corners() const { return corners_; }
  void SetCorners(uint32_t c);
  void Paint(TCanvas& canvas) override;

 private:
  float xRadius_ = 0, yRadius_ = 0;
  uint32_t corners_ = crnAll;
};

class TvgEllipse : public TvgShape {
 public:
  explicit TvgEllipse(rt::TComponent* owner);
  std::string ClassName() const override { return "TvgEllipse"; }
  void Paint(TCanvas& canvas) override;
};

enum class TPathWrap { Original, Fit, Stretch };

// Published: Data (path data), WrapMode ("Original", "Fit", "Stretch").
class TvgPath : public TvgShape {
 public:
  explicit TvgPath(rt::TComponent* owner);
  std::string ClassName() const override { return "TvgPath"; }
  const TPathData& Data() const { return data_; }
  void SetData(const std::string& d);
  TPathWrap WrapMode() const { return wrap_; }
  void SetWrapMode(TPathWrap w);
  void Paint(TCanvas& canvas) override;

 private:
  TPathData data_;
  TPathWrap wrap_ = TPathWrap::Stretch;
};

// A text shape. Published: Text, Font, Fill (text colour), HorzTextAlign, VertTextAlign,
// WordWrap, AutoSize, AutoTranslate.
class TvgText : public TvgShape {
 public:
  explicit TvgText(rt::TComponent* owner);
  std::string ClassName() const override { return "TvgText"; }
  const std::string& Text() const { return state_.Text(); }
  void SetText(const std::string& t) { state_.SetText(t); }
  std::string DisplayText() const { return state_.Shown(); }
  TFont& Font() { return state_.Font(); }
  TTextAlign HorzTextAlign() const { return state_.HorzAlign(); }
  TTextAlign VertTextAlign() const { return state_.VertAlign(); }
  void SetHorzTextAlign(TTextAlign a) { state_.SetHorzAlign(a); }
  void SetVertTextAlign(TTextAlign a) { state_.SetVertAlign(a); }
  bool WordWrap() const { return state_.WordWrap(); }
  void SetWordWrap(bool w) { state_.SetWordWrap(w); }
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool a);
  bool AutoTranslate() const { return state_.AutoTranslate(); }
  void SetAutoTranslate(bool a) { state_.SetAutoTranslate(a); }
  void Paint(TCanvas& canvas) override;
  void Retranslate() override;
  void AssignFrom(const TVisualObject& source) override;

 private:
  void Changed();
  TTextState state_;
  bool autoSize_ = false;
};

enum class TImageWrap { Original, Fit, Stretch, Tile };

// Published: Bitmap (object: PNG), WrapMode ("Original", "Fit", "Stretch", "Tile").
class TvgImage : public TVisualObject {
 public:
  explicit TvgImage(rt::TComponent* owner);
  std::string ClassName() const override { return "TvgImage"; }
  TBitmap& Bitmap() { return bitmap_; }
  void SetBitmap(const TBitmap& b) { bitmap_.Assign(b); }
  TImageWrap WrapMode() const { return wrap_; }
  void SetWrapMode(TImageWrap w);
  void Paint(TCanvas& canvas) override;
  void AssignFrom(const TVisualObject& source) override;

 private:
  TBitmap bitmap_;
  TImageWrap wrap_ = TImageWrap::Fit;
};

// A list of pictures, addressed by index.
class TvgImageList : public rt::TComponent {
 public:
  explicit TvgImageList(rt::TComponent* owner) : rt::TComponent(owner) {}
  std::string ClassName() const override { return "TvgImageList"; }
  int Count() const { return static_cast<int>(images_.size()); }
  int Add(const TBitmap& b);
  const TBitmap& Bitmap(int index) const;  // rt::EListError when out of range
  void Clear() { images_.clear(); }
  void Assign(const TvgImageList& other);  // copies the pictures

 private:
  std::vector<std::unique_ptr<TBitmap>> images_;
};

// A styled control with a text. The style's "text" part (a TvgText) shows it; without one
// the control draws the text itself inside its padding.
// Published: Text (also "Caption"), Font, FontFill (objects), TextAlign, VertTextAlign,
// WordWrap, AutoTranslate; event OnChange is left to subclasses.
class TvgTextControl : public TvgStyledControl {
 public:
  explicit TvgTextControl(rt::TComponent* owner);
  std::string ClassName() const override { return "TvgTextControl"; }
  const std::string& Text() const { return state_.Text(); }
  virtual void SetText(const std::string& t);
  // The text as shown: passed through tk::Translate when AutoTranslate is on.
  const std::string& DisplayText() const { return state_.Shown(); }
  TFont& Font() { return state_.Font(); }
  const TFont& Font() const { return state_.Font(); }
  void SetFont(const TFont& f) { state_.Font().Assign(f); }
  TBrush& FontFill() { return fontFill_; }
  void SetFontFill(const TBrush& b) { fontFill_.Assign(b); }
  TTextAlign TextAlign() const { return state_.HorzAlign(); }
  void SetTextAlign(TTextAlign a) { state_.SetHorzAlign(a); }
  TTextAlign VertTextAlign() const { return state_.VertAlign(); }
  void SetVertTextAlign(TTextAlign a) { state_.SetVertAlign(a); }
  bool WordWrap() const { return state_.WordWrap(); }
  void SetWordWrap(bool w) { state_.SetWordWrap(w); }
  bool AutoTranslate() const { return state_.AutoTranslate(); }
  void SetAutoTranslate(bool a) { state_.SetAutoTranslate(a); }
  TvgText* TextObject() const { return textObject_; }
  void Retranslate() override;
  void Paint(TCanvas& canvas) override;
  void AssignFrom(const TVisualObject& source) override;
  // Width of a text in this control's font on one line.
  float TextWidth(const std::string& text) const;
  std::string GetData() const override { return state_.Text(); }
  void SetData(const std::string& value) override { SetText(value); }

 protected:
  void ApplyStyle() override;
  void FreeStyle() override;
  virtual void TextChanged() {}
  void UpdateTextObject();
  virtual bool DrawsOwnText() const { return true; }

 private:
  void StateChanged(TTextChange what);
  TTextState state_;
  TBrush fontFill_{TBrushKind::Solid, claBlack};
  TvgText* textObject_ = nullptr;
  bool fontSet_ = false, fillSet_ = false;  // set by the program: they override the style's
};

class TvgLabel : public TvgTextControl {
 public:
  explicit TvgLabel(rt::TComponent* owner);
  std::string ClassName() const override { return "TvgLabel"; }
};

// An editable (or read-only) one-line text. Published: ReadOnly, MaxLength; event OnChange.
class TvgTextBox : public TvgTextControl {
 public:
  explicit TvgTextBox(rt::TComponent* owner);
  std::string ClassName() const override { return "TvgTextBox"; }
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool r) { readOnly_ = r; }
  int CaretPosition() const { return caret_; }  // in characters
  void SetCaretPosition(int p);
  void SetText(const std::string& t) override;
  void KeyDown(uint16_t& key, char32_t& keyChar, TShiftState shift) override;
  void MouseDown(TMouseButton button, TShiftState shift, float x, float y) override;
  void Paint(TCanvas& canvas) override;
  TNotifyEvent OnChange;

 protected:
  virtual bool MultiLine() const { return false; }
  void EditChanged();
  int caret_ = 0;
  bool readOnly_ = false;
  int maxLength_ = 0;
};

// Several lines. Published: Lines (text with line breaks, same as Text).
class TvgMemo : public TvgTextBox {
 public:
  explicit TvgMemo(rt::TComponent* owner);
  std::string ClassName() const override { return "TvgMemo"; }
  std::vector<std::string> Lines() const;
  void SetLines(const std::vector<std::string>& lines);
  int LineCount() const { return static_cast<int>(Lines().size()); }
  float ScrollOffset() const { return scrollY_; }
  void MouseWheel(TShiftState shift, int delta, bool& handled) override;
  void Paint(TCanvas& canvas) override;

 protected:
  bool MultiLine() const override { return true; }

 private:
  float scrollY_ = 0;
};

// A push button. Published: ModalResult, IsPressed, StaysPressed.
class TvgButton : public TvgTextControl {
 public:
  explicit TvgButton(rt::TComponent* owner);
  std::string ClassName() const override { return "TvgButton"; }
  int ModalResult() const { return modalResult_; }
  void SetModalResult(int r) { modalResult_ = r; }
  bool IsDown() const { return isDown_; }
  void SetIsDown(bool d);
  bool StaysPressed() const { return staysPressed_; }
  void SetStaysPressed(bool s) { staysPressed_ = s; }
  void Click() override;
  void MouseDown(TMouseButton button, TShiftState shift, float x, float y) override;
  void MouseUp(TMouseButton button, TShiftState shift, float x, float y) override;
  void MouseEnter() override;
  void MouseLeave() override;
  void KeyDown(uint16_t& key, char32_t& keyChar, TShiftState shift) override;

 protected:
  void ApplyStyle() override;
  const TVisualObject* FallbackStyle() const override;
  virtual void StateChanged();

 private:
  int modalResult_ = 0;
  bool isDown_ = false, staysPressed_ = false;
};

class TvgSpeedButton : public TvgButton {
 public:
  explicit TvgSpeedButton(rt::TComponent* owner);
  std::string ClassName() const override { return "TvgSpeedButton"; }
};

// A button drawn from three pictures. Published: Bitmap, BitmapDown, BitmapHot (objects),
// IsPressed, StaysPressed; BitmapMargins stretches the pictures' middles only.
class TvgBitmapStateButton : public TvgTextControl {
 public:
  explicit TvgBitmapStateButton(rt::TComponent* owner);
  std::string ClassName() const override { return "TvgBitmapStateButton"; }
  TBitmap& Bitmap() { return bitmap_; }
  TBitmap& BitmapDown() { return bitmapDown_; }
  TBitmap& BitmapHot() { return bitmapHot_; }
  void SetBitmap(const TBitmap& b) { bitmap_.Assign(b); }
  void SetBitmapDown(const TBitmap& b) { bitmapDown_.Assign(b); }
  void SetBitmapHot(const TBitmap& b) { bitmapHot_.Assign(b); }
  bool IsPressed() const { return pressedState_; }  // the pressed state (also set by the program)
  void SetIsPressed(bool p);
  bool StaysPressed() const { return staysPressed_; }
  void SetStaysPressed(bool s) { staysPressed_ = s; }
  int ModalResult() const { return modalResult_; }
  void SetModalResult(int r) { modalResult_ = r; }
  // The picture the button shows now.
  const TBitmap& CurrentBitmap() const;
  void Paint(TCanvas& canvas) override;
  void Click() override;
  void MouseDown(TMouseButton button, TShiftState shift, float x, float y) override;
  void MouseUp(TMouseButton button, TShiftState shift, float x, float y) override;
  void MouseEnter() override;
  void MouseLeave() override;
  void AssignFrom(const TVisualObject& source) override;

 private:
  TBitmap bitmap_, bitmapDown_, bitmapHot_;
  bool pressedState_ = false, staysPressed_ = false, tracking_ = false;
  int modalResult_ = 0;
};

enum class TvgPlacement {
  vgPlacementBottom,
  vgPlacementTop,
  vgPlacementLeft,
  vgPlacementRight,
  vgPlacementCenter,
  vgPlacementBottomCenter,
  vgPlacementTopCenter,
  vgPlacementMouse,
  vgPlacementMouseCenter,
  vgPlacementAbsolute
};
std::string PlacementToText(TvgPlacement p);
TvgPlacement TextToPlacement(const std::string& text);

// Content shown in a top-level pop-up window of its own while open. In its parent's scene
// it is never drawn. Published: Placement, PlacementTarget (by name is left to the loader),
// IsOpen, StaysOpen, DragWithParent, HorizontalOffset, VerticalOffset; events OnPopup,
// OnClosePopup.
class TvgPopup : public TVisualObject {
 public:
  explicit TvgPopup(rt::TComponent* owner);
  ~TvgPopup() override;
  std::string ClassName() const override { return "TvgPopup"; }
  bool ShownInOwnWindow() const override { return true; }

  TvgPlacement Placement() const { return placement_; }
  void SetPlacement(TvgPlacement p) { placement_ = p; }
  TVisualObject* PlacementTarget() const { return target_.Get(); }
  void SetPlacementTarget(TVisualObject* t) { target_.Set(t); }
  float HorizontalOffset = 0, VerticalOffset = 0;
  bool StaysOpen() const { return staysOpen_; }
  void SetStaysOpen(bool s) { staysOpen_ = s; }
  bool DragWithParent() const { return dragWithParent_; }
  void SetDragWithParent(bool d) { dragWithParent_ = d; }

  bool IsOpen() const { return window_ != nullptr; }
  void SetIsOpen(bool open);
  void Popup();       // opens at the placement
  void ClosePopup();  // closes; nothing when closed
  // The top-level window that shows the pop-up while it is open (null when closed).
  TWindow* PopupWindow() const { return window_.get(); }
  // The screen position the placement gives now.
  TPointF PlacementPosition() const;

  TNotifyEvent OnPopup, OnClosePopup;

  // Closes open transient pop-ups that are not related to `window` (a press or an
  // activation happened there). Pop-ups of a cascade (one placed on an object inside another)
  // stay open together.
  static void CloseUnrelated(TWindow* window);
  static std::vector<TvgPopup*> OpenPopups();
  // The window of the scene that holds the pop-up object.
  TWindow* ParentWindow() const;

 protected:
  TvgScene* OwnScene() const override;
  void Resized() override;

 private:
  // True when `popup` is placed, directly or through a chain, on an object inside this one.
  bool IsAncestorPopupOf(const TvgPopup* popup) const;

  TvgPlacement placement_ = TvgPlacement::vgPlacementBottom;
  TObjectRef<TVisualObject> target_;
  bool staysOpen_ = false, dragWithParent_ = false;
  std::unique_ptr<TWindow> window_;
};

enum class TOrientation { Horizontal, Vertical };

// Published: Orientation, Min, Max, Value, ViewportSize, SmallChange; event OnChange.
class TvgScrollBar : public TvgStyledControl {
 public:
  explicit TvgScrollBar(rt::TComponent* owner);
  std::string ClassName() const override { return "TvgScrollBar"; }
  TOrientation Orientation() const { return orientation_; }
  void SetOrientation(TOrientation o);
  float Min() const { return min_; }
  float Max() const { return max_; }
  float Value() const { return value_; }
  float ViewportSize() const { return viewport_; }
  float SmallChange() const { return smallChange_; }
  void SetMin(float v);
  void SetMax(float v);
  void SetViewportSize(float v);
  void SetSmallChange(float v) { smallChange_ = v; }
  // Kept within Min .. Max - ViewportSize; OnChange runs on a change.
  void SetValue(float v);
  TRectF ThumbRect() const;
  void Paint(TCanvas& canvas) override;
  void MouseDown(TMouseButton button, TShiftState shift, float x, float y) override;
  void MouseMove(TShiftState shift, float x, float y) override;
  void MouseUp(TMouseButton button, TShiftState shift, float x, float y) override;
  TNotifyEvent OnChange;

 private:
  TOrientation orientation_ = TOrientation::Vertical;
  float min_ = 0, max_ = 100, value_ = 0, viewport_ = 0, smallChange_ = 10;
  bool dragging_ = false;
  float dragOffset_ = 0;
};

class TvgScrollBox;

// The object that holds a scroll box's contents; it moves when the box scrolls.
class TvgScrollContent : public TVisualObject {
 public:
  explicit TvgScrollContent(rt::TComponent* owner, TvgScrollBox* box);
  std::string ClassName() const override { return "TvgScrollContent"; }
  TvgScrollBox* Box() const { return box_; }
  void AddObject(TVisualObject* child) override;

 protected:
  void ChildAdded(TVisualObject* child) override;
  void ChildRemoving(TVisualObject* child) override;
  void ChildRemoved(TVisualObject* child) override;
  void DoRealign() override;

 private:
  friend class TvgScrollBox;
  TvgScrollBox* box_;
};

// A styled control whose children live in a scrollable content object. The style may hold a
// "content" layout (the visible area) and scroll bars named "vscrollbar" and "hscrollbar".
// Published: ShowScrollBars, MouseTracking; event OnScroll.
class TvgScrollBox : public TvgStyledControl {
 public:
  explicit TvgScrollBox(rt::TComponent* owner);
  ~TvgScrollBox() override;
  std::string ClassName() const override { return "TvgScrollBox"; }

  TvgScrollContent* Content() const { return content_; }
  // The visible area's object: the style's "content" part, or the box itself.
  TVisualObject* ContentLayout() const;
  TvgScrollBar* VScrollBar() const { return vbar_; }
  TvgScrollBar* HScrollBar() const { return hbar_; }
  bool ShowScrollBars() const { return showScrollBars_; }
  void SetShowScrollBars(bool s);
  bool MouseTracking() const { return mouseTracking_; }
  void SetMouseTracking(bool m) { mouseTracking_ = m; }
  // The last drag step of mouse tracking (0, 0 when the pointer did not move).
  TPointF LastDragStep() const { return dragStep_; }

  // Scroll offset of the content (positive: scrolled down / right).
  TPointF ViewportPosition() const { return scroll_; }
  void SetViewportPosition(TPointF p);
  void ScrollBy(float dx, float dy);
  TRectF VisibleRect() const;  // the visible area in content coordinates

  void AddObject(TVisualObject* child) override;
  void MouseDown(TMouseButton button, TShiftState shift, float x, float y) override;
  void MouseMove(TShiftState shift, float x, float y) override;
  void MouseUp(TMouseButton button, TShiftState shift, float x, float y) override;
  void MouseWheel(TShiftState shift, int delta, bool& handled) override;

  // Hooks for subclasses.
  virtual void ContentAddObject(TVisualObject* child);
  virtual void ContentBeforeRemoveObject(TVisualObject* child);
  virtual void ContentRemoveObject(TVisualObject* child);
  virtual void HScrollChange();
  virtual void VScrollChange();
  // The content's bounds in content-layout coordinates; the default encloses the children.
  virtual TRectF GetContentBounds();

  void RealignContent();
  TNotifyEvent OnScroll;  // after every change of the scroll offset

 protected:
  void ApplyStyle() override;
  void FreeStyle() override;
  void DoRealign() override;
  void Resized() override;

 private:
  friend class TvgScrollContent;
  void UpdateScrollBars(const TRectF& bounds);
  void PlaceContent();
  TvgScrollContent* content_;
  TvgScrollBar* vbar_ = nullptr;
  TvgScrollBar* hbar_ = nullptr;
  bool showScrollBars_ = true, mouseTracking_ = false;
  TPointF scroll_;
  TRectF contentBounds_;
  bool trackingDown_ = false;
  TPointF dragStart_, dragStep_;
  bool realigningContent_ = false;
};

// A button that shows the selected item and opens a list of the items.
// Published: Items (lines), ItemIndex; event OnChange.
class TvgPopupBox : public TvgTextControl {
 public:
  explicit TvgPopupBox(rt::TComponent* owner);
  ~TvgPopupBox() override;
  std::string ClassName() const override { return "TvgPopupBox"; }
  const std::vector<std::string>& Items() const { return items_; }
  void SetItems(const std::vector<std::string>& items);
  void AddItem(const std::string& item);
  void ClearItems();
  int ItemIndex() const { return itemIndex_; }
  void SetItemIndex(int index);  // -1 .. count-1, others raise rt::ERangeError; OnChange on change
  void Retranslate() override;
  void DropDown();  // opens the list
  // The data is the selected item's text; setting it selects the first item with that text.
  std::string GetData() const override { return itemIndex_ >= 0 ? items_[itemIndex_] : std::string(); }
  void SetData(const std::string& value) override;
  TvgPopup* ListPopup() const { return popup_; }
  void Click() override;
  void KeyDown(uint16_t& key, char32_t& keyChar, TShiftState shift) override;
  void Paint(TCanvas& canvas) override;
  TNotifyEvent OnChange;

 protected:
  void UpdateShownText();

 private:
  std::vector<std::string> items_;
  int itemIndex_ = -1;
  TvgPopup* popup_ = nullptr;
};

class TvgStringComboBox : public TvgPopupBox {
 public:
  explicit TvgStringComboBox(rt::TComponent* owner);
  std::string ClassName() const override { return "TvgStringComboBox"; }
  void Paint(TCanvas& canvas) override;
};

class TvgTabControl;

// A tab: its header is drawn in the tab control's header row; its children are the page and
// are shown only while the tab is active. Published: IsSelected (read), Width (header width).
class TvgTabItem : public TvgTextControl {
 public:
  explicit TvgTabItem(rt::TComponent* owner);
  std::string ClassName() const override { return "TvgTabItem"; }
  TvgTabControl* TabControl() const;
  bool IsActive() const;
  float HeaderWidth() const { return headerWidth_; }
  void SetHeaderWidth(float w);
  TRectF HeaderRect() const { return header_; }  // in the tab's coordinates
  bool PointInObject(float absX, float absY) const override;
  void Paint(TCanvas& canvas) override;
  void MouseDown(TMouseButton button, TShiftState shift, float x, float y) override;

 protected:
  void PaintChildren(TCanvas& canvas, const TRectF& dirtyLocal) override;
  bool ShowsChildren() const override { return IsActive(); }
  bool DrawsOwnText() const override { return false; }

 private:
  friend class TvgTabControl;
  float headerWidth_ = 80;
  TRectF header_;
};

// Published: TabIndex, TabHeight; event OnChange.
class TvgTabControl : public TvgStyledControl {
 public:
  explicit TvgTabControl(rt::TComponent* owner);
  std::string ClassName() const override { return "TvgTabControl"; }
  int TabCount() const;
  TvgTabItem* Tab(int index) const;  // nullptr outside
  int TabIndex() const { return tabIndex_; }
  void SetTabIndex(int index);  // -1 for none; clamped into range
  float TabHeight() const { return tabHeight_; }
  void SetTabHeight(float h);
  TvgTabItem* AddTab(const std::string& text, rt::TComponent* owner);
  void Paint(TCanvas& canvas) override;
  TNotifyEvent OnChange;

 protected:
  void DoRealign() override;
  void ChildRemoved(TVisualObject* child) override;

 private:
  int tabIndex_ = -1;
  float tabHeight_ = 20;
};

// A column of a string grid. Published: Header, Width, ReadOnly.
struct TGridColumn {
  std::string header;
  float width = 100;
  bool readOnly = false;
};

// A grid of texts with columns and a row selection; editable cells take typed text when the
// grid has focus. Published: RowCount, RowHeight, Selected, ColumnIndex; events OnChange
// (selection), OnEditingDone.
class TvgStringGrid : public TvgStyledControl {
 public:
  explicit TvgStringGrid(rt::TComponent* owner);
  std::string ClassName() const override { return "TvgStringGrid"; }
  int ColumnCount() const { return static_cast<int>(columns_.size()); }
  TGridColumn& Column(int index);  // rt::EListError outside
  void AddColumn(const std::string& header, float width, bool readOnly = false);
  int RowCount() const { return rowCount_; }
  void SetRowCount(int n);                                  // keeps the cells of the rows that stay
  const std::string& Cell(int col, int row) const;          // "" outside
  void SetCell(int col, int row, const std::string& text);  // rt::EListError outside
  int Selected() const { return selected_; }
  void SetSelected(int row);  // -1 .. RowCount-1
  int ColumnIndex() const { return columnIndex_; }
  void SetColumnIndex(int col);
  float RowHeight() const { return rowHeight_; }
  void SetRowHeight(float h);
  float HeaderHeight() const { return headerHeight_; }
  float ScrollOffset() const { return scrollY_; }
  void SetScrollOffset(float y);
  int RowAtPoint(float localY) const;

  void Paint(TCanvas& canvas) override;
  void MouseDown(TMouseButton button, TShiftState shift, float x, float y) override;
  void MouseWheel(TShiftState shift, int delta, bool& handled) override;
  void KeyDown(uint16_t& key, char32_t& keyChar, TShiftState shift) override;
  TNotifyEvent OnChange, OnEditingDone;

 private:
  std::string& CellRef(int col, int row);
  std::vector<TGridColumn> columns_;
  std::vector<std::vector<std::string>> cells_;  // [row][col]
  int rowCount_ = 0, selected_ = -1, columnIndex_ = 0;
  float rowHeight_ = 21, headerHeight_ = 22, scrollY_ = 0;
};

// Bars along an edge; they draw a gradient panel and hold buttons. Published: Fill (object).
class TvgToolBar : public TvgRectangle {
 public:
  explicit TvgToolBar(rt::TComponent* owner);
  std::string ClassName() const override { return "TvgToolBar"; }
};

class TvgStatusBar : public TvgRectangle {
 public:
  explicit TvgStatusBar(rt::TComponent* owner);
  std::string ClassName() const override { return "TvgStatusBar"; }
};

}  // namespace tk
