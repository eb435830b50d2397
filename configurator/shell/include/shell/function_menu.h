// What the main window needs of its function menu: open it at the pointer with an item marked,
// and the captions of its items. A click on a leaf comes back through the window's
// qvMenuEx1ItemsClick.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "toolkit/controls.h"
#include "toolkit/forms/form_loader.h"

namespace vrnke {

class TFunctionMenuLink {
 public:
  virtual ~TFunctionMenuLink() = default;
  virtual void ShowMainMenu(int64_t SelectedMenuID, tk::TVisualObject* PlacementTarget,
                            tk::TvgPlacement Placement) = 0;
  // Caption of the item at these 1-based positions; 0 for a level below the item. Empty when
  // there is no such item.
  virtual std::string ItemCaption(int top, int sub, int subsub) const = 0;
};

// The item tree as the stored description gives it (captions by position), read from the
// description's members of the menu component.
class TStoredMenuItems {
 public:
  TStoredMenuItems() = default;
  explicit TStoredMenuItems(const std::vector<tk::forms::FormMember>& menuMembers);
  std::string Caption(int top, int sub, int subsub) const;
  int Count() const { return static_cast<int>(FItems.size()); }

 private:
  struct TItem {
    std::string caption;
    std::vector<TItem> sub;
  };
  static std::vector<TItem> ReadItems(const std::vector<tk::forms::FormNode>& nodes);
  std::vector<TItem> FItems;
};

}  // namespace vrnke
