// The system's texts are UTF-8 std::string; other encodings exist only at the boundaries
// (the UTF-16 language file, the registry of the Win32 backend).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace rt {

// Malformed input never throws: an invalid sequence becomes U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);
// Appends one code point (at most U+10FFFF) as UTF-8.
void AppendUtf8(std::string& out, char32_t cp);

// Case-insensitive equality for names (ASCII letters fold; other characters compare as is).
bool SameText(std::string_view a, std::string_view b);
std::string LowerCase(std::string_view text);
std::string UpperCase(std::string_view text);

// printf-style formatting ("Command%d", "Invalid data type for '%s'").
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

std::string IntToStr(long long value);
// Decimal, optional sign, or "$"/"0x" hexadecimal; anything else raises EConvertError.
long long StrToInt(std::string_view text);
bool TryStrToInt(std::string_view text, long long& value);

}  // namespace rt
