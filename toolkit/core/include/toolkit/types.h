// Basic value types of the toolkit: points, rectangles, colours, input codes.
#pragma once

#include <cstdint>
#include <string>

namespace tk {

using TAlphaColor = uint32_t;  // 0xAARRGGBB
constexpr TAlphaColor claNull = 0x00000000;
constexpr TAlphaColor claBlack = 0xFF000000;
constexpr TAlphaColor claWhite = 0xFFFFFFFF;

struct TPointF {
  float x = 0;
  float y = 0;
  friend bool operator==(const TPointF&, const TPointF&) = default;
  TPointF operator+(TPointF o) const { return {x + o.x, y + o.y}; }
  TPointF operator-(TPointF o) const { return {x - o.x, y - o.y}; }
};

struct TRectF {
  float left = 0;
  float top = 0;
  float right = 0;
  float bottom = 0;

  static TRectF FromSize(float x, float y, float w, float h) { return {x, y, x + w, y + h}; }
  float Width() const { return right - left; }
  float Height() const { return bottom - top; }
  TPointF TopLeft() const { return {left, top}; }
  bool IsEmpty() const { return right <= left || bottom <= top; }
  bool Contains(TPointF p) const { return p.x >= left && p.x < right && p.y >= top && p.y < bottom; }
  bool Intersects(const TRectF& r) const {
    return left < r.right && r.left < right && top < r.bottom && r.top < bottom;
  }
  TRectF Intersect(const TRectF& r) const;
  TRectF Union(const TRectF& r) const;  // an empty operand is ignored
  TRectF Offset(float dx, float dy) const { return {left + dx, top + dy, right + dx, bottom + dy}; }
  TRectF Inflate(float dx, float dy) const { return {left - dx, top - dy, right + dx, bottom + dy}; }
  friend bool operator==(const TRectF&, const TRectF&) = default;
};

enum class TMouseButton { mbLeft, mbRight, mbMiddle };

using TShiftState = uint32_t;
constexpr TShiftState ssShift = 1, ssAlt = 2, ssCtrl = 4, ssLeft = 8, ssRight = 16, ssMiddle = 32;

// Mouse cursors, by the platform's numbering.
using TCursor = int;
constexpr TCursor crDefault = 0, crArrow = -2, crIBeam = -4, crSizeWE = -9, crHourGlass = -11,
                  crHandPoint = -21;

// Virtual key codes the toolkit itself reacts to.
namespace vk {
constexpr uint16_t Back = 8, Tab = 9, Return = 13, Escape = 27, Space = 32, Prior = 33, Next = 34, End = 35,
                   Home = 36, Left = 37, Up = 38, Right = 39, Down = 40, Insert = 45, Delete = 46;
}

// "#AARRGGBB", "#RRGGBB", "$AARRGGBB", "0xAARRGGBB" or a few names ("Null", "Black", "White",
// "Red", ...); anything else raises rt::EConvertError.
TAlphaColor TextToColor(const std::string& text);
std::string ColorToText(TAlphaColor color);  // "#AARRGGBB"
// Locale-independent float text ("12.5"); bad text raises rt::EConvertError.
float TextToFloat(const std::string& text);
std::string FloatToText(double value);
bool TextToBool(const std::string& text);  // "True"/"False", case-insensitive

}  // namespace tk
