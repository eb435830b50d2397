// The scene object: every control is a component with published properties and a place in
// the visual tree of one window's scene.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "runtime/component.h"
#include "runtime/event.h"
#include "toolkit/canvas.h"
#include "toolkit/types.h"

namespace tk {

class TvgScene;
class TWindow;
class TVisualObject;
class TvgPopup;

using TNotifyEvent = rt::TEvent<rt::TComponent*>;
using TMouseEvent = rt::TEvent<rt::TComponent*, TMouseButton, TShiftState, float, float>;
using TMouseMoveEvent = rt::TEvent<rt::TComponent*, TShiftState, float, float>;
using TMouseWheelEvent = rt::TEvent<rt::TComponent*, TShiftState, int, bool&>;
using TKeyEvent = rt::TEvent<rt::TComponent*, uint16_t&, char32_t&, TShiftState>;
using TPaintEvent = rt::TEvent<rt::TComponent*, TCanvas&, const TRectF&>;
// A text on its way in (a paste): the handler may change it; an empty text adds nothing.
using TTextEvent = rt::TEvent<rt::TComponent*, std::string&>;

enum class TvgAlign { vaNone, vaTop, vaBottom, vaLeft, vaRight, vaClient, vaContents, vaCenter };
inline const auto& EnumNames(TvgAlign) {
  using A = TvgAlign;
  static constexpr rt::TEnumName<A> names[] = {{A::vaNone, "vaNone"},         {A::vaTop, "vaTop"},
                                               {A::vaBottom, "vaBottom"},     {A::vaLeft, "vaLeft"},
                                               {A::vaRight, "vaRight"},       {A::vaClient, "vaClient"},
                                               {A::vaContents, "vaContents"}, {A::vaCenter, "vaCenter"},
                                               {A::vaNone, "None"},           {A::vaTop, "Top"},
                                               {A::vaBottom, "Bottom"},       {A::vaLeft, "Left"},
                                               {A::vaRight, "Right"},         {A::vaClient, "Client"},
                                               {A::vaContents, "Contents"},   {A::vaCenter, "Center"}};
  return names;
}
inline const char* EnumDescription(TvgAlign) { return "an alignment"; }
std::string AlignToText(TvgAlign a);
TvgAlign TextToAlign(const std::string& text);  // "vaClient" or "Client", any case

// Left, top, right, bottom as floats (margins, padding). Published: Left, Top, Right, Bottom.
class TBounds : public rt::TPersistent {
 public:
  TBounds();
  TBounds(const TBounds& o) : TBounds() { Assign(o); }
  TBounds& operator=(const TBounds& o) {
    Assign(o);
    return *this;
  }
  std::string ClassName() const override { return "TvgBounds"; }
  float left = 0, top = 0, right = 0, bottom = 0;
  void Set(float l, float t, float r, float b);
  void Assign(const TBounds& o) { Set(o.left, o.top, o.right, o.bottom); }
  bool IsZero() const { return left == 0 && top == 0 && right == 0 && bottom == 0; }
  std::string ToText() const;         // "l,t,r,b"
  void FromText(const std::string&);  // "l,t,r,b"
  std::function<void()> OnChanged;
};

// A reference that turns null when the object is destroyed.
template <class T>
class TObjectRef {
 public:
  TObjectRef() = default;
  TObjectRef(T* o) { Set(o); }  // NOLINT
  void Set(T* o) {
    ptr_ = o;
    alive_ = o ? o->AliveToken() : std::weak_ptr<char>();
  }
  T* Get() const { return alive_.expired() ? nullptr : ptr_; }
  T* operator->() const { return Get(); }
  explicit operator bool() const { return Get() != nullptr; }

 private:
  T* ptr_ = nullptr;
  std::weak_ptr<char> alive_;
};

// Base of every object in a scene. Children are kept in order; a child without an owner
// (style instances, copies made by Clone without owner) is destroyed with its parent, a child
// with an owner is only detached (its owner destroys it).
//
// Published: Name, Tag, Left, Top, Position ("x,y"), Width, Height, Align, Margins, Padding
// (text "l,t,r,b" and objects), Visible, Opacity, HitTest, Cursor, ClipChildren, Enabled,
// Hint, ShowHint, ResourceName, CanFocus, TabOrder; events OnClick, OnDblClick, OnMouseEnter,
// OnMouseLeave, OnMouseDown, OnMouseMove, OnMouseUp, OnMouseWheel, OnKeyDown, OnKeyUp,
// OnBeforePaint, OnPaint, OnResize, OnEnter, OnExit.
class TVisualObject : public rt::TComponent {
 public:
  explicit TVisualObject(rt::TComponent* owner);
  ~TVisualObject() override;
  std::string ClassName() const override { return "TvgVisualObject"; }

