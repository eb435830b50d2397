// The translator's tool on the shipped language file, driven through the headless backend:
// collect the program's texts, add a language, translate two texts, save, and read the file
// back with a reader of the test's own.
#include "langedit/lang_editor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

#include "testing/display/xvfb.h"
#include "testing/platform/fake_locale.h"
#include "testing/platform/fake_shell.h"
#include "testing/platform/files.h"
#include "testing/platform/temp_dir.h"
#include "toolkit/app/application.h"
#include "toolkit/forms/toolkit_forms.h"
#include "toolkit/headless.h"

namespace vrnke::test {
namespace {

namespace fs = std::filesystem;

// The language file as the format describes it, read without the program's reader.
struct TReadBack {
  std::vector<std::string> sources;
  std::vector<std::pair<std::string, std::map<std::string, std::string>>> languages;
};

int32_t Int32(const std::vector<uint8_t>& b, size_t& at) {
  const uint32_t v = uint32_t(b.at(at)) | uint32_t(b.at(at + 1)) << 8 | uint32_t(b.at(at + 2)) << 16 |
                     uint32_t(b.at(at + 3)) << 24;
  at += 4;
  return static_cast<int32_t>(v);
}

std::u16string Utf16(const std::vector<uint8_t>& b, size_t& at) {
  const int32_t n = Int32(b, at);
  std::u16string s;
  for (int32_t i = 0; i < n; ++i, at += 2) s += char16_t(b.at(at) | (b.at(at + 1) << 8));
  return s;
}

std::string Utf8(const std::u16string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    char32_t c = s[i];
    if (c >= 0xD800 && c < 0xDC00) c = 0x10000 + ((c - 0xD800) << 10) + (s[++i] - 0xDC00);
    if (c < 0x80) {
      out += char(c);
    } else if (c < 0x800) {
      out += char(0xC0 | (c >> 6));
      out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += char(0xE0 | (c >> 12));
      out += char(0x80 | ((c >> 6) & 0x3F));
      out += char(0x80 | (c & 0x3F));
    } else {
      out += char(0xF0 | (c >> 18));
      out += char(0x80 | ((c >> 12) & 0x3F));
      out += char(0x80 | ((c >> 6) & 0x3F));
      out += char(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::vector<std::string> CrLfLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t from = 0;
  for (size_t at; (at = text.find("\r\n", from)) != std::string::npos; from = at + 2)
    lines.push_back(text.substr(from, at - from));
  EXPECT_EQ(from, text.size()) << "every line ends with CR LF";
  return lines;
}

TReadBack ReadBack(const std::string& file) {
  const std::vector<uint8_t> b = plat::testing::FileBytes(file);
  TReadBack r;
  size_t at = 0;
  r.sources = CrLfLines(Utf8(Utf16(b, at)));
  const int32_t count = Int32(b, at);
  for (int32_t i = 0; i < count; ++i) {
    const std::string name = Utf8(Utf16(b, at));
    std::map<std::string, std::string> table;
    for (const std::string& line : CrLfLines(Utf8(Utf16(b, at)))) {
      const size_t eq = line.find('=');
      table.emplace(line.substr(0, eq), line.substr(eq + 1));
    }
    r.languages.emplace_back(name, std::move(table));
  }
  EXPECT_EQ(at, b.size());
  return r;
}

class LangEditTool : public ::testing::Test {
 protected:
  void SetUp() override {
    backend_ = new tk::THeadlessBackend(1366, 768);
    tk::SetBackend(std::unique_ptr<tk::TBackend>(backend_));
    tk::forms::SetFormsFolder(VRNKE_FORMS_DIR);
    fs::copy_file(VRNKE_QV_LOCAL, dir_.path() / "qv.local");
    // A window of the program with a text the shipped file does not know yet.
    std::ofstream(dir_.path() / "Extra.form")
        << "Extra : TExtra {\n  ClientWidth = 200\n  ClientHeight = 100\n"
           "  Label9 : TvgLabel { Text = \"Brand new text\" Hint = \"A hint\" }\n"
           "  qvLanguage1 : TqvLanguage { }\n}\n";
    env_.locale = &locale_;
    env_.programFolder = dir_.str();
    env_.files = &files_;
    options_.forms = {(fs::path(VRNKE_FORMS_DIR) / "SettingMain.form").string(),
                      (fs::path(VRNKE_FORMS_DIR) / "combofrm.form").string(),
                      (dir_.path() / "Extra.form").string()};
  }
  void TearDown() override {
    tk::Application().OnModalIdle = nullptr;
    tk::forms::SetFormsFolder("");
  }

  void ClickAt(tk::TVisualObject* o, float x, float y) {
    const tk::TPointF p = o->LocalToScreen({x, y});
    backend_->Click(p.x, p.y);
  }
  void ClickOn(TqvLanguageDesignForm& form, const std::string& name) {
    auto* o = dynamic_cast<tk::TVisualObject*>(form.FindComponent(name));
    ASSERT_NE(o, nullptr) << name;
    ClickAt(o, o->Width() / 2, o->Height() / 2);
  }

  plat::testing::TempDir dir_;
  plat::testing::FakeLocale locale_;
  plat::testing::FsShell files_;
  TLanguageEnvironment env_;
  TLangEditOptions options_;
  tk::THeadlessBackend* backend_ = nullptr;
};

TEST_F(LangEditTool, CollectsTheProgramsTextsAddsALanguageAndSavesIt) {
  const std::string file = (dir_.path() / "qv.local").string();
  const TReadBack shipped = ReadBack(file);
  ASSERT_EQ(shipped.languages.size(), 3u);
  options_.languageFile = file;

  std::vector<std::string> missing;
  int round = 0;
  tk::Application().OnModalIdle = [&] {
    if (round++ > 0) return;
    TqvLanguageDesignForm* form = nullptr;
    for (tk::TWindow* w : tk::TWindow::All())
      if (auto* f = dynamic_cast<TqvLanguageDesignForm*>(w)) form = f;
    ASSERT_NE(form, nullptr);
    // Every source text of the file, the new window's texts and the built texts are there.
    const tk::TSortedStrings& sources = form->Lang()->Original();
    for (const std::string& t : shipped.sources)
      if (!sources.Contains(t)) missing.push_back(t);
    for (const char* t : {"Brand new text", "A hint", "Wheel Down(Mouse)"})
      if (!sources.Contains(t)) missing.push_back(t);
    EXPECT_EQ(form->TabControl()->TabCount(), 3);

    // Add French through the list of languages.
    ClickOn(*form, "LangCombo");
    auto* combo = dynamic_cast<tk::TvgStringComboBox*>(form->FindComponent("LangCombo"));
    for (tk::TVisualObject* row : combo->ListPopup()->Children())
      if (auto* t = dynamic_cast<tk::TvgTextControl*>(row); t && t->Text() == "French (France)")
        ClickAt(row, row->Width() / 2, row->Height() / 2);
    ClickOn(*form, "BtnAddLanguage");
    ASSERT_EQ(form->TabControl()->TabCount(), 4);

    // Translate two texts: click the first translation cell, walk down with the keys, type.
    tk::TvgStringGrid* grid = form->GridOfTab(3);
    ClickAt(grid, 380 + 220, grid->HeaderHeight() + grid->RowHeight() / 2);
    int at = 0;
    for (const auto& [text, french] : std::vector<std::pair<std::string, std::string>>{
             {"Brand new text", "Texte tout neuf"}, {"Wheel Down(Mouse)", "Molette vers le bas (souris)"}}) {
      const int row = sources.IndexOf(text);
      for (; at < row; ++at) backend_->Key(tk::vk::Down);
      backend_->TypeText(french);
    }
    ClickOn(*form, "sbtnsavelanguagetofile");
  };
  EXPECT_EQ(RunLanguageEditor(env_, options_), tk::mrOk);
  EXPECT_TRUE(missing.empty()) << missing.size() << " missing, first: " << missing[0];

  const TReadBack saved = ReadBack(file);
  ASSERT_EQ(saved.languages.size(), 4u);
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(saved.languages[i].first, shipped.languages[i].first);
    // Every shipped translation is still there.
    for (const auto& [s, t] : shipped.languages[i].second) EXPECT_EQ(saved.languages[i].second.at(s), t) << s;
  }
  EXPECT_EQ(saved.languages[3].first, "040c");
  EXPECT_EQ(saved.languages[3].second,
            (std::map<std::string, std::string>{{"Brand new text", "Texte tout neuf"},
                                                {"Wheel Down(Mouse)", "Molette vers le bas (souris)"}}));
  EXPECT_TRUE(std::find(saved.sources.begin(), saved.sources.end(), "Brand new text") != saved.sources.end());
}

TEST_F(LangEditTool, RendersTheFormWithoutADisplay) {
  const fs::path png = dir_.path() / "form.png";
  const std::string cmd = std::string(VRNKELANGEDIT_EXE) + " " + (dir_.path() / "qv.local").string() +
                          " --forms " + VRNKE_FORMS_DIR + " --png " + png.string();
  ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
  tk::TBitmap picture;
  picture.LoadFromFile(png.string());
  EXPECT_EQ(picture.Width(), 930);
  EXPECT_EQ(picture.Height(), 508);
  const std::string bad = std::string(VRNKELANGEDIT_EXE) + " --nonsense 2>/dev/null";
  EXPECT_EQ(WEXITSTATUS(std::system(bad.c_str())), 2);
  // Without --png the form needs a display, and says so.
  const fs::path err = dir_.path() / "err.txt";
  const std::string noDisplay = "env -u DISPLAY " + std::string(VRNKELANGEDIT_EXE) + " " +
                                (dir_.path() / "qv.local").string() + " 2>" + err.string();
  EXPECT_EQ(WEXITSTATUS(std::system(noDisplay.c_str())), 1);
  std::ifstream in(err);
  const std::string said((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(said.find("DISPLAY"), std::string::npos) << said;
}

// The tool in a real window, with xclip as the other program: copy a source text out of the
// tool, paste two texts into it (Ctrl+V, Shift+Insert), save, and read the file.
TEST_F(LangEditTool, CopiesToAndPastesFromAnotherProgramOnX11) {
  std::unique_ptr<vrnke::testing::TXvfb> xvfb = vrnke::testing::TXvfb::TryStart(1024, 768);
  if (!xvfb) GTEST_SKIP() << "Xvfb does not start here";
  const std::string file = (dir_.path() / "qv.local").string();
  // Where the grid's cells and the save button lie in the window: from the same form, built here.
  tk::TPointF source0, translation0, translation1, save;
  {
    TqvLanguage lang(nullptr, env_);
    lang.LoadFromFile(file);
    TqvLanguageDesignForm form(nullptr, env_, &lang);
    form.LoadLanguageAndCreateTranslateTabList();
    tk::TvgStringGrid* grid = form.GridOfTab(form.TabControl()->TabIndex());
    ASSERT_NE(grid, nullptr);
    auto row = [grid](int r) { return grid->HeaderHeight() + (float(r) + 0.5f) * grid->RowHeight(); };
    source0 = grid->LocalToAbsolute({190, row(0)});
    translation0 = grid->LocalToAbsolute({380 + 220, row(0)});
    translation1 = grid->LocalToAbsolute({380 + 220, row(1)});
    auto* button = dynamic_cast<tk::TVisualObject*>(form.FindComponent("sbtnsavelanguagetofile"));
    ASSERT_NE(button, nullptr);
    save = button->LocalToAbsolute({button->Width() / 2, button->Height() / 2});
  }

  vrnke::testing::TBackgroundClient tool(std::string(VRNKELANGEDIT_EXE) + " " + file + " --forms " +
                                         VRNKE_FORMS_DIR);
  std::string window;
  for (int i = 0; i < 200 && window.empty(); ++i) {
    xvfb->Run("xdotool search --name 'Language Translate'", &window);
    if (window.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_FALSE(tool.Finished()) << "the tool ended early";
  }
  ASSERT_FALSE(window.empty()) << "no window of the tool";
  window = window.substr(0, window.find('\n'));
  auto click = [&](tk::TPointF p) {
    ASSERT_EQ(xvfb->Run("xdotool mousemove --window " + window + " " + std::to_string(int(p.x)) + " " +
                        std::to_string(int(p.y)) + " click 1"),
              0);
  };
  auto offer = [&](const std::string& text) {  // xclip takes the clipboard with this text
    const fs::path f = dir_.path() / "clip.txt";
    std::ofstream(f, std::ios::binary) << text;
    ASSERT_EQ(xvfb->Run("xclip -i -selection clipboard " + f.string() + " >/dev/null"), 0);
    // The xclip left behind takes the selection a moment after the first one ended.
    std::string now;
    for (int i = 0; i < 100 && now != text; ++i) {
      xvfb->Run("xclip -o -selection clipboard 2>/dev/null", &now);
      if (now != text) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  };

  // Copy: the other program reads what the tool holds (once the tool has seen the keys).
  click(source0);
  xvfb->Run("xdotool key ctrl+c");
  std::string copied;
  for (int i = 0; i < 100 && copied.empty(); ++i) {
    xvfb->Run("xclip -o -selection clipboard 2>/dev/null", &copied);
    if (copied.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_FALSE(copied.empty());

  // Paste: the tool reads what the other program holds.
  offer("粘贴 ✓ Paste");
  click(translation0);
  xvfb->Run("xdotool key Delete ctrl+v");
  offer("第二 second");
  click(translation1);
  xvfb->Run("xdotool key Delete shift+Insert");
  click(save);
  ASSERT_TRUE(tool.Wait(20)) << "the tool did not end after saving";
  EXPECT_EQ(tool.ExitCode(), 0);

  const TReadBack saved = ReadBack(file);
  ASSERT_GE(saved.sources.size(), 2u);
  EXPECT_EQ(copied, saved.sources[0]);
  // The tab shown at start is the last language's.
  ASSERT_EQ(saved.languages.size(), 3u);
  EXPECT_EQ(saved.languages[2].first, "0404");
  EXPECT_EQ(saved.languages[2].second.at(saved.sources[0]), "粘贴 ✓ Paste");
  EXPECT_EQ(saved.languages[2].second.at(saved.sources[1]), "第二 second");
}

}  // namespace
}  // namespace vrnke::test
