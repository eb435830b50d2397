#include "toolkit/text_state.h"

#include "toolkit/translate.h"

namespace tk {

TTextState::TTextState(bool wordWrap, std::function<void(TTextChange)> changed)
    : changed_(std::move(changed)), wordWrap_(wordWrap) {
  font_.OnChanged = [this] { changed_(TTextChange::Font); };
}

std::string TTextState::Translated() const { return autoTranslate_ ? Translate(text_) : text_; }

void TTextState::SetText(const std::string& t) {
  if (t == text_) return;
  text_ = t;
  shown_ = Translated();
  changed_(TTextChange::Text);
}

void TTextState::SetHorzAlign(TTextAlign a) {
  if (hAlign_ == a) return;
  hAlign_ = a;
  changed_(TTextChange::Align);
}

void TTextState::SetVertAlign(TTextAlign a) {
  if (vAlign_ == a) return;
  vAlign_ = a;
  changed_(TTextChange::Align);
}

void TTextState::SetWordWrap(bool w) {
  if (wordWrap_ == w) return;
  wordWrap_ = w;
  changed_(TTextChange::WordWrap);
}

void TTextState::SetAutoTranslate(bool a) {
  if (autoTranslate_ == a) return;
  autoTranslate_ = a;
  shown_ = Translated();
  changed_(TTextChange::AutoTranslate);
}

void TTextState::Retranslate() {
  std::string s = Translated();
  if (s == shown_) return;
  shown_ = std::move(s);
  changed_(TTextChange::Text);
}

void TTextState::RefreshShown() { shown_ = Translated(); }

void TTextState::Paint(TCanvas& canvas, const TRectF& r, const TBrush& fill) const {
  canvas.FillText(r, shown_, font_, fill, 1, wordWrap_, hAlign_, vAlign_);
}

}  // namespace tk
