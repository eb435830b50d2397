// Text controls: the styled control with a text, the label, the text box and the memo.
#pragma once

#include <string>

#include "toolkit/controls/shapes.h"
#include "toolkit/style.h"
#include "toolkit/text_state.h"

namespace tk {

// A styled control with a text. The style's "text" part (a TvgText) shows it; without one
// the control draws the text itself inside its padding.
// Published: Text (also "Caption"), Font, FontFill (objects), TextAlign, VertTextAlign,
// WordWrap, AutoTranslate; event OnChange is left to subclasses.
class TvgTextControl : public TvgStyledControl {
 public:
  explicit TvgTextControl(rt::TComponent* owner);
  std::string ClassName() const override { return "TvgTextControl"; }
  const std::string& Text() const { return state_.Text(); }
  virtual void SetText(const std::string& t);
  // The text as shown: passed through tk::Translate when AutoTranslate is on.
  const std::string& DisplayText() const { return state_.Shown(); }
  TFont& Font() { return state_.Font(); }
  const TFont& Font() const { return state_.Font(); }
  void SetFont(const TFont& f) { state_.Font().Assign(f); }
  TBrush& FontFill() { return fontFill_; }
  void SetFontFill(const TBrush& b) { fontFill_.Assign(b); }
  TTextAlign TextAlign() const { return state_.HorzAlign(); }
  void SetTextAlign(TTextAlign a) { state_.SetHorzAlign(a); }
  TTextAlign VertTextAlign() const { return state_.VertAlign(); }
  void SetVertTextAlign(TTextAlign a) { state_.SetVertAlign(a); }
  bool WordWrap() const { return state_.WordWrap(); }
  void SetWordWrap(bool w) { state_.SetWordWrap(w); }
  bool AutoTranslate() const { return state_.AutoTranslate(); }
  void SetAutoTranslate(bool a) { state_.SetAutoTranslate(a); }
  TvgText* TextObject() const { return textObject_; }
  void Retranslate() override;
  void Paint(TCanvas& canvas) override;
  void AssignFrom(const TVisualObject& source) override;
  // Width of a text in this control's font on one line.
  float TextWidth(const std::string& text) const;
  std::string GetData() const override { return state_.Text(); }
  void SetData(const std::string& value) override { SetText(value); }

 protected:
  void ApplyStyle() override;
  void FreeStyle() override;
  virtual void TextChanged() {}
  void UpdateTextObject();
  virtual bool DrawsOwnText() const { return true; }

 private:
  void StateChanged(TTextChange what);
  TTextState state_;
  TBrush fontFill_{TBrushKind::Solid, claBlack};
  TvgText* textObject_ = nullptr;
  bool fontSet_ = false, fillSet_ = false;  // set by the program: they override the style's
};

class TvgLabel : public TvgTextControl {
 public:
  explicit TvgLabel(rt::TComponent* owner);
  std::string ClassName() const override { return "TvgLabel"; }
};

// An editable (or read-only) one-line text. Published: ReadOnly, MaxLength; events OnChange,
// OnPaste. With no selection, the clipboard keys act on the whole text: Ctrl+C (Ctrl+Insert)
// copies it, Ctrl+X (Shift+Delete) cuts it, Ctrl+V (Shift+Insert) inserts the clipboard's text
// at the caret, up to its first line break (a memo keeps the breaks).
class TvgTextBox : public TvgTextControl {
 public:
  explicit TvgTextBox(rt::TComponent* owner);
  std::string ClassName() const override { return "TvgTextBox"; }
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool r) { readOnly_ = r; }
  int CaretPosition() const { return caret_; }  // in characters
  void SetCaretPosition(int p);
  void SetText(const std::string& t) override;
  void KeyDown(uint16_t& key, char32_t& keyChar, TShiftState shift) override;
  void MouseDown(TMouseButton button, TShiftState shift, float x, float y) override;
  void Paint(TCanvas& canvas) override;
  // Inserts text at the caret as a paste does (OnPaste first).
  void PasteText(std::string text);
  TNotifyEvent OnChange;
  // Before a paste, with the clipboard's text: the handler may change or empty it.
  TTextEvent OnPaste;

 protected:
  virtual bool MultiLine() const { return false; }
  // Handles a clipboard key; false when the key is none.
  bool ClipboardKey(uint16_t key, TShiftState shift);
  void EditChanged();
  int caret_ = 0;
  bool readOnly_ = false;
  int maxLength_ = 0;
};

// Several lines. Published: Lines (text with line breaks, same as Text).
class TvgMemo : public TvgTextBox {
 public:
  explicit TvgMemo(rt::TComponent* owner);
  std::string ClassName() const override { return "TvgMemo"; }
  std::vector<std::string> Lines() const;
  void SetLines(const std::vector<std::string>& lines);
  int LineCount() const { return static_cast<int>(Lines().size()); }
  float ScrollOffset() const { return scrollY_; }
  void MouseWheel(TShiftState shift, int delta, bool& handled) override;
  void Paint(TCanvas& canvas) override;

 protected:
  bool MultiLine() const override { return true; }

 private:
  float scrollY_ = 0;
};

}  // namespace tk