  // --- tree --------------------------------------------------------------------------------
  TVisualObject* Parent() const { return parent_; }
  void SetParent(TVisualObject* parent);
  int ChildCount() const { return static_cast<int>(children_.size()); }
  TVisualObject* Child(int index) const;  // rt::EListError when out of range
  const std::vector<TVisualObject*>& Children() const { return children_; }
  // Where a new child goes: containers (scroll boxes) may place it elsewhere.
  virtual void AddObject(TVisualObject* child);
  virtual void RemoveObject(TVisualObject* child);
  void InsertObject(int index, TVisualObject* child);
  int Index() const;  // position among the parent's children, -1 without parent
  void BringToFront();
  void SendToBack();
  bool IsAncestorOf(const TVisualObject* o) const;  // o is this or lies below it
  // Nearest parent of class T (not this).
  template <class T>
  T* FindParentOfClass() const {
    for (TVisualObject* p = parent_; p; p = p->parent_)
      if (auto* t = dynamic_cast<T*>(p)) return t;
    return nullptr;
  }

  // The scene that shows this object: the pop-up's own scene inside an open pop-up.
  TvgScene* Scene() const;
  // The scene of the window the object belongs to, looking through pop-ups (styles, focus).
  TvgScene* HostScene() const;
  TWindow* Window() const;
  // Topmost object of the tree (the scene's root, or an unparented object).
  TVisualObject* Root() const;

  // Non-visual children (effects, animations) are neither laid out, painted nor hit.
  virtual bool IsVisual() const { return true; }

  // --- geometry (parent coordinates) ----------------------------------------------------
  TPointF Position() const { return pos_; }
  void SetPosition(TPointF p);
  float Left() const { return pos_.x; }
  float Top() const { return pos_.y; }
  float Width() const { return width_; }
  float Height() const { return height_; }
  void SetLeft(float v) { SetPosition({v, pos_.y}); }
  void SetTop(float v) { SetPosition({pos_.x, v}); }
  void SetWidth(float v) { SetSize(v, height_); }
  void SetHeight(float v) { SetSize(width_, v); }
  void SetSize(float w, float h);
  void SetBounds(float x, float y, float w, float h);
  TRectF LocalRect() const { return {0, 0, width_, height_}; }
  TRectF BoundsRect() const { return {pos_.x, pos_.y, pos_.x + width_, pos_.y + height_}; }
  void SetBoundsRect(const TRectF& r) { SetBounds(r.left, r.top, r.Width(), r.Height()); }

  TvgAlign Align() const { return align_; }
  void SetAlign(TvgAlign a);
  TBounds& Margins() { return margins_; }
  TBounds& Padding() { return padding_; }
  const TBounds& Margins() const { return margins_; }
  const TBounds& Padding() const { return padding_; }

  bool Visible() const { return visible_; }
  void SetVisible(bool v);
  bool IsVisibleInScene() const;  // this and every parent visible
  float Opacity() const { return opacity_; }
  void SetOpacity(float v);
  float AbsoluteOpacity() const;
  bool HitTest() const { return hitTest_; }
  void SetHitTest(bool v) { hitTest_ = v; }
  TCursor Cursor() const { return cursor_; }
  void SetCursor(TCursor c);
  bool ClipChildren() const { return clipChildren_; }
  void SetClipChildren(bool v);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool v);
  const std::string& Hint() const { return hint_; }
  void SetHint(const std::string& h) { hint_ = h; }
  bool ShowHint() const { return showHint_; }
  void SetShowHint(bool v) { showHint_ = v; }

  // Name of the object as a part of a style, found by FindResource.
  const std::string& ResourceName() const { return resourceName_; }
  void SetResourceName(const std::string& n) { resourceName_ = n; }
  // Objects that are not stored are left out of stored forms and of Clone.
  bool Stored() const { return stored_; }
  void SetStored(bool v) { stored_ = v; }
  // Objects of a style instance: never hit themselves, so the control receives the input.
  bool Locked() const { return locked_; }
  void SetLocked(bool v) { locked_ = v; }

