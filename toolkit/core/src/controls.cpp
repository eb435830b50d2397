#include "toolkit/controls.h"

#include <algorithm>
#include <cmath>

#include "runtime/errors.h"
#include "runtime/text.h"
#include "toolkit/translate.h"

namespace tk {

namespace {

std::u32string ToU32(const std::string& s) {
  std::u32string out;
  const std::u16string u16 = rt::Utf8ToUtf16(s);
  for (size_t i = 0; i < u16.size(); ++i) {
    char32_t c = u16[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < u16.size()) {
      c = 0x10000 + ((c - 0xD800) << 10) + (u16[i + 1] - 0xDC00);
      ++i;
    }
    out += c;
  }
  return out;
}

std::string FromU32(const std::u32string& s) {
  std::u16string u16;
  for (char32_t c : s) {
    if (c >= 0x10000) {
      c -= 0x10000;
      u16 += char16_t(0xD800 + (c >> 10));
      u16 += char16_t(0xDC00 + (c & 0x3FF));
    } else {
      u16 += char16_t(c);
    }
  }
  return rt::Utf16ToUtf8(u16);
}

std::vector<std::string> SplitLines(const std::string& s) {
  std::vector<std::string> out;
  size_t a = 0;
  while (true) {
    size_t b = s.find('\n', a);
    std::string line = s.substr(a, b == std::string::npos ? std::string::npos : b - a);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    out.push_back(line);
    if (b == std::string::npos) break;
    a = b + 1;
  }
  return out;
}

std::string JoinLines(const std::vector<std::string>& lines) {
  std::string s;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i) s += '\n';
    s += lines[i];
  }
  return s;
}

TRectF Deflate(const TRectF& r, const TBounds& b) {
  return {r.left + b.left, r.top + b.top, r.right - b.right, r.bottom - b.bottom};
}
}  // namespace

// --- layout and shapes -----------------------------------------------------------------------

TvgLayout::TvgLayout(rt::TComponent* owner) : TVisualObject(owner) { SetHitTest(false); }

TvgShape::TvgShape(rt::TComponent* owner) : TVisualObject(owner) {
  fill_.OnChanged = [this] { Repaint(); };
  stroke_.OnChanged = [this] { Repaint(); };
  PublishObject("Fill", &fill_);
  PublishObject("Stroke", &stroke_);
  PublishProperty(this, "StrokeThickness", &TvgShape::thickness_, &TvgShape::SetStrokeThickness);
}

void TvgShape::SetStrokeThickness(float t) {
  t = std::max(0.f, t);
  if (thickness_ == t) return;
  thickness_ = t;
  Repaint();
}

void TvgShape::AssignFrom(const TVisualObject& source) { TVisualObject::AssignFrom(source); }

TRectF TvgShape::ShapeRect() const {
  const float h = stroke_.IsVisible() ? thickness_ / 2 : 0;
  return LocalRect().Inflate(-h, -h);
}

TvgRectangle::TvgRectangle(rt::TComponent* owner) : TvgShape(owner) {
  PublishFloat(
      "XRadius", [this] { return xRadius_; }, [this](float v) { SetRadius(v, yRadius_); });
  PublishFloat(
      "YRadius", [this] { return yRadius_; }, [this](float v) { SetRadius(xRadius_, v); });
  Publish(
      "Corners",
      [this] {
        if (corners_ == crnAll) return std::string("All");
        std::string s;
        const char* names[] = {"TopLeft", "TopRight", "BottomLeft", "BottomRight"};
        for (int i = 0; i < 4; ++i)
          if (corners_ & (1u << i)) {
            if (!s.empty()) s += ',';
            s.append(names[i]);
          }
        return s;
      },
      [this](const std::string& v) {
        uint32_t c = 0;
        std::string t;
        for (char ch : v) t += (ch == '[' || ch == ']' || ch == ' ') ? ',' : ch;
        size_t a = 0;
        while (a <= t.size()) {
          size_t b = t.find(',', a);
          std::string part = t.substr(a, b == std::string::npos ? std::string::npos : b - a);
          a = b == std::string::npos ? t.size() + 1 : b + 1;
          if (part.empty()) continue;
          if (part.size() > 3 && rt::SameText(part.substr(0, 3), "crn")) part = part.substr(3);
          if (rt::SameText(part, "All"))
            c |= crnAll;
          else if (rt::SameText(part, "TopLeft"))
            c |= crnTopLeft;
          else if (rt::SameText(part, "TopRight"))
            c |= crnTopRight;
          else if (rt::SameText(part, "BottomLeft"))
            c |= crnBottomLeft;
          else if (rt::SameText(part, "BottomRight"))
            c |= crnBottomRight;
          else if (rt::SameText(part, "None"))
            c |= 0;
          else
            throw rt::EConvertError("'" + part + "' is not a corner");
        }
        SetCorners(c);
      });
}

void TvgRectangle::SetRadius(float x, float y) {
  if (x == xRadius_ && y == yRadius_) return;
  xRadius_ = std::max(0.f, x);
  yRadius_ = std::max(0.f, y);
  Repaint();
}

void TvgRectangle::SetCorners(uint32_t c) {
  if (corners_ == c) return;
  corners_ = c;
  Repaint();
}

void TvgRectangle::Paint(TCanvas& canvas) {
  const TRectF r = ShapeRect();
  canvas.FillRect(r, xRadius_, yRadius_, corners_, 1, Fill());
  canvas.DrawRect(r, xRadius_, yRadius_, corners_, 1, Stroke(), StrokeThickness());
}

TvgEllipse::TvgEllipse(rt::TComponent* owner) : TvgShape(owner) {}

void TvgEllipse::Paint(TCanvas& canvas) {
  const TRectF r = ShapeRect();
  canvas.FillEllipse(r, 1, Fill());
  canvas.DrawEllipse(r, 1, Stroke(), StrokeThickness());
}

TvgPath::TvgPath(rt::TComponent* owner) : TvgShape(owner) {
  Publish(
      "Data", [this] { return data_.Data(); }, [this](const std::string& v) { SetData(v); });
  Publish(
      "WrapMode",
      [this] {
        switch (wrap_) {
          case TPathWrap::Original:
            return std::string("Original");
          case TPathWrap::Fit:
            return std::string("Fit");
          default:
            return std::string("Stretch");
        }
      },
      [this](const std::string& v) {
        std::string t = v;
        if (t.size() > 2 && rt::SameText(t.substr(0, 2), "pw")) t = t.substr(2);
        if (rt::SameText(t, "Original"))
          SetWrapMode(TPathWrap::Original);
        else if (rt::SameText(t, "Fit"))
          SetWrapMode(TPathWrap::Fit);
        else if (rt::SameText(t, "Stretch"))
          SetWrapMode(TPathWrap::Stretch);
        else
          throw rt::EConvertError("'" + v + "' is not a path wrap mode");
      });
}

void TvgPath::SetData(const std::string& d) {
  if (d == data_.Data()) return;
  data_.SetData(d);
  Repaint();
}

