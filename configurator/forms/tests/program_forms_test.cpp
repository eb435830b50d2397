// The program's three stored windows: their components, sizes, texts and colours, the dialog
// buttons' modal results, and renders of each window.
#include "program_forms.h"

#include <gtest/gtest.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "keyboard_layout.h"
#include "runtime/text.h"
#include "toolkit/app/application.h"
#include "toolkit/app/form.h"
#include "toolkit/controls.h"
#include "toolkit/headless.h"
#include "toolkit/translate.h"

#ifdef VRNKE_HAVE_COMMANDS
#include "shell/qvCommandSetting.h"
#endif

namespace vrnke::test {
namespace {

namespace fs = std::filesystem;
using tk::forms::TPlaceholderComponent;

const std::string kFormsDir = VRNKE_TEST_FORMS_DIR;

// The program's own non-visual components are built elsewhere: here they load as placeholders.
const std::set<std::string> kProgramClasses = {"TqvCommandSetting", "TqvMenuEx", "TqvLanguage", "TQVStream",
                                               "TqvHook"};

class ProgramForms : public ::testing::Test {
 protected:
  void SetUp() override {
    backend_ = new tk::THeadlessBackend(1366, 768);
    tk::SetBackend(std::unique_ptr<tk::TBackend>(backend_));
  }
  void TearDown() override { tk::SetTranslateFunction({}); }

  void Load(tk::TForm& form, const std::string& file) {
    LoadProgramForm(form, kFormsDir, file);
    for (rt::TComponent* c : form.ComponentList()) {
      if (dynamic_cast<TPlaceholderComponent*>(c)) {
        EXPECT_TRUE(kProgramClasses.count(c->ClassName()))
            << c->Name() << " has unknown class " << c->ClassName();
      }
    }
  }

  template <class T>
  static T* Find(const tk::TWindow& form, const std::string& name) {
    auto* t = dynamic_cast<T*>(form.FindComponent(name));
    EXPECT_NE(t, nullptr) << name;
    return t;
  }

  static tk::TRectF Abs(tk::TVisualObject* o) { return o->AbsoluteRect(); }

  static std::string Handler(rt::TPersistent* o, const std::string& event) {
    rt::TEventBase* e = o->FindEvent(event);
    return e ? e->HandlerName() : "<no event>";
  }

  // The handler a placeholder's description names for an event.
  static std::string PlaceholderHandler(const tk::TWindow& form, const std::string& name,
                                        const std::string& event) {
    auto* p = dynamic_cast<TPlaceholderComponent*>(form.FindComponent(name));
    if (!p) return "<missing>";
    for (const auto& m : p->members)
      if (m.kind == tk::forms::MemberKind::Property && m.name == event) return m.value.text;
    return "<none>";
  }

  static int InkPixels(const tk::TBitmap& b, const tk::TRectF& r, tk::TAlphaColor background) {
    int n = 0;
    for (int y = int(r.top); y < int(r.bottom); ++y)
      for (int x = int(r.left); x < int(r.right); ++x)
        if (b.Pixel(x, y) != background) ++n;
    return n;
  }

