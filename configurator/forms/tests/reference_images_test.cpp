// The program's windows as a person looked at them: each render is compared with a checked-in
// reference picture. A pixel differs when one of its channels is off by more than
// kChannelTolerance; a render fails when more than kDifferingShare of its pixels differ.
// On a failure the render and a picture of the difference are written beside the build.
// After an intended change: VRNKE_UPDATE_REFERENCES=1 rewrites the references (see
// configurator/forms/README.md), and a person looks at every picture before it is committed.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "canvas_scenes.h"
#include "lang/lang_file.h"
#include "lang/locale_tables.h"
#include "platform/posix.h"
#include "program_forms.h"
#include "toolkit/app/application.h"
#include "toolkit/headless.h"
#include "toolkit/translate.h"

namespace vrnke::test {
namespace {

namespace fs = std::filesystem;

constexpr int kChannelTolerance = 8;        // of 255, per channel (A, R, G, B)
constexpr double kDifferingShare = 0.0002;  // 0.02 % of the pixels

const std::string kFormsDir = VRNKE_TEST_FORMS_DIR;
const fs::path kReferenceDir = VRNKE_REFERENCE_DIR;
const fs::path kFailureDir = fs::path(VRNKE_TEST_RENDER_DIR) / "reference-failures";

int ChannelDifference(tk::TAlphaColor a, tk::TAlphaColor b) {
  int d = 0;
  for (int shift = 0; shift < 32; shift += 8)
    d = std::max(d, std::abs(int((a >> shift) & 255) - int((b >> shift) & 255)));
  return d;
}

struct Comparison {
  bool sameSize = false;
  long differing = 0;
  long total = 0;
  tk::TBitmap difference;  // the reference dimmed to grey, differing pixels in red
};

Comparison Compare(const tk::TBitmap& reference, const tk::TBitmap& actual) {
  Comparison c;
  c.sameSize = reference.Width() == actual.Width() && reference.Height() == actual.Height();
  if (!c.sameSize) return c;
  c.total = long(reference.Width()) * reference.Height();
  c.difference.SetSize(reference.Width(), reference.Height());
  for (int y = 0; y < reference.Height(); ++y)
    for (int x = 0; x < reference.Width(); ++x) {
      const tk::TAlphaColor r = reference.Pixel(x, y);
      if (ChannelDifference(r, actual.Pixel(x, y)) > kChannelTolerance) {
        ++c.differing;
        c.difference.SetPixel(x, y, 0xFFFF0000);
      } else {
        const unsigned grey = (((r >> 16) & 255) + ((r >> 8) & 255) + (r & 255)) / 6;
        c.difference.SetPixel(x, y, 0xFF000000 | grey << 16 | grey << 8 | grey);
      }
    }
  return c;
}

// Checks a render against its reference, or writes it as the new reference when asked to.
void ExpectLooksLikeReference(const tk::TBitmap& actual, const std::string& name) {
  const fs::path reference = kReferenceDir / (name + ".png");
  const char* update = std::getenv("VRNKE_UPDATE_REFERENCES");
  if (update && std::string(update) == "1") {
    fs::create_directories(kReferenceDir);
    actual.SaveToFile(reference.string());
    std::printf("wrote %s: look at it before committing it\n", reference.c_str());
    return;
  }
  ASSERT_TRUE(fs::exists(reference)) << reference << " is missing; render it with VRNKE_UPDATE_REFERENCES=1";
  tk::TBitmap expected;
  expected.LoadFromFile(reference.string());
  const Comparison c = Compare(expected, actual);
  const bool ok = c.sameSize && double(c.differing) <= kDifferingShare * double(c.total);
  if (!ok) {
    fs::create_directories(kFailureDir);
    actual.SaveToFile((kFailureDir / (name + ".actual.png")).string());
    if (c.sameSize) c.difference.SaveToFile((kFailureDir / (name + ".diff.png")).string());
  }
  EXPECT_TRUE(c.sameSize) << name << ": " << actual.Width() << "x" << actual.Height() << " against "
                          << expected.Width() << "x" << expected.Height();
  EXPECT_LE(double(c.differing), kDifferingShare * double(c.total))
      << name << ": " << c.differing << " of " << c.total << " pixels differ; render and difference in "
      << kFailureDir;
}

// The three languages of the shipped file, as the program selects them.
const char* const kLanguages[] = {"0409", "0804", "0404"};

class ReferenceImages : public ::testing::Test {
 protected:
  void SetUp() override {
    backend_ = new tk::THeadlessBackend(1366, 768);
    tk::SetBackend(std::unique_ptr<tk::TBackend>(backend_));
    languages_ = vrnke::ReadLanguageFile(VRNKE_QV_LOCAL);
  }
  void TearDown() override {
    tk::SetTranslateFunction({});
    tk::Application().OnModalIdle = nullptr;
  }

  void UseLanguage(const std::string& id) { vrnke::test::UseLanguage(languages_, id); }

