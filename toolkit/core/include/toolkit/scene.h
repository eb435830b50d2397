// The scene of a window (its object tree, styles, input routing, dirty regions) and the
// top-level window that shows it through the backend.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "runtime/component.h"
#include "toolkit/backend.h"
#include "toolkit/object.h"
#include "toolkit/style.h"

namespace tk {

class TWindow;
class TvgPopup;

// One scene per window. Its root fills the window; objects take part through SetParent.
class TvgScene : public rt::TComponent {
 public:
  explicit TvgScene(rt::TComponent* owner, TWindow* window = nullptr);
  ~TvgScene() override;
  std::string ClassName() const override { return "TvgScene"; }

  TVisualObject* Root() const { return root_; }
  TWindow* Window() const { return window_; }

  // Styles: the scene's own collection first, then the host scene's (for pop-ups), then
  // the shipped styles.
  TStyleCollection& Styles() { return styles_; }
  const TVisualObject* FindStyle(const std::string& name) const;
  void SetHostScene(TvgScene* host) { host_ = host; }
  // A pop-up window's scene shows the pop-up object itself (not owned) as its root.
  void SetExternalRoot(TVisualObject* root);
  TvgScene* HostScene() const { return host_; }

  float Width() const { return width_; }
  float Height() const { return height_; }
  void SetSize(float width, float height);
  TAlphaColor Fill() const { return fill_; }
  void SetFill(TAlphaColor c);

  // --- painting ----------------------------------------------------------------------
  void Invalidate(const TRectF& absRect);
  void InvalidateAll() { Invalidate({0, 0, width_, height_}); }
  const std::vector<TRectF>& DirtyRects() const { return dirty_; }
  bool NeedsPaint() const { return !dirty_.empty(); }
  // Paints the dirty area into `target` (sized to the scene) and forgets it; returns that area.
  TRectF PaintDirty(TBitmap& target);
  void PaintAll(TBitmap& target);

  // --- input (absolute coordinates) --------------------------------------------------
  void MouseMove(TShiftState shift, float x, float y);
  void MouseDown(TMouseButton button, TShiftState shift, float x, float y);
  void MouseUp(TMouseButton button, TShiftState shift, float x, float y);
  void MouseWheel(TShiftState shift, int delta, float x, float y);
  void MouseLeave();
  // Returns whether the key was consumed.
  bool KeyDown(uint16_t key, char32_t keyChar, TShiftState shift);
  void KeyUp(uint16_t key, char32_t keyChar, TShiftState shift);
  TPointF MousePos() const { return mouse_; }

  TVisualObject* Hovered() const { return hovered_.Get(); }
  TVisualObject* Captured() const { return captured_.Get(); }
  TVisualObject* Focused() const { return focused_.Get(); }
  void SetFocused(TVisualObject* o);
  void SetCaptured(TVisualObject* o) { captured_.Set(o); }
  TVisualObject* ObjectAtPoint(TPointF abs) const;
  // The hint shown for the hovered object ("" for none). It appears once the pointer has
  // stayed HintPause seconds over the object (Tick shows it) and goes when the pointer leaves
  // or a button is pressed; after a press it stays away until the pointer leaves the object.
  const std::string& ActiveHint() const { return activeHint_; }
  bool HintWaiting() const { return hintDue_ >= 0; }
  double HintDue() const { return hintDue_; }  // clock time; negative when none waits
  static constexpr double HintPause = 0.5;

  // Scene to screen and back (the window's position).
  TPointF LocalToScreen(TPointF p) const;
  TPointF ScreenToLocal(TPointF p) const;

  // --- animations ------------------------------------------------------------------------
  void AddAnimation(TvgAnimation* a);
  void RemoveAnimation(TvgAnimation* a);
  void AdvanceAnimations(double seconds);
  // Advances by the real time since the previous Tick (the message loop calls it).
  void Tick();
  bool Animating() const { return !animations_.empty(); }

  // Re-reads every text of the scene through the translate function.
  void Retranslate();
  // Every live scene.
  static const std::vector<TvgScene*>& All();

 private:
  friend class TVisualObject;
  void UpdateHover(TShiftState shift, float x, float y);
  void PaintHint(TCanvas& canvas);
  void PlaceHint();
  void HideHint();

  TWindow* window_;
  TVisualObject* root_;
  bool ownsRoot_ = true;
  TvgScene* host_ = nullptr;
  TStyleCollection styles_;
  float width_ = 0, height_ = 0;
  TAlphaColor fill_ = claNull;
  std::vector<TRectF> dirty_;
  TObjectRef<TVisualObject> hovered_, captured_, focused_, pressed_;
  TPointF mouse_{-1, -1};
  std::string activeHint_;
  std::string hoveredHint_;  // shown, waiting, or held back after a press
  double hintDue_ = -1;      // clock time at which the waiting hint appears
  bool hintHeldBack_ = false;
  TRectF hintRect_;
  std::vector<TObjectRef<TvgAnimation>> animations_;
  double lastTick_ = -1;
};

// The toolkit's monotonic clock in seconds (animations, hint delays). Tests put in their own
// with SetClock; SetClock(nullptr) goes back to the real one.
double ClockNow();
void SetClock(std::function<double()> clock);

// Destroys a window now, or after the input dispatch that runs when this is called
// (a pop-up closed from its own click handler).
void DisposeWindowLater(std::unique_ptr<TWindow> window);

// The program lost the activation to a window outside it: open pop-ups that do not stay open
// close. Backends call it.
void ApplicationDeactivated();

// Re-translates every scene (the language component calls it after a language change).
void RetranslateAllScenes();

enum class TWindowPosition { Designed, ScreenCenter, OwnerCenter };

// A top-level window with one scene. Stored forms derive from it.
// Published: Caption, Left, Top, ClientWidth, ClientHeight, Width, Height, Position
// ("poDesigned", "poScreenCenter", "poOwnerFormCenter"), BorderStyle ("bsNone", "bsSingle"),
// ShowInTaskBar, Fill, ModalResult, WindowClassName; events OnShow, OnHide, OnClose,
// OnActivate, OnDeactivate, OnResize.
class TWindow : public rt::TComponent, public IWindowSink {
 public:
  explicit TWindow(rt::TComponent* owner, TWindowKind kind = TWindowKind::Normal);
  ~TWindow() override;
  std::string ClassName() const override { return "TWindow"; }