  // --- coordinates ----------------------------------------------------------------------
  // Absolute means relative to the scene that shows the object.
  TPointF LocalToAbsolute(TPointF p) const;
  TPointF AbsoluteToLocal(TPointF p) const;
  TPointF LocalToScreen(TPointF p) const;
  TPointF ScreenToLocal(TPointF p) const;
  TRectF AbsoluteRect() const;
  // Hit test of an absolute point against this object's own rectangle.
  virtual bool PointInObject(float absX, float absY) const;
  // The deepest visible, hit-testable object under an absolute point (this subtree).
  TVisualObject* ObjectAtPoint(TPointF abs);

  // --- painting -------------------------------------------------------------------------
  void Repaint();  // marks the object's area dirty in its scene
  // Draws the object in local coordinates (the canvas is translated already).
  virtual void Paint(TCanvas& canvas);
  // Draws the object and its children with the object's origin at the canvas origin;
  // dirtyLocal is the area to draw, in the object's local coordinates.
  void PaintTo(TCanvas& canvas, const TRectF& dirtyLocal);
  // Area the object paints beyond its rectangle (shadows, glows), in local units.
  virtual TRectF PaintMargins() const;
  // An effect changes how its parent is painted: the parent's picture goes through
  // ApplyEffect, which paints up to Reach pixels beyond it.
  virtual bool IsActiveEffect() const { return false; }
  virtual float Reach() const { return 0; }
  // Runs on the offscreen picture of the parent (origin at reach, reach).
  virtual void ApplyEffect(TBitmap& picture, float scale) {
    (void)picture;
    (void)scale;
  }
  // Shown in a top-level window of its own, never in its parent's scene (a pop-up).
  virtual bool ShownInOwnWindow() const { return false; }

  // --- layout ---------------------------------------------------------------------------
  void Realign();
  void BeginUpdate() { ++updating_; }
  void EndUpdate();
  bool IsUpdating() const { return updating_ > 0; }

  // --- styles and animations --------------------------------------------------------------
  // The first object of this subtree (this included) whose ResourceName matches.
  virtual TVisualObject* FindResource(const std::string& resourceName) const;
  // Starts the trigger animations of this subtree that watch `trigger` on `instance`. Settled:
  // they take their end value at once (a style just applied shows its state, it does not fade
  // into it).
  void StartTriggerAnimation(TVisualObject* instance, const std::string& trigger, bool settled = false);
  // An animation starts when its trigger names `triggerName` and holds on `instance`.
  virtual void TriggerOn(TVisualObject* instance, const std::string& triggerName, bool settled) {
    (void)instance;
    (void)triggerName;
    (void)settled;
  }
  // Re-reads every text through the translate function (whole subtree).
  virtual void Retranslate();

  // A copy with its stored subtree, made by class name (see RegisterClass), owned by owner.
  TVisualObject* Clone(rt::TComponent* owner) const;
  // Copies published state from another object of the same class (not the name).
  virtual void AssignFrom(const TVisualObject& source);

  // --- input ----------------------------------------------------------------------------
  bool CanFocus() const { return canFocus_; }
  void SetCanFocus(bool v) { canFocus_ = v; }
  bool IsFocused() const;
  void SetFocus();
  bool IsMouseOver() const { return mouseOver_; }
  bool IsPressed() const { return mousePressed_; }
  // Called by the scene with local coordinates.
  virtual void MouseDown(TMouseButton button, TShiftState shift, float x, float y);
  virtual void MouseMove(TShiftState shift, float x, float y);
  virtual void MouseUp(TMouseButton button, TShiftState shift, float x, float y);
  virtual void MouseWheel(TShiftState shift, int delta, bool& handled);
  virtual void MouseEnter();
  virtual void MouseLeave();
  virtual void Click();
  virtual void DblClick();
  virtual void KeyDown(uint16_t& key, char32_t& keyChar, TShiftState shift);
  virtual void KeyUp(uint16_t& key, char32_t& keyChar, TShiftState shift);
  virtual void EnterFocus();
  virtual void ExitFocus();
  // An object below this one received the keyboard focus (called on every parent in turn).
  virtual void DescendantFocused(TVisualObject* focused) { (void)focused; }

