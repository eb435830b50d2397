// The pop-up box and the string combo box.
#pragma once

#include <string>
#include <vector>

#include "toolkit/controls/popup.h"
#include "toolkit/controls/text_controls.h"

namespace tk {

// A button that shows the selected item and opens a list of the items.
// Published: Items (lines), ItemIndex; event OnChange.
class TvgPopupBox : public TvgTextControl {
 public:
  explicit TvgPopupBox(rt::TComponent* owner);
  ~TvgPopupBox() override;
  std::string ClassName() const override { return "TvgPopupBox"; }
  const std::vector<std::string>& Items() const { return items_; }
  void SetItems(const std::vector<std::string>& items);
  void AddItem(const std::string& item);
  void ClearItems();
  int ItemIndex() const { return itemIndex_; }
  void SetItemIndex(int index);  // -1 .. count-1, others raise rt::ERangeError; OnChange on change
  void Retranslate() override;
  void DropDown();  // opens the list
  // The data is the selected item's text; setting it selects the first item with that text.
  std::string GetData() const override { return itemIndex_ >= 0 ? items_[itemIndex_] : std::string(); }
  void SetData(const std::string& value) override;
  TvgPopup* ListPopup() const { return popup_; }
  void Click() override;
  void KeyDown(uint16_t& key, char32_t& keyChar, TShiftState shift) override;
  void Paint(TCanvas& canvas) override;
  TNotifyEvent OnChange;

 protected:
  void UpdateShownText();

 private:
  std::vector<std::string> items_;
  int itemIndex_ = -1;
  TvgPopup* popup_ = nullptr;
};

class TvgStringComboBox : public TvgPopupBox {
 public:
  explicit TvgStringComboBox(rt::TComponent* owner);
  std::string ClassName() const override { return "TvgStringComboBox"; }
  void Paint(TCanvas& canvas) override;
};

}  // namespace tk
