// Effects on whole bitmaps: they work on the pixels, so every canvas shares them.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "toolkit/canvas.h"

namespace tk {

// --- effects -------------------------------------------------------------------------------

namespace {
// One box pass each way over interleaved 8-bit channels (zero outside the picture).
void BoxBlurPlanes(std::vector<uint8_t>& data, int w, int h, int ch, int r) {
  const int win = 2 * r + 1;
  const uint32_t mul = (1u << 16) / uint32_t(win);
  std::vector<uint8_t> out(data.size());
  std::vector<uint32_t> sums(size_t(w) * ch);
  const size_t rowLen = size_t(w) * ch;
  // Horizontal.
  for (int y = 0; y < h; ++y) {
    const uint8_t* in = data.data() + size_t(y) * rowLen;
    uint8_t* o = out.data() + size_t(y) * rowLen;
    for (int c = 0; c < ch; ++c) {
      uint32_t sum = 0;
      for (int i = 0; i <= r && i < w; ++i) sum += in[size_t(i) * ch + c];
      for (int x = 0; x < w; ++x) {
        o[size_t(x) * ch + c] = uint8_t(std::min<uint32_t>(255, (sum * mul + (1u << 15)) >> 16));
        const int add = x + r + 1, sub = x - r;
        if (add < w) sum += in[size_t(add) * ch + c];
        if (sub >= 0) sum -= in[size_t(sub) * ch + c];
      }
    }
  }
  // Vertical, a row at a time with a running sum per column.
  std::fill(sums.begin(), sums.end(), 0);
  for (int i = 0; i <= r && i < h; ++i) {
    const uint8_t* row = out.data() + size_t(i) * rowLen;
    for (size_t k = 0; k < rowLen; ++k) sums[k] += row[k];
  }
  for (int y = 0; y < h; ++y) {
    uint8_t* o = data.data() + size_t(y) * rowLen;
    for (size_t k = 0; k < rowLen; ++k)
      o[k] = uint8_t(std::min<uint32_t>(255, (sums[k] * mul + (1u << 15)) >> 16));
    const int add = y + r + 1, sub = y - r;
    if (add < h) {
      const uint8_t* row = out.data() + size_t(add) * rowLen;
      for (size_t k = 0; k < rowLen; ++k) sums[k] += row[k];
    }
    if (sub >= 0) {
      const uint8_t* row = out.data() + size_t(sub) * rowLen;
      for (size_t k = 0; k < rowLen; ++k) sums[k] -= row[k];
    }
  }
}

// Three box passes of this radius approximate a Gaussian of sigma ~ radius.
void BlurPlanes(std::vector<uint8_t>& data, int w, int h, int ch, float radius) {
  if (radius < 0.5f || w <= 0 || h <= 0) return;
  const int r = std::max(1, int(std::lround(radius * 0.87f)));
  for (int pass = 0; pass < 3; ++pass) BoxBlurPlanes(data, w, h, ch, r);
}
}  // namespace

void BlurBitmap(TBitmap& bitmap, float radius) {
  if (bitmap.IsEmpty() || radius < 0.5f) return;
  const int w = bitmap.Width(), h = bitmap.Height(), stride = bitmap.Stride();
  uint8_t* bits = bitmap.Bits();
  std::vector<uint8_t> px(size_t(w) * h * 4);
  for (int y = 0; y < h; ++y) std::memcpy(&px[size_t(y) * w * 4], bits + y * stride, size_t(w) * 4);
  BlurPlanes(px, w, h, 4, radius);
  for (int y = 0; y < h; ++y) std::memcpy(bits + y * stride, &px[size_t(y) * w * 4], size_t(w) * 4);
  bitmap.MarkDirty();
}

TBitmap MakeShadow(const TBitmap& src, TAlphaColor color, float radius, int grow) {
  TBitmap out;
  if (src.IsEmpty()) return out;
  const int w = src.Width() + 2 * grow, h = src.Height() + 2 * grow;
  out.SetSize(w, h);
  // Only the coverage is blurred, then coloured.
  std::vector<uint8_t> alpha(size_t(w) * h, 0);
  const uint8_t* sb = src.Bits();
  for (int y = 0; y < src.Height(); ++y) {
    const uint8_t* row = sb + y * src.Stride();
    uint8_t* a = alpha.data() + size_t(y + grow) * w + grow;
    for (int x = 0; x < src.Width(); ++x) {
      uint32_t p;
      std::memcpy(&p, row + x * 4, 4);
      a[x] = uint8_t(p >> 24);
    }
  }
  BlurPlanes(alpha, w, h, 1, radius);
  uint8_t* db = out.Bits();
  const uint32_t ca = color >> 24, cr = (color >> 16) & 0xFF, cg = (color >> 8) & 0xFF, cb = color & 0xFF;
  for (int y = 0; y < h; ++y) {
    uint8_t* row = db + y * out.Stride();
    const uint8_t* a = alpha.data() + size_t(y) * w;
    for (int x = 0; x < w; ++x) {
      const uint32_t al = (uint32_t(a[x]) * ca + 127) / 255;
      const uint32_t p = (al << 24) | (((cr * al + 127) / 255) << 16) | (((cg * al + 127) / 255) << 8) |
                         ((cb * al + 127) / 255);
      std::memcpy(row + x * 4, &p, 4);
    }
  }
  out.MarkDirty();
  return out;
}

}  // namespace tk
