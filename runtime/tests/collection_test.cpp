#include "runtime/collection.h"

#include <gtest/gtest.h>

#include "runtime/text.h"

using namespace rt;

namespace {

class TNamedItem : public TCollectionItem {
 public:
  TNamedItem() {
    PublishString("Name", &name);
    PublishInt("Value", &value);
  }
  std::string ClassName() const override { return "TNamedItem"; }
  std::string name;
  int value = 0;
};

// Names new items "Item%d" with the smallest free n, as the program's collections do.
class TNamedItems : public TTypedCollection<TNamedItem, TOwnedCollection> {
 public:
  using TTypedCollection::TTypedCollection;
  int updates = 0;

 protected:
  void SetItemName(TCollectionItem* item) override {
    auto* it = static_cast<TNamedItem*>(item);
    if (!it->name.empty()) return;
    for (int n = 1;; ++n) {
      const std::string candidate = Format("Item%d", n);
      bool used = false;
      for (int i = 0; i < Count(); ++i) used = used || SameText((*this)[i]->name, candidate);
      if (!used) {
        it->name = candidate;
        return;
      }
    }
  }
  void Update(TCollectionItem*) override { ++updates; }
};

}  // namespace

TEST(Collection, NamingHookRunsOnInsertion) {
  TComponent owner(nullptr);
  TNamedItems items(&owner);
  EXPECT_EQ(items.GetOwner(), &owner);
  items.Add()->name = "item2";
  EXPECT_EQ(items.Add()->name, "Item1");
  EXPECT_EQ(items.Add()->name, "Item3");
  EXPECT_EQ(items.Insert(0)->name, "Item4");
  EXPECT_EQ(items[0]->Index(), 0);
  EXPECT_EQ(items[3]->Index(), 3);
  EXPECT_THROW(items.Items(4), EListError);
  EXPECT_THROW(items.Insert(9), EListError);
}

TEST(Collection, IdsNeverRenumber) {
  TNamedItems items(nullptr);
  items.Add();
  items.Add();
  items.Delete(0);
  EXPECT_EQ(items[0]->ID(), 1);
  EXPECT_EQ(items.Add()->ID(), 2);
}

TEST(Collection, AssignCopiesItems) {
  TNamedItems a(nullptr), b(nullptr);
  a.Add()->value = 10;
  a.Add()->value = 20;
  b.Add();
  b.Assign(a);
  ASSERT_EQ(b.Count(), 2);
  EXPECT_EQ(b[0]->name, "Item1");
  EXPECT_EQ(b[1]->value, 20);
  EXPECT_NE(b[1], a[1]);  // copies, not shared
  b.Assign(b);            // self-assignment keeps the items
  EXPECT_EQ(b.Count(), 2);
}
