// The language file ("qv.local", "*.Local") and the form's "ResourcesBin" data.
//
// Little-endian, no header, no byte-order mark. A string is an int32 count of UTF-16 code
// units followed by that many UTF-16LE code units, no terminator.
//   string  source texts, each line ended by CR LF
//   int32   number of languages L (0 or less: none)
//   L times: string language name ("0804"), string translation table (lines "source=text")
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "runtime/errors.h"
#include "toolkit/string_lists.h"

namespace vrnke {

// A language file that cannot be read: names the file and the byte offset of the fault.
class ELangFileError : public rt::EReadError {
 public:
  ELangFileError(const std::string& fileName, int64_t offset, const std::string& reason);
  const std::string& FileName() const { return FFileName; }
  int64_t Offset() const { return FOffset; }
  const std::string& Reason() const { return FReason; }

 private:
  std::string FFileName;
  int64_t FOffset;
  std::string FReason;
};

struct TLanguage {
  std::string name;  // four hex digits of a language id
  tk::TTranslationTable table;
  bool operator==(const TLanguage&) const = default;
};

struct TLanguageData {
  tk::TSortedStrings original;
  std::vector<TLanguage> languages;  // in file order
  bool operator==(const TLanguageData&) const = default;
};

// Parses the whole buffer. Never reads past its end, and allocates no more than the buffer
// could hold: a count that runs past the end or is negative raises ELangFileError naming
// fileName and the offset of that count.
TLanguageData ParseLanguageData(std::span<const uint8_t> bytes, const std::string& fileName);
std::vector<uint8_t> SerializeLanguageData(const TLanguageData& data);

// Whole-file helpers. ReadLanguageFile raises rt::EFOpenError when the file cannot be opened.
TLanguageData ReadLanguageFile(const std::string& fileName);
// WriteLanguageFile writes beside the target, puts the data on the disk through `files`
// (FlushFile) and only then renames it over the target: a failed write or flush raises
// rt::EWriteError or rt::EFOpenError and leaves the old file as it was.
void WriteLanguageFile(const std::string& fileName, const TLanguageData& data, plat::Shell& files);

}  // namespace vrnke
