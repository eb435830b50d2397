#include "shell/qvCommandSetting.h"

#include <climits>
#include <unordered_set>

#include "runtime/errors.h"
#include "runtime/text.h"

namespace vrnke {

TqvCommand::TqvCommand() {
  PublishProperty(this, "Name", &TqvCommand::FName);
  PublishProperty(this, "Description", &TqvCommand::FDescription);
  PublishEvent("OnExecute", &FOnExecute);
}

std::string TqvCommand::GetDisplayName() const {
  return FName.empty() ? rt::TCollectionItem::GetDisplayName() : FName;
}

void TqvCommand::Assign(const rt::TCollectionItem& source) {
  if (const auto* other = dynamic_cast<const TqvCommand*>(&source)) {
    FName = other->FName;
    FDescription = other->FDescription;
    FOnExecute = other->FOnExecute;
    return;
  }
  rt::TCollectionItem::Assign(source);
}

TqvCommands::TqvCommands(TqvCommandSetting* owner) : TTypedCollection(owner), FOwner(owner) {}

void TqvCommands::SetItemName(rt::TCollectionItem* item) {
  auto* command = static_cast<TqvCommand*>(item);
  if (!command->Name().empty()) return;
  std::unordered_set<std::string> used;
  for (int i = 0; i < Count(); ++i) used.insert(rt::LowerCase(Items(i)->Name()));
  int n = 1;
  while (n < INT_MAX && used.count(rt::LowerCase(rt::Format("Command%d", n)))) ++n;
  command->SetName(rt::Format("Command%d", n));
}

TqvCommandSetting::TqvCommandSetting(rt::TComponent* AOwner)
    : rt::TComponent(AOwner), FCommands(new TqvCommands(this)) {
  PublishObject("Commands", FCommands);
}

TqvCommandSetting::~TqvCommandSetting() { delete FCommands; }

void TqvCommandSetting::SetCommands(const TqvCommands& commands) { FCommands->Assign(commands); }

bool TqvCommandSetting::Run(TqvGetSet type, void* buffer, int size) {
  if (size < 0) throw rt::ERangeError();
  for (int i = 0; i < FCommands->Count(); ++i) {
    // A handler may change the collection: the count is re-read every round, and the
    // handler is called through a copy so that deleting its own command is safe.
    const TOnGetAndSetSetting handler = FCommands->Items(i)->OnExecute();
    handler(type, buffer, static_cast<uint32_t>(size));
  }
  return true;
}

bool TqvCommandSetting::GetData(void* buffer, int size) { return Run(qvGet, buffer, size); }
bool TqvCommandSetting::SetData(void* buffer, int size) { return Run(qvSet, buffer, size); }

}  // namespace vrnke
