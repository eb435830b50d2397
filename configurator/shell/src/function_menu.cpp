#include "shell/function_menu.h"

#include "runtime/text.h"

namespace vrnke {

using tk::forms::FormMember;
using tk::forms::MemberKind;

TStoredMenuItems::TStoredMenuItems(const std::vector<FormMember>& menuMembers) {
  for (const FormMember& m : menuMembers)
    if (m.kind == MemberKind::Collection && rt::SameText(m.name, "Items")) FItems = ReadItems(m.nodes);
}

std::vector<TStoredMenuItems::TItem> TStoredMenuItems::ReadItems(
    const std::vector<tk::forms::FormNode>& nodes) {
  std::vector<TItem> items;
  for (const tk::forms::FormNode& node : nodes) {
    TItem item;
    for (const FormMember& m : node.members) {
      if (m.kind == MemberKind::Property && rt::SameText(m.name, "Caption")) item.caption = m.value.text;
      if (m.kind == MemberKind::Collection && rt::SameText(m.name, "SubItems")) item.sub = ReadItems(m.nodes);
    }
    items.push_back(std::move(item));
  }
  return items;
}

std::string TStoredMenuItems::Caption(int top, int sub, int subsub) const {
  const auto at = [](const std::vector<TItem>& level, int position) -> const TItem* {
    return position >= 1 && position <= static_cast<int>(level.size()) ? &level[size_t(position - 1)]
                                                                       : nullptr;
  };
  const TItem* item = at(FItems, top);
  if (item && sub > 0) item = at(item->sub, sub);
  if (item && sub > 0 && subsub > 0) item = at(item->sub, subsub);
  return item ? item->caption : std::string();
}

}  // namespace vrnke