  TNotifyEvent OnClick, OnDblClick, OnMouseEnter, OnMouseLeave, OnResize, OnEnter, OnExit;
  TMouseEvent OnMouseDown, OnMouseUp;
  TMouseMoveEvent OnMouseMove;
  TMouseWheelEvent OnMouseWheel;
  TKeyEvent OnKeyDown, OnKeyUp;
  TPaintEvent OnBeforePaint, OnPaint;

  // Extra values for the program's own use.
  double TagFloat() const { return tagFloat_; }
  void SetTagFloat(double v) { tagFloat_ = v; }
  const std::string& TagString() const { return tagString_; }
  void SetTagString(const std::string& v) { tagString_ = v; }
  rt::TComponent* TagObject() const { return tagObject_; }
  void SetTagObject(rt::TComponent* v) { tagObject_ = v; }

  std::weak_ptr<char> AliveToken() const { return alive_; }

 protected:
  // Hooks for subclasses.
  virtual void DoRealign();  // lays out the aligned children
  virtual void Resized() {}
  virtual void ChildAdded(TVisualObject*) {}
  virtual void ChildRemoving(TVisualObject*) {}  // before the child leaves
  virtual void ChildRemoved(TVisualObject*) {}
  virtual void ParentChanged() {}
  virtual void PaintChildren(TCanvas& canvas, const TRectF& dirtyLocal);
  // Whether children are painted and hit (a tab shows its page only while active).
  virtual bool ShowsChildren() const { return true; }
  // Publishes a float with a setter that runs only on a change.
  void PublishFloat(const std::string& name, std::function<float()> get, std::function<void(float)> set);
  // Realign the parent when this object's alignment, size or margins matter to it.
  void ParentRealign();
  void NeedRealign();
  // A scene boundary: an open pop-up shows its subtree in its own window.
  virtual TvgScene* OwnScene() const { return nullptr; }

  friend class TvgScene;
  TvgScene* rootOf_ = nullptr;  // set on a scene's root object
  bool mouseOver_ = false;
  bool mousePressed_ = false;

 private:
  double tagFloat_ = 0;
  std::string tagString_;
  rt::TComponent* tagObject_ = nullptr;
  void Detach();  // leaves the parent, keeping the subtree
  TVisualObject* HitLocal(TPointF local, TPointF abs);
  TVisualObject* FindResourceDeep(const std::string& name) const;
  TRectF SubtreeRect(TPointF origin) const;
  void InsertChildAt(int index, TVisualObject* child);
  void PaintWithEffects(TCanvas& canvas, const TRectF& dirtyLocal);
  void PaintSelf(TCanvas& canvas, const TRectF& dirtyLocal);

  TVisualObject* parent_ = nullptr;
  std::vector<TVisualObject*> children_;
  TPointF pos_;
  float width_ = 50, height_ = 50;
  TvgAlign align_ = TvgAlign::vaNone;
  TBounds margins_, padding_;
  bool visible_ = true, hitTest_ = true, clipChildren_ = false, enabled_ = true, showHint_ = false;
  bool stored_ = true, locked_ = false, canFocus_ = false;
  bool isStyleRoot_ = false;
  friend class TvgStyledControl;
  float opacity_ = 1;
  TCursor cursor_ = crDefault;
  std::string hint_, resourceName_;
  int updating_ = 0;
  bool realigning_ = false;
  bool needRealign_ = false;
  long long tabOrder_ = -1;
  std::shared_ptr<char> alive_ = std::make_shared<char>(0);
};

// Class registry used by stored forms and styles: class name -> factory(owner).
using TObjectFactory = std::function<rt::TComponent*(rt::TComponent* owner)>;
void RegisterClass(const std::string& className, TObjectFactory factory);
template <class T>
void RegisterClassOf(const std::string& className) {
  RegisterClass(className, [](rt::TComponent* owner) -> rt::TComponent* { return new T(owner); });
}
bool IsClassRegistered(const std::string& className);
// nullptr when the class is unknown (names compare without regard to case).
rt::TComponent* CreateByClassName(const std::string& className, rt::TComponent* owner);
std::vector<std::string> RegisteredClassNames();
// Registers every control of the toolkit (done automatically on first use of the registry).
void RegisterToolkitClasses();

}  // namespace tk