  tk::THeadlessBackend* backend_ = nullptr;
};

TEST_F(ProgramForms, MainWindowHasTheBarsColumnKeyboardAndHiddenImages) {
  TTestMain form(nullptr);
  Load(form, "SettingMain.form");
  EXPECT_EQ(form.Name(), "VRNKECFGMAIN");
  EXPECT_EQ(form.ClientWidth(), 1157);
  EXPECT_EQ(form.ClientHeight(), 588);
  EXPECT_EQ(form.WindowClassName(), "TVRNKECFGMAIN");
  EXPECT_TRUE(form.Borderless());
  EXPECT_FALSE(form.ShowInTaskBar());
  EXPECT_EQ(form.PlacementMode(), tk::TWindowPosition::ScreenCenter);
  EXPECT_EQ(Handler(&form, "OnCreate"), "FormCreate");

  // Top bar.
  auto* top = Find<tk::TVisualObject>(form, "LayoutTop");
  EXPECT_EQ(top->Height(), 61);
  auto* label1 = Find<tk::TvgLabel>(form, "Label1");
  EXPECT_EQ(label1->GetPropertyText("Caption"), "Tavrix Software");
  EXPECT_EQ(label1->Font().Size(), 21);
  for (const char* name : {"Label1", "PopupBoxLanguage", "Label3", "bsbtnhelp", "bsbtnmin", "bsbtnclose"}) {
    auto* o = Find<tk::TVisualObject>(form, name);
    EXPECT_EQ(o->Parent(), top) << name;
    EXPECT_LE(Abs(o).bottom, 61) << name;
  }
  EXPECT_FALSE(Find<tk::TvgLabel>(form, "Label3")->Text().empty());
  EXPECT_EQ(Handler(form.FindComponent("PopupBoxLanguage"), "OnChange"), "PopupBoxLanguageChange");
  for (const auto& [name, hint] : std::vector<std::pair<std::string, std::string>>{
           {"bsbtnhelp", "Help"}, {"bsbtnmin", "Minimize"}, {"bsbtnclose", "Close"}}) {
    auto* b = Find<tk::TVisualObject>(form, name);
    EXPECT_EQ(Handler(b, "OnClick"), name + "Click");
    EXPECT_EQ(b->Hint(), hint);
    EXPECT_TRUE(b->ShowHint()) << name;
  }
  // The language pop-up wears the bar's dark skin, not the light default.
  auto* popup = Find<tk::TvgPopupBox>(form, "PopupBoxLanguage");
  EXPECT_EQ(popup->Resource(), "darkpopupboxstyle");
  {
    form.Show();
    const tk::TBitmap shot = form.Render();
    const tk::TRectF r = Abs(popup);
    const tk::TAlphaColor inside = shot.Pixel(int(r.left + r.Width() / 2), int(r.top + r.Height() / 2));
    const int lum = int((inside >> 16) & 255) + int((inside >> 8) & 255) + int(inside & 255);
    EXPECT_LT(lum, 3 * 80) << std::hex << inside;
  }
  // The three title bar buttons, left to right, at the right end.
  EXPECT_LT(Abs(Find<tk::TVisualObject>(form, "bsbtnhelp")).left,
            Abs(Find<tk::TVisualObject>(form, "bsbtnmin")).left);
  EXPECT_LT(Abs(Find<tk::TVisualObject>(form, "bsbtnmin")).left,
            Abs(Find<tk::TVisualObject>(form, "bsbtnclose")).left);
  EXPECT_LE(Abs(Find<tk::TVisualObject>(form, "bsbtnclose")).right, 1157);

  // The column of function key buttons: order top to bottom, tags, sizes, font, handlers.
  const int order[] = {4, 2, 3, 5, 1, 8, 6, 7};
  float lastTop = -1;
  for (int n : order) {
    auto* b = Find<tk::TvgBitmapStateButton>(form, "FUNCBTN" + std::to_string(n));
    const tk::TRectF r = Abs(b);
    EXPECT_GT(r.top, lastTop) << n;
    lastTop = r.top;
    EXPECT_EQ(b->Tag(), n - 1);
    EXPECT_EQ(r.Width(), 199);
    EXPECT_EQ(r.Height(), 28);
    EXPECT_LE(r.right, 240);
    EXPECT_GE(r.top, 61);
    EXPECT_EQ(b->Font().Family(), "Microsoft Sans Serif");
    EXPECT_EQ(b->Font().Size(), 13);
    EXPECT_EQ(b->TextAlign(), tk::TTextAlign::Near);
    EXPECT_FALSE(b->Bitmap().IsEmpty());
    EXPECT_EQ(Handler(b, "OnClick"), "FUNCBTN1Click");
    EXPECT_EQ(Handler(b, "OnMouseEnter"), "FUNCBTN1MouseEnter");
    EXPECT_EQ(Handler(b, "OnMouseLeave"), "FUNCBTN1MouseLeave");
  }
  // Each button's icon area names its own key: the eight pictures differ there, in every state.
  for (int a = 1; a <= 8; ++a)
    for (int b = a + 1; b <= 8; ++b) {
      auto* ba = Find<tk::TvgBitmapStateButton>(form, "FUNCBTN" + std::to_string(a));
      auto* bb = Find<tk::TvgBitmapStateButton>(form, "FUNCBTN" + std::to_string(b));
      const auto iconDiffers = [](const tk::TBitmap& x, const tk::TBitmap& y) {
        int n = 0;
        for (int py = 4; py < 24; ++py)
          for (int px = 4; px < 28; ++px) n += x.Pixel(px, py) != y.Pixel(px, py);
        return n > 10;
      };
      EXPECT_TRUE(iconDiffers(ba->Bitmap(), bb->Bitmap())) << a << " " << b;
      EXPECT_TRUE(iconDiffers(ba->BitmapHot(), bb->BitmapHot())) << a << " " << b;
      EXPECT_TRUE(iconDiffers(ba->BitmapDown(), bb->BitmapDown())) << a << " " << b;
    }
  // The headings are labels (translated with the window), not ink in the pictures.
  auto* heading = Find<tk::TvgLabel>(form, "LabelFunctionKeys");
  EXPECT_EQ(heading->Text(), "FUNCTION KEYS");
  EXPECT_EQ(heading->Parent(), form.FindComponent("LayoutLeft"));
  EXPECT_LT(Abs(heading).bottom, Abs(Find<tk::TVisualObject>(form, "FUNCBTN4")).top);
  auto* programmable = Find<tk::TvgLabel>(form, "LabelProgrammable");
  EXPECT_EQ(programmable->Text(), "PROGRAMMABLE F1 \u2013 F8");
  EXPECT_EQ(programmable->Parent(), form.FindComponent("ImageKeyboard"));
  EXPECT_LT(Abs(programmable).bottom, Abs(Find<tk::TVisualObject>(form, "BSF1")).top);

  auto* version = Find<tk::TvgLabel>(form, "LabelVersionDisplay");
  EXPECT_EQ(version->Text(), "Version:1.0");
  EXPECT_GT(Abs(version).top, lastTop);

  // The keyboard picture with BSF1..BSF8 on the picture's F1..F8 keys; key 8 drawn by ImageCustom2.
  auto* keyboard = Find<tk::TvgImage>(form, "ImageKeyboard");
  EXPECT_EQ(Abs(keyboard).left, kbd::kPictureLeft);
  EXPECT_EQ(Abs(keyboard).top, kbd::kPictureTop);
  EXPECT_EQ(keyboard->Bitmap().Width(), kbd::kPictureWidth);
  for (int n = 1; n <= 8; ++n) {
    auto* key = Find<tk::TvgBitmapStateButton>(form, "BSF" + std::to_string(n));
    EXPECT_EQ(key->Parent(), keyboard);
    const kbd::Key k = kbd::FunctionKey(n);
    EXPECT_EQ(key->Left(), float(k.x)) << n;
    EXPECT_EQ(key->Top(), float(k.y)) << n;
    EXPECT_EQ(key->Width(), float(k.w)) << n;
    EXPECT_EQ(key->Tag(), n - 1);
    EXPECT_EQ(key->Bitmap().IsEmpty(), n == 8) << n;
  }
  auto* custom2 = Find<tk::TvgImage>(form, "ImageCustom2");
  EXPECT_EQ(custom2->Parent(), form.FindComponent("BSF8"));
  EXPECT_FALSE(custom2->Bitmap().IsEmpty());

  // Bottom bar: Defaults at the left; APPLY, OK, CANCEL at the right in that order.
  auto* bottom = Find<tk::TVisualObject>(form, "LayoutBottom");
  EXPECT_EQ(bottom->Height(), 85);
  EXPECT_EQ(Abs(bottom).bottom, 588);
  const std::pair<const char*, const char*> bar[] = {
      {"bsbtndefaults", "Defaults"}, {"BSBTNAPPLY", "APPLY"}, {"BSBTNOK", "OK"}, {"BSBTNCANCEL", "CANCEL"}};
  float lastLeft = -1;
  for (const auto& [name, caption] : bar) {
    auto* b = Find<tk::TvgBitmapStateButton>(form, name);
    EXPECT_EQ(b->Parent(), bottom) << name;
    EXPECT_EQ(b->Text(), caption);
    EXPECT_GT(Abs(b).left, lastLeft);
    lastLeft = Abs(b).left;
    EXPECT_EQ(Handler(b, "OnClick"), std::string(name) + "Click");
  }
  EXPECT_LT(Abs(Find<tk::TVisualObject>(form, "bsbtndefaults")).right, 1157 / 2);
  EXPECT_GT(Abs(Find<tk::TVisualObject>(form, "BSBTNAPPLY")).left, 1157 / 2);
  for (int n = 1; n <= 8; ++n) {
    auto* holder = Find<tk::TvgBitmapStateButton>(form, "BSIMGF" + std::to_string(n));
    EXPECT_EQ(holder->Parent(), bottom);
    EXPECT_FALSE(holder->Visible());
    EXPECT_FALSE(holder->Bitmap().IsEmpty());
    EXPECT_FALSE(holder->BitmapDown().IsEmpty());
    EXPECT_EQ(holder->Bitmap().Width(), int(kbd::FunctionKey(n).w));
  }

  // The program's components and the handler names a later task publishes.
  EXPECT_EQ(PlaceholderHandler(form, "qvMenuEx1", "OnItemsClick"), "qvMenuEx1ItemsClick");
  EXPECT_NE(form.FindComponent("qvCommandSetting1"), nullptr);
  EXPECT_NE(form.FindComponent("qvLanguage1"), nullptr);
}

TEST_F(ProgramForms, ComponentsAreOwnedByTheFormInDescriptionOrder) {
  TTestMain form(nullptr);
  Load(form, "SettingMain.form");
  std::vector<std::string> names;
  for (rt::TComponent* c : form.ComponentList())
    if (c != form.Scene()) names.push_back(c->Name());  // the window's own scene comes first
  const auto pos = [&](const std::string& n) {
    return std::find(names.begin(), names.end(), n) - names.begin();
  };
  EXPECT_EQ(names.front(), "ImageBackground");
  EXPECT_LT(pos("LayoutTop"), pos("Label1"));
  EXPECT_LT(pos("FUNCBTN4"), pos("FUNCBTN2"));
  EXPECT_LT(pos("FUNCBTN2"), pos("FUNCBTN7"));
  EXPECT_LT(pos("BSF8"), pos("ImageCustom2"));
  EXPECT_EQ(names.back(), "qvLanguage1");
  EXPECT_LT(pos("LayoutLeft"), pos("LabelFunctionKeys"));
  EXPECT_LT(pos("LabelFunctionKeys"), pos("FUNCBTN4"));
  EXPECT_LT(pos("ImageKeyboard"), pos("LabelProgrammable"));
  EXPECT_EQ(names.size(), 48u);
}

struct DialogCase {
  const char* file;
  const char* name;
  int width, height, rectWidth, rectHeight;
  tk::TAlphaColor border;
  const char* text;
  const char* textBox;
  bool hasImage;
  const char* hookEvent;
  const char* hookHandler;
};

class KeyDialogs : public ProgramForms, public ::testing::WithParamInterface<DialogCase> {};

TEST_P(KeyDialogs, SizesPanelTextsAndButtons) {
  const DialogCase& c = GetParam();
  std::unique_ptr<tk::TForm> form;
  if (std::string(c.name) == "FrmSingleKey") {
    form = std::make_unique<TTestSingle>(nullptr);
  } else {
    form = std::make_unique<TTestCombo>(nullptr);
  }
  Load(*form, c.file);
  EXPECT_EQ(form->Name(), c.name);
  EXPECT_EQ(form->ClientWidth(), c.width);
  EXPECT_EQ(form->ClientHeight(), c.height);
  EXPECT_TRUE(form->Borderless());
  EXPECT_EQ(form->PlacementMode(), tk::TWindowPosition::OwnerCenter);
  EXPECT_EQ(Handler(form.get(), "OnShow"), "FormShow");
  EXPECT_EQ(Handler(form.get(), "OnClose"), "FormClose");

  auto* rect = Find<tk::TvgRectangle>(*form, "RectMain");
  EXPECT_EQ(rect->Width(), c.rectWidth);
  EXPECT_EQ(rect->Height(), c.rectHeight);
  EXPECT_EQ(rect->Fill().Color(), 0xF0FFFFFFu);
  EXPECT_EQ(rect->Stroke().Color(), c.border);
  bool shadow = false;
  for (tk::TVisualObject* ch : rect->Children()) shadow = shadow || dynamic_cast<tk::TvgShadowEffect*>(ch);
  EXPECT_TRUE(shadow);

  auto* label = Find<tk::TvgLabel>(*form, "Label1");
  EXPECT_EQ(label->Text(), c.text);
  EXPECT_EQ(label->Font().Size(), 13);
  EXPECT_TRUE(label->Font().Style() & tk::fsBold);
  EXPECT_EQ(label->TextAlign(), tk::TTextAlign::Near);

  auto* box = Find<tk::TvgTextBox>(*form, c.textBox);
  EXPECT_TRUE(box->ReadOnly());
  EXPECT_EQ(box->BoundsRect(), tk::TRectF::FromSize(73, 84, 301, 27));
  EXPECT_EQ(box->Parent(), rect);

  auto* ok = Find<tk::TvgButton>(*form, "Button1");
  auto* cancel = Find<tk::TvgButton>(*form, "Button2");
  EXPECT_EQ(ok->Text(), "OK");
  EXPECT_EQ(ok->ModalResult(), 1);
  EXPECT_EQ(ok->BoundsRect(), tk::TRectF::FromSize(141, 150, 80, 22));
  EXPECT_EQ(cancel->Text(), "Cancel");
  EXPECT_EQ(cancel->ModalResult(), 2);
  EXPECT_EQ(cancel->BoundsRect(), tk::TRectF::FromSize(229, 150, 80, 22));

  auto* close = Find<tk::TvgBitmapStateButton>(*form, "BtnClose");
  EXPECT_EQ(close->Width(), 21);
  EXPECT_EQ(close->Height(), 21);
  EXPECT_GT(close->Left(), rect->Width() - 40);  // top right of the panel
  EXPECT_LT(close->Top(), 10);
  EXPECT_FALSE(close->Bitmap().IsEmpty());

  auto* image = dynamic_cast<tk::TvgImage*>(form->FindComponent("ImageCombo"));
  EXPECT_EQ(image != nullptr, c.hasImage);
  if (image) {
    EXPECT_EQ(Abs(image), tk::TRectF::FromSize(0, 0, float(c.width), float(c.height)));
    EXPECT_EQ(PlaceholderHandler(*form, "QVStream1", "BoundComponent"), "ImageCombo");
  }
  EXPECT_EQ(PlaceholderHandler(*form, "qvHook", c.hookEvent), c.hookHandler);
}

INSTANTIATE_TEST_SUITE_P(
    Both, KeyDialogs,
    ::testing::Values(
        DialogCase{"SingleKeyfrm.form", "FrmSingleKey", 470, 197, 450, 187, 0xFF4F4E4E,
                   "Please enter a single key, it can be a any key on the keyboard", "TextSingle", true,
                   "OnRecordKeyboardSingleKey", "qvHookRecordKeyboardSingleKey"},
        DialogCase{
            "combofrm.form", "FrmCombo", 490, 204, 470, 194, 0xFF575454,
            "Please enter the key combination, it can be a Win, Ctrl, Shift, Alt + any of the keyboard keys.",
            "TextCombo", false, "OnRecordKeyboardComboKey", "qvHookRecordKeyboardComboKey"}),
    [](const ::testing::TestParamInfo<DialogCase>& p) { return std::string(p.param.name); });

// Shows the dialog modally and clicks one of its components through the headless pointer.
int ClickInModalDialog(tk::THeadlessBackend& backend, tk::TForm& dialog, const std::string& component) {
  auto* target = dynamic_cast<tk::TVisualObject*>(dialog.FindComponent(component));
  bool clicked = false;
  tk::Application().OnModalIdle = [&] {
    if (clicked) return;
    clicked = true;
    const tk::TPointF p = target->LocalToScreen({target->Width() / 2, target->Height() / 2});
    backend.Click(p.x, p.y);
  };
  const int result = tk::Application().ShowModal(dialog);
  tk::Application().OnModalIdle = nullptr;
  return result;
}

TEST_F(ProgramForms, DialogButtonsGiveTheirModalResults) {
  for (const auto& [component, expected] :
       std::vector<std::pair<std::string, int>>{{"Button1", 1}, {"Button2", 2}, {"BtnClose", 2}}) {
    TTestSingle dialog(nullptr);
    Load(dialog, "SingleKeyfrm.form");
    EXPECT_EQ(ClickInModalDialog(*backend_, dialog, component), expected) << component;
    EXPECT_FALSE(dialog.Visible());
  }
}

TEST_F(ProgramForms, RendersAreNonBlankAndOfTheWindowSize) {
  const fs::path out = fs::path(VRNKE_TEST_RENDER_DIR);
  fs::create_directories(out);
  struct R {
    const char* file;
    std::function<tk::TForm*()> make;
    int w, h;
  };
  const R renders[] = {
      {"SettingMain.form", [] { return new TTestMain(nullptr); }, 1157, 588},
      {"SingleKeyfrm.form", [] { return new TTestSingle(nullptr); }, 470, 197},
      {"combofrm.form", [] { return new TTestCombo(nullptr); }, 490, 204},
  };
  for (const R& r : renders) {
    std::unique_ptr<tk::TForm> form(r.make());
    Load(*form, r.file);
    const tk::TBitmap image = form->Render();
    EXPECT_EQ(image.Width(), r.w) << r.file;
    EXPECT_EQ(image.Height(), r.h) << r.file;
    // Many distinct colours: a drawn window, not a flat fill.
    std::set<tk::TAlphaColor> colours;
    for (int y = 0; y < image.Height(); y += 3)
      for (int x = 0; x < image.Width(); x += 3) colours.insert(image.Pixel(x, y));
    EXPECT_GT(colours.size(), 100u) << r.file;
    image.SaveToFile((out / (fs::path(r.file).stem().string() + ".png")).string());
  }
  // The captions of the dialog and of the bars are drawn: the text rectangles hold ink.
  TTestMain main(nullptr);
  Load(main, "SettingMain.form");
  const tk::TBitmap image = main.Render();
  auto* ok = Find<tk::TVisualObject>(main, "BSBTNOK");
  TTestMain blank(nullptr);
  Load(blank, "SettingMain.form");
  dynamic_cast<tk::TvgTextControl*>(blank.FindComponent("BSBTNOK"))->SetText("");
  const tk::TBitmap without = blank.Render();
  int differing = 0;
  const tk::TRectF r = Abs(ok);
  for (int y = int(r.top); y < int(r.bottom); ++y)
    for (int x = int(r.left); x < int(r.right); ++x) differing += image.Pixel(x, y) != without.Pixel(x, y);
  EXPECT_GT(differing, 20);
}

TEST_F(ProgramForms, ChineseCaptionsAreDrawnWithRealGlyphs) {
  const std::map<std::string, std::string> zh = {
      {"Tavrix Software", "塔维克斯软件"}, {"APPLY", "应用"}, {"Version:1.0", "版本:1.0"}, {"Save", "保存"}};
  tk::SetTranslateFunction([zh](const std::string& t) {
    const auto it = zh.find(t);
    return it == zh.end() ? t : it->second;
  });
  TTestMain form(nullptr);
  Load(form, "SettingMain.form");
  auto* label1 = Find<tk::TvgLabel>(form, "Label1");
  EXPECT_EQ(label1->DisplayText(), "塔维克斯软件");
  EXPECT_EQ(Find<tk::TvgBitmapStateButton>(form, "FUNCBTN4")->DisplayText(), "保存");
  const tk::TBitmap chinese = form.Render();
  chinese.SaveToFile((fs::path(VRNKE_TEST_RENDER_DIR) / "SettingMain_0804.png").string());

  tk::SetTranslateFunction({});
  form.Scene()->Retranslate();
  EXPECT_EQ(label1->DisplayText(), "Tavrix Software");
  const tk::TBitmap english = form.Render();
  int differing = 0;
  const tk::TRectF r = Abs(label1);
  for (int y = int(r.top); y < int(r.bottom); ++y)
    for (int x = int(r.left); x < int(r.right); ++x) differing += chinese.Pixel(x, y) != english.Pixel(x, y);
  EXPECT_GT(differing, 100);

  // The font the captions name has glyphs for the Chinese texts (no missing-glyph boxes).
  tk::InitFonts();
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 8, 8);
  cairo_t* cr = cairo_create(s);
  PangoLayout* layout = pango_cairo_create_layout(cr);
  PangoFontDescription* fd = pango_font_description_from_string("Microsoft Sans Serif 21");
  pango_layout_set_font_description(layout, fd);
  for (const auto& [en, text] : zh) {
    pango_layout_set_text(layout, text.c_str(), -1);
    EXPECT_EQ(pango_layout_get_unknown_glyphs_count(layout), 0) << text;
  }
  pango_font_description_free(fd);
  g_object_unref(layout);
  cairo_destroy(cr);
  cairo_surface_destroy(s);
}

}  // namespace
}  // namespace vrnke::test

