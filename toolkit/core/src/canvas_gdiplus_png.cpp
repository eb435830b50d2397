// PNG files and data through GDI+. Only PNG is taken, as on every canvas, although GDI+ would
// read other formats too.
#include <shlwapi.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "canvas_gdiplus.h"
#include "runtime/errors.h"

namespace tk {

namespace G = Gdiplus;

namespace {

bool IsPng(const std::vector<uint8_t>& data) {
  static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  return data.size() > 8 && std::memcmp(data.data(), kSignature, 8) == 0;
}

// The PNG encoder's class id (fixed by GDI+).
const CLSID kPngEncoder = {0x557cf406, 0x1a04, 0x11d3, {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};

// Decodes into the bitmap; false when the data is no picture GDI+ can read.
bool Decode(TBitmap& bmp, const std::vector<uint8_t>& data) {
  detail::StartGdiplus();
  if (!IsPng(data)) return false;
  IStream* stream = SHCreateMemStream(data.data(), UINT(data.size()));
  if (!stream) return false;
  bool ok = false;
  {
    G::Bitmap decoded(stream);
    if (decoded.GetLastStatus() == G::Ok) {
      const UINT w = decoded.GetWidth(), h = decoded.GetHeight();
      G::Rect all(0, 0, INT(w), INT(h));
      G::BitmapData locked;
      if (w > 0 && h > 0 &&
          decoded.LockBits(&all, G::ImageLockModeRead, PixelFormat32bppPARGB, &locked) == G::Ok) {
        bmp.SetSize(int(w), int(h));
        uint8_t* dst = bmp.Bits();
        for (UINT y = 0; y < h; ++y)
          std::memcpy(dst + size_t(y) * size_t(bmp.Stride()),
                      static_cast<const uint8_t*>(locked.Scan0) + INT(y) * locked.Stride, size_t(w) * 4);
        decoded.UnlockBits(&locked);
        ok = true;
      }
    }
  }
  stream->Release();
  return ok;
}

std::vector<uint8_t> Encode(const TBitmap& bmp) {
  detail::StartGdiplus();
  // PNG keeps straight alpha: the encoder gets an ARGB copy, unpremultiplied here, so the
  // result does not hang on how an encoder treats premultiplied input.
  G::Bitmap straight(bmp.Width(), bmp.Height(), PixelFormat32bppARGB);
  G::Rect all(0, 0, bmp.Width(), bmp.Height());
  G::BitmapData locked;
  if (straight.LockBits(&all, G::ImageLockModeWrite, PixelFormat32bppARGB, &locked) != G::Ok)
    throw rt::EWriteError("GDI+ cannot hold the picture to encode it");
  for (int y = 0; y < bmp.Height(); ++y) {
    auto* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(locked.Scan0) + y * locked.Stride);
    for (int x = 0; x < bmp.Width(); ++x) row[x] = bmp.Pixel(x, y);
  }
  straight.UnlockBits(&locked);
  IStream* stream = SHCreateMemStream(nullptr, 0);
  if (!stream) throw rt::EWriteError("No memory for the PNG data");
  std::vector<uint8_t> out;
  const G::Status st = straight.Save(stream, &kPngEncoder, nullptr);
  if (st == G::Ok) {
    STATSTG stat{};
    LARGE_INTEGER zero{};
    if (SUCCEEDED(stream->Stat(&stat, STATFLAG_NONAME)) &&
        SUCCEEDED(stream->Seek(zero, STREAM_SEEK_SET, nullptr))) {
      out.resize(size_t(stat.cbSize.QuadPart));
      ULONG got = 0;
      if (FAILED(stream->Read(out.data(), ULONG(out.size()), &got)) || got != out.size()) out.clear();
    }
  }
  stream->Release();
  if (out.empty()) throw rt::EWriteError("GDI+ could not encode the picture as PNG");
  return out;
}

}  // namespace

void TBitmap::LoadFromFile(const std::string& fileName) {
  FILE* f = _wfopen(detail::Wide(fileName).c_str(), L"rb");
  if (!f) throw rt::EFOpenError(fileName, "file not found");
  std::vector<uint8_t> data;
  uint8_t buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) data.insert(data.end(), buf, buf + n);
  std::fclose(f);
  if (!Decode(*this, data)) throw rt::EFOpenError(fileName, "not a readable PNG image");
}

void TBitmap::SaveToFile(const std::string& fileName) const {
  if (IsEmpty()) throw rt::EWriteError("Cannot save an empty bitmap to " + fileName);
  const std::vector<uint8_t> data = Encode(*this);
  FILE* f = _wfopen(detail::Wide(fileName).c_str(), L"wb");
  if (!f) throw rt::EWriteError(fileName + ": cannot create the file");
  const bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size();
  if (std::fclose(f) != 0 || !ok) throw rt::EWriteError(fileName + ": write error");
}

void TBitmap::LoadFromPngData(const std::vector<uint8_t>& data) {
  if (!Decode(*this, data)) throw rt::EReadError("The picture data is not a valid PNG image");
}

std::vector<uint8_t> TBitmap::SavePngData() const {
  if (IsEmpty()) return {};
  return Encode(*this);
}

}  // namespace tk
