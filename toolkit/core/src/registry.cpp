#include <map>
#include <mutex>

#include "runtime/text.h"
#include "toolkit/controls.h"
#include "toolkit/object.h"
#include "toolkit/style.h"

namespace tk {

namespace {
struct Registry {
  std::vector<std::pair<std::string, TObjectFactory>> entries;
};
Registry& Reg() {
  static Registry r;
  return r;
}
std::once_flag g_builtins;

void RegisterRaw(const std::string& className, TObjectFactory factory) {
  for (auto& [n, f] : Reg().entries) {
    if (rt::SameText(n, className)) {
      f = std::move(factory);
      return;
    }
  }
  Reg().entries.emplace_back(className, std::move(factory));
}

template <class T>
void Builtin(const char* name) {
  RegisterRaw(name, [](rt::TComponent* owner) -> rt::TComponent* { return new T(owner); });
}
}  // namespace

void RegisterClass(const std::string& className, TObjectFactory factory) {
  RegisterToolkitClasses();  // a program's own class of a toolkit name wins over the toolkit's
  RegisterRaw(className, std::move(factory));
}

void RegisterToolkitClasses() {
  std::call_once(g_builtins, [] {
    Builtin<TVisualObject>("TvgVisualObject");
    Builtin<TvgLayout>("TvgLayout");
    Builtin<TvgRectangle>("TvgRectangle");
    Builtin<TvgEllipse>("TvgEllipse");
    Builtin<TvgPath>("TvgPath");
    Builtin<TvgText>("TvgText");
    Builtin<TvgImage>("TvgImage");
    Builtin<TvgImageList>("TvgImageList");
    Builtin<TvgStyledControl>("TvgStyledControl");
    Builtin<TvgTextControl>("TvgTextControl");
    Builtin<TvgLabel>("TvgLabel");
    Builtin<TvgTextBox>("TvgTextBox");
    Builtin<TvgMemo>("TvgMemo");
    Builtin<TvgButton>("TvgButton");
    Builtin<TvgSpeedButton>("TvgSpeedButton");
    Builtin<TvgBitmapStateButton>("TvgBitmapStateButton");
    Builtin<TvgPopup>("TvgPopup");
    Builtin<TvgPopupBox>("TvgPopupBox");
    Builtin<TvgStringComboBox>("TvgStringComboBox");
    Builtin<TvgScrollBar>("TvgScrollBar");
    Builtin<TvgScrollBox>("TvgScrollBox");
    Builtin<TvgTabControl>("TvgTabControl");
    Builtin<TvgTabItem>("TvgTabItem");
    Builtin<TvgStringGrid>("TvgStringGrid");
    Builtin<TvgToolBar>("TvgToolBar");
    Builtin<TvgStatusBar>("TvgStatusBar");
    Builtin<TvgShadowEffect>("TvgShadowEffect");
    Builtin<TvgBlurEffect>("TvgBlurEffect");
    Builtin<TvgGlowEffect>("TvgGlowEffect");
    Builtin<TvgFloatAnimation>("TvgFloatAnimation");
    Builtin<TvgColorAnimation>("TvgColorAnimation");
    Builtin<TvgTriggerSetter>("TvgTriggerSetter");
  });
}

bool IsClassRegistered(const std::string& className) {
  RegisterToolkitClasses();
  for (const auto& [n, f] : Reg().entries)
    if (rt::SameText(n, className)) return true;
  return false;
}

rt::TComponent* CreateByClassName(const std::string& className, rt::TComponent* owner) {
  RegisterToolkitClasses();
  for (const auto& [n, f] : Reg().entries)
    if (rt::SameText(n, className)) return f(owner);
  return nullptr;
}

std::vector<std::string> RegisteredClassNames() {
  RegisterToolkitClasses();
  std::vector<std::string> out;
  for (const auto& [n, f] : Reg().entries) out.push_back(n);
  return out;
}

}  // namespace tk
