// The text control, the label, the text box and the memo.
#include <algorithm>
#include <cmath>

#include "controls_util.h"
#include "runtime/errors.h"
#include "runtime/text.h"
#include "toolkit/controls/text_controls.h"
#include "toolkit/scene.h"
#include "toolkit/translate.h"

namespace tk {

using namespace detail;

// --- text control ----------------------------------------------------------------------------

TvgTextControl::TvgTextControl(rt::TComponent* owner)
    : TvgStyledControl(owner), state_(false, [this](TTextChange what) { StateChanged(what); }) {
  fontFill_.OnChanged = [this] {
    fillSet_ = true;
    UpdateTextObject();
    Repaint();
  };
  PublishProperty(this, "Text", &TvgTextControl::Text, &TvgTextControl::SetText);
  PublishProperty(this, "Caption", &TvgTextControl::Text, &TvgTextControl::SetText);
  PublishObject("Font", &state_.Font());
  PublishObject("FontFill", &fontFill_);
  PublishProperty(this, "TextAlign", &TvgTextControl::TextAlign, &TvgTextControl::SetTextAlign);
  PublishProperty(this, "VertTextAlign", &TvgTextControl::VertTextAlign, &TvgTextControl::SetVertTextAlign);
  PublishProperty(this, "WordWrap", &TvgTextControl::WordWrap, &TvgTextControl::SetWordWrap);
  PublishProperty(this, "AutoTranslate", &TvgTextControl::AutoTranslate, &TvgTextControl::SetAutoTranslate);
}

void TvgTextControl::StateChanged(TTextChange what) {
  if (what == TTextChange::Font) fontSet_ = true;
  UpdateTextObject();
  if (what == TTextChange::Text) TextChanged();
  Repaint();
}

void TvgTextControl::SetText(const std::string& t) { state_.SetText(t); }

void TvgTextControl::Retranslate() {
  state_.Retranslate();
  TvgStyledControl::Retranslate();
}

void TvgTextControl::ApplyStyle() {
  textObject_ = dynamic_cast<TvgText*>(FindResource("text"));
  state_.RefreshShown();
  UpdateTextObject();
}

void TvgTextControl::FreeStyle() { textObject_ = nullptr; }

void TvgTextControl::UpdateTextObject() {
  if (!textObject_) return;
  textObject_->SetAutoTranslate(false);
  textObject_->SetText(state_.Shown());
  // The style's own font and colour stay until the control's are set.
  if (fontSet_) textObject_->Font().Assign(state_.Font());
  if (fillSet_) textObject_->Fill().Assign(fontFill_);
  textObject_->SetHorzTextAlign(state_.HorzAlign());
  textObject_->SetVertTextAlign(state_.VertAlign());
  textObject_->SetWordWrap(state_.WordWrap());
}

void TvgTextControl::Paint(TCanvas& canvas) {
  TvgStyledControl::Paint(canvas);
  if (textObject_ || !DrawsOwnText()) return;
  state_.Paint(canvas, Deflate(LocalRect(), Padding()), fontFill_);
}

void TvgTextControl::AssignFrom(const TVisualObject& source) {
  TvgStyledControl::AssignFrom(source);
  if (auto* s = dynamic_cast<const TvgTextControl*>(&source)) {
    fontSet_ = s->fontSet_;
    fillSet_ = s->fillSet_;
  }
}

float TvgTextControl::TextWidth(const std::string& text) const {
  const TFont& f = (fontSet_ || !textObject_) ? state_.Font() : textObject_->Font();
  return MeasureTextRect(text, f, {0, 0, 10000, std::max(1.f, Height())}, false).Width();
}

TvgLabel::TvgLabel(rt::TComponent* owner) : TvgTextControl(owner) {
  SetTextAlign(TTextAlign::Near);
  SetSize(120, 17);
}

// --- text box and memo -----------------------------------------------------------------------

TvgTextBox::TvgTextBox(rt::TComponent* owner) : TvgTextControl(owner) {
  SetAutoTranslate(false);  // what the user types is not a caption
  SetTextAlign(TTextAlign::Near);
  SetCanFocus(true);
  SetCursor(crIBeam);
  Padding().Set(3, 1, 3, 1);
  SetSize(100, 22);
  PublishProperty(this, "ReadOnly", &TvgTextBox::readOnly_, &TvgTextBox::readOnly_);
  PublishInt("MaxLength", &maxLength_);
  PublishEvent("OnChange", &OnChange);
  PublishEvent("OnPaste", &OnPaste);
}

void TvgTextBox::SetCaretPosition(int p) {
  const int n = int(ToU32(Text()).size());
  p = std::clamp(p, 0, n);
  if (p == caret_) return;
  caret_ = p;
  Repaint();
}

void TvgTextBox::SetText(const std::string& t) {
  TvgTextControl::SetText(t);
  caret_ = std::min(caret_, int(ToU32(Text()).size()));
}

void TvgTextBox::EditChanged() { OnChange(this); }

void TvgTextBox::PasteText(std::string text) {
  if (readOnly_) return;
  TObjectRef<TVisualObject> self(this);  // the handler may free this
  OnPaste(this, text);
  if (!self) return;
  std::u32string add = PastedText(text, MultiLine());
  std::u32string t = ToU32(Text());
  if (maxLength_ > 0) add.resize(std::min(add.size(), size_t(std::max(0, maxLength_ - int(t.size())))));
  if (add.empty()) return;
  caret_ = std::clamp(caret_, 0, int(t.size()));
  t.insert(size_t(caret_), add);
  caret_ += int(add.size());
  TvgTextControl::SetText(FromU32(t));
  Repaint();
  EditChanged();
}

bool TvgTextBox::ClipboardKey(uint16_t key, TShiftState shift) {
  switch (ClipboardKeyOf(key, shift)) {
    case TClipboardKey::None:
      return false;
    case TClipboardKey::Copy:
      if (!Text().empty()) CopyToClipboard(Text());  // nothing to copy leaves the clipboard as it is
      return true;
    case TClipboardKey::Cut:
      if (readOnly_ || Text().empty()) return true;
      CopyToClipboard(Text());
      caret_ = 0;
      TvgTextControl::SetText({});
      Repaint();
      EditChanged();
      return true;
    case TClipboardKey::Paste:
      PasteText(ClipboardText());
      return true;
  }
  return false;
}

void TvgTextBox::KeyDown(uint16_t& key, char32_t& keyChar, TShiftState shift) {
  TObjectRef<TVisualObject> self(this);  // the handler may free this
  TvgTextControl::KeyDown(key, keyChar, shift);
  if (!self) return;
  if (key == 0 && keyChar == 0) return;
  if (ClipboardKey(key, shift)) {
    key = 0;
    keyChar = 0;
    return;
  }
  std::u32string t = ToU32(Text());
  caret_ = std::clamp(caret_, 0, int(t.size()));
  auto commit = [&](int newCaret) {
    caret_ = newCaret;
    TvgTextControl::SetText(FromU32(t));
    Repaint();
    EditChanged();
  };
  switch (key) {
    case vk::Left:
      SetCaretPosition(caret_ - 1);
      key = 0;
      return;
    case vk::Right:
      SetCaretPosition(caret_ + 1);
      key = 0;
      return;
    case vk::Home:
      SetCaretPosition(0);
      key = 0;
      return;
    case vk::End:
      SetCaretPosition(int(t.size()));
      key = 0;
      return;
    case vk::Back:
      if (!readOnly_ && caret_ > 0) {
        t.erase(size_t(caret_ - 1), 1);
        commit(caret_ - 1);
      }
      key = 0;
      keyChar = 0;
      return;
    case vk::Delete:
      if (!readOnly_ && caret_ < int(t.size())) {
        t.erase(size_t(caret_), 1);
        commit(caret_);
      }
      key = 0;
      return;
    case vk::Return:
      if (MultiLine() && !readOnly_) {
        t.insert(size_t(caret_), 1, U'\n');
        commit(caret_ + 1);
        key = 0;
        keyChar = 0;
      }
      return;
    default:
      break;
  }
  if (keyChar >= 32 && keyChar != 127 && !readOnly_) {
    if (maxLength_ <= 0 || int(t.size()) < maxLength_) {
      t.insert(size_t(caret_), 1, keyChar);
      commit(caret_ + 1);
    }
    keyChar = 0;
    key = 0;
  }
}

void TvgTextBox::MouseDown(TMouseButton button, TShiftState shift, float x, float y) {
  TObjectRef<TVisualObject> self(this);  // the handler may free this
  TvgTextControl::MouseDown(button, shift, x, y);
  if (!self) return;
  if (button != TMouseButton::mbLeft || MultiLine()) return;
  // The caret goes to the character boundary nearest to the pointer.
  const std::u32string t = ToU32(DisplayText());
  const float left = Padding().left;
  int best = int(t.size());
  float prev = left;
  for (size_t i = 1; i <= t.size(); ++i) {
    const float w = left + TextWidth(FromU32(t.substr(0, i)));
    if (x < (prev + w) / 2) {
      best = int(i) - 1;
      break;
    }
    prev = w;
  }
  SetCaretPosition(best);
}

void TvgTextBox::Paint(TCanvas& canvas) {
  TvgStyledControl::Paint(canvas);
  if (!StyleApplied()) {
    TBrush back(TBrushKind::Solid, readOnly_ ? 0xFFF4F4F4 : claWhite), border(TBrushKind::Solid, 0xFF7A7A7A);
    canvas.FillRect(LocalRect(), 2, 2, crnAll, 1, back);
    canvas.DrawRect(LocalRect().Inflate(-0.5f, -0.5f), 2, 2, crnAll, 1, border, 1);
  }
  if (!TextObject())
    canvas.FillText(Deflate(LocalRect(), Padding()), DisplayText(), Font(), FontFill(), 1, false, TextAlign(),
                    VertTextAlign());
  if (IsFocused() && !readOnly_) {
    const std::u32string t = ToU32(DisplayText());
    float left = Padding().left;
    if (TvgText* to = TextObject()) left = to->AbsoluteRect().left - AbsoluteRect().left + to->Padding().left;
    const float x = left + TextWidth(FromU32(t.substr(0, size_t(std::clamp(caret_, 0, int(t.size()))))));
    TBrush caret(TBrushKind::Solid, claBlack);
    canvas.DrawLine({x + 0.5f, 3}, {x + 0.5f, Height() - 3}, 1, caret, 1);
  }
}

TvgMemo::TvgMemo(rt::TComponent* owner) : TvgTextBox(owner) {
  SetVertTextAlign(TTextAlign::Near);
  SetWordWrap(false);
  SetSize(200, 120);
  PublishProperty(this, "Lines", &TvgMemo::Text, &TvgMemo::SetText);
}

std::vector<std::string> TvgMemo::Lines() const {
  if (Text().empty()) return {};
  auto lines = SplitLines(Text());
  if (!lines.empty() && lines.back().empty()) lines.pop_back();
  return lines;
}

void TvgMemo::SetLines(const std::vector<std::string>& lines) {
  SetText(JoinLines(lines));
  caret_ = 0;
}

void TvgMemo::MouseWheel(TShiftState shift, int delta, bool& handled) {
  TObjectRef<TVisualObject> self(this);  // the handler may free this
  TvgTextBox::MouseWheel(shift, delta, handled);
  if (!self) return;
  if (handled) return;
  const float lineH = MeasureTextRect("Wg", Font(), {0, 0, 1000, 1000}, false).Height();
  const float total = lineH * float(std::max<size_t>(1, SplitLines(Text()).size()));
  const float maxScroll = std::max(0.f, total - (Height() - Padding().top - Padding().bottom));
  const float next = std::clamp(scrollY_ - float(delta) / 120.f * 3 * lineH, 0.f, maxScroll);
  if (next != scrollY_) {
    scrollY_ = next;
    Repaint();
  }
  handled = true;
}

void TvgMemo::Paint(TCanvas& canvas) {
  TvgStyledControl::Paint(canvas);
  TBrush back(TBrushKind::Solid, claWhite), border(TBrushKind::Solid, 0xFF7A7A7A);
  if (!StyleApplied()) {
    canvas.FillRect(LocalRect(), 0, 0, crnAll, 1, back);
    canvas.DrawRect(LocalRect().Inflate(-0.5f, -0.5f), 0, 0, crnAll, 1, border, 1);
  }
  canvas.Save();
  const TRectF inner = Deflate(LocalRect(), Padding());
  canvas.IntersectClipRect(inner);
  canvas.FillText({inner.left, inner.top - scrollY_, inner.right, inner.top - scrollY_ + 100000},
                  DisplayText(), Font(), FontFill(), 1, WordWrap(), TTextAlign::Near, TTextAlign::Near);
  canvas.Restore();
}

}  // namespace tk