  TvgScene* Scene() const { return scene_; }
  TVisualObject* Root() const { return scene_->Root(); }
  TWindowKind Kind() const { return kind_; }

  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& c);
  int Left() const { return left_; }
  int Top() const { return top_; }
  void SetLeft(int v) { SetPosition(v, top_); }
  void SetTop(int v) { SetPosition(left_, v); }
  void SetPosition(int x, int y);  // open pop-ups that drag with their parent follow
  int ClientWidth() const { return width_; }
  int ClientHeight() const { return height_; }
  void SetClientSize(int w, int h);
  TWindowPosition PlacementMode() const { return placement_; }
  void SetPlacementMode(TWindowPosition p) { placement_ = p; }
  bool Borderless() const { return borderless_; }
  void SetBorderless(bool b) { borderless_ = b; }
  bool ShowInTaskBar() const { return showInTaskBar_; }
  void SetShowInTaskBar(bool b) { showInTaskBar_ = b; }
  const std::string& WindowClassName() const { return windowClass_; }
  void SetWindowClassName(const std::string& n) { windowClass_ = n; }
  // The window a centred window is placed over (OwnerCenter).
  void SetPlacementOwner(TWindow* w) { placementOwner_ = w; }

  bool Visible() const { return visible_; }
  void Show();
  void Hide();
  // Asks OnCloseQuery, runs OnClose, hides the window; returns whether it closed.
  bool Close();
  bool Closed() const { return closed_; }
  void Minimize();
  void Activate();
  // Moves the window with the pointer until the button is released; a press handler of the
  // form's own title area calls it (borderless windows have no other title bar).
  void BeginMoveDrag();
  // A disabled window takes no pointer or key input (the owner while a modal window runs).
  void SetInputEnabled(bool enabled);
  bool InputEnabled() const { return inputEnabled_; }

  // 0 while a modal window runs; a button with a modal result sets it.
  int ModalResult() const { return modalResult_; }
  void SetModalResult(int r) { modalResult_ = r; }

  // Paints what is dirty and presents it; returns whether anything was painted.
  bool Update();
  // A full render of the window (whether shown or not).
  TBitmap Render();
  void SaveToPng(const std::string& fileName);
  const TBitmap& BackBuffer() const { return backBuffer_; }

  IBackendWindow* Handle() const { return handle_.get(); }
  TPointF ClientToScreen(TPointF p) const { return {p.x + left_, p.y + top_}; }
  TPointF ScreenToClient(TPointF p) const { return {p.x - left_, p.y - top_}; }

  TNotifyEvent OnShow, OnHide, OnActivate, OnDeactivate, OnResize;
  rt::TEvent<rt::TComponent*, bool&> OnCloseQuery;
  rt::TEvent<rt::TComponent*> OnClose;

  // Every live window, oldest first.
  static const std::vector<TWindow*>& All();
  // Paints every window that has something dirty.
  static void UpdateAll();

  // IWindowSink
  void BackendMouseMove(TShiftState shift, float x, float y) override;
  void BackendMouseDown(TMouseButton button, TShiftState shift, float x, float y) override;
  void BackendMouseUp(TMouseButton button, TShiftState shift, float x, float y) override;
  void BackendMouseWheel(TShiftState shift, int delta, float x, float y) override;
  void BackendMouseLeave() override;
  void BackendKeyDown(uint16_t key, char32_t keyChar, TShiftState shift) override;
  void BackendKeyUp(uint16_t key, char32_t keyChar, TShiftState shift) override;
  void BackendActivated(bool active) override;
  void BackendCloseRequest() override;
  void BackendMoved(int x, int y) override;
  void BackendResized(int width, int height) override;
  void BackendExposed() override;

  // The pop-up a pop-up window shows (null for normal windows).
  TvgPopup* PopupObject() const { return popupObject_; }

 protected:
  virtual void DoShow() { OnShow(this); }
  virtual void DoHide() { OnHide(this); }

 private:
  friend class TvgPopup;
  void HandleNeeded();
  void ApplyPlacement();
  TWindow* OwnerWindow() const;
  void UpdateCursor();

  TWindowKind kind_;
  TvgScene* scene_;
  std::unique_ptr<IBackendWindow> handle_;
  TBitmap backBuffer_;
  std::string caption_, windowClass_;
  int left_ = 0, top_ = 0, width_ = 320, height_ = 240;
  TWindowPosition placement_ = TWindowPosition::Designed;
  bool borderless_ = true, showInTaskBar_ = true, visible_ = false, closed_ = false, placed_ = false;
  bool inputEnabled_ = true;
  int modalResult_ = 0;
  TWindow* placementOwner_ = nullptr;
  TvgPopup* popupObject_ = nullptr;
  TCursor shownCursor_ = crDefault;
  std::shared_ptr<char> alive_ = std::make_shared<char>(0);  // handlers may free the window
};

}  // namespace tk
