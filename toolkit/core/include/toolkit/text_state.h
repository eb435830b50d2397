// The state a piece of shown text carries: its source text, the text as shown (translated when
// AutoTranslate is on), font, alignment and wrapping. The text shape and the text controls
// hold one each and react to its changes in their own way.
#pragma once

#include <functional>
#include <string>

#include "toolkit/canvas.h"

namespace tk {

enum class TTextChange {
  Text,           // the shown text changed (a new text or a new translation)
  AutoTranslate,  // translation switched on or off
  Align,
  WordWrap,
  Font,
};

class TTextState {
 public:
  TTextState(bool wordWrap, std::function<void(TTextChange)> changed);
  TTextState(const TTextState&) = delete;
  TTextState& operator=(const TTextState&) = delete;

  const std::string& Text() const { return text_; }
  // The text as shown: passed through tk::Translate when AutoTranslate is on.
  const std::string& Shown() const { return shown_; }
  TFont& Font() { return font_; }
  const TFont& Font() const { return font_; }
  TTextAlign HorzAlign() const { return hAlign_; }
  TTextAlign VertAlign() const { return vAlign_; }
  bool WordWrap() const { return wordWrap_; }
  bool AutoTranslate() const { return autoTranslate_; }

  // Each setter reports a change, and only a change.
  void SetText(const std::string& t);
  void SetHorzAlign(TTextAlign a);
  void SetVertAlign(TTextAlign a);
  void SetWordWrap(bool w);
  void SetAutoTranslate(bool a);
  // Reads the translation again; reports Text when the shown text changed.
  void Retranslate();
  // Reads the translation again without reporting (a new style takes the text).
  void RefreshShown();

  void Paint(TCanvas& canvas, const TRectF& r, const TBrush& fill) const;

 private:
  std::string Translated() const;

  std::function<void(TTextChange)> changed_;
  std::string text_, shown_;
  TFont font_;
  TTextAlign hAlign_ = TTextAlign::Center, vAlign_ = TTextAlign::Center;
  bool wordWrap_, autoTranslate_ = true;
};

}  // namespace tk
