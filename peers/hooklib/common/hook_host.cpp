#include "hook_host.h"

namespace hooklib {
namespace {

constexpr uint32_t kDeliverHookEvents = plat::kWmUser + 0x48;

}  // namespace

HookHost& Host() {
  static HookHost host;
  return host;
}

void HookHost::Attach(plat::Platform* platform) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  if (platform == platform_) return;
  DropDeliveryWindow();
  queue_.clear();
  keyboard_ = {};
  mouse_ = {};
  platform_ = platform;
}

plat::Platform* HookHost::AttachedPlatform() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return platform_;
}

int32_t HookHost::EnableKeyboard(vrnke::THookCallback callback, void* context) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  ++calls_[0];
  keyboard_ = Hook{callback, context, std::this_thread::get_id()};
  EnsureDeliveryWindow();
  return callback ? 1 : 0;
}

int32_t HookHost::DisableKeyboard() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  ++calls_[1];
  keyboard_ = {};
  return 1;
}

int32_t HookHost::EnableMouse(vrnke::THookCallback callback, void* context) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  ++calls_[2];
  mouse_ = Hook{callback, context, std::this_thread::get_id()};
  EnsureDeliveryWindow();
  return callback ? 1 : 0;
}

int32_t HookHost::DisableMouse() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  ++calls_[3];
  mouse_ = {};
  return 1;
}

bool HookHost::KeyboardEnabled() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return keyboard_.callback != nullptr;
}

bool HookHost::MouseEnabled() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return mouse_.callback != nullptr;
}

std::array<int, 4> HookHost::CallCounts() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return calls_;
}

void HookHost::TrackKey(uint32_t vk, bool down) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  if (vk > 255) return;
  if (down && !down_[vk]) toggled_[vk] = !toggled_[vk];
  down_[vk] = down;
  const auto feed = [&](uint32_t k) {
    if (!platform_) return;
    const auto state = static_cast<int16_t>((down_[k] ? 0x8000 : 0) | (toggled_[k] ? 1 : 0));
    platform_->keyboard().FeedKeyState(static_cast<int>(k), state);
  };
  feed(vk);
  // The generic keys: down while either side is.
  const std::pair<uint32_t, uint32_t> sides[] = {{0x10, 0xA0}, {0x11, 0xA2}, {0x12, 0xA4}};
  for (const auto& [generic, left] : sides) {
    if (vk != left && vk != left + 1) continue;
    const bool any = down_[left] || down_[left + 1];
    if (any && !down_[generic]) toggled_[generic] = !toggled_[generic];
    down_[generic] = any;
    feed(generic);
  }
}

int32_t HookHost::DeliverKey(int32_t code, uint32_t message, const vrnke::TKBDLLHOOKSTRUCT& record,
                             Done done) {
  Pending p{true, code, message, record, {}, std::move(done)};
  return Deliver(std::move(p));
}

int32_t HookHost::DeliverMouse(int32_t code, uint32_t message, const vrnke::TMSLLHOOKSTRUCT& record,
                               Done done) {
  Pending p{false, code, message, {}, record, std::move(done)};
  return Deliver(std::move(p));
}

int32_t HookHost::Deliver(Pending p) {
  Hook hook;
  {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    hook = p.keyboard ? keyboard_ : mouse_;
    if (!hook.callback) {
      Track(p);
      return kNotEnabled;
    }
    if (hook.thread != std::this_thread::get_id()) {
      if (!platform_ || !window_) return kNotEnabled;
      queue_.push_back(std::move(p));
      if (queue_.size() == 1) platform_->windows().PostMessage(window_, kDeliverHookEvents, 0, 0);
      return kQueued;
    }
  }
  // The callback runs outside the lock: it may enable or disable hooks itself.
  Track(p);
  int32_t blocked = 0;
  hook.callback(hook.context, p.code, p.message, p.keyboard ? static_cast<const void*>(&p.key) : &p.mouse,
                &blocked);
  if (p.done) p.done(blocked != 0);
  return blocked != 0 ? 1 : 0;
}

void HookHost::DrainQueue() {
  for (;;) {
    Pending p;
    Hook hook;
    {
      std::lock_guard<std::recursive_mutex> lock(mutex_);
      if (queue_.empty()) return;
      p = std::move(queue_.front());
      queue_.pop_front();
      hook = p.keyboard ? keyboard_ : mouse_;
    }
    Track(p);
    int32_t blocked = 0;
    // A hook disabled meanwhile gets nothing more.
    if (hook.callback && hook.thread == std::this_thread::get_id())
      hook.callback(hook.context, p.code, p.message, p.keyboard ? static_cast<const void*>(&p.key) : &p.mouse,
                    &blocked);
    if (p.done) p.done(blocked != 0);
  }
}

void HookHost::Track(const Pending& p) {
  if (p.keyboard) TrackKey(p.key.vkCode, (p.key.flags & vrnke::LLKHF_UP) == 0);
}

void HookHost::EnsureDeliveryWindow() {
  if (!platform_) return;
  if (window_ && windowThread_ == std::this_thread::get_id()) return;
  DropDeliveryWindow();
  windowThread_ = std::this_thread::get_id();
  window_ = platform_->windows().RegisterWindow(
      "qvHookDelivery", [this](uint32_t msg, plat::WParam, plat::LParam) -> plat::LResult {
        if (msg == kDeliverHookEvents) DrainQueue();
        return 0;
      });
}

void HookHost::DropDeliveryWindow() {
  if (window_ && platform_) platform_->windows().DestroyWindow(window_);
  window_ = 0;
}

}  // namespace hooklib