namespace vrnke::test {
namespace {

TEST_F(ProgramForms, MainWindowSavedBackLoadsToTheSamePicture) {
  TTestMain form(nullptr);
  Load(form, "SettingMain.form");
  const std::string saved = tk::forms::WriteForm(tk::forms::SaveForm(form, tk::forms::ToolkitSaveOptions()));
  TTestMain again(nullptr);
  tk::forms::LoadOptions o = tk::forms::ToolkitLoadOptions(tk::forms::HandlerBinding::RecordOnly);
  o.placeholders = true;
  tk::forms::LoadForm(again, tk::forms::ParseForm(saved, "saved.form"), "saved.form", o);
  EXPECT_EQ(again.ComponentCount(), form.ComponentCount());
  for (int i = 0; i < form.ComponentCount(); ++i)
    EXPECT_EQ(again.Components(i)->Name(), form.Components(i)->Name());
  const tk::TBitmap a = form.Render(), b = again.Render();
  ASSERT_EQ(a.Width(), b.Width());
  int differing = 0;
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < a.Width(); ++x) differing += a.Pixel(x, y) != b.Pixel(x, y);
  EXPECT_EQ(differing, 0);
  // And saving the reloaded window gives the same text.
  EXPECT_EQ(tk::forms::WriteForm(tk::forms::SaveForm(again, tk::forms::ToolkitSaveOptions())), saved);
}

}  // namespace
}  // namespace vrnke::test

