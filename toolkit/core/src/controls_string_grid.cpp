// The string grid.
#include <algorithm>
#include <cmath>

#include "controls_util.h"
#include "runtime/errors.h"
#include "runtime/text.h"
#include "toolkit/controls/string_grid.h"
#include "toolkit/scene.h"
#include "toolkit/translate.h"

namespace tk {

using namespace detail;

// --- string grid -----------------------------------------------------------------------------

TvgStringGrid::TvgStringGrid(rt::TComponent* owner) : TvgStyledControl(owner) {
  SetCanFocus(true);
  SetClipChildren(true);
  SetSize(320, 200);
  PublishProperty(this, "RowCount", &TvgStringGrid::rowCount_, &TvgStringGrid::SetRowCount);
  PublishProperty(this, "RowHeight", &TvgStringGrid::rowHeight_, &TvgStringGrid::SetRowHeight);
  PublishProperty(this, "Selected", &TvgStringGrid::selected_, &TvgStringGrid::SetSelected);
  PublishProperty(this, "ColumnIndex", &TvgStringGrid::columnIndex_, &TvgStringGrid::SetColumnIndex);
  PublishEvent("OnChange", &OnChange);
  PublishEvent("OnEditingDone", &OnEditingDone);
  PublishEvent("OnPaste", &OnPaste);
}

TGridColumn& TvgStringGrid::Column(int index) {
  if (index < 0 || index >= ColumnCount()) throw rt::EListError(index);
  return columns_[index];
}

void TvgStringGrid::AddColumn(const std::string& header, float width, bool readOnly) {
  columns_.push_back({header, width, readOnly});
  for (auto& row : cells_) row.resize(columns_.size());
  Repaint();
}

void TvgStringGrid::SetRowCount(int n) {
  if (n < 0) throw rt::ERangeError(rt::Format("Row count %d out of range", n));
  if (n == rowCount_) return;
  rowCount_ = n;
  cells_.resize(size_t(n), std::vector<std::string>(columns_.size()));
  if (selected_ >= n) selected_ = n - 1;
  SetScrollOffset(scrollY_);
  Repaint();
}

const std::string& TvgStringGrid::Cell(int col, int row) const {
  static const std::string empty;
  if (col < 0 || col >= ColumnCount() || row < 0 || row >= rowCount_) return empty;
  return cells_[row][col];
}

std::string& TvgStringGrid::CellRef(int col, int row) {
  if (col < 0 || col >= ColumnCount()) throw rt::EListError(col);
  if (row < 0 || row >= rowCount_) throw rt::EListError(row);
  return cells_[row][col];
}

void TvgStringGrid::SetCell(int col, int row, const std::string& text) {
  std::string& c = CellRef(col, row);
  if (c == text) return;
  c = text;
  Repaint();
}

void TvgStringGrid::SetSelected(int row) {
  row = std::clamp(row, -1, rowCount_ - 1);
  if (row == selected_) return;
  selected_ = row;
  if (row >= 0) {
    // Keep the selected row in view.
    const float top = float(row) * rowHeight_, view = Height() - headerHeight_;
    if (top < scrollY_)
      SetScrollOffset(top);
    else if (top + rowHeight_ > scrollY_ + view)
      SetScrollOffset(top + rowHeight_ - view);
  }
  Repaint();
  OnChange(this);
}

void TvgStringGrid::SetColumnIndex(int col) {
  col = std::clamp(col, 0, std::max(0, ColumnCount() - 1));
  if (col == columnIndex_) return;
  columnIndex_ = col;
  Repaint();
}

void TvgStringGrid::SetRowHeight(float h) {
  if (h <= 0 || h == rowHeight_) return;
  rowHeight_ = h;
  Repaint();
}

void TvgStringGrid::SetScrollOffset(float y) {
  const float maxY = std::max(0.f, float(rowCount_) * rowHeight_ - (Height() - headerHeight_));
  y = std::clamp(y, 0.f, maxY);
  if (y == scrollY_) return;
  scrollY_ = y;
  Repaint();
}

int TvgStringGrid::RowAtPoint(float localY) const {
  if (localY < headerHeight_) return -1;
  const int r = int(std::floor((localY - headerHeight_ + scrollY_) / rowHeight_));
  return r >= 0 && r < rowCount_ ? r : -1;
}

void TvgStringGrid::Paint(TCanvas& canvas) {
  TvgStyledControl::Paint(canvas);
  TBrush back(TBrushKind::Solid, claWhite), line(TBrushKind::Solid, 0xFFDADADA),
      head(TBrushKind::Solid, 0xFFF0F0F0);
  TBrush sel(TBrushKind::Solid, 0xFFCCE8FF), cellSel(TBrushKind::Solid, 0xFF99D1FF),
      text(TBrushKind::Solid, claBlack);
  TBrush border(TBrushKind::Solid, 0xFF8A8A8A);
  TFont font;
  canvas.FillRect(LocalRect(), 0, 0, crnAll, 1, back);
  const int first = std::max(0, int(scrollY_ / rowHeight_));
  const int last = std::min(rowCount_ - 1, int((scrollY_ + Height()) / rowHeight_) + 1);
  canvas.Save();
  canvas.IntersectClipRect({0, headerHeight_, Width(), Height()});
  for (int r = first; r <= last; ++r) {
    const float y = headerHeight_ + float(r) * rowHeight_ - scrollY_;
    if (r == selected_) canvas.FillRect({0, y, Width(), y + rowHeight_}, 0, 0, crnAll, 1, sel);
    float x = 0;
    for (int c = 0; c < ColumnCount(); ++c) {
      const TRectF cell{x, y, x + columns_[c].width, y + rowHeight_};
      if (r == selected_ && c == columnIndex_ && IsFocused() && !columns_[c].readOnly)
        canvas.FillRect(cell, 0, 0, crnAll, 1, cellSel);
      canvas.FillText(cell.Inflate(-3, 0), cells_[r][c], font, text, 1, false, TTextAlign::Near,
                      TTextAlign::Center);
      canvas.DrawLine({cell.right - 0.5f, y}, {cell.right - 0.5f, y + rowHeight_}, 1, line, 1);
      x = cell.right;
    }
    canvas.DrawLine({0, y + rowHeight_ - 0.5f}, {Width(), y + rowHeight_ - 0.5f}, 1, line, 1);
  }
  canvas.Restore();
  canvas.FillRect({0, 0, Width(), headerHeight_}, 0, 0, crnAll, 1, head);
  float x = 0;
  for (const auto& c : columns_) {
    canvas.FillText({x + 3, 0, x + c.width - 3, headerHeight_}, c.header, font, text, 1, false,
                    TTextAlign::Near, TTextAlign::Center);
    x += c.width;
    canvas.DrawLine({x - 0.5f, 0}, {x - 0.5f, headerHeight_}, 1, border, 1);
  }
  canvas.DrawRect(LocalRect().Inflate(-0.5f, -0.5f), 0, 0, crnAll, 1, border, 1);
}

void TvgStringGrid::MouseDown(TMouseButton button, TShiftState shift, float x, float y) {
  TObjectRef<TVisualObject> self(this);  // the handler may free this
  TvgStyledControl::MouseDown(button, shift, x, y);
  if (!self) return;
  if (button != TMouseButton::mbLeft) return;
  const int r = RowAtPoint(y);
  if (r < 0) return;
  float cx = 0;
  for (int c = 0; c < ColumnCount(); ++c) {
    if (x >= cx && x < cx + columns_[c].width) SetColumnIndex(c);
    cx += columns_[c].width;
  }
  SetSelected(r);
}

void TvgStringGrid::MouseWheel(TShiftState shift, int delta, bool& handled) {
  TObjectRef<TVisualObject> self(this);  // the handler may free this
  TvgStyledControl::MouseWheel(shift, delta, handled);
  if (!self) return;
  if (handled) return;
  const float before = scrollY_;
  SetScrollOffset(scrollY_ - float(delta) / 120.f * 3 * rowHeight_);
  handled = before != scrollY_;
}

bool TvgStringGrid::CurrentCellEditable() const {
  return selected_ >= 0 && selected_ < rowCount_ && columnIndex_ < ColumnCount() &&
         !columns_[columnIndex_].readOnly;
}

void TvgStringGrid::PasteText(std::string text) {
  if (!CurrentCellEditable()) return;
  TObjectRef<TVisualObject> self(this);  // the handler may free this
  OnPaste(this, text);
  if (!self || !CurrentCellEditable()) return;
  const std::u32string add = PastedText(text, false);
  if (add.empty()) return;
  std::string& cell = cells_[selected_][columnIndex_];
  cell = FromU32(ToU32(cell) + add);
  Repaint();
}

void TvgStringGrid::KeyDown(uint16_t& key, char32_t& keyChar, TShiftState shift) {
  TObjectRef<TVisualObject> self(this);  // the handler may free this
  TvgStyledControl::KeyDown(key, keyChar, shift);
  if (!self) return;
  if (key == 0 && keyChar == 0) return;
  const int page = std::max(1, int((Height() - headerHeight_) / rowHeight_));
  switch (key) {
    case vk::Up:
      if (selected_ > 0) SetSelected(selected_ - 1);
      key = 0;
      return;
    case vk::Down:
      if (selected_ + 1 < rowCount_) SetSelected(selected_ + 1);
      key = 0;
      return;
    case vk::Prior:
      SetSelected(std::max(0, selected_ - page));
      key = 0;
      return;
    case vk::Next:
      SetSelected(std::min(rowCount_ - 1, selected_ + page));
      key = 0;
      return;
    case vk::Left:
      SetColumnIndex(columnIndex_ - 1);
      key = 0;
      return;
    case vk::Right:
      SetColumnIndex(columnIndex_ + 1);
      key = 0;
      return;
    default:
      break;
  }
  if (const TClipboardKey action = ClipboardKeyOf(key, shift); action != TClipboardKey::None) {
    key = 0;
    keyChar = 0;
    if (selected_ < 0) return;
    if (action == TClipboardKey::Paste) {
      PasteText(ClipboardText());
    } else if (!Cell(columnIndex_, selected_).empty()) {  // an empty cell leaves the clipboard as it is
      CopyToClipboard(Cell(columnIndex_, selected_));
      if (action == TClipboardKey::Cut && CurrentCellEditable()) {
        cells_[selected_][columnIndex_].clear();
        Repaint();
      }
    }
    return;
  }
  if (!CurrentCellEditable()) return;
  std::string& cell = cells_[selected_][columnIndex_];
  if (key == vk::Back) {
    std::u32string t = ToU32(cell);
    if (!t.empty()) {
      t.pop_back();
      cell = FromU32(t);
      Repaint();
    }
    key = 0;
    keyChar = 0;
  } else if (key == vk::Delete) {
    cell.clear();
    Repaint();
    key = 0;
  } else if (key == vk::Return) {
    OnEditingDone(this);
    key = 0;
    keyChar = 0;
  } else if (keyChar >= 32 && keyChar != 127) {
    cell = FromU32(ToU32(cell) + keyChar);
    Repaint();
    key = 0;
    keyChar = 0;
  }
}

}  // namespace tk
