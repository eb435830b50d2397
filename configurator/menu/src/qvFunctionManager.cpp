#include "menu/qvFunctionManager.h"

#include <climits>
#include <cstring>
#include <unordered_set>

#include "runtime/errors.h"
#include "runtime/text.h"

namespace vrnke {

TqvFunctionItem::TqvFunctionItem() {
  PublishProperty(this, "Name", &TqvFunctionItem::FName);
  PublishProperty(this, "Description", &TqvFunctionItem::FDescription);
  PublishProperty(this, "ShortDescription", &TqvFunctionItem::FShortDescription);
  PublishProperty(this, "ItemID", &TqvFunctionItem::ItemID, nullptr);  // read-only
  PublishEvent("OnExecute", &FOnExecute);
}

TqvFunctions* TqvFunctionItem::Owner() const { return static_cast<TqvFunctions*>(Collection()); }

void TqvFunctionItem::SetBuffer(const void* ABuffer, uint32_t ABufferSize) {
  if (ABufferSize == 0) return;
  if (!ABuffer) throw rt::ERangeError(rt::Format("No data for a buffer of %u bytes", ABufferSize));
  const auto* bytes = static_cast<const uint8_t*>(ABuffer);
  // The new block is complete before the old one goes.
  std::vector<uint8_t> block(bytes, bytes + ABufferSize);
  FBuffer.swap(block);
}

bool TqvFunctionItem::GetBuffer(void* ABuffer) const {
  if (FBuffer.empty() || !ABuffer) return false;
  std::memcpy(ABuffer, FBuffer.data(), FBuffer.size());
  return true;
}

void TqvFunctionItem::RunIt() {
  if (!FOnExecute.Assigned()) return;
  if (FItemID > static_cast<uint32_t>(INT32_MAX) || FBuffer.size() > static_cast<size_t>(INT32_MAX))
    throw rt::ERangeError();
  // Called through a copy: the handler may delete this item.
  const TqvFunctionItemEvent handler = FOnExecute;
  handler(static_cast<int32_t>(FItemID), FBuffer.empty() ? nullptr : FBuffer.data(),
          static_cast<uint32_t>(FBuffer.size()));
}

std::string TqvFunctionItem::GetDisplayName() const {
  return FName.empty() ? rt::TCollectionItem::GetDisplayName() : FName;
}

void TqvFunctionItem::Assign(const rt::TCollectionItem& source) {
  const auto* other = dynamic_cast<const TqvFunctionItem*>(&source);
  if (!other) {
    rt::TCollectionItem::Assign(source);
    return;
  }
  FName = other->FName;
  FCaption = other->FCaption;
  FHint = other->FHint;
  FData = other->FData;
  FBuffer = other->FBuffer;
  FOnExecute = other->FOnExecute;
  FDescription = other->FDescription;
  FShortDescription = other->FShortDescription;
  FItemID = other->FItemID;  // a copy names the same functions
}

TqvFunctions::TqvFunctions(TqvFunctionManager* owner) : TTypedCollection(owner), FOwner(owner) {}

void TqvFunctions::SetItemName(rt::TCollectionItem* item) {
  auto* function = static_cast<TqvFunctionItem*>(item);
  if (!function->FName.empty()) return;
  std::unordered_set<std::string> used;
  for (int i = 0; i < Count(); ++i) used.insert(rt::LowerCase(Items(i)->FName));
  int n = 1;
  while (n < INT_MAX && used.count(rt::LowerCase(rt::Format("Item%d", n)))) ++n;
  function->FName = rt::Format("Item%d", n);
  function->FItemID = static_cast<uint32_t>(n);
}

TqvFunctionManager::TqvFunctionManager(rt::TComponent* AOwner)
    : rt::TComponent(AOwner), FFunctionItems(new TqvFunctions(this)) {
  PublishObject("Items", FFunctionItems);
}

TqvFunctionManager::~TqvFunctionManager() { delete FFunctionItems; }

void TqvFunctionManager::SetItems(const TqvFunctions& items) { FFunctionItems->Assign(items); }

}  // namespace vrnke