namespace vrnke::test {
namespace {

// What the user sees with the pointer on function key 3's button: the button hot, the key lit,
// all of it from the pointer moving there; and both back when it moves away.
TEST_F(ProgramForms, HoveredFunctionKeyLooksLit) {
  TTestMain form(nullptr);
  Load(form, "SettingMain.form");
  WireKeyHighlight(form);
  form.Show();
  const tk::TBitmap normal = form.Render();
  auto* button = Find<tk::TvgBitmapStateButton>(form, "FUNCBTN3");
  auto* key = Find<tk::TvgBitmapStateButton>(form, "BSF3");
  const tk::TPointF p = button->LocalToScreen({100, 14});
  backend_->MoveMouse(p.x, p.y);
  EXPECT_TRUE(button->IsMouseOver());
  EXPECT_TRUE(key->IsPressed());
  const tk::TBitmap lit = form.Render();
  lit.SaveToFile((fs::path(VRNKE_TEST_RENDER_DIR) / "SettingMain_hover.png").string());
  const auto changed = [&](const tk::TBitmap& a, const tk::TBitmap& b, tk::TVisualObject* o) {
    int n = 0;
    const tk::TRectF r = Abs(o);
    for (int y = int(r.top); y < int(r.bottom); ++y)
      for (int x = int(r.left); x < int(r.right); ++x) n += a.Pixel(x, y) != b.Pixel(x, y);
    return n;
  };
  EXPECT_GT(changed(normal, lit, button), 1000);
  EXPECT_GT(changed(normal, lit, key), 300);
  EXPECT_EQ(changed(normal, lit, Find<tk::TVisualObject>(form, "BSF4")), 0);

  // Away from the column: nothing stays lit.
  backend_->MoveMouse(p.x + 600, p.y + 300);
  EXPECT_FALSE(button->IsMouseOver());
  EXPECT_FALSE(key->IsPressed());
  const tk::TBitmap after = form.Render();
  EXPECT_EQ(changed(normal, after, button), 0);
  EXPECT_EQ(changed(normal, after, key), 0);
}

}  // namespace
}  // namespace vrnke::test

