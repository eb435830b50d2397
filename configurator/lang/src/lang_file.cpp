#include "lang/lang_file.h"

#include <filesystem>
#include <system_error>

#include "runtime/stream.h"
#include "runtime/text.h"

namespace vrnke {

ELangFileError::ELangFileError(const std::string& fileName, int64_t offset, const std::string& reason)
    : rt::EReadError(rt::Format("Language file \"%s\" is damaged at offset %lld: %s", fileName.c_str(),
                                static_cast<long long>(offset), reason.c_str())),
      FFileName(fileName),
      FOffset(offset),
      FReason(reason) {}

namespace {

class TReader {
 public:
  TReader(std::span<const uint8_t> bytes, const std::string& fileName) : FBytes(bytes), FFileName(fileName) {}

  size_t Remaining() const { return FBytes.size() - FPos; }
  size_t Position() const { return FPos; }

  int32_t ReadInt32(const char* what) {
    if (Remaining() < 4) Fail(FPos, rt::Format("%s: 4 bytes needed, %zu left", what, Remaining()));
    uint32_t v = static_cast<uint32_t>(FBytes[FPos]) | static_cast<uint32_t>(FBytes[FPos + 1]) << 8 |
                 static_cast<uint32_t>(FBytes[FPos + 2]) << 16 |
                 static_cast<uint32_t>(FBytes[FPos + 3]) << 24;
    FPos += 4;
    return static_cast<int32_t>(v);
  }

  std::string ReadString(const char* what) {
    const size_t at = FPos;
    const int32_t count = ReadInt32(what);
    if (count < 0) Fail(at, rt::Format("%s: negative length %d", what, count));
    // Checked before anything is allocated: the count must fit in what is left.
    const size_t bytes = static_cast<size_t>(count) * 2;
    if (bytes > Remaining())
      Fail(at, rt::Format("%s: %d characters announced, only %zu bytes left", what, count, Remaining()));
    std::u16string units(static_cast<size_t>(count), u'\0');
    for (size_t i = 0; i < units.size(); ++i)
      units[i] = static_cast<char16_t>(FBytes[FPos + 2 * i] | FBytes[FPos + 2 * i + 1] << 8);
    FPos += bytes;
    return rt::Utf16ToUtf8(units);
  }

  [[noreturn]] void Fail(size_t offset, const std::string& reason) const {
    throw ELangFileError(FFileName, static_cast<int64_t>(offset), reason);
  }

 private:
  std::span<const uint8_t> FBytes;
  const std::string& FFileName;
  size_t FPos = 0;
};

void AppendInt32(std::vector<uint8_t>& out, int32_t value) {
  const auto v = static_cast<uint32_t>(value);
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
  out.push_back(static_cast<uint8_t>(v >> 16));
  out.push_back(static_cast<uint8_t>(v >> 24));
}

void AppendString(std::vector<uint8_t>& out, const std::string& text) {
  const std::u16string units = rt::Utf8ToUtf16(text);
  if (units.size() > 0x7FFFFFFF) throw rt::EWriteError("Language data too large to store");
  AppendInt32(out, static_cast<int32_t>(units.size()));
  for (char16_t u : units) {
    out.push_back(static_cast<uint8_t>(u));
    out.push_back(static_cast<uint8_t>(u >> 8));
  }
}

}  // namespace

TLanguageData ParseLanguageData(std::span<const uint8_t> bytes, const std::string& fileName) {
  TReader reader(bytes, fileName);
  TLanguageData data;
  data.original.SetText(reader.ReadString("source texts"));
  const size_t countAt = reader.Position();
  const int32_t count = reader.ReadInt32("language count");
  if (count <= 0) return data;  // the format's way of saying "no languages"
  // Every language takes at least two 4-byte counts.
  if (static_cast<uint64_t>(count) * 8 > reader.Remaining())
    reader.Fail(countAt,
                rt::Format("%d languages announced, only %zu bytes left", count, reader.Remaining()));
  for (int32_t i = 0; i < count; ++i) {
    TLanguage lang;
    lang.name = reader.ReadString("language name");
    lang.table.SetText(reader.ReadString("translation table"));
    data.languages.push_back(std::move(lang));
  }
  return data;
}

std::vector<uint8_t> SerializeLanguageData(const TLanguageData& data) {
  std::vector<uint8_t> out;
  AppendString(out, data.original.Text());
  if (data.languages.size() > 0x7FFFFFFF) throw rt::EWriteError("Too many languages to store");
  AppendInt32(out, static_cast<int32_t>(data.languages.size()));
  for (const TLanguage& l : data.languages) {
    AppendString(out, l.name);
    AppendString(out, l.table.Text());
  }
  return out;
}

TLanguageData ReadLanguageFile(const std::string& fileName) {
  rt::TMemoryStream stream;
  stream.LoadFromFile(fileName);
  return ParseLanguageData(stream.Bytes(), fileName);
}

void WriteLanguageFile(const std::string& fileName, const TLanguageData& data, plat::Shell& files) {
  const std::vector<uint8_t> bytes = SerializeLanguageData(data);
  rt::TMemoryStream stream;
  stream.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  // Written beside the target, put on the disk, and only then renamed over it: neither a
  // failed write nor a crash right after the rename can leave a half-written or empty file.
  const std::string temp = fileName + ".tmp";
  auto dropTemp = [&temp] {
    std::error_code ignored;
    std::filesystem::remove(temp, ignored);
  };
  try {
    stream.SaveToFile(temp);
  } catch (...) {
    dropTemp();
    throw;
  }
  if (!files.FlushFile(temp)) {
    dropTemp();
    throw rt::EWriteError(
        rt::Format("The language file \"%s\" could not be put on the disk", fileName.c_str()));
  }
  std::error_code ec;
  std::filesystem::rename(temp, fileName, ec);
  if (ec) {
    dropTemp();
    throw rt::EFOpenError(fileName, ec.message());
  }
}

}  // namespace vrnke
