// Bitmaps (their pixels are ours, whichever canvas draws on them) and base64. PNG files are
// read and written by the canvas's own library: canvas_cairo_png.cpp, canvas_gdiplus_png.cpp.
#include <algorithm>
#include <cctype>
#include <cstring>

#include "runtime/errors.h"
#include "runtime/text.h"
#include "toolkit/canvas.h"

namespace tk {

// --- bitmap --------------------------------------------------------------------------------

TBitmap::TBitmap() {
  Publish(
      "PNG", [this] { return IsEmpty() ? std::string() : Base64Encode(SavePngData()); },
      [this](const std::string& v) {
        if (v.find_first_not_of(" \t\r\n") == std::string::npos) {
          SetSize(0, 0);
        } else {
          LoadFromPngData(Base64Decode(v));
        }
      });
  PublishProperty(this, "Width", &TBitmap::width_, nullptr);
  PublishProperty(this, "Height", &TBitmap::height_, nullptr);
}

TBitmap::TBitmap(int width, int height) : TBitmap() { SetSize(width, height); }

TBitmap::TBitmap(const TBitmap& other) : TBitmap() { Assign(other); }

TBitmap& TBitmap::operator=(const TBitmap& other) {
  Assign(other);
  return *this;
}

TBitmap::~TBitmap() = default;

void TBitmap::SetSize(int width, int height) {
  if (width < 0 || height < 0 || width > 32768 || height > 32768)
    throw rt::ERangeError(rt::Format("Bitmap size %d x %d out of range", width, height));
  std::vector<uint32_t>().swap(pixels_);
  width_ = height_ = 0;
  if (width > 0 && height > 0) {
    try {
      pixels_.assign(size_t(width) * size_t(height), 0);
    } catch (const std::bad_alloc&) {
      throw rt::ERangeError("Out of memory for a bitmap");
    }
    width_ = width;
    height_ = height;
  }
  Changed();
}

void TBitmap::Assign(const TBitmap& other) {
  if (&other == this) return;
  if (other.IsEmpty()) {
    if (!IsEmpty()) SetSize(0, 0);
    return;
  }
  auto onChanged = std::move(OnChanged);
  OnChanged = nullptr;
  if (width_ != other.width_ || height_ != other.height_) SetSize(other.width_, other.height_);
  pixels_ = other.pixels_;
  OnChanged = std::move(onChanged);
  Changed();
}

void TBitmap::Clear(TAlphaColor color) {
  if (IsEmpty()) return;
  TCanvas c(*this);
  c.Clear(color);
  Changed();
}

TAlphaColor TBitmap::Pixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return claNull;
  const uint32_t p = pixels_[size_t(y) * size_t(width_) + size_t(x)];
  const uint32_t a = p >> 24;
  if (a == 0) return claNull;
  auto un = [a](uint32_t c) { return std::min<uint32_t>(255, (c * 255 + a / 2) / a); };
  return (a << 24) | (un((p >> 16) & 0xFF) << 16) | (un((p >> 8) & 0xFF) << 8) | un(p & 0xFF);
}

void TBitmap::SetPixel(int x, int y, TAlphaColor color) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
  const uint32_t a = color >> 24;
  auto pm = [a](uint32_t c) { return (c * a + 127) / 255; };
  const uint32_t p =
      (a << 24) | (pm((color >> 16) & 0xFF) << 16) | (pm((color >> 8) & 0xFF) << 8) | pm(color & 0xFF);
  pixels_[size_t(y) * size_t(width_) + size_t(x)] = p;
}

std::unique_ptr<TCanvas> TBitmap::CreateCanvas() {
  if (IsEmpty()) throw rt::ERangeError("Cannot draw on an empty bitmap");
  return std::make_unique<TCanvas>(*this);
}

uint8_t* TBitmap::Bits() { return pixels_.empty() ? nullptr : reinterpret_cast<uint8_t*>(pixels_.data()); }

const uint8_t* TBitmap::Bits() const {
  return pixels_.empty() ? nullptr : reinterpret_cast<const uint8_t*>(pixels_.data());
}

void TBitmap::MarkDirty() { Changed(); }

// --- base64 --------------------------------------------------------------------------------

namespace {
constexpr char kB64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
}

std::string Base64Encode(const std::vector<uint8_t>& data) {
  std::string out;
  out.reserve((data.size() + 2) / 3 * 4);
  for (size_t i = 0; i < data.size(); i += 3) {
    uint32_t v = uint32_t(data[i]) << 16;
    if (i + 1 < data.size()) v |= uint32_t(data[i + 1]) << 8;
    if (i + 2 < data.size()) v |= data[i + 2];
    out += kB64[(v >> 18) & 63];
    out += kB64[(v >> 12) & 63];
    out += i + 1 < data.size() ? kB64[(v >> 6) & 63] : '=';
    out += i + 2 < data.size() ? kB64[v & 63] : '=';
  }
  return out;
}

std::vector<uint8_t> Base64Decode(const std::string& text) {
  std::vector<uint8_t> out;
  uint32_t acc = 0;
  int bits = 0;
  bool padding = false;
  for (char c : text) {
    if (std::isspace(static_cast<unsigned char>(c))) continue;
    if (c == '=') {
      padding = true;
      continue;
    }
    const char* p = std::strchr(kB64, c);
    if (!p || c == 0 || padding) throw rt::EConvertError("Invalid base64 data");
    acc = (acc << 6) | uint32_t(p - kB64);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out.push_back(uint8_t((acc >> bits) & 0xFF));
    }
  }
  return out;
}

}  // namespace tk
