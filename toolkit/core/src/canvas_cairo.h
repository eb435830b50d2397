// What the Cairo files of the canvas share; never included outside them.
#pragma once

#include <cairo.h>

#include "toolkit/canvas.h"

namespace tk::detail {

// A Cairo surface over the bitmap's own pixels (the caller destroys it; nullptr when empty).
// Drawing through it writes the bitmap at once: image surfaces have no cache to flush.
inline cairo_surface_t* WrapBitmap(const TBitmap& bitmap) {
  if (bitmap.IsEmpty()) return nullptr;
  return cairo_image_surface_create_for_data(const_cast<uint8_t*>(bitmap.Bits()), CAIRO_FORMAT_ARGB32,
                                             bitmap.Width(), bitmap.Height(), bitmap.Stride());
}

}  // namespace tk::detail
