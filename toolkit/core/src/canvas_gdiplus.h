// What the GDI+ files of the canvas share; never included outside them.
#pragma once

// clang-format off
#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>
// clang-format on

#include <memory>
#include <string>

#include "runtime/text.h"
#include "toolkit/canvas.h"

namespace tk::detail {

// Starts GDI+ once for the process (it stays up until the process ends: bitmaps and canvases
// may live in statics). Raises rt::Exception when GDI+ cannot start.
void StartGdiplus();

inline std::wstring Wide(const std::string& utf8) {
  const std::u16string s = rt::Utf8ToUtf16(utf8);
  return std::wstring(s.begin(), s.end());
}

// A GDI+ bitmap over the bitmap's own pixels: drawing through it writes them at once.
inline std::unique_ptr<Gdiplus::Bitmap> WrapBitmap(const TBitmap& bitmap) {
  StartGdiplus();
  return std::make_unique<Gdiplus::Bitmap>(bitmap.Width(), bitmap.Height(), bitmap.Stride(),
                                           PixelFormat32bppPARGB,
                                           const_cast<BYTE*>(reinterpret_cast<const BYTE*>(bitmap.Bits())));
}

}  // namespace tk::detail
