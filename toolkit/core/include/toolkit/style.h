// Styles: named object trees kept as data files. A styled control instantiates its style as
// a hidden child tree and finds the parts of it by resource name.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "toolkit/object.h"

namespace tk {

// A set of named style templates. The text format, one statement a line:
//   style <name>            starts a style; one object tree follows
//   object <Class> [Name]   starts an object (a child of the enclosing object)
//   <Property> = <value>    sets a published property; "Fill.Color" reaches an object property;
//                           a value in double quotes may use \" \\ \n
//   end                     closes an object or a style
//   # ...                   comment
class TStyleCollection {
 public:
  TStyleCollection();
  ~TStyleCollection();
  TStyleCollection(const TStyleCollection&) = delete;
  TStyleCollection& operator=(const TStyleCollection&) = delete;

  // Parses and adds (or replaces) the styles; a bad text raises rt::EReadError naming the line.
  void LoadFromText(const std::string& text, const std::string& sourceName = "styles");
  void LoadFromFile(const std::string& fileName);
  // Takes the template tree; replaces a style of the same name (names compare without case).
  void Add(const std::string& name, std::unique_ptr<TVisualObject> templ);
  const TVisualObject* Find(const std::string& name) const;
  // Removes a style and hands its template over (null when there is none).
  std::unique_ptr<TVisualObject> Take(const std::string& name);
  std::vector<std::string> Names() const;
  int Count() const { return static_cast<int>(styles_.size()); }
  void Clear() { styles_.clear(); }

 private:
  std::vector<std::pair<std::string, std::unique_ptr<TVisualObject>>> styles_;
};

// The styles every scene falls back on: the texts registered with RegisterStyleText.
TStyleCollection& DefaultStyles();

// Registers a style text under a resource name ("controls.style"); the program's own styles
// library does this for the texts it embeds. A text registered after DefaultStyles() was first
// used is read at once. Registering a resource name again replaces its styles. A malformed
// text raises rt::EReadError naming the resource; nothing of it is kept.
void RegisterStyleText(const std::string& resourceName, std::string text);
// The resource names registered so far, in registration order.
std::vector<std::string> RegisteredStyleResources();

// Parses one object tree in the style text format (without the "style" line); used by tests
// and tools. Raises rt::EReadError.
std::unique_ptr<TVisualObject> ParseObjectText(const std::string& text);

// A control that takes its look from a style. Published: Resource (also "StyleLookup").
class TvgStyledControl : public TVisualObject {
 public:
  explicit TvgStyledControl(rt::TComponent* owner);
  ~TvgStyledControl() override;
  std::string ClassName() const override { return "TvgStyledControl"; }

  const std::string& Resource() const { return resource_; }
  void SetResource(const std::string& name);  // re-applies a style that was applied
  // Class name without its first three letters + "style".
  std::string DefaultStyleName() const;
  // Instantiates the style now if it is not (lazily done before layout, paint and look-ups).
  void ApplyStyleLookup();
  void NeedStyleLookup();  // frees the instance; the next use applies the style again
  TVisualObject* StyleInstance() const { return styleInstance_; }
  bool StyleApplied() const { return styleInstance_ != nullptr; }

  // Searches the style instance (and then the control's own children).
  TVisualObject* FindResource(const std::string& resourceName) const override;
  void Retranslate() override;
  void Paint(TCanvas& canvas) override;

  // Data binding: a control names another as its BindingSource (published by name among
  // the owner's components); when the source's data changes, BoundSourceChanged runs on every
  // control of the scene bound to it (by default it takes the source's data).
  virtual std::string GetData() const { return {}; }
  virtual void SetData(const std::string& value) { (void)value; }
  TvgStyledControl* BindingSource() const { return bindingSource_.Get(); }
  void SetBindingSource(TvgStyledControl* source) { bindingSource_.Set(source); }
  void DataChanged();  // tells the bound controls
  virtual void BoundSourceChanged(TvgStyledControl* source) { SetData(source->GetData()); }

 protected:
  // Hooks: after the style was instantiated, and before it is freed.
  virtual void ApplyStyle() {}
  virtual void FreeStyle() {}
  // The template when no style of the name exists (controls that draw themselves return null).
  virtual const TVisualObject* FallbackStyle() const { return nullptr; }
  void DoRealign() override;
  void ParentChanged() override;

 private:
  void FreeStyleInstance();
  std::string resource_;
  TObjectRef<TvgStyledControl> bindingSource_;
  TVisualObject* styleInstance_ = nullptr;
  bool applying_ = false;
  bool lookupFailed_ = false;
};

// --- effects (children that change how the parent is painted) ---------------------------
class TvgEffect : public TVisualObject {
 public:
  explicit TvgEffect(rt::TComponent* owner);
  std::string ClassName() const override { return "TvgEffect"; }
  bool IsVisual() const override { return false; }
  bool EffectEnabled() const { return effectEnabled_; }
  void SetEffectEnabled(bool v);
  bool IsActiveEffect() const override { return effectEnabled_; }

