// Every caption, text and hint of the program's stored window descriptions has a
// translation in each language of the shipped file.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "lang/lang_file.h"
#include "toolkit/forms/form_text.h"

namespace vrnke::test {
namespace {

void CollectTexts(const tk::forms::FormNode& node, std::vector<std::string>& out) {
  for (const auto& m : node.members) {
    if (m.kind == tk::forms::MemberKind::Property) {
      if (m.value.kind == tk::forms::ValueKind::String && !m.value.text.empty() &&
          (m.name == "Caption" || m.name == "Text" || m.name == "Hint"))
        out.push_back(m.value.text);
    }
    for (const auto& n : m.nodes) CollectTexts(n, out);
  }
}

TEST(ShippedFileAndForms, TranslatesEveryTextOfTheStoredWindows) {
  const char* root = std::getenv("VRNKE_SOURCE_DIR");
  const std::filesystem::path source = root ? root : VRNKE_SOURCE_ROOT;
  const TLanguageData data = ReadLanguageFile(VRNKE_QV_LOCAL);
  int files = 0;
  // The program's windows and the language editing form.
  for (const char* folder : {"configurator/forms", "configurator/lang/forms"}) {
    const std::filesystem::path forms = source / folder;
    if (!std::filesystem::is_directory(forms)) GTEST_SKIP() << "no stored windows in " << forms;
    for (const auto& entry : std::filesystem::directory_iterator(forms)) {
      if (entry.path().extension() != ".form") continue;
      ++files;
      std::vector<std::string> texts;
      CollectTexts(tk::forms::ParseFormFile(entry.path().string()).root, texts);
      EXPECT_FALSE(texts.empty()) << entry.path();
      for (const std::string& t : texts)
        for (const TLanguage& l : data.languages) {
          const std::string* v = l.table.Value(t);
          EXPECT_TRUE(v && !v->empty()) << entry.path().filename() << ": \"" << t << "\" has no " << l.name;
        }
    }
  }
  EXPECT_GT(files, 3);
}

}  // namespace
}  // namespace vrnke::test
