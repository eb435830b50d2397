// What the translation walk needs to know about components that the runtime alone does not
// tell: which are forms, scenes or the application object, and how a special-class control
// exposes its text, hint and item list. The UI layer installs its own; the default goes by
// owners, class names and published properties.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "runtime/component.h"

namespace tk {

class IComponentInspector {
 public:
  virtual ~IComponentInspector() = default;
  // Forms and data modules: the roots of a walk and the start of every base name.
  virtual bool IsForm(const rt::TComponent& c) const = 0;
  virtual bool IsApplication(const rt::TComponent& c) const = 0;
  // A vector scene translates its own contents; the walk does not descend into it.
  virtual bool IsScene(const rt::TComponent& c) const = 0;
  virtual bool IsVisualControl(const rt::TComponent& c) const = 0;
  // Name of the property that holds a control's text ("Text" or "Caption"); empty: none.
  virtual std::string TextPropertyName(const rt::TComponent& c) const = 0;
  // The item list the special rule translates; nullopt when the control has none.
  virtual std::optional<std::vector<std::string>> ReadItems(const rt::TComponent& c) const = 0;
  virtual void WriteItems(rt::TComponent& c, const std::vector<std::string>& items) const = 0;
};

// Forms are components without an owner or owned by the application object (class
// "TApplication"); scenes are of class "TvgScene"; a visual control is a component that
// publishes "Text" or "Caption"; its item list is the published property "Items" (lines),
// or else "Tabs" or "Lines".
class TDefaultComponentInspector : public IComponentInspector {
 public:
  bool IsForm(const rt::TComponent& c) const override;
  bool IsApplication(const rt::TComponent& c) const override;
  bool IsScene(const rt::TComponent& c) const override;
  bool IsVisualControl(const rt::TComponent& c) const override;
  std::string TextPropertyName(const rt::TComponent& c) const override;
  std::optional<std::vector<std::string>> ReadItems(const rt::TComponent& c) const override;
  void WriteItems(rt::TComponent& c, const std::vector<std::string>& items) const override;

 private:
  static std::string ItemsPropertyName(const rt::TComponent& c);
};

// The inspector used by every language component; the default until one is installed.
const IComponentInspector& ComponentInspector();
// Installs an inspector (nullptr restores the default); the caller keeps it alive.
void SetComponentInspector(const IComponentInspector* inspector);

}  // namespace tk
