// Small helpers the control families share.
#pragma once

#include <string>
#include <vector>

#include "runtime/text.h"
#include "toolkit/backend.h"
#include "toolkit/object.h"

namespace tk::detail {

inline std::u32string ToU32(const std::string& s) {
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

inline std::string FromU32(const std::u32string& s) {
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

inline std::vector<std::string> SplitLines(const std::string& s) {
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

inline std::string JoinLines(const std::vector<std::string>& lines) {
  std::string s;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i) s += '\n';
    s += lines[i];
  }
  return s;
}

enum class TClipboardKey { None, Copy, Cut, Paste };

// Ctrl+C / Ctrl+Insert copy, Ctrl+X / Shift+Delete cut, Ctrl+V / Shift+Insert paste.
inline TClipboardKey ClipboardKeyOf(uint16_t key, TShiftState shift) {
  const TShiftState mods = shift & (ssShift | ssCtrl | ssAlt);
  if (mods == ssCtrl) {
    if (key == 'C' || key == vk::Insert) return TClipboardKey::Copy;
    if (key == 'X') return TClipboardKey::Cut;
    if (key == 'V') return TClipboardKey::Paste;
  } else if (mods == ssShift) {
    if (key == vk::Delete) return TClipboardKey::Cut;
    if (key == vk::Insert) return TClipboardKey::Paste;
  }
  return TClipboardKey::None;
}

// Pasted text as a text takes it: CR LF and a lone CR become LF; one line keeps what comes
// before the first break; other control characters are dropped, a tab becomes a space.
inline std::u32string PastedText(const std::string& text, bool multiLine) {
  std::u32string out;
  const std::u32string in = ToU32(text);
  for (size_t i = 0; i < in.size(); ++i) {
    char32_t c = in[i];
    if (c == U'\r') {
      if (i + 1 < in.size() && in[i + 1] == U'\n') ++i;
      c = U'\n';
    }
    if (c == U'\n') {
      if (!multiLine) break;
      out += c;
    } else if (c == U'\t') {
      out += U' ';
    } else if (c >= 32 && c != 127) {
      out += c;
    }
  }
  return out;
}

// The clipboard of the program's backend; without a backend there is none.
inline void CopyToClipboard(const std::string& text) {
  if (HasBackend()) Backend().SetClipboardText(text);
}
inline std::string ClipboardText() { return HasBackend() ? Backend().ClipboardText() : std::string(); }

inline TRectF Deflate(const TRectF& r, const TBounds& b) {
  return {r.left + b.left, r.top + b.top, r.right - b.right, r.bottom - b.bottom};
}

}  // namespace tk::detail
