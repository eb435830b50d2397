#include "platform/memory_registry.h"

#include <cstring>

#include "registry_util.h"

namespace plat {

namespace {

struct Value {
  std::string name;  // original case
  RegType type = RegType::None;
  std::vector<std::uint8_t> data;
};

struct Node {
  std::string name;                                   // original case
  std::map<std::string, std::unique_ptr<Node>> keys;  // by folded name
  std::map<std::string, Value> values;                // by folded name
};

struct OpenKeyEntry {
  RegKey root;
  std::vector<std::string> folded;  // path below the root
};

}  // namespace

struct MemoryRegistry::Impl {
  mutable std::mutex mu;
  Node hkcu, hklm;
  std::map<RegKey, OpenKeyEntry> handles;
  RegKey next = 1;
  RegResult setFailure = RegResult::Success;
  int setFailCount = 0;
  RegResult openFailure = RegResult::Success;
  int openFailCount = 0;
  int setCalls = 0;

  Node* RootNode(RegKey root) {
    if (root == kHkeyCurrentUser) return &hkcu;
    if (root == kHkeyLocalMachine) return &hklm;
    return nullptr;
  }
  // The node a handle names; `gone` when its key was deleted meanwhile.
  Node* Resolve(RegKey key, RegResult& err, OpenKeyEntry* entryOut = nullptr) {
    OpenKeyEntry entry;
    if (detail::IsRoot(key)) {
      entry.root = key;
    } else {
      auto it = handles.find(key);
      if (it == handles.end()) {
        err = RegResult::InvalidHandle;
        return nullptr;
      }
      entry = it->second;
    }
    Node* n = RootNode(entry.root);
    for (const auto& f : entry.folded) {
      auto k = n->keys.find(f);
      if (k == n->keys.end()) {
        err = RegResult::KeyDeleted;
        return nullptr;
      }
      n = k->second.get();
    }
    if (entryOut) *entryOut = entry;
    return n;
  }
  static bool Consume(RegResult& failure, int& count, RegResult& out) {
    if (failure == RegResult::Success || count == 0) return false;
    out = failure;
    if (count > 0 && --count == 0) failure = RegResult::Success;
    return true;
  }
  RegResult Open(RegKey parent, std::string_view subKey, RegKey& out, bool create, bool* created) {
    out = kNoKey;
    RegResult injected;
    if (Consume(openFailure, openFailCount, injected)) return injected;
    std::vector<std::string> levels;
    RegResult r = detail::SplitKeyPath(subKey, levels);
    if (r != RegResult::Success) return r;
    OpenKeyEntry entry;
    Node* n = Resolve(parent, r, &entry);
    if (!n) return r;
    bool made = false;
    for (const auto& level : levels) {
      std::string f = detail::FoldName(level);
      auto it = n->keys.find(f);
      if (it == n->keys.end()) {
        if (!create) return RegResult::FileNotFound;
        auto node = std::make_unique<Node>();
        node->name = level;
        it = n->keys.emplace(f, std::move(node)).first;
        made = true;
      } else {
        made = false;
      }
      n = it->second.get();
      entry.folded.push_back(f);
    }
    if (created) *created = made;
    RegKey h = next++;
    if (next >= 0x80000000u) next = 1;
    handles[h] = entry;
    out = h;
    return RegResult::Success;
  }
};

MemoryRegistry::MemoryRegistry() : impl_(std::make_unique<Impl>()) {}
MemoryRegistry::~MemoryRegistry() = default;

RegResult MemoryRegistry::CreateKey(RegKey parent, std::string_view subKey, RegKey& out, bool* created) {
  std::lock_guard lock(impl_->mu);
  return impl_->Open(parent, subKey, out, true, created);
}

RegResult MemoryRegistry::OpenKey(RegKey parent, std::string_view subKey, RegKey& out) {
  std::lock_guard lock(impl_->mu);
  return impl_->Open(parent, subKey, out, false, nullptr);
}

RegResult MemoryRegistry::CloseKey(RegKey key) {
  std::lock_guard lock(impl_->mu);
  if (detail::IsRoot(key)) return RegResult::Success;
  return impl_->handles.erase(key) ? RegResult::Success : RegResult::InvalidHandle;
}

RegResult MemoryRegistry::QueryValue(RegKey key, std::string_view name, RegType* type, void* data,
                                     std::uint32_t* size) {
  std::lock_guard lock(impl_->mu);
  RegResult r;
  Node* n = impl_->Resolve(key, r);
  if (!n) return r;
  if (data && !size) return RegResult::InvalidParameter;
  auto it = n->values.find(detail::FoldName(name));
  if (it == n->values.end()) {
    if (!data && size) *size = 0;  // as the system answers a size query of a missing value
    return RegResult::FileNotFound;
  }
  const Value& v = it->second;
  if (type) *type = v.type;
  std::uint32_t need = static_cast<std::uint32_t>(v.data.size());
  if (data) {
    if (*size < need) {
      *size = need;
      return RegResult::MoreData;
    }
    if (need) std::memcpy(data, v.data.data(), need);
  }
  if (size) *size = need;
  return RegResult::Success;
}

RegResult MemoryRegistry::SetValue(RegKey key, std::string_view name, RegType type, const void* data,
                                   std::uint32_t size) {
  std::lock_guard lock(impl_->mu);
  ++impl_->setCalls;
  RegResult r;
  Node* n = impl_->Resolve(key, r);
  if (!n) return r;
  if (size && !data) return RegResult::InvalidParameter;
  if (name.size() > detail::kMaxValueNameLength) return RegResult::InvalidParameter;
  RegResult injected;
  if (Impl::Consume(impl_->setFailure, impl_->setFailCount, injected)) return injected;
  Value& v = n->values[detail::FoldName(name)];
  if (v.name.empty()) v.name = name;
  v.type = type;
  const auto* p = static_cast<const std::uint8_t*>(data);
  v.data.assign(p, p + size);
  return RegResult::Success;
}

RegResult MemoryRegistry::DeleteValue(RegKey key, std::string_view name) {
  std::lock_guard lock(impl_->mu);
  RegResult r;
  Node* n = impl_->Resolve(key, r);
  if (!n) return r;
  return n->values.erase(detail::FoldName(name)) ? RegResult::Success : RegResult::FileNotFound;
}

RegResult MemoryRegistry::DeleteKey(RegKey parent, std::string_view subKey) {
  std::lock_guard lock(impl_->mu);
  std::vector<std::string> levels;
  RegResult r = detail::SplitKeyPath(subKey, levels);
  if (r != RegResult::Success) return r;
  if (levels.empty()) return RegResult::InvalidParameter;
  Node* n = impl_->Resolve(parent, r);
  if (!n) return r;
  for (std::size_t i = 0; i + 1 < levels.size(); ++i) {
    auto it = n->keys.find(detail::FoldName(levels[i]));
    if (it == n->keys.end()) return RegResult::FileNotFound;
    n = it->second.get();
  }
  auto it = n->keys.find(detail::FoldName(levels.back()));
  if (it == n->keys.end()) return RegResult::FileNotFound;
  if (!it->second->keys.empty()) return RegResult::AccessDenied;
  n->keys.erase(it);
  return RegResult::Success;
}

RegResult MemoryRegistry::EnumKey(RegKey key, std::uint32_t index, std::string& name) {
  std::lock_guard lock(impl_->mu);
  RegResult r;
  Node* n = impl_->Resolve(key, r);
  if (!n) return r;
  if (index >= n->keys.size()) return RegResult::NoMoreItems;
  auto it = n->keys.begin();
  std::advance(it, index);
  name = it->second->name;
  return RegResult::Success;
}

RegResult MemoryRegistry::EnumValue(RegKey key, std::uint32_t index, std::string& name, RegType* type,
                                    std::vector<std::uint8_t>* data) {
  std::lock_guard lock(impl_->mu);
  RegResult r;
  Node* n = impl_->Resolve(key, r);
  if (!n) return r;
  if (index >= n->values.size()) return RegResult::NoMoreItems;
  auto it = n->values.begin();
  std::advance(it, index);
  name = it->second.name;
  if (type) *type = it->second.type;
  if (data) *data = it->second.data;
  return RegResult::Success;
}

void MemoryRegistry::FailSetValue(RegResult result, int count) {
  std::lock_guard lock(impl_->mu);
  impl_->setFailure = result;
  impl_->setFailCount = count;
}

void MemoryRegistry::FailOpenKey(RegResult result, int count) {
  std::lock_guard lock(impl_->mu);
  impl_->openFailure = result;
  impl_->openFailCount = count;
}

void MemoryRegistry::ClearFailures() {
  std::lock_guard lock(impl_->mu);
  impl_->setFailure = impl_->openFailure = RegResult::Success;
  impl_->setFailCount = impl_->openFailCount = 0;
}

void MemoryRegistry::Put(RegKey root, std::string_view path, std::string_view name, RegType type,
                         const std::vector<std::uint8_t>& data) {
  RegKey k;
  {
    std::lock_guard lock(impl_->mu);
    if (impl_->Open(root, path, k, true, nullptr) != RegResult::Success) return;
    RegResult r;
    Node* n = impl_->Resolve(k, r);
    Value& v = n->values[detail::FoldName(name)];
    if (v.name.empty()) v.name = name;
    v.type = type;
    v.data = data;
  }
  CloseKey(k);
}

bool MemoryRegistry::Get(RegKey root, std::string_view path, std::string_view name, RegType& type,
                         std::vector<std::uint8_t>& data) const {
  std::lock_guard lock(impl_->mu);
  std::vector<std::string> levels;
  if (detail::SplitKeyPath(path, levels) != RegResult::Success) return false;
  const Node* n = impl_->RootNode(root);
  if (!n) return false;
  for (const auto& l : levels) {
    auto it = n->keys.find(detail::FoldName(l));
    if (it == n->keys.end()) return false;
    n = it->second.get();
  }
  auto it = n->values.find(detail::FoldName(name));
  if (it == n->values.end()) return false;
  type = it->second.type;
  data = it->second.data;
  return true;
}

bool MemoryRegistry::Has(RegKey root, std::string_view path, std::string_view name) const {
  RegType t;
  std::vector<std::uint8_t> d;
  return Get(root, path, name, t, d);
}

int MemoryRegistry::SetValueCalls() const {
  std::lock_guard lock(impl_->mu);
  return impl_->setCalls;
}

int MemoryRegistry::OpenKeyHandles() const {
  std::lock_guard lock(impl_->mu);
  return static_cast<int>(impl_->handles.size());
}

}  // namespace plat
