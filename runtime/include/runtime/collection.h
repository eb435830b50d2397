// Collections create their items inside themselves and name them through a hook on insertion.
#pragma once

#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "runtime/component.h"

namespace rt {

class TCollection;

class TCollectionItem : public TPersistent {
 public:
  TCollectionItem() = default;
  std::string ClassName() const override { return "TCollectionItem"; }

  TCollection* Collection() const { return collection_; }
  int Index() const;
  int ID() const { return id_; }
  // The collection item's default display name is its class name.
  virtual std::string GetDisplayName() const { return ClassName(); }
  // Copies the published state of another item of the same kind.
  virtual void Assign(const TCollectionItem& source);

 protected:
  // Runs right after the collection inserted and named the item.
  virtual void Inserted() {}

 private:
  friend class TCollection;
  TCollection* collection_ = nullptr;
  int id_ = 0;
};

class TCollection : public TPersistent {
 public:
  TCollection() = default;
  ~TCollection() override;
  std::string ClassName() const override { return "TCollection"; }

  int Count() const { return static_cast<int>(items_.size()); }
  TCollectionItem* Items(int index) const;  // EListError when out of range
  TCollectionItem* Add();                   // a new item of the collection's item class
  TCollectionItem* Insert(int index);
  void Delete(int index);
  void Clear();
  int NextID() const { return nextId_; }

  // Replaces the items with copies of the source's items.
  virtual void Assign(const TCollection& source);
  virtual TPersistent* GetOwner() const { return nullptr; }

 protected:
  virtual std::unique_ptr<TCollectionItem> CreateItem() const = 0;
  // Item-naming hook, called on every insertion.
  virtual void SetItemName(TCollectionItem* item) { (void)item; }
  // Change notification: item == nullptr means the whole collection changed.
  virtual void Update(TCollectionItem* item) { (void)item; }
  // Inserts an item made by the caller (it must be of the collection's item class).
  TCollectionItem* InsertItem(std::unique_ptr<TCollectionItem> item, int index);

 private:
  std::vector<std::unique_ptr<TCollectionItem>> items_;
  int nextId_ = 0;
};

// A collection that knows its owner.
class TOwnedCollection : public TCollection {
 public:
  explicit TOwnedCollection(TPersistent* owner) : owner_(owner) {}
  std::string ClassName() const override { return "TOwnedCollection"; }
  TPersistent* GetOwner() const override { return owner_; }

 private:
  TPersistent* owner_;
};

// Typed access over a collection of `Item`, with `Base` one of the collection classes.
template <class Item, class Base = TCollection>
class TTypedCollection : public Base {
  static_assert(std::is_base_of_v<TCollectionItem, Item>);

 public:
  using Base::Base;
  Item* Add() { return static_cast<Item*>(Base::Add()); }
  Item* Insert(int index) { return static_cast<Item*>(Base::Insert(index)); }
  Item* operator[](int index) const { return static_cast<Item*>(Base::Items(index)); }
  Item* Items(int index) const { return static_cast<Item*>(Base::Items(index)); }

 protected:
  std::unique_ptr<TCollectionItem> CreateItem() const override { return std::make_unique<Item>(); }
};

}  // namespace rt
