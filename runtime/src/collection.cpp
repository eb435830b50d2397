#include "runtime/collection.h"

#include <algorithm>

namespace rt {

int TCollectionItem::Index() const {
  if (!collection_) return -1;
  for (int i = 0; i < collection_->Count(); ++i)
    if (collection_->Items(i) == this) return i;
  return -1;
}

void TCollectionItem::Assign(const TCollectionItem& source) {
  // Default: copy every published property that both sides have, by text.
  for (const std::string& name : source.PropertyNames())
    if (HasProperty(name)) SetPropertyText(name, source.GetPropertyText(name));
}

TCollection::~TCollection() = default;

TCollectionItem* TCollection::Items(int index) const {
  if (index < 0 || index >= Count()) throw EListError(index);
  return items_[static_cast<size_t>(index)].get();
}

TCollectionItem* TCollection::Add() { return InsertItem(CreateItem(), Count()); }

TCollectionItem* TCollection::Insert(int index) {
  if (index < 0 || index > Count()) throw EListError(index);
  return InsertItem(CreateItem(), index);
}

TCollectionItem* TCollection::InsertItem(std::unique_ptr<TCollectionItem> item, int index) {
  if (index < 0 || index > Count()) throw EListError(index);
  TCollectionItem* raw = item.get();
  raw->collection_ = this;
  raw->id_ = nextId_++;
  items_.insert(items_.begin() + index, std::move(item));
  try {
    SetItemName(raw);
    raw->Inserted();
  } catch (...) {
    // An item that cannot be named or numbered is not kept half-inserted.
    items_.erase(items_.begin() + raw->Index());
    throw;
  }
  Update(nullptr);
  return raw;
}

void TCollection::Delete(int index) {
  if (index < 0 || index >= Count()) throw EListError(index);
  items_.erase(items_.begin() + index);
  Update(nullptr);
}

void TCollection::Clear() {
  if (items_.empty()) return;
  items_.clear();
  Update(nullptr);
}

void TCollection::Assign(const TCollection& source) {
  if (&source == this) return;
  Clear();
  for (int i = 0; i < source.Count(); ++i) Add()->Assign(*source.Items(i));
}

}  // namespace rt
