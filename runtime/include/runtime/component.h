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
#include "runtime/property_text.h"

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

  // A property in one line, its text conversion chosen by the value's type:
  //   PublishProperty(this, "WordWrap", &TvgText::WordWrap, &TvgText::SetWordWrap);
  // `get` is a const member function or a data member; `set` a member function taking the
  // value, a data member, or nullptr for a read-only property.
  template <class C, class G, class S>
  static void PublishProperty(C* self, const std::string& name, G get, S set) {
    using V = std::remove_cvref_t<std::invoke_result_t<G, const C&>>;
    Getter getter = [self, get] { return TPropertyText<V>::ToText(std::invoke(get, std::as_const(*self))); };
    Setter setter;
    if constexpr (std::is_member_object_pointer_v<S>) {
      setter = [self, set](const std::string& v) { std::invoke(set, *self) = TPropertyText<V>::FromText(v); };
    } else if constexpr (!std::is_null_pointer_v<S>) {
      setter = [self, set](const std::string& v) { std::invoke(set, *self, TPropertyText<V>::FromText(v)); };
    }
    static_cast<TPersistent*>(self)->Publish(name, std::move(getter), std::move(setter));
  }
  // A data member read and written as it is.
  template <class C, class V>
  static void PublishProperty(C* self, const std::string& name, V C::*field) {
    PublishProperty(self, name, field, field);
  }

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