#ifdef VRNKE_HAVE_COMMANDS
namespace vrnke::test {
namespace {

// The main window's command setting, loaded into the real component.
TEST_F(ProgramForms, CommandSettingLoadsIntoTheRealComponent) {
  tk::RegisterClassOf<vrnke::TqvCommandSetting>("TqvCommandSetting");
  TTestMain form(nullptr);
  Load(form, "SettingMain.form");
  auto* setting = Find<vrnke::TqvCommandSetting>(form, "qvCommandSetting1");
  ASSERT_NE(setting, nullptr);
  auto* commands = dynamic_cast<rt::TCollection*>(setting->FindObjectProperty("Commands"));
  ASSERT_NE(commands, nullptr);
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"SetButton", "qvCommandSetting1Commands0Execute"},
      {"SetCPI", ""},
      {"SetMouseParam", "qvCommandSetting1Commands2Execute"},
      {"SetProfileBtn", ""},
      {"SetReport", ""},
      {"SetLED", ""}};
  ASSERT_EQ(commands->Count(), static_cast<int>(expected.size()));
  for (int i = 0; i < commands->Count(); ++i) {
    EXPECT_EQ(commands->Items(i)->GetPropertyText("Name"), expected[size_t(i)].first);
    EXPECT_EQ(Handler(commands->Items(i), "OnExecute"), expected[size_t(i)].second);
  }
}

}  // namespace
}  // namespace vrnke::test
#endif