  // The main window as it stands after start-up in language `id`: the pop-up lists the
  // languages by their native names and shows the chosen one.
  void LoadMain(TTestMain& form, const std::string& id) {
    UseLanguage(id);
    LoadProgramForm(form, kFormsDir, "SettingMain.form");
    const fs::path home = fs::path(::testing::TempDir()) / "vrnke_reference_platform";
    auto platform = plat::CreatePosixPlatform({(home / "registry").string(), (home / "run").string()});
    vrnke::LocaleTables().Rebuild(platform->locale());
    auto* popup = dynamic_cast<tk::TvgPopupBox*>(form.FindComponent("PopupBoxLanguage"));
    ASSERT_NE(popup, nullptr);
    int chosen = -1;
    for (const char* l : kLanguages) {
      const vrnke::TLocaleEntry* e = vrnke::LocaleTables().Find(l);
      ASSERT_NE(e, nullptr) << l;
      if (id == l) chosen = int(popup->Items().size());
      popup->AddItem(e->nativeName);
    }
    popup->SetItemIndex(chosen);
    form.Scene()->Retranslate();
    form.Show();
  }

  tk::THeadlessBackend* backend_ = nullptr;
  vrnke::TLanguageData languages_;
};

TEST_F(ReferenceImages, MainWindowInEachLanguage) {
  for (const char* id : kLanguages) {
    TTestMain form(nullptr);
    LoadMain(form, id);
    ExpectLooksLikeReference(form.Render(), std::string("SettingMain_") + id);
  }
}

TEST_F(ReferenceImages, KeyDialogsInEachLanguage) {
  struct Dialog {
    const char* file;
    std::function<tk::TForm*()> make;
  };
  const Dialog dialogs[] = {{"SingleKeyfrm", [] { return new TTestSingle(nullptr); }},
                            {"combofrm", [] { return new TTestCombo(nullptr); }}};
  for (const Dialog& d : dialogs)
    for (const char* id : kLanguages) {
      UseLanguage(id);
      std::unique_ptr<tk::TForm> form(d.make());
      LoadProgramForm(*form, kFormsDir, std::string(d.file) + ".form");
      form->Scene()->Retranslate();
      ExpectLooksLikeReference(form->Render(), std::string(d.file) + "_" + id);
    }
}

TEST_F(ReferenceImages, PointerOnAFunctionKey) {
  TTestMain form(nullptr);
  LoadMain(form, "0409");
  WireKeyHighlight(form);
  auto* button = dynamic_cast<tk::TVisualObject*>(form.FindComponent("FUNCBTN3"));
  ASSERT_NE(button, nullptr);
  const tk::TPointF p = button->LocalToScreen({100, 14});
  backend_->MoveMouse(p.x, p.y);
  ExpectLooksLikeReference(form.Render(), "SettingMain_hover");
}

// The language list dropped down from the title bar, the pointer on its last row: dark like
// the bar, light text, the row under the pointer lit and the chosen one marked.
TEST_F(ReferenceImages, LanguageListOnTheDarkBar) {
  TTestMain form(nullptr);
  LoadMain(form, "0804");
  auto* popup = dynamic_cast<tk::TvgPopupBox*>(form.FindComponent("PopupBoxLanguage"));
  ASSERT_NE(popup, nullptr);
  const tk::TPointF at = popup->LocalToScreen({popup->Width() / 2, popup->Height() / 2});
  backend_->Click(at.x, at.y);
  ASSERT_NE(popup->ListPopup(), nullptr);
  ASSERT_TRUE(popup->ListPopup()->IsOpen());
  tk::TWindow* list = popup->ListPopup()->PopupWindow();
  ASSERT_NE(list, nullptr);
  tk::TVisualObject* last = nullptr;
  for (tk::TVisualObject* c : popup->ListPopup()->Children())
    if (dynamic_cast<tk::TvgTextControl*>(c)) last = c;
  ASSERT_NE(last, nullptr);
  const tk::TPointF row = last->LocalToScreen({20, last->Height() / 2});
  backend_->MoveMouse(row.x, row.y);
  const tk::TBitmap image = list->Render();
  const auto lum = [&](int x, int y) {
    const tk::TAlphaColor c = image.Pixel(x, y);
    return int((c >> 16) & 255) + int((c >> 8) & 255) + int(c & 255);
  };
  EXPECT_LT(lum(image.Width() - 4, 4), 3 * 80);  // the list's own fill, beside the first row's text
  ExpectLooksLikeReference(image, "SettingMain_language_list");
  popup->ListPopup()->ClosePopup();
}

TEST_F(ReferenceImages, CancelsQuestionInTheMainWindow) {
  TTestMain form(nullptr);
  LoadMain(form, "0409");
  bool rendered = false;
  tk::Application().OnModalIdle = [&] {
    tk::TMessageBox* box = tk::Application().ActiveMessageBox();
    if (!box || rendered) return;
    rendered = true;
    ExpectLooksLikeReference(form.Render(), "SettingMain_question");
    box->Choose(tk::mrNo);
  };
  tk::Application().MessageBox(
      tk::Translate("The settings has been changed, save the current settings anyway?"),
      tk::Translate("Warning!"), tk::TMsgDlgType::mtWarning, tk::mbYesNo, &form);
  EXPECT_TRUE(rendered);
}

// The function menu opened at function key 3 as the main window opens it, "Function" selected:
// its check mark on the top level, "Applications" open with the pointer on "MSN Messenger".
// The picture is the open cascade alone over a plain ground (the window under it has its own
// references).
TEST_F(ReferenceImages, FunctionMenuCascadeInEachLanguage) {
  for (const char* id : kLanguages) {
    const TRenderedScene scene = RenderMenuCascade(kFormsDir, languages_, id);
    ExpectLooksLikeReference(scene.picture, scene.name);
  }
}

}  // namespace
}  // namespace vrnke::test
