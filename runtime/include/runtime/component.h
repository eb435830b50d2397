// The component model: an owner, a name, owned components in creation order and
// published properties readable and writable by name as text.
#pragma once

#include <any>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "runtime/errors.h"
#include "runtime/event.h"

namespace rt {

// Base of everything with published properties (components, collections, items).
class TPersistent {
 public:
  TPersistent() = default;
  TPersistent(const TPersistent&) = delete;
  TPersistent& operator=(const TPersistent&) = delete;
  virtual ~TPersistent() = default;

  virtual std::string ClassName() const { return "TPersistent"; }

  // Published properties by name (names compare without regard to case).
  bool HasProperty(const std::string& name) const;
  std::string GetPropertyText(const std::string& name) const;  // EPropertyError if absent
  void SetPropertyText(const std::string& name, const std::string& value);
  std::vector<std::string> PropertyNames() const;  // in publication order

  // Published events, bindable by handler name.
  TEventBase* FindEvent(const std::string& name) const;
  std::vector<std::string> EventNames() const;

  // Object-valued published properties (a collection, a nested persistent object).
  TPersistent* FindObjectProperty(const std::string& name) const;
  std::vector<std::string> ObjectPropertyNames() const;

 protected:
  using Getter = std::function<std::string()>;
  using Setter = std::function<void(const std::string&)>;
  void Publish(const std::string& name, Getter get, Setter set);
  void PublishString(const std::string& name, std::string* field);
  void PublishInt(const std::string& name, long long* field);
  void PublishInt(const std::string& name, int* field);
  void PublishBool(const std::string& name, bool* field);
  void PublishEvent(const std::string& name, TEventBase* event);
  void PublishObject(const std::string& name, TPersistent* object);

 private:
  struct Property {
    std::string name;
    Getter get;
    Setter set;
  };
  const Property* FindProperty(const std::string& name) const;
  std::vector<Property> properties_;
  std::vector<std::pair<std::string, TEventBase*>> events_;
  std::vector<std::pair<std::string, TPersistent*>> objects_;
};

class TComponent : public TPersistent {
 public:
  explicit TComponent(TComponent* owner);
  ~TComponent() override;  // destroys the owned components, newest first

  std::string ClassName() const override { return "TComponent"; }

  TComponent* Owner() const { return owner_; }
  const std::string& Name() const { return name_; }
  // A name must be empty or unique (without regard to case) among the owner's components.
  void SetName(const std::string& name);
  long long Tag() const { return tag_; }
  void SetTag(long long tag) { tag_ = tag; }

  int ComponentCount() const { return static_cast<int>(components_.size()); }
  TComponent* Components(int index) const;  // EListError when out of range
  const std::vector<TComponent*>& ComponentList() const { return components_; }
  TComponent* FindComponent(const std::string& name) const;

  // Handler methods published by this component (a form), looked up by name when a
  // stored description binds an event: the std::any holds the handler's std::function.
  void PublishHandler(const std::string& name, std::any handler);
  const std::any* FindHandler(const std::string& name) const;
  // Binds `event` to the handler named `handlerName`; false when absent or of another signature.
  bool BindEvent(TEventBase& event, const std::string& handlerName) const;

  // Takes ownership of a component created without an owner.
  void InsertComponent(TComponent* component);
  // Gives up ownership without destroying.
  void RemoveComponent(TComponent* component);

 private:
  TComponent* owner_ = nullptr;
  std::string name_;
  long long tag_ = 0;
  std::vector<TComponent*> components_;
  std::vector<std::pair<std::string, std::any>> handlers_;
};

// Creates a T owned by `owner` (the owner destroys it).
template <class T, class... A>
T* Create(TComponent* owner, A&&... args) {
  return new T(owner, std::forward<A>(args)...);
}

}  // namespace rt
