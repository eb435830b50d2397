// What the main window needs of its function menu: open it at the pointer with an item marked,
// and the captions of its items. A click on a leaf comes back through the window's
// qvMenuEx1ItemsClick. Tests put a scripted menu behind it.
#pragma once

#include <cstdint>
#include <string>

#include "menu/qvMenuEx.h"
#include "toolkit/controls.h"

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

// The window's own menu component.
class TMenuExLink : public TFunctionMenuLink {
 public:
  explicit TMenuExLink(TqvMenuEx& menu) : FMenu(menu) {}
  void ShowMainMenu(int64_t SelectedMenuID, tk::TVisualObject* PlacementTarget,
                    tk::TvgPlacement Placement) override {
    FMenu.ShowMainMenu(SelectedMenuID, PlacementTarget, Placement);
  }
  std::string ItemCaption(int top, int sub, int subsub) const override;
  TqvMenuEx& Menu() const { return FMenu; }

 private:
  TqvMenuEx& FMenu;
};

}  // namespace vrnke
