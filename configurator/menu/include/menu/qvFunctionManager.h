// A non-visual component holding a flat, numbered collection of named functions; each function
// keeps a private copy of a byte block and hands it, with its id, to its OnExecute handler.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "runtime/collection.h"
#include "runtime/component.h"
#include "runtime/event.h"

namespace vrnke {

// (AFunctionID, BufferPointer, Size)
using TqvFunctionItemEvent = rt::TEvent<int32_t, void*, uint32_t>;

class TqvFunctions;
class TqvFunctionManager;

class TqvFunctionItem : public rt::TCollectionItem {
 public:
  TqvFunctionItem();
  std::string ClassName() const override { return "TqvFunctionItem"; }

  const std::string& Name() const { return FName; }
  void SetName(const std::string& name) { FName = name; }
  const std::string& Caption() const { return FCaption; }
  void SetCaption(const std::string& text) { FCaption = text; }
  const std::string& Hint() const { return FHint; }
  void SetHint(const std::string& text) { FHint = text; }
  const std::string& Data() const { return FData; }
  void SetData(const std::string& text) { FData = text; }
  const std::string& Description() const { return FDescription; }
  void SetDescription(const std::string& text) { FDescription = text; }
  const std::string& ShortDescription() const { return FShortDescription; }
  void SetShortDescription(const std::string& text) { FShortDescription = text; }
  TqvFunctionItemEvent& OnExecute() { return FOnExecute; }
  // Given once, when the item is inserted; never renumbered.
  uint32_t ItemID() const { return FItemID; }
  TqvFunctions* Owner() const;

  // Keeps a copy of ABufferSize bytes from ABuffer; a size of 0 changes nothing.
  void SetBuffer(const void* ABuffer, uint32_t ABufferSize);
  // Copies the block into ABuffer (which must hold GetBufferSize() bytes); false without a block
  // or without a destination.
  bool GetBuffer(void* ABuffer) const;
  uint32_t GetBufferSize() const { return static_cast<uint32_t>(FBuffer.size()); }
  // The block itself (nullptr without one), for callers that pass it on without copying.
  const uint8_t* BufferPointer() const { return FBuffer.empty() ? nullptr : FBuffer.data(); }

  // Calls OnExecute with (ItemID, block, size) when one is assigned; ERangeError when the id or
  // the size does not fit a signed 32-bit value.
  void RunIt();

  std::string GetDisplayName() const override;
  void Assign(const rt::TCollectionItem& source) override;

 private:
  friend class TqvFunctions;
  std::string FName;
  std::string FCaption;
  std::string FHint;
  std::string FData;
  std::vector<uint8_t> FBuffer;
  TqvFunctionItemEvent FOnExecute;
  std::string FDescription;
  std::string FShortDescription;
  uint32_t FItemID = 0;
};

class TqvFunctions : public rt::TTypedCollection<TqvFunctionItem, rt::TOwnedCollection> {
 public:
  explicit TqvFunctions(TqvFunctionManager* owner);
  std::string ClassName() const override { return "TqvFunctions"; }
  TqvFunctionManager* Owner() const { return FOwner; }

 protected:
  // An unnamed new item becomes "Item<n>" with id n, n the smallest number no item uses.
  void SetItemName(rt::TCollectionItem* item) override;

 private:
  TqvFunctionManager* FOwner;
};

class TqvFunctionManager : public rt::TComponent {
 public:
  explicit TqvFunctionManager(rt::TComponent* AOwner);
  ~TqvFunctionManager() override;
  std::string ClassName() const override { return "TqvFunctionManager"; }

  TqvFunctions& Items() { return *FFunctionItems; }
  const TqvFunctions& Items() const { return *FFunctionItems; }
  // Copies the given collection.
  void SetItems(const TqvFunctions& items);

 private:
  TqvFunctions* FFunctionItems;
};

}  // namespace vrnke