void TvgPath::SetWrapMode(TPathWrap w) {
  if (wrap_ == w) return;
  wrap_ = w;
  Repaint();
}

void TvgPath::Paint(TCanvas& canvas) {
  if (data_.IsEmpty()) return;
  const TPathData p =
      wrap_ == TPathWrap::Original ? data_ : FitPath(data_, ShapeRect(), wrap_ == TPathWrap::Fit);
  canvas.FillPath(p, 1, Fill());
  canvas.DrawPath(p, 1, Stroke(), StrokeThickness());
}

// --- text shape ------------------------------------------------------------------------------

TvgText::TvgText(rt::TComponent* owner)
    : TvgShape(owner), state_(true, [this](TTextChange what) {
        if (what == TTextChange::Align)
          Repaint();
        else
          Changed();
      }) {
  Fill().SetColor(claBlack);
  Stroke().SetKind(TBrushKind::None);
  SetHitTest(false);
  PublishProperty(this, "Text", &TvgText::Text, &TvgText::SetText);
  PublishObject("Font", &state_.Font());
  PublishProperty(this, "HorzTextAlign", &TvgText::HorzTextAlign, &TvgText::SetHorzTextAlign);
  PublishProperty(this, "VertTextAlign", &TvgText::VertTextAlign, &TvgText::SetVertTextAlign);
  PublishProperty(this, "WordWrap", &TvgText::WordWrap, &TvgText::SetWordWrap);
  PublishProperty(this, "AutoSize", &TvgText::autoSize_, &TvgText::SetAutoSize);
  PublishProperty(this, "AutoTranslate", &TvgText::AutoTranslate, &TvgText::SetAutoTranslate);
}

void TvgText::Retranslate() {
  state_.Retranslate();
  TVisualObject::Retranslate();
}

void TvgText::SetAutoSize(bool a) {
  if (autoSize_ == a) return;
  autoSize_ = a;
  Changed();
}

void TvgText::Changed() {
  if (autoSize_ && Align() == TvgAlign::vaNone) {
    const bool wrap = state_.WordWrap();
    const TRectF m =
        MeasureTextRect(state_.Shown(), state_.Font(), {0, 0, wrap ? Width() : 10000, 10000}, wrap);
    SetSize(wrap ? Width() : m.Width() + Padding().left + Padding().right,
            m.Height() + Padding().top + Padding().bottom);
  }
  Repaint();
}

void TvgText::Paint(TCanvas& canvas) { state_.Paint(canvas, Deflate(LocalRect(), Padding()), Fill()); }

void TvgText::AssignFrom(const TVisualObject& source) { TvgShape::AssignFrom(source); }

// --- image -----------------------------------------------------------------------------------

TvgImage::TvgImage(rt::TComponent* owner) : TVisualObject(owner) {
  bitmap_.OnChanged = [this] { Repaint(); };
  PublishObject("Bitmap", &bitmap_);
  Publish(
      "WrapMode",
      [this] {
        switch (wrap_) {
          case TImageWrap::Original:
            return std::string("Original");
          case TImageWrap::Fit:
            return std::string("Fit");
          case TImageWrap::Stretch:
            return std::string("Stretch");
          case TImageWrap::Tile:
            return std::string("Tile");
        }
        return std::string("Fit");
      },
      [this](const std::string& v) {
        std::string t = v;
        if (t.size() > 7 && rt::SameText(t.substr(0, 7), "vgImage")) t = t.substr(7);
        if (rt::SameText(t, "Original"))
          SetWrapMode(TImageWrap::Original);
        else if (rt::SameText(t, "Fit"))
          SetWrapMode(TImageWrap::Fit);
        else if (rt::SameText(t, "Stretch"))
          SetWrapMode(TImageWrap::Stretch);
        else if (rt::SameText(t, "Tile"))
          SetWrapMode(TImageWrap::Tile);
        else
          throw rt::EConvertError("'" + v + "' is not an image wrap mode");
      });
}

void TvgImage::SetWrapMode(TImageWrap w) {
  if (wrap_ == w) return;
  wrap_ = w;
  Repaint();
}

void TvgImage::Paint(TCanvas& canvas) {
  if (bitmap_.IsEmpty()) return;
  const float bw = float(bitmap_.Width()), bh = float(bitmap_.Height());
  const TRectF src{0, 0, bw, bh};
  switch (wrap_) {
    case TImageWrap::Original:
      canvas.DrawBitmap(bitmap_, src, src, 1);
      break;
    case TImageWrap::Stretch:
      canvas.DrawBitmap(bitmap_, src, LocalRect(), 1);
      break;
    case TImageWrap::Fit: {
      const float s = std::min(Width() / bw, Height() / bh);
      const float w = bw * s, h = bh * s;
      canvas.DrawBitmap(bitmap_, src, TRectF::FromSize((Width() - w) / 2, (Height() - h) / 2, w, h), 1);
      break;
    }
    case TImageWrap::Tile:
      canvas.Save();
      canvas.IntersectClipRect(LocalRect());
      for (float y = 0; y < Height(); y += bh)
        for (float x = 0; x < Width(); x += bw) canvas.DrawBitmap(bitmap_, src, src.Offset(x, y), 1, true);
      canvas.Restore();
      break;
  }
}

void TvgImage::AssignFrom(const TVisualObject& source) { TVisualObject::AssignFrom(source); }

int TvgImageList::Add(const TBitmap& b) {
  images_.push_back(std::make_unique<TBitmap>(b));
  return Count() - 1;
}

void TvgImageList::Assign(const TvgImageList& other) {
  if (&other == this) return;
  images_.clear();
  for (const auto& b : other.images_) images_.push_back(std::make_unique<TBitmap>(*b));
}

const TBitmap& TvgImageList::Bitmap(int index) const {
  if (index < 0 || index >= Count()) throw rt::EListError(index);
  return *images_[index];
}

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

