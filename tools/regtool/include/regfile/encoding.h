// The bytes a written .reg text goes to disk as.
#pragma once

#include <string>
#include <string_view>

namespace regfile {

enum class TextEncoding {
  // What the system's registry editor writes: UTF-16LE with a byte-order mark. Its reader takes
  // a file without the mark as the ANSI code page, which garbles REG_SZ text beyond ASCII.
  Utf16,
  Utf8,  // without a mark
};

// `utf8` (a document from Write) in the given encoding.
std::string EncodeText(std::string_view utf8, TextEncoding encoding);

}  // namespace regfile
