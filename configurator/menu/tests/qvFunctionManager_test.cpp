#include "menu/qvFunctionManager.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "runtime/errors.h"

namespace vrnke::test {
namespace {

class FunctionManagerTest : public testing::Test {
 protected:
  std::unique_ptr<TqvFunctionManager> manager = std::make_unique<TqvFunctionManager>(nullptr);
  TqvFunctions& items = manager->Items();
};

TEST_F(FunctionManagerTest, ItemsAreNamedAndNumberedBySmallestFreeNumber) {
  TqvFunctionItem* a = items.Add();
  TqvFunctionItem* b = items.Add();
  TqvFunctionItem* c = items.Add();
  EXPECT_EQ(a->Name(), "Item1");
  EXPECT_EQ(b->Name(), "Item2");
  EXPECT_EQ(c->Name(), "Item3");
  EXPECT_EQ(a->ItemID(), 1u);
  EXPECT_EQ(b->ItemID(), 2u);
  EXPECT_EQ(c->ItemID(), 3u);

  items.Delete(1);
  TqvFunctionItem* d = items.Add();
  EXPECT_EQ(d->Name(), "Item2");
  EXPECT_EQ(d->ItemID(), 2u);
  EXPECT_EQ(c->ItemID(), 3u);  // no renumbering

  // Names compare without regard to case; a renamed item frees its number for the name, but
  // the ids of existing items stay.
  a->SetName("ITEM4");
  TqvFunctionItem* e = items.Add();
  EXPECT_EQ(e->Name(), "Item1");
  EXPECT_EQ(e->ItemID(), 1u);
  EXPECT_EQ(a->ItemID(), 1u);
  EXPECT_EQ(items.Add()->Name(), "Item5");

  // Insertion in the middle numbers the same way.
  EXPECT_EQ(items.Insert(0)->Name(), "Item6");
}

TEST_F(FunctionManagerTest, BufferIsAPrivateCopy) {
  TqvFunctionItem* item = items.Add();
  EXPECT_EQ(item->GetBufferSize(), 0u);
  uint8_t out[4] = {9, 9, 9, 9};
  EXPECT_FALSE(item->GetBuffer(out));
  EXPECT_EQ(out[0], 9);

  uint8_t first[3] = {1, 2, 3};
  item->SetBuffer(first, sizeof first);
  first[0] = 77;  // the item kept its own copy
  EXPECT_TRUE(item->GetBuffer(out));
  EXPECT_EQ(out[0], 1);
  EXPECT_EQ(out[2], 3);
  EXPECT_EQ(out[3], 9);

  item->SetBuffer(first, 0);  // size 0: nothing changes
  EXPECT_EQ(item->GetBufferSize(), 3u);
  item->SetBuffer(nullptr, 0);
  EXPECT_EQ(item->GetBufferSize(), 3u);

  const uint8_t second[2] = {5, 6};
  item->SetBuffer(second, sizeof second);
  EXPECT_EQ(item->GetBufferSize(), 2u);
  EXPECT_EQ(item->BufferPointer()[0], 5);
  EXPECT_EQ(item->BufferPointer()[1], 6);

  EXPECT_FALSE(item->GetBuffer(nullptr));
  EXPECT_THROW(item->SetBuffer(nullptr, 4), rt::ERangeError);
  EXPECT_EQ(item->GetBufferSize(), 2u);
}

TEST_F(FunctionManagerTest, RunItPassesIdAndBlock) {
  items.Add();
  TqvFunctionItem* item = items.Add();
  item->RunIt();  // no handler: nothing happens

  std::vector<int32_t> ids;
  std::vector<std::vector<uint8_t>> blocks;
  item->OnExecute() = [&](int32_t id, void* p, uint32_t size) {
    ids.push_back(id);
    const auto* b = static_cast<const uint8_t*>(p);
    blocks.emplace_back(b, b + size);
  };
  item->RunIt();
  const uint8_t data[3] = {7, 8, 9};
  item->SetBuffer(data, 3);
  item->RunIt();
  ASSERT_EQ(ids.size(), 2u);
  EXPECT_EQ(ids[0], 2);
  EXPECT_TRUE(blocks[0].empty());
  EXPECT_EQ(blocks[1], (std::vector<uint8_t>{7, 8, 9}));
}

TEST_F(FunctionManagerTest, PublishedProperties) {
  TqvFunctionItem* item = items.Add();
  EXPECT_EQ(item->GetPropertyText("ItemID"), "1");
  EXPECT_THROW(item->SetPropertyText("ItemID", "5"), rt::EPropertyError);
  item->SetPropertyText("Description", "long");
  item->SetPropertyText("ShortDescription", "short");
  EXPECT_EQ(item->Description(), "long");
  EXPECT_EQ(item->ShortDescription(), "short");
  EXPECT_NE(item->FindEvent("OnExecute"), nullptr);
  // Caption, Hint and Data are held only, not published.
  EXPECT_FALSE(item->HasProperty("Caption"));
  EXPECT_FALSE(item->HasProperty("Hint"));
  EXPECT_FALSE(item->HasProperty("Data"));
  EXPECT_EQ(manager->FindObjectProperty("Items"), &items);
  EXPECT_EQ(items.GetOwner(), manager.get());
  EXPECT_EQ(item->Owner(), &items);
  item->SetName("");
  EXPECT_EQ(item->GetDisplayName(), "TqvFunctionItem");
}

TEST_F(FunctionManagerTest, AssigningItemsCopiesThem) {
  TqvFunctionItem* a = items.Add();
  items.Add();
  TqvFunctionItem* c = items.Add();
  items.Delete(1);  // ids 1 and 3 remain
  a->SetDescription("first");
  c->SetCaption("third");
  const uint8_t data[2] = {1, 2};
  c->SetBuffer(data, 2);

  TqvFunctionManager other(nullptr);
  other.Items().Add();
  other.SetItems(items);
  ASSERT_EQ(other.Items().Count(), 2);
  EXPECT_EQ(other.Items()[0]->Name(), "Item1");
  EXPECT_EQ(other.Items()[0]->Description(), "first");
  EXPECT_EQ(other.Items()[1]->Name(), "Item3");
  EXPECT_EQ(other.Items()[1]->ItemID(), 3u);
  EXPECT_EQ(other.Items()[1]->Caption(), "third");
  EXPECT_EQ(other.Items()[1]->GetBufferSize(), 2u);
  EXPECT_NE(other.Items()[1]->BufferPointer(), c->BufferPointer());
}

}  // namespace
}  // namespace vrnke::test
