// The readable source of a language file: UTF-8, one text per line.
//
//   # comment
//   languages 0409 0804 0404
//
//   Undo
//       0409 Undo
//       0804 撤销
//       0404 復原
//
// A source text stands at the start of its line; each following line indented by four
// spaces gives one language's translation. Every text needs exactly one non-empty
// translation per declared language.
#pragma once

#include <string>
#include <string_view>

#include "lang/lang_file.h"
#include "runtime/errors.h"

namespace langc {

class ESourceError : public rt::Exception {
 public:
  ESourceError(const std::string& fileName, int line, const std::string& reason);
  int Line() const { return line_; }

 private:
  int line_;
};

vrnke::TLanguageData ParseLanguageSource(std::string_view text, const std::string& fileName);
// The readable form of language data (for review of a binary file); texts without a
// translation in some language are written with the ones they have.
std::string FormatLanguageSource(const vrnke::TLanguageData& data);

}  // namespace langc
