// PNG files and data through Cairo.
#include <cstring>
#include <string>
#include <vector>

#include "canvas_cairo.h"
#include "runtime/errors.h"

namespace tk {

namespace {
// Takes a loaded surface into this bitmap as ARGB32.
void AdoptSurface(TBitmap& bmp, cairo_surface_t* loaded) {
  const int w = cairo_image_surface_get_width(loaded), h = cairo_image_surface_get_height(loaded);
  bmp.SetSize(w, h);
  if (w > 0 && h > 0) {
    cairo_surface_t* target = detail::WrapBitmap(bmp);
    cairo_t* cr = cairo_create(target);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_surface(cr, loaded, 0, 0);
    cairo_paint(cr);
    cairo_destroy(cr);
    cairo_surface_destroy(target);
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
  cairo_surface_t* s = detail::WrapBitmap(*this);
  const cairo_status_t st = cairo_surface_write_to_png(s, fileName.c_str());
  cairo_surface_destroy(s);
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
  cairo_surface_t* s = detail::WrapBitmap(*this);
  cairo_surface_write_to_png_stream(s, WritePng, &out);
  cairo_surface_destroy(s);
  return out;
}

}  // namespace tk
