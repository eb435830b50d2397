// A non-visual component holding named commands; SetData / GetData hand one buffer to
// every command's OnExecute handler in collection order.
#pragma once

#include <cstdint>
#include <string>

#include "runtime/collection.h"
#include "runtime/component.h"
#include "runtime/event.h"

namespace vrnke {

enum TqvGetSet : int { qvGet = 0, qvSet = 1 };

// (AType, Buffer, BufferSize): the handler moves its settings out of or into Buffer.
using TOnGetAndSetSetting = rt::TEvent<TqvGetSet, void*, uint32_t>;

class TqvCommandSetting;

class TqvCommand : public rt::TCollectionItem {
 public:
  TqvCommand();
  std::string ClassName() const override { return "TqvCommand"; }

  const std::string& Name() const { return FName; }
  void SetName(const std::string& name) { FName = name; }
  const std::string& Description() const { return FDescription; }
  void SetDescription(const std::string& text) { FDescription = text; }
  TOnGetAndSetSetting& OnExecute() { return FOnExecute; }
  const TOnGetAndSetSetting& OnExecute() const { return FOnExecute; }

  std::string GetDisplayName() const override;
  void Assign(const rt::TCollectionItem& source) override;

 private:
  std::string FName;
  std::string FDescription;
  TOnGetAndSetSetting FOnExecute;
};

class TqvCommands : public rt::TTypedCollection<TqvCommand, rt::TOwnedCollection> {
 public:
  explicit TqvCommands(TqvCommandSetting* owner);
  std::string ClassName() const override { return "TqvCommands"; }
  TqvCommandSetting* Owner() const { return FOwner; }

 protected:
  // An unnamed new command becomes "Command<n>", n the smallest number no command uses.
  void SetItemName(rt::TCollectionItem* item) override;

 private:
  TqvCommandSetting* FOwner;
};

class TqvCommandSetting : public rt::TComponent {
 public:
  explicit TqvCommandSetting(rt::TComponent* AOwner);
  ~TqvCommandSetting() override;
  std::string ClassName() const override { return "TqvCommandSetting"; }

  TqvCommands& Commands() { return *FCommands; }
  const TqvCommands& Commands() const { return *FCommands; }
  // Copies the given collection's commands.
  void SetCommands(const TqvCommands& commands);

  // Calls every assigned OnExecute with qvGet / qvSet; a negative size raises ERangeError
  // before any handler runs. Always True otherwise.
  bool GetData(void* buffer, int size);
  bool SetData(void* buffer, int size);

 private:
  bool Run(TqvGetSet type, void* buffer, int size);
  TqvCommands* FCommands;
};

}  // namespace vrnke
