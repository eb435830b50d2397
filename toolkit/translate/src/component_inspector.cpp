#include "toolkit/component_inspector.h"

#include "runtime/text.h"
#include "toolkit/string_lists.h"

namespace tk {

bool TDefaultComponentInspector::IsApplication(const rt::TComponent& c) const {
  return rt::SameText(c.ClassName(), "TApplication");
}

bool TDefaultComponentInspector::IsForm(const rt::TComponent& c) const {
  if (IsApplication(c) || IsScene(c)) return false;
  return c.Owner() == nullptr || IsApplication(*c.Owner());
}

bool TDefaultComponentInspector::IsScene(const rt::TComponent& c) const {
  return rt::SameText(c.ClassName(), "TvgScene");
}

bool TDefaultComponentInspector::IsVisualControl(const rt::TComponent& c) const {
  return !TextPropertyName(c).empty();
}

std::string TDefaultComponentInspector::TextPropertyName(const rt::TComponent& c) const {
  if (c.HasProperty("Text")) return "Text";
  if (c.HasProperty("Caption")) return "Caption";
  return {};
}

std::string TDefaultComponentInspector::ItemsPropertyName(const rt::TComponent& c) {
  for (const char* name : {"Items", "Tabs", "Lines"})
    if (c.HasProperty(name)) return name;
  return {};
}

std::optional<std::vector<std::string>> TDefaultComponentInspector::ReadItems(const rt::TComponent& c) const {
  const std::string name = ItemsPropertyName(c);
  if (name.empty()) return std::nullopt;
  const std::string text = c.GetPropertyText(name);  // the lines below are views into it
  std::vector<std::string> items;
  for (std::string_view line : SplitLines(text)) items.emplace_back(line);
  return items;
}

void TDefaultComponentInspector::WriteItems(rt::TComponent& c, const std::vector<std::string>& items) const {
  const std::string name = ItemsPropertyName(c);
  if (name.empty()) return;
  std::string text;
  for (const auto& item : items) text += item + "\r\n";
  c.SetPropertyText(name, text);
}

namespace {
const IComponentInspector*& Installed() {
  static const IComponentInspector* inspector = nullptr;
  return inspector;
}
}  // namespace

const IComponentInspector& ComponentInspector() {
  static const TDefaultComponentInspector fallback;
  const IComponentInspector* installed = Installed();
  return installed ? *installed : fallback;
}

void SetComponentInspector(const IComponentInspector* inspector) { Installed() = inspector; }

}  // namespace tk
