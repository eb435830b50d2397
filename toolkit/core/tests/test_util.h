// Helpers shared by the toolkit's tests.
#pragma once

#include <memory>

#include "toolkit/toolkit.h"

namespace tk::test {

// Installs a fresh headless backend for the duration of a test.
class HeadlessScope {
 public:
  explicit HeadlessScope(int w = 1366, int h = 768) {
    auto b = std::make_unique<THeadlessBackend>(w, h);
    backend_ = b.get();
    SetBackend(std::move(b));
  }
  ~HeadlessScope() { SetBackend(std::make_unique<THeadlessBackend>()); }
  THeadlessBackend& operator*() const { return *backend_; }
  THeadlessBackend* operator->() const { return backend_; }

 private:
  THeadlessBackend* backend_;
};

inline TPointF CenterOnScreen(const TVisualObject& o) {
  return o.LocalToScreen({o.Width() / 2, o.Height() / 2});
}

inline int Alpha(TAlphaColor c) { return int(c >> 24); }
inline int Red(TAlphaColor c) { return int((c >> 16) & 0xFF); }
inline int Green(TAlphaColor c) { return int((c >> 8) & 0xFF); }
inline int Blue(TAlphaColor c) { return int(c & 0xFF); }

inline int InkPixels(const TBitmap& b) {
  int n = 0;
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x)
      if (Alpha(b.Pixel(x, y)) > 64) ++n;
  return n;
}

inline bool SamePixels(const TBitmap& a, const TBitmap& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < a.Width(); ++x)
      if (a.Pixel(x, y) != b.Pixel(x, y)) return false;
  return true;
}

}  // namespace tk::test