 private:
  bool effectEnabled_ = true;
};

// Published: Enabled, Distance, Direction (degrees), Softness, Opacity, ShadowColor.
class TvgShadowEffect : public TvgEffect {
 public:
  explicit TvgShadowEffect(rt::TComponent* owner);
  std::string ClassName() const override { return "TvgShadowEffect"; }
  float Reach() const override;
  void ApplyEffect(TBitmap& picture, float scale) override;

 protected:
  float distance_ = 3, direction_ = 45, softness_ = 0.3f, shadowOpacity_ = 0.6f;
  TAlphaColor shadowColor_ = claBlack;
};

// Published: Enabled, Softness.
class TvgBlurEffect : public TvgEffect {
 public:
  explicit TvgBlurEffect(rt::TComponent* owner);
  std::string ClassName() const override { return "TvgBlurEffect"; }
  float Reach() const override;
  void ApplyEffect(TBitmap& picture, float scale) override;

 protected:
  float softness_ = 0.3f;
};

// Published: Enabled, Softness, Opacity, GlowColor.
class TvgGlowEffect : public TvgEffect {
 public:
  explicit TvgGlowEffect(rt::TComponent* owner);
  std::string ClassName() const override { return "TvgGlowEffect"; }
  float Reach() const override;
  void ApplyEffect(TBitmap& picture, float scale) override;

 protected:
  float softness_ = 0.4f, glowOpacity_ = 0.9f;
  TAlphaColor glowColor_ = 0xFFFFD700;
};

// --- animations -------------------------------------------------------------------------
// Animates a published property of its parent (PropertyName, dotted for object properties).
// Trigger "IsSelected=True" starts it forward, TriggerInverse "IsSelected=False" backward,
// when StartTriggerAnimation names that property. Duration 0 sets the end value_ at once.
// Published: PropertyName, Duration, Delay, Trigger, TriggerInverse, Enabled, StartValue, StopValue.
class TvgAnimation : public TVisualObject {
 public:
  explicit TvgAnimation(rt::TComponent* owner);
  ~TvgAnimation() override;
  std::string ClassName() const override { return "TvgAnimation"; }
  bool IsVisual() const override { return false; }

  // Settled: the end value at once, nothing runs.
  void Start(bool inverse = false, bool settled = false);
  void Stop();  // jumps to the end value_
  bool Running() const { return running_; }
  // Advances by seconds; returns false when finished.
  bool Advance(double seconds);
  // Evaluates Trigger / TriggerInverse against the instance; starts when one holds.
  void TriggerOn(TVisualObject* instance, const std::string& triggerName, bool settled) override;

 protected:
  std::string propertyName_, trigger_, triggerInverse_;
  float duration_ = 0.2f, delay_ = 0;
  bool animEnabled_ = true;
  virtual void ApplyValue(float t) = 0;  // t in 0..1 along the animation
  bool inverse_ = false;

 private:
  bool running_ = false;
  double elapsed_ = 0;
};

class TvgFloatAnimation : public TvgAnimation {
 public:
  explicit TvgFloatAnimation(rt::TComponent* owner);
  std::string ClassName() const override { return "TvgFloatAnimation"; }

 protected:
  float startValue_ = 0, stopValue_ = 1;
  void ApplyValue(float t) override;
};

class TvgColorAnimation : public TvgAnimation {
 public:
  explicit TvgColorAnimation(rt::TComponent* owner);
  std::string ClassName() const override { return "TvgColorAnimation"; }

 protected:
  TAlphaColor startValue_ = claBlack, stopValue_ = claWhite;
  void ApplyValue(float t) override;
};

// Sets a property to a text value_ (any type) when its trigger_ holds, and to InverseValue on
// the inverse trigger_. Published: PropertyName, Value, InverseValue, Trigger, TriggerInverse.
class TvgTriggerSetter : public TvgAnimation {
 public:
  explicit TvgTriggerSetter(rt::TComponent* owner);
  std::string ClassName() const override { return "TvgTriggerSetter"; }

 protected:
  std::string value_, inverseValue_;
  void ApplyValue(float t) override;
};

// Sets a dotted property path on an object; false when the path does not exist.
bool SetPropertyPath(rt::TPersistent& object, const std::string& path, const std::string& value);
bool GetPropertyPath(const rt::TPersistent& object, const std::string& path, std::string& value);

}  // namespace tk
