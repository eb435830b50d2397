// The string grid.
#pragma once

#include <string>
#include <vector>

#include "toolkit/style.h"

namespace tk {

// A column of a string grid. Published: Header, Width, ReadOnly.
struct TGridColumn {
  std::string header;
  float width = 100;
  bool readOnly = false;
};

// A grid of texts with columns and a row selection; editable cells take typed text when the
// grid has focus. The clipboard keys act on the current cell: copy (a read-only one too), cut,
// and paste, which adds the clipboard's text up to its first line break to the cell's end.
// Published: RowCount, RowHeight, Selected, ColumnIndex; events OnChange (selection),
// OnEditingDone, OnPaste.
class TvgStringGrid : public TvgStyledControl {
 public:
  explicit TvgStringGrid(rt::TComponent* owner);
  std::string ClassName() const override { return "TvgStringGrid"; }
  int ColumnCount() const { return static_cast<int>(columns_.size()); }
  TGridColumn& Column(int index);  // rt::EListError outside
  void AddColumn(const std::string& header, float width, bool readOnly = false);
  int RowCount() const { return rowCount_; }
  void SetRowCount(int n);                                  // keeps the cells of the rows that stay
  const std::string& Cell(int col, int row) const;          // "" outside
  void SetCell(int col, int row, const std::string& text);  // rt::EListError outside
  int Selected() const { return selected_; }
  void SetSelected(int row);  // -1 .. RowCount-1
  int ColumnIndex() const { return columnIndex_; }
  void SetColumnIndex(int col);
  float RowHeight() const { return rowHeight_; }
  void SetRowHeight(float h);
  float HeaderHeight() const { return headerHeight_; }
  float ScrollOffset() const { return scrollY_; }
  void SetScrollOffset(float y);
  int RowAtPoint(float localY) const;

  void Paint(TCanvas& canvas) override;
  void MouseDown(TMouseButton button, TShiftState shift, float x, float y) override;
  void MouseWheel(TShiftState shift, int delta, bool& handled) override;
  void KeyDown(uint16_t& key, char32_t& keyChar, TShiftState shift) override;
  // Adds text to the current cell as a paste does (OnPaste first); nothing on a read-only one.
  void PasteText(std::string text);
  TNotifyEvent OnChange, OnEditingDone;
  // Before a paste, with the clipboard's text: the handler may change or empty it.
  TTextEvent OnPaste;

 private:
  bool CurrentCellEditable() const;
  std::string& CellRef(int col, int row);
  std::vector<TGridColumn> columns_;
  std::vector<std::vector<std::string>> cells_;  // [row][col]
  int rowCount_ = 0, selected_ = -1, columnIndex_ = 0;
  float rowHeight_ = 21, headerHeight_ = 22, scrollY_ = 0;
};

}  // namespace tk
