#include "toolkit/style.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <numbers>
#include <sstream>

#include "runtime/errors.h"
#include "runtime/text.h"
#include "toolkit/controls.h"
#include "toolkit/scene.h"

namespace tk {

// --- property paths --------------------------------------------------------------------------

bool SetPropertyPath(rt::TPersistent& object, const std::string& path, const std::string& value) {
  if (object.HasProperty(path)) {
    object.SetPropertyText(path, value);
    return true;
  }
  const size_t dot = path.find('.');
  if (dot == std::string::npos) return false;
  rt::TPersistent* sub = object.FindObjectProperty(path.substr(0, dot));
  return sub && SetPropertyPath(*sub, path.substr(dot + 1), value);
}

bool GetPropertyPath(const rt::TPersistent& object, const std::string& path, std::string& value) {
  if (object.HasProperty(path)) {
    value = object.GetPropertyText(path);
    return true;
  }
  const size_t dot = path.find('.');
  if (dot == std::string::npos) return false;
  const rt::TPersistent* sub = object.FindObjectProperty(path.substr(0, dot));
  return sub && GetPropertyPath(*sub, path.substr(dot + 1), value);
}

// --- style text ------------------------------------------------------------------------------

namespace {
std::string Trim(const std::string& s) {
  size_t a = s.find_first_not_of(" \t\r\n");
  if (a == std::string::npos) return {};
  size_t b = s.find_last_not_of(" \t\r\n");
  return s.substr(a, b - a + 1);
}

std::string Unquote(const std::string& v) {
  if (v.size() < 2 || v.front() != '"') return v;
  std::string out;
  size_t i = 1;
  for (; i < v.size() && v[i] != '"'; ++i) {
    if (v[i] == '\\' && i + 1 < v.size()) {
      ++i;
      out += v[i] == 'n' ? '\n' : v[i];
    } else {
      out += v[i];
    }
  }
  if (i >= v.size()) throw rt::EConvertError("Unterminated quoted text");
  if (Trim(v.substr(i + 1)).size()) throw rt::EConvertError("Text after a quoted value");
  return out;
}

struct ParsedStyle {
  std::string name;
  std::unique_ptr<TVisualObject> root;
};

// Parses styles (withStyles) or a single object tree.
std::vector<ParsedStyle> Parse(const std::string& text, const std::string& source, bool withStyles) {
  std::vector<ParsedStyle> out;
  std::istringstream in(text);
  std::string raw;
  int lineNo = 0;
  bool inStyle = !withStyles;
  ParsedStyle cur;
  std::vector<TVisualObject*> stack;
  auto fail = [&](const std::string& msg) {
    throw rt::EReadError(rt::Format("%s:%d: %s", source.c_str(), lineNo, msg.c_str()));
  };
  while (std::getline(in, raw)) {
    ++lineNo;
    const std::string line = Trim(raw);
    if (line.empty() || line[0] == '#') continue;
    const size_t eq = line.find('=');
    const size_t sp = line.find_first_of(" \t");
    const std::string word = line.substr(0, sp);
    if (word != "style" && word != "object" && word != "end") {
      if (eq == std::string::npos) fail("Cannot read '" + line + "'");
      if (stack.empty()) fail("A property outside an object");
      const std::string prop = Trim(line.substr(0, eq));
      std::string value;
      try {
        value = Unquote(Trim(line.substr(eq + 1)));
        if (!SetPropertyPath(*stack.back(), prop, value))
          fail("Unknown property '" + prop + "' of " + stack.back()->ClassName());
      } catch (const rt::EReadError&) {
        throw;
      } catch (const std::exception& e) {
        fail(prop + ": " + e.what());
      }
      continue;
    }
    const std::string rest = sp == std::string::npos ? std::string() : Trim(line.substr(sp));
    if (word == "style" && withStyles) {
      if (inStyle) fail("A style inside a style");
      if (rest.empty()) fail("A style needs a name");
      inStyle = true;
      cur = ParsedStyle{Unquote(rest), nullptr};
    } else if (word == "object") {
      if (!inStyle) fail("An object outside a style");
      std::istringstream ws(rest);
      std::string cls, part;
      ws >> cls >> part;
      if (cls.empty()) fail("An object needs a class name");
      rt::TComponent* c = CreateByClassName(cls, nullptr);
      if (!c) fail("Unknown class '" + cls + "'");
      auto* v = dynamic_cast<TVisualObject*>(c);
      if (!v) {
        delete c;
        fail("Class '" + cls + "' is not a scene object");
      }
      if (!part.empty()) v->SetResourceName(Unquote(part));
      if (stack.empty()) {
        if (cur.root) {
          delete v;
          fail("A style holds one object tree");
        }
        cur.root.reset(v);
      } else {
        v->SetParent(stack.back());
      }
      stack.push_back(v);
    } else if (word == "end") {
      if (!stack.empty()) {
        stack.pop_back();
      } else if (inStyle && withStyles) {
        if (!cur.root) fail("The style '" + cur.name + "' is empty");
        out.push_back(std::move(cur));
        cur = ParsedStyle{};
        inStyle = false;
      } else {
        fail("'end' without an object");
      }
    } else {
      fail("Cannot read '" + line + "'");
    }
  }
  if (!stack.empty()) fail("An object is not closed with 'end'");
  if (withStyles && inStyle) fail("The style '" + cur.name + "' is not closed with 'end'");
  if (!withStyles) {
    if (!cur.root) fail("No object");
    out.push_back(std::move(cur));
  }
  return out;
}
}  // namespace

std::unique_ptr<TVisualObject> ParseObjectText(const std::string& text) {
  auto v = Parse(text, "object", false);
  return std::move(v.front().root);
}

TStyleCollection::TStyleCollection() = default;
TStyleCollection::~TStyleCollection() = default;

void TStyleCollection::LoadFromText(const std::string& text, const std::string& sourceName) {
  for (auto& s : Parse(text, sourceName, true)) Add(s.name, std::move(s.root));
}

void TStyleCollection::LoadFromFile(const std::string& fileName) {
  std::ifstream f(fileName, std::ios::binary);
  if (!f) throw rt::EFOpenError(fileName, "cannot open");
  std::stringstream ss;
  ss << f.rdbuf();
  LoadFromText(ss.str(), fileName);
}

void TStyleCollection::Add(const std::string& name, std::unique_ptr<TVisualObject> templ) {
  for (auto& [n, t] : styles_) {
    if (rt::SameText(n, name)) {
      t = std::move(templ);
      return;
    }
  }
  styles_.emplace_back(name, std::move(templ));
}

std::unique_ptr<TVisualObject> TStyleCollection::Take(const std::string& name) {
  for (auto it = styles_.begin(); it != styles_.end(); ++it) {
    if (rt::SameText(it->first, name)) {
      auto t = std::move(it->second);
      styles_.erase(it);
      return t;
    }
  }
  return nullptr;
}

const TVisualObject* TStyleCollection::Find(const std::string& name) const {
  for (const auto& [n, t] : styles_)
    if (rt::SameText(n, name)) return t.get();
  return nullptr;
}

std::vector<std::string> TStyleCollection::Names() const {
  std::vector<std::string> out;
  for (const auto& [n, t] : styles_) out.push_back(n);
  return out;
}

namespace {
struct StyleResource {
  std::string name, text;
};

// Filled during static initialisation by the program's styles library, so no static object.
std::vector<StyleResource>& StyleResources() {
  static auto* r = new std::vector<StyleResource>();
  return *r;
}

TStyleCollection*& DefaultStylesSlot() {
  static TStyleCollection* s = nullptr;
  return s;
}
}  // namespace

TStyleCollection& DefaultStyles() {
  TStyleCollection*& styles = DefaultStylesSlot();
  if (!styles) {
    auto c = std::make_unique<TStyleCollection>();
    for (const auto& r : StyleResources()) c->LoadFromText(r.text, r.name);
    styles = c.release();
  }
  return *styles;
}

void RegisterStyleText(const std::string& resourceName, std::string text) {
  if (resourceName.empty()) throw rt::EReadError("A style text needs a resource name");
  // Parsed before anything is kept, so a malformed text leaves the registry as it was.
  TStyleCollection parsed;
  parsed.LoadFromText(text, resourceName);
  auto& all = StyleResources();
  auto it =
      std::find_if(all.begin(), all.end(), [&](const StyleResource& r) { return r.name == resourceName; });
  if (it != all.end())
    it->text = std::move(text);
  else
    all.push_back({resourceName, std::move(text)});
  if (TStyleCollection* styles = DefaultStylesSlot(); styles)
    for (const auto& n : parsed.Names()) styles->Add(n, parsed.Take(n));
}

std::vector<std::string> RegisteredStyleResources() {
  std::vector<std::string> out;
  for (const auto& r : StyleResources()) out.push_back(r.name);
  return out;
}

// --- styled control ------------------------------------------------------------------------

TvgStyledControl::TvgStyledControl(rt::TComponent* owner) : TVisualObject(owner) {
  PublishProperty(this, "Resource", &TvgStyledControl::resource_, &TvgStyledControl::SetResource);
  PublishProperty(this, "StyleLookup", &TvgStyledControl::resource_, &TvgStyledControl::SetResource);
  Publish(
      "BindingSource", [this] { return bindingSource_.Get() ? bindingSource_.Get()->Name() : std::string(); },
      [this](const std::string& v) {
        if (v.empty()) return bindingSource_.Set(nullptr);
        auto* src = dynamic_cast<TvgStyledControl*>(Owner() ? Owner()->FindComponent(v) : nullptr);
        if (!src) throw rt::EPropertyError("BindingSource: no control named '" + v + "'");
        bindingSource_.Set(src);
      });
}

void TvgStyledControl::DataChanged() {
  TvgScene* scene = HostScene();
  if (!scene || !scene->Root()) return;
  std::vector<TObjectRef<TvgStyledControl>> bound;
  std::vector<TVisualObject*> stack{scene->Root()};
  while (!stack.empty()) {
    TVisualObject* o = stack.back();
    stack.pop_back();
    if (auto* c = dynamic_cast<TvgStyledControl*>(o); c && c != this && c->BindingSource() == this)
      bound.emplace_back(c);
    for (TVisualObject* ch : o->Children()) stack.push_back(ch);
  }
  TObjectRef<TvgStyledControl> self(this);
  for (auto& b : bound)
    if (b && self) b->BoundSourceChanged(this);
}

TvgStyledControl::~TvgStyledControl() { styleInstance_ = nullptr; }

std::string TvgStyledControl::DefaultStyleName() const {
  const std::string cls = ClassName();
  return (cls.size() > 3 ? cls.substr(3) : cls) + "style";
}

void TvgStyledControl::SetResource(const std::string& name) {
  if (resource_ == name) return;
  resource_ = name;
  NeedStyleLookup();
}

void TvgStyledControl::ApplyStyleLookup() {
  if (styleInstance_ || applying_) return;
  const std::string name = resource_.empty() ? DefaultStyleName() : resource_;
  TvgScene* scene = HostScene();
  const TVisualObject* templ = scene ? scene->FindStyle(name) : DefaultStyles().Find(name);
  if (!templ) templ = FallbackStyle();
  if (!templ) {
    lookupFailed_ = true;
    return;
  }
  applying_ = true;
  TVisualObject* inst = nullptr;
  try {
    inst = templ->Clone(nullptr);
  } catch (...) {
    applying_ = false;
    throw;
  }
  inst->isStyleRoot_ = true;
  std::vector<TVisualObject*> stack{inst};
  while (!stack.empty()) {
    TVisualObject* o = stack.back();
    stack.pop_back();
    o->SetStored(false);
    if (!dynamic_cast<TvgScrollBar*>(o)) o->SetLocked(true);
    for (TVisualObject* c : o->Children()) stack.push_back(c);
  }
  inst->SetAlign(TvgAlign::vaContents);
  inst->SetHitTest(false);
  InsertObject(0, inst);
  styleInstance_ = inst;
  try {
    ApplyStyle();
  } catch (...) {
    applying_ = false;
    throw;
  }
  applying_ = false;
  Realign();
  Repaint();
}

void TvgStyledControl::FreeStyleInstance() {
  if (!styleInstance_) return;
  FreeStyle();
  TVisualObject* inst = styleInstance_;
  styleInstance_ = nullptr;
  delete inst;
}

void TvgStyledControl::NeedStyleLookup() {
  const bool had = styleInstance_ != nullptr;
  FreeStyleInstance();
  lookupFailed_ = false;
  if (had || HostScene()) ApplyStyleLookup();
}

TVisualObject* TvgStyledControl::FindResource(const std::string& resourceName) const {
  if (resourceName.empty()) return nullptr;
  if (!styleInstance_ && !lookupFailed_ && !applying_)
    const_cast<TvgStyledControl*>(this)->ApplyStyleLookup();
  if (styleInstance_)
    if (TVisualObject* r = styleInstance_->FindResourceDeep(resourceName)) return r;
  return nullptr;
}

void TvgStyledControl::Retranslate() { TVisualObject::Retranslate(); }

void TvgStyledControl::Paint(TCanvas&) {
  if (!styleInstance_ && !lookupFailed_) ApplyStyleLookup();
}

void TvgStyledControl::DoRealign() {
  if (!styleInstance_ && !lookupFailed_ && HostScene()) ApplyStyleLookup();
  TVisualObject::DoRealign();
}

void TvgStyledControl::ParentChanged() {
  if (!styleInstance_ && !lookupFailed_ && HostScene()) ApplyStyleLookup();
}

// --- effects -------------------------------------------------------------------------------

TvgEffect::TvgEffect(rt::TComponent* owner) : TVisualObject(owner) {
  SetHitTest(false);
  PublishProperty(this, "Enabled", &TvgEffect::effectEnabled_, &TvgEffect::SetEffectEnabled);
}

void TvgEffect::SetEffectEnabled(bool v) {
  if (effectEnabled_ == v) return;
  if (Parent()) Parent()->Repaint();
  effectEnabled_ = v;
  if (Parent()) Parent()->Repaint();
}

namespace {
float BlurRadius(float softness) { return std::max(0.f, softness) * 12; }

// Draws `under` beneath the picture, moved by (dx, dy).
void Underlay(TBitmap& picture, const TBitmap& under, float dx, float dy) {
  TBitmap out(picture.Width(), picture.Height());
  {
    TCanvas c(out);
    const TRectF r{0, 0, float(under.Width()), float(under.Height())};
    c.DrawBitmap(under, r, r.Offset(dx, dy), 1, true);
    c.DrawBitmap(picture, {0, 0, float(picture.Width()), float(picture.Height())},
                 {0, 0, float(picture.Width()), float(picture.Height())}, 1, true);
  }
  picture.Assign(out);
}
}  // namespace

TvgShadowEffect::TvgShadowEffect(rt::TComponent* owner) : TvgEffect(owner) {
  auto f = [this](const char* n, float* p) {
    Publish(
        n, [p] { return FloatToText(*p); },
        [this, p](const std::string& v) {
          *p = TextToFloat(v);
          if (Parent()) Parent()->Repaint();
        });
  };
  f("Distance", &distance_);
  f("Direction", &direction_);
  f("Softness", &softness_);
  f("Opacity", &shadowOpacity_);
  Publish(
      "ShadowColor", [this] { return ColorToText(shadowColor_); },
      [this](const std::string& v) { shadowColor_ = TextToColor(v); });
}

float TvgShadowEffect::Reach() const { return std::fabs(distance_) + BlurRadius(softness_) * 2 + 1; }

void TvgShadowEffect::ApplyEffect(TBitmap& picture, float) {
  const uint32_t a =
      uint32_t(std::lround(((shadowColor_ >> 24) & 0xFF) * std::clamp(shadowOpacity_, 0.f, 1.f)));
  TBitmap shadow = MakeShadow(picture, (shadowColor_ & 0xFFFFFF) | (a << 24), BlurRadius(softness_), 0);
  const float rad = direction_ * float(std::numbers::pi) / 180;
  Underlay(picture, shadow, distance_ * std::cos(rad), distance_ * std::sin(rad));
}

TvgBlurEffect::TvgBlurEffect(rt::TComponent* owner) : TvgEffect(owner) {
  Publish(
      "Softness", [this] { return FloatToText(softness_); },
      [this](const std::string& v) {
        softness_ = TextToFloat(v);
        if (Parent()) Parent()->Repaint();
      });
}

float TvgBlurEffect::Reach() const { return BlurRadius(softness_) * 2 + 1; }

void TvgBlurEffect::ApplyEffect(TBitmap& picture, float) { BlurBitmap(picture, BlurRadius(softness_)); }

TvgGlowEffect::TvgGlowEffect(rt::TComponent* owner) : TvgEffect(owner) {
  Publish(
      "Softness", [this] { return FloatToText(softness_); },
      [this](const std::string& v) {
        softness_ = TextToFloat(v);
        if (Parent()) Parent()->Repaint();
      });
  PublishProperty(this, "Opacity", &TvgGlowEffect::glowOpacity_, &TvgGlowEffect::glowOpacity_);
  Publish(
      "GlowColor", [this] { return ColorToText(glowColor_); },
      [this](const std::string& v) { glowColor_ = TextToColor(v); });
}

float TvgGlowEffect::Reach() const { return BlurRadius(softness_) * 2 + 1; }

void TvgGlowEffect::ApplyEffect(TBitmap& picture, float) {
  const uint32_t a = uint32_t(std::lround(((glowColor_ >> 24) & 0xFF) * std::clamp(glowOpacity_, 0.f, 1.f)));
  TBitmap glow = MakeShadow(picture, (glowColor_ & 0xFFFFFF) | (a << 24), BlurRadius(softness_), 0);
  Underlay(picture, glow, 0, 0);
}

// --- animations ----------------------------------------------------------------------------

TvgAnimation::TvgAnimation(rt::TComponent* owner) : TVisualObject(owner) {
  SetHitTest(false);
  PublishString("PropertyName", &propertyName_);
  PublishString("Trigger", &trigger_);
  PublishString("TriggerInverse", &triggerInverse_);
  PublishFloat(
      "Duration", [this] { return duration_; }, [this](float v) { duration_ = std::max(0.f, v); });
  PublishFloat(
      "Delay", [this] { return delay_; }, [this](float v) { delay_ = std::max(0.f, v); });
  PublishProperty(this, "Enabled", &TvgAnimation::animEnabled_, &TvgAnimation::animEnabled_);
}

TvgAnimation::~TvgAnimation() {
  if (TvgScene* s = HostScene()) s->RemoveAnimation(this);
}

void TvgAnimation::Start(bool inverse, bool settled) {
  if (!animEnabled_ || !Parent()) return;
  inverse_ = inverse;
  TvgScene* scene = HostScene();
  if (duration_ <= 0 || !scene || settled) {
    running_ = false;
    ApplyValue(1);
    return;
  }
  running_ = true;
  elapsed_ = 0;
  ApplyValue(0);
  scene->AddAnimation(this);
}

void TvgAnimation::Stop() {
  if (!running_) return;
  running_ = false;
  ApplyValue(1);
}

bool TvgAnimation::Advance(double seconds) {
  if (!running_) return false;
  elapsed_ += seconds;
  const double t = duration_ > 0 ? std::clamp((elapsed_ - delay_) / duration_, 0.0, 1.0) : 1.0;
  ApplyValue(float(t));
  if (t >= 1) running_ = false;
  return running_;
}

namespace {
// "IsSelected=True" (several joined by ';'): true when every condition naming `name` holds
// and at least one names it.
bool TriggerHolds(const std::string& spec, TVisualObject* instance, const std::string& name) {
  if (spec.empty()) return false;
  bool named = false;
  size_t a = 0;
  while (a <= spec.size()) {
    size_t b = spec.find(';', a);
    const std::string cond = Trim(spec.substr(a, b == std::string::npos ? std::string::npos : b - a));
    a = b == std::string::npos ? spec.size() + 1 : b + 1;
    const size_t eq = cond.find('=');
    if (eq == std::string::npos) continue;
    const std::string prop = Trim(cond.substr(0, eq)), want = Trim(cond.substr(eq + 1));
    std::string have;
    if (!GetPropertyPath(*instance, prop, have)) return false;
    if (rt::SameText(prop, name)) named = true;
    if (!rt::SameText(have, want)) return false;
  }
  return named;
}
}  // namespace

void TvgAnimation::TriggerOn(TVisualObject* instance, const std::string& triggerName, bool settled) {
  if (!instance) return;
  if (TriggerHolds(trigger_, instance, triggerName))
    Start(false, settled);
  else if (TriggerHolds(triggerInverse_, instance, triggerName))
    Start(true, settled);
}

TvgFloatAnimation::TvgFloatAnimation(rt::TComponent* owner) : TvgAnimation(owner) {
  PublishProperty(this, "StartValue", &TvgFloatAnimation::startValue_, &TvgFloatAnimation::startValue_);
  PublishProperty(this, "StopValue", &TvgFloatAnimation::stopValue_, &TvgFloatAnimation::stopValue_);
}

void TvgFloatAnimation::ApplyValue(float t) {
  const float a = inverse_ ? stopValue_ : startValue_, b = inverse_ ? startValue_ : stopValue_;
  if (Parent()) SetPropertyPath(*Parent(), propertyName_, FloatToText(a + (b - a) * t));
}

TvgColorAnimation::TvgColorAnimation(rt::TComponent* owner) : TvgAnimation(owner) {
  Publish(
      "StartValue", [this] { return ColorToText(startValue_); },
      [this](const std::string& v) { startValue_ = TextToColor(v); });
  Publish(
      "StopValue", [this] { return ColorToText(stopValue_); },
      [this](const std::string& v) { stopValue_ = TextToColor(v); });
}

void TvgColorAnimation::ApplyValue(float t) {
  const TAlphaColor a = inverse_ ? stopValue_ : startValue_, b = inverse_ ? startValue_ : stopValue_;
  TAlphaColor r = 0;
  for (int sh = 0; sh < 32; sh += 8) {
    const float ca = float((a >> sh) & 0xFF), cb = float((b >> sh) & 0xFF);
    r |= TAlphaColor(std::lround(ca + (cb - ca) * t)) << sh;
  }
  if (Parent()) SetPropertyPath(*Parent(), propertyName_, ColorToText(r));
}

TvgTriggerSetter::TvgTriggerSetter(rt::TComponent* owner) : TvgAnimation(owner) {
  duration_ = 0;
  PublishString("Value", &value_);
  PublishString("InverseValue", &inverseValue_);
}

void TvgTriggerSetter::ApplyValue(float t) {
  if (t < 1 || !Parent()) return;
  const std::string& v = inverse_ ? inverseValue_ : value_;
  if (inverse_ && inverseValue_.empty()) return;
  SetPropertyPath(*Parent(), propertyName_, v);
}

}  // namespace tk
