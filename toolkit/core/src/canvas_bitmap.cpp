// Bitmaps, PNG files and data, base64.
#include <cairo.h>
#include <fontconfig/fontconfig.h>
#include <pango/pangocairo.h>
#include <pango/pangofc-fontmap.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>

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

TBitmap::~TBitmap() {
  if (surface_) cairo_surface_destroy(surface_);
}

void TBitmap::SetSize(int width, int height) {
  if (width < 0 || height < 0 || width > 32768 || height > 32768)
    throw rt::ERangeError(rt::Format("Bitmap size %d x %d out of range", width, height));
  if (surface_) cairo_surface_destroy(surface_);
  surface_ = nullptr;
  width_ = height_ = 0;
  if (width > 0 && height > 0) {
    surface_ = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    if (cairo_surface_status(surface_) != CAIRO_STATUS_SUCCESS) {
      cairo_surface_destroy(surface_);
      surface_ = nullptr;
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
  cairo_surface_flush(other.surface_);
  cairo_surface_flush(surface_);
  const int rows = height_;
  const int bytes = width_ * 4;
  const uint8_t* src = cairo_image_surface_get_data(other.surface_);
  uint8_t* dst = cairo_image_surface_get_data(surface_);
  const int ss = cairo_image_surface_get_stride(other.surface_),
            ds = cairo_image_surface_get_stride(surface_);
  for (int y = 0; y < rows; ++y) std::memcpy(dst + y * ds, src + y * ss, bytes);
  cairo_surface_mark_dirty(surface_);
  OnChanged = std::move(onChanged);
  Changed();
}

void TBitmap::Clear(TAlphaColor color) {
  if (IsEmpty()) return;
  TCanvas c(*this);
  c.Clear(color);
  Changed();
}

namespace {
// Takes a loaded surface into this bitmap as ARGB32.
void AdoptSurface(TBitmap& bmp, cairo_surface_t* loaded) {
  const int w = cairo_image_surface_get_width(loaded), h = cairo_image_surface_get_height(loaded);
  bmp.SetSize(w, h);
  if (w > 0 && h > 0) {
    cairo_t* cr = cairo_create(bmp.Surface());
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_surface(cr, loaded, 0, 0);
    cairo_paint(cr);
    cairo_destroy(cr);
  }
  cairo_surface_destroy(loaded);
}

struct ReadCtx {
  const std::vector<uint8_t>* data;
  size_t pos;
};
cairo_status_t ReadPng(void* closure, unsigned char* out, unsigned int len) {
  auto* c = static_cast<ReadCtx*>(closure);
  if (c->pos + len > c->data->size()) return CAIRO_STATUS_READ_ERROR;
  std::memcpy(out, c->data->data() + c->pos, len);
  c->pos += len;
  return CAIRO_STATUS_SUCCESS;
}
cairo_status_t WritePng(void* closure, const unsigned char* data, unsigned int len) {
  auto* v = static_cast<std::vector<uint8_t>*>(closure);
  v->insert(v->end(), data, data + len);
  return CAIRO_STATUS_SUCCESS;
}
}  // namespace

void TBitmap::LoadFromFile(const std::string& fileName) {
  cairo_surface_t* s = cairo_image_surface_create_from_png(fileName.c_str());
  const cairo_status_t st = cairo_surface_status(s);
  if (st != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(s);
    throw rt::EFOpenError(fileName, cairo_status_to_string(st));
  }
  AdoptSurface(*this, s);
}

void TBitmap::SaveToFile(const std::string& fileName) const {
  if (IsEmpty()) throw rt::EWriteError("Cannot save an empty bitmap to " + fileName);
  const cairo_status_t st = cairo_surface_write_to_png(surface_, fileName.c_str());
  if (st != CAIRO_STATUS_SUCCESS) throw rt::EWriteError(fileName + ": " + cairo_status_to_string(st));
}

void TBitmap::LoadFromPngData(const std::vector<uint8_t>& data) {
  ReadCtx ctx{&data, 0};
  cairo_surface_t* s = cairo_image_surface_create_from_png_stream(ReadPng, &ctx);
  if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(s);
    throw rt::EReadError("The picture data is not a valid PNG image");
  }
  AdoptSurface(*this, s);
}

std::vector<uint8_t> TBitmap::SavePngData() const {
  std::vector<uint8_t> out;
  if (IsEmpty()) return out;
  cairo_surface_write_to_png_stream(surface_, WritePng, &out);
  return out;
}

TAlphaColor TBitmap::Pixel(int x, int y) const {
  if (!surface_ || x < 0 || y < 0 || x >= width_ || y >= height_) return claNull;
  cairo_surface_flush(surface_);
  const uint8_t* row = cairo_image_surface_get_data(surface_) + y * cairo_image_surface_get_stride(surface_);
  uint32_t p;
  std::memcpy(&p, row + x * 4, 4);
  const uint32_t a = p >> 24;
  if (a == 0) return claNull;
  auto un = [a](uint32_t c) { return std::min<uint32_t>(255, (c * 255 + a / 2) / a); };
  return (a << 24) | (un((p >> 16) & 0xFF) << 16) | (un((p >> 8) & 0xFF) << 8) | un(p & 0xFF);
}

void TBitmap::SetPixel(int x, int y, TAlphaColor color) {
  if (!surface_ || x < 0 || y < 0 || x >= width_ || y >= height_) return;
  cairo_surface_flush(surface_);
  uint8_t* row = cairo_image_surface_get_data(surface_) + y * cairo_image_surface_get_stride(surface_);
  const uint32_t a = color >> 24;
  auto pm = [a](uint32_t c) { return (c * a + 127) / 255; };
  const uint32_t p =
      (a << 24) | (pm((color >> 16) & 0xFF) << 16) | (pm((color >> 8) & 0xFF) << 8) | pm(color & 0xFF);
  std::memcpy(row + x * 4, &p, 4);
  cairo_surface_mark_dirty(surface_);
}

std::unique_ptr<TCanvas> TBitmap::CreateCanvas() {
  if (IsEmpty()) throw rt::ERangeError("Cannot draw on an empty bitmap");
  return std::make_unique<TCanvas>(*this);
}

uint8_t* TBitmap::Bits() {
  if (!surface_) return nullptr;
  cairo_surface_flush(surface_);
  return cairo_image_surface_get_data(surface_);
}

int TBitmap::Stride() const { return surface_ ? cairo_image_surface_get_stride(surface_) : 0; }

void TBitmap::MarkDirty() {
  if (surface_) cairo_surface_mark_dirty(surface_);
  Changed();
}

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
