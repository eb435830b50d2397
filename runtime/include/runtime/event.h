// Events are bound methods: an object plus a member function, or any callable.
// An event is called only when assigned.
#pragma once

#include <any>
#include <functional>
#include <string>
#include <utility>

namespace rt {

// Type-erased view of an event, so stored forms can bind handlers by name.
class TEventBase {
 public:
  virtual ~TEventBase() = default;
  virtual bool Assigned() const = 0;
  virtual void Clear() = 0;
  // Binds a std::function of the event's exact signature held in `handler`;
  // returns false when the signature does not match.
  virtual bool BindAny(const std::any& handler) = 0;
  const std::string& HandlerName() const { return handlerName_; }
  void SetHandlerName(std::string name) { handlerName_ = std::move(name); }

 private:
  std::string handlerName_;
};

template <class... Args>
class TEvent : public TEventBase {
 public:
  using Handler = std::function<void(Args...)>;

  TEvent() = default;
  TEvent(Handler h) : handler_(std::move(h)) {}  // NOLINT: assignment from a callable is the point

  template <class T>
  void Bind(T* object, void (T::*method)(Args...)) {
    handler_ = [object, method](Args... args) { (object->*method)(std::forward<Args>(args)...); };
  }
  TEvent& operator=(Handler h) {
    handler_ = std::move(h);
    return *this;
  }

  bool Assigned() const override { return static_cast<bool>(handler_); }
  explicit operator bool() const { return Assigned(); }
  void Clear() override {
    handler_ = nullptr;
    SetHandlerName({});
  }
  bool BindAny(const std::any& handler) override {
    if (const auto* h = std::any_cast<Handler>(&handler)) {
      handler_ = *h;
      return true;
    }
    return false;
  }

  // Calls the handler if one is assigned; returns whether it was called.
  bool operator()(Args... args) const {
    if (!handler_) return false;
    handler_(std::forward<Args>(args)...);
    return true;
  }

 private:
  Handler handler_;
};

}  // namespace rt
