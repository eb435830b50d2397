#include "runtime/component.h"

#include <algorithm>

#include "runtime/text.h"

namespace rt {

// --- TPersistent -------------------------------------------------------------------------

const TPersistent::Property* TPersistent::FindProperty(const std::string& name) const {
  for (const auto& p : properties_)
    if (SameText(p.name, name)) return &p;
  return nullptr;
}

bool TPersistent::HasProperty(const std::string& name) const { return FindProperty(name) != nullptr; }

std::string TPersistent::GetPropertyText(const std::string& name) const {
  const Property* p = FindProperty(name);
  if (!p || !p->get) throw EPropertyError::NoSuchProperty(ClassName(), name);
  return p->get();
}

void TPersistent::SetPropertyText(const std::string& name, const std::string& value) {
  const Property* p = FindProperty(name);
  if (!p || !p->set) throw EPropertyError::NoSuchProperty(ClassName(), name);
  p->set(value);
}

std::vector<std::string> TPersistent::PropertyNames() const {
  std::vector<std::string> names;
  names.reserve(properties_.size());
  for (const auto& p : properties_) names.push_back(p.name);
  return names;
}

TEventBase* TPersistent::FindEvent(const std::string& name) const {
  for (const auto& [n, e] : events_)
    if (SameText(n, name)) return e;
  return nullptr;
}

std::vector<std::string> TPersistent::EventNames() const {
  std::vector<std::string> names;
  for (const auto& [n, e] : events_) names.push_back(n);
  return names;
}

TPersistent* TPersistent::FindObjectProperty(const std::string& name) const {
  for (const auto& [n, o] : objects_)
    if (SameText(n, name)) return o;
  return nullptr;
}

std::vector<std::string> TPersistent::ObjectPropertyNames() const {
  std::vector<std::string> names;
  for (const auto& [n, o] : objects_) names.push_back(n);
  return names;
}

void TPersistent::Publish(const std::string& name, Getter get, Setter set) {
  for (auto& p : properties_) {
    if (SameText(p.name, name)) {  // a derived class may republish with other accessors
      p.get = std::move(get);
      p.set = std::move(set);
      return;
    }
  }
  properties_.push_back({name, std::move(get), std::move(set)});
}

void TPersistent::PublishString(const std::string& name, std::string* field) {
  Publish(
      name, [field] { return *field; }, [field](const std::string& v) { *field = v; });
}

void TPersistent::PublishInt(const std::string& name, long long* field) {
  Publish(
      name, [field] { return TPropertyText<long long>::ToText(*field); },
      [field](const std::string& v) { *field = TPropertyText<long long>::FromText(v); });
}

void TPersistent::PublishInt(const std::string& name, int* field) {
  Publish(
      name, [field] { return TPropertyText<int>::ToText(*field); },
      [field](const std::string& v) { *field = TPropertyText<int>::FromText(v); });
}

void TPersistent::PublishBool(const std::string& name, bool* field) {
  Publish(
      name, [field] { return BoolToStr(*field); }, [field](const std::string& v) { *field = StrToBool(v); });
}

void TPersistent::PublishEvent(const std::string& name, TEventBase* event) {
  for (auto& [n, e] : events_)
    if (SameText(n, name)) {
      e = event;
      return;
    }
  events_.emplace_back(name, event);
}

void TPersistent::PublishObject(const std::string& name, TPersistent* object) {
  for (auto& [n, o] : objects_)
    if (SameText(n, name)) {
      o = object;
      return;
    }
  objects_.emplace_back(name, object);
}

// --- TComponent --------------------------------------------------------------------------

TComponent::TComponent(TComponent* owner) {
  Publish(
      "Name", [this] { return name_; }, [this](const std::string& v) { SetName(v); });
  PublishInt("Tag", &tag_);
  if (owner) owner->InsertComponent(this);
}

TComponent::~TComponent() {
  while (!components_.empty()) {
    TComponent* last = components_.back();
    components_.pop_back();
    last->owner_ = nullptr;
    delete last;
  }
  if (owner_) owner_->RemoveComponent(this);
}

void TComponent::SetName(const std::string& name) {
  if (name == name_) return;
  if (owner_ && !name.empty()) {
    for (TComponent* c : owner_->components_)
      if (c != this && SameText(c->name_, name))
        throw EComponentError(Format("A component named %s already exists", name.c_str()));
  }
  name_ = name;
}

TComponent* TComponent::Components(int index) const {
  if (index < 0 || index >= ComponentCount()) throw EListError(index);
  return components_[static_cast<size_t>(index)];
}

TComponent* TComponent::FindComponent(const std::string& name) const {
  if (name.empty()) return nullptr;
  for (TComponent* c : components_)
    if (SameText(c->name_, name)) return c;
  return nullptr;
}

void TComponent::PublishHandler(const std::string& name, std::any handler) {
  for (auto& [n, h] : handlers_)
    if (SameText(n, name)) {
      h = std::move(handler);
      return;
    }
  handlers_.emplace_back(name, std::move(handler));
}

const std::any* TComponent::FindHandler(const std::string& name) const {
  for (const auto& [n, h] : handlers_)
    if (SameText(n, name)) return &h;
  return nullptr;
}

bool TComponent::BindEvent(TEventBase& event, const std::string& handlerName) const {
  const std::any* h = FindHandler(handlerName);
  if (!h || !event.BindAny(*h)) return false;
  event.SetHandlerName(handlerName);
  return true;
}

void TComponent::InsertComponent(TComponent* component) {
  if (!component || component->owner_ == this) return;
  if (component->owner_) component->owner_->RemoveComponent(component);
  if (!component->name_.empty() && FindComponent(component->name_))
    throw EComponentError(Format("A component named %s already exists", component->name_.c_str()));
  components_.push_back(component);
  component->owner_ = this;
}

void TComponent::RemoveComponent(TComponent* component) {
  auto it = std::find(components_.begin(), components_.end(), component);
  if (it == components_.end()) return;
  components_.erase(it);
  component->owner_ = nullptr;
}

}  // namespace rt