void TvgTextBox::KeyDown(uint16_t& key, char32_t& keyChar, TShiftState shift) {
  TObjectRef<TVisualObject> self(this);  // the handler may free this
  TvgTextControl::KeyDown(key, keyChar, shift);
  if (!self) return;
  if (key == 0 && keyChar == 0) return;
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

// --- buttons ---------------------------------------------------------------------------------

TvgButton::TvgButton(rt::TComponent* owner) : TvgTextControl(owner) {
  SetCanFocus(true);
  SetSize(80, 22);
  PublishInt("ModalResult", &modalResult_);
  PublishProperty(this, "IsPressed", &TvgButton::isDown_, &TvgButton::SetIsDown);
  PublishProperty(this, "IsMouseOver", &TvgButton::IsMouseOver, nullptr);
  PublishProperty(this, "StaysPressed", &TvgButton::staysPressed_, &TvgButton::staysPressed_);
}

void TvgButton::SetIsDown(bool d) {
  if (isDown_ == d) return;
  isDown_ = d;
  StartTriggerAnimation(this, "IsPressed");
  StateChanged();
}

void TvgButton::StateChanged() { Repaint(); }

void TvgButton::ApplyStyle() {
  TvgTextControl::ApplyStyle();
  StartTriggerAnimation(this, "IsMouseOver");
  StartTriggerAnimation(this, "IsPressed");
}

const TVisualObject* TvgButton::FallbackStyle() const {
  // A speed button or a program's own button class without a style looks like a push button.
  const TvgScene* s = HostScene();
  return s ? s->FindStyle("buttonstyle") : DefaultStyles().Find("buttonstyle");
}

void TvgButton::Click() {
  if (staysPressed_) SetIsDown(!isDown_);
  if (modalResult_ != 0)
    if (TWindow* w = Window()) w->SetModalResult(modalResult_);
  TvgTextControl::Click();
}

void TvgButton::MouseDown(TMouseButton button, TShiftState shift, float x, float y) {
  TObjectRef<TVisualObject> self(this);  // the handler may free this
  TvgTextControl::MouseDown(button, shift, x, y);
  if (!self) return;
  if (button == TMouseButton::mbLeft && !staysPressed_) SetIsDown(true);
}

void TvgButton::MouseUp(TMouseButton button, TShiftState shift, float x, float y) {
  TObjectRef<TVisualObject> alive(this);
  TvgTextControl::MouseUp(button, shift, x, y);
  if (alive && button == TMouseButton::mbLeft && !staysPressed_) SetIsDown(false);
}

void TvgButton::MouseEnter() {
  TObjectRef<TVisualObject> self(this);  // the handler may free this
  TvgTextControl::MouseEnter();
  if (!self) return;
  StartTriggerAnimation(this, "IsMouseOver");
  Repaint();
}

void TvgButton::MouseLeave() {
  TObjectRef<TVisualObject> self(this);  // the handler may free this
  TvgTextControl::MouseLeave();
  if (!self) return;
  StartTriggerAnimation(this, "IsMouseOver");
  Repaint();
}

void TvgButton::KeyDown(uint16_t& key, char32_t& keyChar, TShiftState shift) {
  TObjectRef<TVisualObject> self(this);  // the handler may free this
  TvgTextControl::KeyDown(key, keyChar, shift);
  if (!self) return;
  if (key == vk::Return || key == vk::Space || keyChar == U' ') {
    key = 0;
    keyChar = 0;
    Click();
  }
}

TvgSpeedButton::TvgSpeedButton(rt::TComponent* owner) : TvgButton(owner) {}

TvgBitmapStateButton::TvgBitmapStateButton(rt::TComponent* owner) : TvgTextControl(owner) {
  for (TBitmap* b : {&bitmap_, &bitmapDown_, &bitmapHot_}) b->OnChanged = [this] { Repaint(); };
  PublishObject("Bitmap", &bitmap_);
  PublishObject("BitmapDown", &bitmapDown_);
  PublishObject("BitmapHot", &bitmapHot_);
  PublishProperty(this, "IsPressed", &TvgBitmapStateButton::pressedState_,
                  &TvgBitmapStateButton::SetIsPressed);
  PublishProperty(this, "IsMouseOver", &TvgBitmapStateButton::IsMouseOver, nullptr);
  PublishProperty(this, "StaysPressed", &TvgBitmapStateButton::staysPressed_,
                  &TvgBitmapStateButton::staysPressed_);
  PublishInt("ModalResult", &modalResult_);
  SetSize(100, 28);
}

void TvgBitmapStateButton::SetIsPressed(bool p) {
  if (pressedState_ == p) return;
  pressedState_ = p;
  Repaint();
}

const TBitmap& TvgBitmapStateButton::CurrentBitmap() const {
  if ((pressedState_ || (tracking_ && IsMouseOver())) && !bitmapDown_.IsEmpty()) return bitmapDown_;
  if (IsMouseOver() && !bitmapHot_.IsEmpty()) return bitmapHot_;
  return bitmap_;
}

void TvgBitmapStateButton::Paint(TCanvas& canvas) {
  const TBitmap& b = CurrentBitmap();
  if (!b.IsEmpty()) canvas.DrawBitmap(b, {0, 0, float(b.Width()), float(b.Height())}, LocalRect(), 1);
  TvgTextControl::Paint(canvas);
}

void TvgBitmapStateButton::Click() {
  if (staysPressed_) SetIsPressed(!pressedState_);
  if (modalResult_ != 0)
    if (TWindow* w = Window()) w->SetModalResult(modalResult_);
  TvgTextControl::Click();
}

void TvgBitmapStateButton::MouseDown(TMouseButton button, TShiftState shift, float x, float y) {
  TObjectRef<TVisualObject> self(this);  // the handler may free this
  TvgTextControl::MouseDown(button, shift, x, y);
  if (!self) return;
  if (button == TMouseButton::mbLeft) {
    tracking_ = true;
    Repaint();
  }
}

void TvgBitmapStateButton::MouseUp(TMouseButton button, TShiftState shift, float x, float y) {
  TObjectRef<TVisualObject> alive(this);
  TvgTextControl::MouseUp(button, shift, x, y);
  if (alive && button == TMouseButton::mbLeft) {
    tracking_ = false;
    Repaint();
  }
}

void TvgBitmapStateButton::MouseEnter() {
  TObjectRef<TVisualObject> self(this);  // the handler may free this
  TvgTextControl::MouseEnter();
  if (!self) return;
  Repaint();
}

void TvgBitmapStateButton::MouseLeave() {
  TObjectRef<TVisualObject> self(this);  // the handler may free this
  TvgTextControl::MouseLeave();
  if (!self) return;
  Repaint();
}

void TvgBitmapStateButton::AssignFrom(const TVisualObject& source) { TvgTextControl::AssignFrom(source); }

// --- pop-up ----------------------------------------------------------------------------------

namespace {
constexpr const char* kPlacementNames[] = {"Bottom",       "Top",       "Left",  "Right",       "Center",
                                           "BottomCenter", "TopCenter", "Mouse", "MouseCenter", "Absolute"};
std::vector<TvgPopup*>& OpenList() {
  static std::vector<TvgPopup*> l;
  return l;
}
}  // namespace

std::string PlacementToText(TvgPlacement p) { return std::string("vgPlacement") + kPlacementNames[int(p)]; }

TvgPlacement TextToPlacement(const std::string& text) {
  for (int i = 0; i < 10; ++i)
    if (rt::SameText(text, kPlacementNames[i]) ||
        rt::SameText(text, std::string("vgPlacement") + kPlacementNames[i]))
      return TvgPlacement(i);
  throw rt::EConvertError("'" + text + "' is not a placement");
}

TvgPopup::TvgPopup(rt::TComponent* owner) : TVisualObject(owner) {
  SetSize(100, 100);
  Publish(
      "Placement", [this] { return PlacementToText(placement_); },
      [this](const std::string& v) { placement_ = TextToPlacement(v); });
  PublishProperty(this, "IsOpen", &TvgPopup::IsOpen, &TvgPopup::SetIsOpen);
  PublishProperty(this, "StaysOpen", &TvgPopup::staysOpen_, &TvgPopup::staysOpen_);
  PublishProperty(this, "DragWithParent", &TvgPopup::dragWithParent_, &TvgPopup::dragWithParent_);
  // By name among the owner's components, as stored forms give it.
  Publish(
      "PlacementTarget", [this] { return target_.Get() ? target_.Get()->Name() : std::string(); },
      [this](const std::string& v) {
        if (v.empty()) return target_.Set(nullptr);
        rt::TComponent* c = Owner() ? Owner()->FindComponent(v) : nullptr;
        auto* t = dynamic_cast<TVisualObject*>(c);
        if (!t) throw rt::EPropertyError("PlacementTarget: no object named '" + v + "'");
        target_.Set(t);
      });
  PublishProperty(this, "HorizontalOffset", &TvgPopup::HorizontalOffset, &TvgPopup::HorizontalOffset);
  PublishProperty(this, "VerticalOffset", &TvgPopup::VerticalOffset, &TvgPopup::VerticalOffset);
  PublishEvent("OnPopup", &OnPopup);
  PublishEvent("OnClosePopup", &OnClosePopup);
}

TvgPopup::~TvgPopup() {
  OpenList().erase(std::remove(OpenList().begin(), OpenList().end(), this), OpenList().end());
  if (window_) {
    window_->Hide();
    window_->Scene()->SetExternalRoot(nullptr);
    window_->popupObject_ = nullptr;
    DisposeWindowLater(std::move(window_));
  }
}

TvgScene* TvgPopup::OwnScene() const { return window_ ? window_->Scene() : nullptr; }

void TvgPopup::SetIsOpen(bool open) {
  if (open)
    Popup();
  else
    ClosePopup();
}

TWindow* TvgPopup::ParentWindow() const { return Parent() ? Parent()->Window() : nullptr; }

TPointF TvgPopup::PlacementPosition() const {
  const TVisualObject* target = target_.Get() ? target_.Get() : Parent();
  const float W = Width(), H = Height();
  TPointF tl{0, 0};
  float tw = 0, th = 0;
  if (target) {
    tl = target->LocalToScreen({0, 0});
    tw = target->Width();
    th = target->Height();
  }
  TPointF p = tl;
  switch (placement_) {
    case TvgPlacement::vgPlacementBottom:
      p = {tl.x, tl.y + th};
      break;
    case TvgPlacement::vgPlacementTop:
      p = {tl.x, tl.y - H};
      break;
    case TvgPlacement::vgPlacementLeft:
      p = {tl.x - W, tl.y};
      break;
    case TvgPlacement::vgPlacementRight:
      p = {tl.x + tw, tl.y};
      break;
    case TvgPlacement::vgPlacementCenter:
      p = {tl.x + (tw - W) / 2, tl.y + (th - H) / 2};
      break;
    case TvgPlacement::vgPlacementBottomCenter:
      p = {tl.x + (tw - W) / 2, tl.y + th};
      break;
    case TvgPlacement::vgPlacementTopCenter:
      p = {tl.x + (tw - W) / 2, tl.y - H};
      break;
    case TvgPlacement::vgPlacementMouse:
      p = Backend().MousePos();
      break;
    case TvgPlacement::vgPlacementMouseCenter: {
      const TPointF m = Backend().MousePos();
      p = {m.x - W / 2, m.y};
      break;
    }
    case TvgPlacement::vgPlacementAbsolute:
      p = Parent() ? Parent()->LocalToScreen(Position()) : Position();
      break;
  }
  p = {p.x + HorizontalOffset, p.y + VerticalOffset};
  // Kept on the screen vertically; horizontally the caller decides (menus shift themselves).
  const TPointF screen = Backend().ScreenSize();
  if (p.y + H > screen.y) p.y = std::max(0.f, screen.y - H);
  if (p.y < 0) p.y = 0;
  return {std::round(p.x), std::round(p.y)};
}

void TvgPopup::Popup() {
  if (window_) return;
  auto w = std::make_unique<TWindow>(nullptr, TWindowKind::Popup);
  w->popupObject_ = this;
  w->Scene()->SetHostScene(HostScene());
  w->Scene()->SetExternalRoot(this);
  const TPointF pos = PlacementPosition();
  w->SetPosition(int(pos.x), int(pos.y));
  w->SetClientSize(int(std::ceil(Width())), int(std::ceil(Height())));
  window_ = std::move(w);
  OpenList().push_back(this);
  Realign();
  OnPopup(this);
  if (window_) window_->Show();
}

void TvgPopup::ClosePopup() {
  if (!window_) return;
  OpenList().erase(std::remove(OpenList().begin(), OpenList().end(), this), OpenList().end());
  std::unique_ptr<TWindow> w = std::move(window_);
  w->Scene()->MouseLeave();
  w->Hide();
  w->Scene()->SetExternalRoot(nullptr);
  w->popupObject_ = nullptr;
  DisposeWindowLater(std::move(w));
  OnClosePopup(this);
}

void TvgPopup::Resized() {
  if (window_) window_->SetClientSize(int(std::ceil(Width())), int(std::ceil(Height())));
}

std::vector<TvgPopup*> TvgPopup::OpenPopups() { return OpenList(); }

bool TvgPopup::IsAncestorPopupOf(const TvgPopup* popup) const {
  int guard = 0;
  for (const TvgPopup* cur = popup; cur && guard < 64; ++guard) {
    const TVisualObject* t = cur->PlacementTarget();
    if (!t) t = cur->Parent();
    const TvgPopup* next = nullptr;
    for (const TVisualObject* o = t; o; o = o->Parent()) {
      if (auto* p = dynamic_cast<const TvgPopup*>(o)) {
        next = p;
        break;
      }
    }
    if (next == this) return true;
    cur = next;
  }
  return false;
}

void TvgPopup::CloseUnrelated(TWindow* window) {
  TvgPopup* inside = window ? window->PopupObject() : nullptr;
  for (TvgPopup* p : OpenPopups()) {
    if (std::find(OpenList().begin(), OpenList().end(), p) == OpenList().end()) continue;  // closed meanwhile
    if (p->staysOpen_) continue;
    if (inside && (inside == p || p->IsAncestorPopupOf(inside))) continue;
    p->ClosePopup();
  }
}

// --- scroll bar ------------------------------------------------------------------------------

TvgScrollBar::TvgScrollBar(rt::TComponent* owner) : TvgStyledControl(owner) {
  SetSize(12, 100);
  Publish(
      "Orientation",
      [this] { return std::string(orientation_ == TOrientation::Vertical ? "Vertical" : "Horizontal"); },
      [this](const std::string& v) {
        if (rt::SameText(v, "Vertical") || rt::SameText(v, "orVertical"))
          SetOrientation(TOrientation::Vertical);
        else if (rt::SameText(v, "Horizontal") || rt::SameText(v, "orHorizontal"))
          SetOrientation(TOrientation::Horizontal);
        else
          throw rt::EConvertError("'" + v + "' is not an orientation");
      });
  PublishProperty(this, "Min", &TvgScrollBar::min_, &TvgScrollBar::SetMin);
  PublishProperty(this, "Max", &TvgScrollBar::max_, &TvgScrollBar::SetMax);
  PublishProperty(this, "Value", &TvgScrollBar::value_, &TvgScrollBar::SetValue);
  PublishProperty(this, "ViewportSize", &TvgScrollBar::viewport_, &TvgScrollBar::SetViewportSize);
  PublishProperty(this, "SmallChange", &TvgScrollBar::smallChange_, &TvgScrollBar::smallChange_);
  PublishEvent("OnChange", &OnChange);
}

void TvgScrollBar::SetOrientation(TOrientation o) {
  if (orientation_ == o) return;
  orientation_ = o;
  Repaint();
}

void TvgScrollBar::SetMin(float v) {
  if (min_ == v) return;
  min_ = v;
  SetValue(value_);
  Repaint();
}

void TvgScrollBar::SetMax(float v) {
  if (max_ == v) return;
  max_ = v;
  SetValue(value_);
  Repaint();
}

void TvgScrollBar::SetViewportSize(float v) {
  v = std::max(0.f, v);
  if (viewport_ == v) return;
  viewport_ = v;
  SetValue(value_);
  Repaint();
}

void TvgScrollBar::SetValue(float v) {
  v = std::clamp(v, min_, std::max(min_, max_ - viewport_));
  if (v == value_) return;
  value_ = v;
  Repaint();
  OnChange(this);
}

TRectF TvgScrollBar::ThumbRect() const {
  const bool vert = orientation_ == TOrientation::Vertical;
  const float len = vert ? Height() : Width();
  const float range = max_ - min_;
  float thumb = range > 0 && viewport_ > 0 ? len * std::min(1.f, viewport_ / range) : len;
  thumb = std::min(len, std::max(thumb, 12.f));
  const float travel = range - viewport_;
  const float pos = travel > 0 ? (value_ - min_) / travel * (len - thumb) : 0;
  return vert ? TRectF{0, pos, Width(), pos + thumb} : TRectF{pos, 0, pos + thumb, Height()};
}

void TvgScrollBar::Paint(TCanvas& canvas) {
  TvgStyledControl::Paint(canvas);
  if (StyleApplied()) return;
  TBrush track(TBrushKind::Solid, 0x60C8C8C8), thumb(TBrushKind::Solid, dragging_ ? 0xFF707070 : 0xC0909090);
  canvas.FillRect(LocalRect(), 3, 3, crnAll, 1, track);
  canvas.FillRect(ThumbRect().Inflate(-2, -2), 3, 3, crnAll, 1, thumb);
}

void TvgScrollBar::MouseDown(TMouseButton button, TShiftState shift, float x, float y) {
  TObjectRef<TVisualObject> self(this);  // the handler may free this
  TvgStyledControl::MouseDown(button, shift, x, y);
  if (!self) return;
  if (button != TMouseButton::mbLeft) return;
  const TRectF t = ThumbRect();
  const bool vert = orientation_ == TOrientation::Vertical;
  if (t.Contains({x, y})) {
    dragging_ = true;
    dragOffset_ = vert ? y - t.top : x - t.left;
    Repaint();
  } else {
    const bool before = vert ? y < t.top : x < t.left;
    const float page = viewport_ > 0 ? viewport_ : smallChange_;
    SetValue(value_ + (before ? -page : page));
  }
}

void TvgScrollBar::MouseMove(TShiftState shift, float x, float y) {
  TObjectRef<TVisualObject> self(this);  // the handler may free this
  TvgStyledControl::MouseMove(shift, x, y);
  if (!self) return;
  if (!dragging_) return;
  const bool vert = orientation_ == TOrientation::Vertical;
  const TRectF t = ThumbRect();
  const float len = vert ? Height() : Width();
  const float thumb = vert ? t.Height() : t.Width();
  const float travel = max_ - min_ - viewport_;
  if (len - thumb <= 0 || travel <= 0) return;
  const float pos = (vert ? y : x) - dragOffset_;
  SetValue(min_ + pos / (len - thumb) * travel);
}

void TvgScrollBar::MouseUp(TMouseButton button, TShiftState shift, float x, float y) {
  TObjectRef<TVisualObject> self(this);  // the handler may free this
  TvgStyledControl::MouseUp(button, shift, x, y);
  if (!self) return;
  if (dragging_) {
    dragging_ = false;
    Repaint();
  }
}

// --- scroll box ------------------------------------------------------------------------------

TvgScrollContent::TvgScrollContent(rt::TComponent* owner, TvgScrollBox* box)
    : TVisualObject(owner), box_(box) {
  SetHitTest(false);
  SetStored(false);
}

void TvgScrollContent::AddObject(TVisualObject* child) { TVisualObject::AddObject(child); }

void TvgScrollContent::ChildAdded(TVisualObject* child) {
  if (box_) box_->ContentAddObject(child);
}

void TvgScrollContent::ChildRemoving(TVisualObject* child) {
  if (box_) box_->ContentBeforeRemoveObject(child);
}

void TvgScrollContent::ChildRemoved(TVisualObject* child) {
  if (box_) box_->ContentRemoveObject(child);
}

void TvgScrollContent::DoRealign() {
  TVisualObject::DoRealign();
  if (box_) box_->RealignContent();
}

TvgScrollBox::TvgScrollBox(rt::TComponent* owner) : TvgStyledControl(owner) {
  content_ = new TvgScrollContent(nullptr, this);
  TVisualObject::InsertObject(ChildCount(), content_);
  SetClipChildren(true);
  SetSize(100, 100);
  PublishProperty(this, "ShowScrollBars", &TvgScrollBox::showScrollBars_, &TvgScrollBox::SetShowScrollBars);
  PublishProperty(this, "MouseTracking", &TvgScrollBox::mouseTracking_, &TvgScrollBox::mouseTracking_);
  PublishEvent("OnScroll", &OnScroll);
}

TvgScrollBox::~TvgScrollBox() {
  content_->box_ = nullptr;
  delete content_;
  content_ = nullptr;
}

TVisualObject* TvgScrollBox::ContentLayout() const {
  if (content_ && content_->Parent() && content_->Parent() != this) return content_->Parent();
  return const_cast<TvgScrollBox*>(this);
}

void TvgScrollBox::SetShowScrollBars(bool s) {
  if (showScrollBars_ == s) return;
  showScrollBars_ = s;
  RealignContent();
}

void TvgScrollBox::AddObject(TVisualObject* child) {
  if (!child) return;
  if (child == content_ || dynamic_cast<TvgEffect*>(child) || dynamic_cast<TvgAnimation*>(child) ||
      dynamic_cast<TvgScrollBar*>(child) || dynamic_cast<TvgPopup*>(child) || !content_) {
    TVisualObject::AddObject(child);
  } else {
    content_->AddObject(child);
  }
}

void TvgScrollBox::ApplyStyle() {
  if (auto* layout = FindResource("content")) {
    layout->InsertObject(layout->ChildCount(), content_);
    layout->SetClipChildren(true);
    SetClipChildren(false);
  }
  vbar_ = dynamic_cast<TvgScrollBar*>(FindResource("vscrollbar"));
  hbar_ = dynamic_cast<TvgScrollBar*>(FindResource("hscrollbar"));
  if (vbar_) {
    vbar_->SetOrientation(TOrientation::Vertical);
    vbar_->OnChange = [this](rt::TComponent*) {
      if (!realigningContent_) SetViewportPosition({scroll_.x, vbar_->Value()});
    };
  }
  if (hbar_) {
    hbar_->SetOrientation(TOrientation::Horizontal);
    hbar_->OnChange = [this](rt::TComponent*) {
      if (!realigningContent_) SetViewportPosition({hbar_->Value(), scroll_.y});
    };
  }
  for (const char* n : {"vsmallscrollbar", "hsmallscrollbar"})
    if (auto* b = FindResource(n)) b->SetVisible(false);
}

void TvgScrollBox::FreeStyle() {
  // The content outlives the style instance.
  if (content_ && content_->Parent() != this) TVisualObject::InsertObject(ChildCount(), content_);
  SetClipChildren(true);
  vbar_ = hbar_ = nullptr;
}

void TvgScrollBox::DoRealign() {
  TvgStyledControl::DoRealign();
  RealignContent();
}

void TvgScrollBox::Resized() { RealignContent(); }

TRectF TvgScrollBox::GetContentBounds() {
  const TVisualObject* layout = ContentLayout();
  TRectF r{0, 0, layout->Width(), layout->Height()};
  for (const TVisualObject* c : content_->Children())
    if (c->Visible() && c->IsVisual()) r = r.Union(c->BoundsRect());
  return r;
}

void TvgScrollBox::RealignContent() {
  if (realigningContent_ || !content_) return;
  realigningContent_ = true;
  const TRectF b = GetContentBounds();
  contentBounds_ = b;
  if (!content_) {
    realigningContent_ = false;
    return;
  }
  content_->SetSize(b.Width(), b.Height());
  UpdateScrollBars(b);
  const TVisualObject* layout = ContentLayout();
  const float maxX = std::max(0.f, b.Width() - layout->Width()),
              maxY = std::max(0.f, b.Height() - layout->Height());
  scroll_ = {std::clamp(scroll_.x, 0.f, maxX), std::clamp(scroll_.y, 0.f, maxY)};
  PlaceContent();
  realigningContent_ = false;
}

void TvgScrollBox::UpdateScrollBars(const TRectF& b) {
  const TVisualObject* layout = ContentLayout();
  if (vbar_) {
    vbar_->SetMin(0);
    vbar_->SetMax(b.Height());
    vbar_->SetViewportSize(layout->Height());
    vbar_->SetValue(scroll_.y);
    vbar_->SetVisible(showScrollBars_ && b.Height() > layout->Height());
  }
  if (hbar_) {
    hbar_->SetMin(0);
    hbar_->SetMax(b.Width());
    hbar_->SetViewportSize(layout->Width());
    hbar_->SetValue(scroll_.x);
    hbar_->SetVisible(showScrollBars_ && b.Width() > layout->Width());
  }
}

void TvgScrollBox::PlaceContent() {
  if (content_) content_->SetPosition({contentBounds_.left - scroll_.x, contentBounds_.top - scroll_.y});
}

void TvgScrollBox::SetViewportPosition(TPointF p) {
  const TVisualObject* layout = ContentLayout();
  const float maxX = std::max(0.f, contentBounds_.Width() - layout->Width());
  const float maxY = std::max(0.f, contentBounds_.Height() - layout->Height());
  p = {std::clamp(p.x, 0.f, maxX), std::clamp(p.y, 0.f, maxY)};
  if (p == scroll_) return;
  const TPointF old = scroll_;
  scroll_ = p;
  const bool was = realigningContent_;
  realigningContent_ = true;
  if (vbar_) vbar_->SetValue(p.y);
  if (hbar_) hbar_->SetValue(p.x);
  realigningContent_ = was;
  PlaceContent();
  TObjectRef<TVisualObject> self(this);
  if (p.x != old.x) HScrollChange();
  if (self && p.y != old.y) VScrollChange();
  if (self) OnScroll(this);
}

void TvgScrollBox::ScrollBy(float dx, float dy) { SetViewportPosition({scroll_.x + dx, scroll_.y + dy}); }

TRectF TvgScrollBox::VisibleRect() const {
  const TVisualObject* layout = ContentLayout();
  return {scroll_.x, scroll_.y, scroll_.x + layout->Width(), scroll_.y + layout->Height()};
}

void TvgScrollBox::ContentAddObject(TVisualObject*) { RealignContent(); }
void TvgScrollBox::ContentBeforeRemoveObject(TVisualObject*) {}
void TvgScrollBox::ContentRemoveObject(TVisualObject*) { RealignContent(); }
void TvgScrollBox::HScrollChange() {}
void TvgScrollBox::VScrollChange() {}

void TvgScrollBox::MouseDown(TMouseButton button, TShiftState shift, float x, float y) {
  TObjectRef<TVisualObject> self(this);  // the handler may free this
  TvgStyledControl::MouseDown(button, shift, x, y);
  if (!self) return;
  if (mouseTracking_ && button == TMouseButton::mbLeft) {
    trackingDown_ = true;
    dragStart_ = {x, y};
    dragStep_ = {0, 0};
  }
}

void TvgScrollBox::MouseMove(TShiftState shift, float x, float y) {
  TObjectRef<TVisualObject> self(this);  // the handler may free this
  TvgStyledControl::MouseMove(shift, x, y);
  if (!self) return;
  if (!trackingDown_) return;
  dragStep_ = {x - dragStart_.x, y - dragStart_.y};
  dragStart_ = {x, y};
  ScrollBy(-dragStep_.x, -dragStep_.y);
}

void TvgScrollBox::MouseUp(TMouseButton button, TShiftState shift, float x, float y) {
  TObjectRef<TVisualObject> self(this);  // the handler may free this
  TvgStyledControl::MouseUp(button, shift, x, y);
  if (!self) return;
  trackingDown_ = false;
}

void TvgScrollBox::MouseWheel(TShiftState shift, int delta, bool& handled) {
  TObjectRef<TVisualObject> self(this);  // the handler may free this
  TvgStyledControl::MouseWheel(shift, delta, handled);
  if (!self) return;
  if (handled) return;
  const TPointF before = scroll_;
  ScrollBy(0, -float(delta) / 120.f * 40);
  handled = !(scroll_ == before);
}

// --- pop-up box ------------------------------------------------------------------------------

namespace {
// A row of a pop-up box's list.
class TPopupListRow : public TvgTextControl {
 public:
  TPopupListRow(TvgPopupBox* box, int index, TAlphaColor hot, TAlphaColor selected)
      : TvgTextControl(nullptr), box_(box), index_(index), hot_(hot), selected_(selected) {
    SetStored(false);
    SetTextAlign(TTextAlign::Near);
    Padding().Set(6, 0, 6, 0);
  }
  std::string ClassName() const override { return "TvgPopupListRow"; }
  void Paint(TCanvas& canvas) override {
    if (IsMouseOver() || box_->ItemIndex() == index_) {
      TBrush hi(TBrushKind::Solid, IsMouseOver() ? hot_ : selected_);
      canvas.FillRect(LocalRect(), 0, 0, crnAll, 1, hi);
    }
    TvgTextControl::Paint(canvas);
  }
  void MouseEnter() override {
    TObjectRef<TVisualObject> self(this);  // the handler may free this
    TvgTextControl::MouseEnter();
    if (!self) return;
    Repaint();
  }
  void MouseLeave() override {
    TObjectRef<TVisualObject> self(this);  // the handler may free this
    TvgTextControl::MouseLeave();
    if (!self) return;
    Repaint();
  }
  void Click() override {
    TvgPopupBox* box = box_;
    const int i = index_;
    if (box->ListPopup()) box->ListPopup()->ClosePopup();
    box->SetItemIndex(i);
  }

 private:
  TvgPopupBox* box_;
  int index_;
  TAlphaColor hot_, selected_;
};
}  // namespace

TvgPopupBox::TvgPopupBox(rt::TComponent* owner) : TvgTextControl(owner) {
  SetCanFocus(true);
  SetSize(120, 22);
  Publish(
      "Items", [this] { return JoinLines(items_); },
      [this](const std::string& v) { SetItems(v.empty() ? std::vector<std::string>{} : SplitLines(v)); });
  PublishProperty(this, "ItemIndex", &TvgPopupBox::itemIndex_, &TvgPopupBox::SetItemIndex);
  PublishEvent("OnChange", &OnChange);
}

TvgPopupBox::~TvgPopupBox() = default;

void TvgPopupBox::SetItems(const std::vector<std::string>& items) {
  items_ = items;
  if (itemIndex_ >= int(items_.size())) itemIndex_ = -1;
  UpdateShownText();
}

void TvgPopupBox::AddItem(const std::string& item) { items_.push_back(item); }

void TvgPopupBox::ClearItems() {
  items_.clear();
  itemIndex_ = -1;
  UpdateShownText();
}

void TvgPopupBox::SetItemIndex(int index) {
  if (index < -1 || index >= int(items_.size()))
    throw rt::ERangeError(rt::Format("Item index %d out of range (%d items)", index, int(items_.size())));
  if (index == itemIndex_) return;
  itemIndex_ = index;
  UpdateShownText();
  DataChanged();
  OnChange(this);
}

void TvgPopupBox::SetData(const std::string& value) {
  for (int i = 0; i < int(items_.size()); ++i)
    if (items_[i] == value) return SetItemIndex(i);
}

void TvgPopupBox::UpdateShownText() { SetText(itemIndex_ >= 0 ? items_[itemIndex_] : std::string()); }

void TvgPopupBox::Retranslate() {
  TvgTextControl::Retranslate();
  if (popup_)
    for (TVisualObject* c : popup_->Children()) c->Retranslate();
}

void TvgPopupBox::DropDown() {
  if (popup_ && popup_->IsOpen()) {
    popup_->ClosePopup();
    return;
  }
  if (!popup_) {
    popup_ = new TvgPopup(nullptr);
    popup_->SetStored(false);
    popup_->SetParent(this);
    popup_->SetPlacementTarget(this);
    popup_->SetPlacement(TvgPlacement::vgPlacementBottom);
  }
  while (popup_->ChildCount() > 0) delete popup_->Child(popup_->ChildCount() - 1);
  // A style may dress the list too: hidden parts "list" (its fill and border) and
  // "listhighlight" (the row under the pointer; the chosen row takes it at half strength).
  // The rows' text then takes the box's own text colour.
  auto* listPart = dynamic_cast<TvgShape*>(FindResource("list"));
  auto* highlightPart = dynamic_cast<TvgShape*>(FindResource("listhighlight"));
  TAlphaColor hot = 0xFF9BD3F5, selected = 0xFFD8ECF9;
  if (highlightPart) {
    hot = highlightPart->Fill().Color();
    selected = (hot & 0x00FFFFFF) | ((hot >> 25) << 24);
  }
  auto* back = new TvgRectangle(nullptr);
  back->Fill().SetColor(claWhite);
  back->Stroke().SetColor(0xFF8A8A8A);
  if (listPart) {
    back->Fill().Assign(listPart->Fill());
    back->Stroke().Assign(listPart->Stroke());
  }
  back->SetHitTest(false);
  back->SetAlign(TvgAlign::vaContents);
  back->SetParent(popup_);
  const float rowH = std::max(20.f, MeasureTextRect("Wg", Font(), {0, 0, 1000, 1000}, false).Height() + 6);
  float width = Width();
  for (int i = 0; i < int(items_.size()); ++i) {
    auto* row = new TPopupListRow(this, i, hot, selected);
    row->Font().Assign(Font());
    if (listPart) row->FontFill().Assign(FontFill());
    row->SetText(items_[i]);
    row->SetBounds(1, 1 + rowH * float(i), 0, rowH);
    row->SetParent(popup_);
    width = std::max(width, row->TextWidth(row->DisplayText()) + 16);
  }
  for (TVisualObject* c : popup_->Children())
    if (dynamic_cast<TPopupListRow*>(c)) c->SetWidth(width - 2);
  popup_->SetSize(width, rowH * float(items_.size()) + 2);
  popup_->Popup();
}

void TvgPopupBox::Click() {
  TObjectRef<TVisualObject> self(this);  // the handler may free this
  TvgTextControl::Click();
  if (!self) return;
  DropDown();
}

void TvgPopupBox::KeyDown(uint16_t& key, char32_t& keyChar, TShiftState shift) {
  TObjectRef<TVisualObject> self(this);  // the handler may free this
  TvgTextControl::KeyDown(key, keyChar, shift);
  if (!self) return;
  if (key == vk::Up && itemIndex_ > 0) {
    SetItemIndex(itemIndex_ - 1);
    key = 0;
  } else if (key == vk::Down && itemIndex_ + 1 < int(items_.size())) {
    SetItemIndex(itemIndex_ + 1);
    key = 0;
  } else if (key == vk::Return || keyChar == U' ') {
    key = 0;
    keyChar = 0;
    DropDown();
  }
}

void TvgPopupBox::Paint(TCanvas& canvas) {
  TvgStyledControl::Paint(canvas);
  if (!StyleApplied()) {
    TBrush back(TBrushKind::Solid, 0xFFF0F0F0), border(TBrushKind::Solid, 0xFF8A8A8A);
    canvas.FillRect(LocalRect(), 2, 2, crnAll, 1, back);
    canvas.DrawRect(LocalRect().Inflate(-0.5f, -0.5f), 2, 2, crnAll, 1, border, 1);
  }
  TvgTextControl::Paint(canvas);
}

TvgStringComboBox::TvgStringComboBox(rt::TComponent* owner) : TvgPopupBox(owner) {
  SetTextAlign(TTextAlign::Near);
  Padding().Set(4, 0, 18, 0);
}

void TvgStringComboBox::Paint(TCanvas& canvas) {
  TvgPopupBox::Paint(canvas);
  if (StyleApplied()) return;
  TPathData arrow;
  const float x = Width() - 13, y = Height() / 2 - 2;
  arrow.MoveTo({x, y});
  arrow.LineTo({x + 8, y});
  arrow.LineTo({x + 4, y + 5});
  arrow.ClosePath();
  TBrush b(TBrushKind::Solid, 0xFF404040);
  canvas.FillPath(arrow, 1, b);
}

// --- tabs ------------------------------------------------------------------------------------

TvgTabItem::TvgTabItem(rt::TComponent* owner) : TvgTextControl(owner) {
  PublishProperty(this, "Width", &TvgTabItem::headerWidth_, &TvgTabItem::SetHeaderWidth);
  PublishProperty(this, "TabWidth", &TvgTabItem::headerWidth_, &TvgTabItem::SetHeaderWidth);
  PublishProperty(this, "IsSelected", &TvgTabItem::IsActive, nullptr);
}

TvgTabControl* TvgTabItem::TabControl() const { return dynamic_cast<TvgTabControl*>(Parent()); }

bool TvgTabItem::IsActive() const {
  TvgTabControl* tc = TabControl();
  return tc && tc->Tab(tc->TabIndex()) == this;
}

void TvgTabItem::SetHeaderWidth(float w) {
  w = std::max(0.f, w);
  if (headerWidth_ == w) return;
  headerWidth_ = w;
  if (TabControl()) TabControl()->Realign();
}

bool TvgTabItem::PointInObject(float absX, float absY) const {
  return header_.Contains(AbsoluteToLocal({absX, absY}));
}

void TvgTabItem::Paint(TCanvas& canvas) {
  if (header_.IsEmpty()) return;
  const bool active = IsActive();
  TBrush back(TBrushKind::Solid, active ? claWhite : (IsMouseOver() ? 0xFFE5F1FB : 0xFFE1E1E1));
  TBrush border(TBrushKind::Solid, 0xFFADADAD);
  const TRectF r = active ? header_ : header_.Inflate(0, -1).Offset(0, 1);
  canvas.FillRect(r, 2, 2, crnTopLeft | crnTopRight, 1, back);
  canvas.DrawRect(r.Inflate(-0.5f, -0.5f), 2, 2, crnTopLeft | crnTopRight, 1, border, 1);
  canvas.FillText(r.Inflate(-4, 0), DisplayText(), Font(), FontFill(), 1, false, TTextAlign::Center,
                  TTextAlign::Center);
}

void TvgTabItem::PaintChildren(TCanvas& canvas, const TRectF& dirtyLocal) {
  TVisualObject::PaintChildren(canvas, dirtyLocal);
}

void TvgTabItem::MouseDown(TMouseButton button, TShiftState shift, float x, float y) {
  TObjectRef<TVisualObject> self(this);  // the handler may free this
  TvgTextControl::MouseDown(button, shift, x, y);
  if (!self) return;
  if (button != TMouseButton::mbLeft) return;
  if (TvgTabControl* tc = TabControl()) {
    for (int i = 0; i < tc->TabCount(); ++i)
      if (tc->Tab(i) == this) tc->SetTabIndex(i);
  }
}

TvgTabControl::TvgTabControl(rt::TComponent* owner) : TvgStyledControl(owner) {
  SetSize(200, 150);
  PublishProperty(this, "TabIndex", &TvgTabControl::tabIndex_, &TvgTabControl::SetTabIndex);
  PublishProperty(this, "TabHeight", &TvgTabControl::tabHeight_, &TvgTabControl::SetTabHeight);
  PublishEvent("OnChange", &OnChange);
}

int TvgTabControl::TabCount() const {
  int n = 0;
  for (TVisualObject* c : Children())
    if (dynamic_cast<TvgTabItem*>(c)) ++n;
  return n;
}

TvgTabItem* TvgTabControl::Tab(int index) const {
  if (index < 0) return nullptr;
  for (TVisualObject* c : Children()) {
    if (auto* t = dynamic_cast<TvgTabItem*>(c)) {
      if (index == 0) return t;
      --index;
    }
  }
  return nullptr;
}

void TvgTabControl::SetTabIndex(int index) {
  const int n = TabCount();
  index = n == 0 ? -1 : std::clamp(index, -1, n - 1);
  if (index == tabIndex_) return;
  tabIndex_ = index;
  Repaint();
  OnChange(this);
}

void TvgTabControl::SetTabHeight(float h) {
  if (h == tabHeight_) return;
  tabHeight_ = std::max(0.f, h);
  Realign();
}

TvgTabItem* TvgTabControl::AddTab(const std::string& text, rt::TComponent* owner) {
  auto* t = new TvgTabItem(owner);
  t->SetText(text);
  t->SetParent(this);
  if (tabIndex_ < 0) SetTabIndex(0);
  Realign();
  return t;
}

void TvgTabControl::DoRealign() {
  float x = 0;
  for (TVisualObject* c : Children()) {
    auto* t = dynamic_cast<TvgTabItem*>(c);
    if (!t) continue;
    t->SetBounds(0, 0, Width(), Height());
    if (t->Visible()) {
      t->header_ = {x, 0, x + t->headerWidth_, tabHeight_};
      x += t->headerWidth_;
    } else {
      t->header_ = {};
    }
  }
  TvgStyledControl::DoRealign();
  Repaint();
}

void TvgTabControl::ChildRemoved(TVisualObject*) {
  // No look at the child's class: a tab being destroyed is only a scene object by now.
  const int n = TabCount();
  if (tabIndex_ >= n) tabIndex_ = n - 1;
  Realign();
}

void TvgTabControl::Paint(TCanvas& canvas) {
  TvgStyledControl::Paint(canvas);
  if (StyleApplied()) return;
  TBrush back(TBrushKind::Solid, claWhite), border(TBrushKind::Solid, 0xFFADADAD);
  const TRectF page{0, tabHeight_ - 1, Width(), Height()};
  canvas.FillRect(page, 0, 0, crnAll, 1, back);
  canvas.DrawRect(page.Inflate(-0.5f, -0.5f), 0, 0, crnAll, 1, border, 1);
}

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
  const bool editable = selected_ >= 0 && columnIndex_ < ColumnCount() && !columns_[columnIndex_].readOnly;
  if (!editable) return;
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

// --- bars ------------------------------------------------------------------------------------

TvgToolBar::TvgToolBar(rt::TComponent* owner) : TvgRectangle(owner) {
  TGradient g;
  g.points = {{0xFFFDFDFD, 0}, {0xFFE4E4E4, 1}};
  Fill().SetKind(TBrushKind::Gradient);
  Fill().SetGradient(g);
  Stroke().SetColor(0xFFB9B9B9);
  SetHeight(35);
  SetHitTest(false);
}

TvgStatusBar::TvgStatusBar(rt::TComponent* owner) : TvgRectangle(owner) {
  Fill().SetColor(0xFFF0F0F0);
  Stroke().SetColor(0xFFB9B9B9);
  SetHeight(40);
  SetHitTest(false);
}

}  // namespace tk
