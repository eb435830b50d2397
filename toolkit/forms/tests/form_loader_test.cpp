#include "toolkit/forms/form_loader.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "runtime/collection.h"
#include "runtime/text.h"
#include "testing/platform/temp_dir.h"

namespace tk::forms {
namespace {

struct TFontish : rt::TPersistent {
  std::string family;
  int size = 8;
  TFontish() {
    PublishString("Family", &family);
    PublishInt("Size", &size);
  }
};

struct TRow : rt::TCollectionItem {
  std::string caption;
  TRow() { PublishString("Caption", &caption); }
};

struct TWidget : rt::TComponent {
  std::string caption;
  int width = 0;
  bool visible = true;
  TFontish font;
  rt::TTypedCollection<TRow> items;
  rt::TEvent<rt::TComponent*> onClick;
  std::vector<uint8_t> bitmap;
  rt::TComponent* parent = nullptr;
  rt::TComponent* target = nullptr;
  std::string mode;
  explicit TWidget(rt::TComponent* owner) : rt::TComponent(owner) {
    // A reference by name, resolved through the owner when it is set.
    Publish(
        "Target", [this] { return target ? target->Name() : std::string(); },
        [this](const std::string& v) {
          target = Owner()->FindComponent(v);
          if (!target) throw rt::Exception("no component " + v);
        });
    PublishString("Mode", &mode);
    PublishString("Caption", &caption);
    PublishInt("Width", &width);
    PublishBool("Visible", &visible);
    PublishObject("Font", &font);
    PublishObject("Items", &items);
    PublishEvent("OnClick", &onClick);
  }
  std::string ClassName() const override { return "TWidget"; }
};

int gDestroyed = 0;
struct TCounted : TWidget {
  using TWidget::TWidget;
  ~TCounted() override { ++gDestroyed; }
  std::string ClassName() const override { return "TCounted"; }
};

struct TMyForm : rt::TComponent {
  int clicks = 0;
  rt::TComponent* lastSender = nullptr;
  std::string title;
  TMyForm() : rt::TComponent(nullptr) {
    PublishString("Title", &title);
    PublishHandler("ButtonClick", rt::TEvent<rt::TComponent*>::Handler([this](rt::TComponent* s) {
                     ++clicks;
                     lastSender = s;
                   }));
    PublishHandler("WrongShape", std::function<void(int)>([](int) {}));
  }
  std::string ClassName() const override { return "TMyForm"; }
};

LoadOptions Options() {
  LoadOptions o;
  o.factory = [](const std::string& cls, rt::TComponent& owner, rt::TComponent& parent) -> rt::TComponent* {
    TWidget* w = nullptr;
    if (cls == "TWidget") w = new TWidget(&owner);
    if (cls == "TCounted") w = new TCounted(&owner);
    if (cls == "TThrows") throw rt::Exception("cannot make one");
    if (w) w->parent = &parent;
    return w;
  };
  o.setPicture = [](rt::TPersistent& target, const std::string& prop, const std::vector<uint8_t>& png) {
    auto* w = dynamic_cast<TWidget*>(&target);
    if (!w || !rt::SameText(prop, "Bitmap")) return false;
    if (png.size() < 2) throw rt::Exception("not a picture");
    w->bitmap = png;
    return true;
  };
  return o;
}

const char kForm[] = R"(MyForm : TMyForm {
  Title = "Main"
  Panel : TWidget {
    Width = 300
    Font.Family = "Sans"
    Font { Size = 13 }
    Items [
      { Caption = "one" }
      { Caption = "two" }
    ]
    Button : TWidget {
      Caption = "OK"
      OnClick = @ButtonClick
      Bitmap = png("AAEC")
    }
  }
  Other : TWidget { Visible = False }
}
)";

TEST(FormLoader, CreatesComponentsInOrderOwnedByTheFormAndSetsProperties) {
  TMyForm form;
  LoadForm(form, ParseForm(kForm), "my.form", Options());
  EXPECT_EQ(form.Name(), "MyForm");
  EXPECT_EQ(form.title, "Main");
  ASSERT_EQ(form.ComponentCount(), 3);
  auto* panel = dynamic_cast<TWidget*>(form.Components(0));
  auto* button = dynamic_cast<TWidget*>(form.Components(1));
  auto* other = dynamic_cast<TWidget*>(form.Components(2));
  ASSERT_TRUE(panel && button && other);
  EXPECT_EQ(panel->Name(), "Panel");
  EXPECT_EQ(button->Name(), "Button");
  EXPECT_EQ(panel->parent, &form);
  EXPECT_EQ(button->parent, panel);
  EXPECT_EQ(other->parent, &form);
  EXPECT_EQ(panel->width, 300);
  EXPECT_EQ(panel->font.family, "Sans");
  EXPECT_EQ(panel->font.size, 13);
  ASSERT_EQ(panel->items.Count(), 2);
  EXPECT_EQ(panel->items[1]->caption, "two");
  EXPECT_FALSE(other->visible);
  EXPECT_EQ(button->bitmap, (std::vector<uint8_t>{0, 1, 2}));
  // Published properties read back by name, as the language component reads captions.
  EXPECT_EQ(form.FindComponent("button")->GetPropertyText("Caption"), "OK");
  EXPECT_EQ(GetPropertyPath(*panel, "Font.Size"), "13");

  ASSERT_TRUE(button->onClick.Assigned());
  EXPECT_EQ(button->onClick.HandlerName(), "ButtonClick");
  button->onClick(button);
  EXPECT_EQ(form.clicks, 1);
  EXPECT_EQ(form.lastSender, button);
}

TEST(FormLoader, CollectionIsReplacedNotAppended) {
  TMyForm form;
  auto* w = new TWidget(&form);
  w->SetName("W");
  w->items.Add()->caption = "stale";
  LoadOptions o = Options();
  o.anyRootClass = true;
  // A description loaded into a live component replaces what its collection held.
  LoadForm(*w, ParseForm("W : TWidget { Items [ { Caption = \"fresh\" } ] }"), "x.form", o);
  ASSERT_EQ(w->items.Count(), 1);
  EXPECT_EQ(w->items[0]->caption, "fresh");
}

TEST(FormLoader, RecordOnlyKeepsHandlerNamesForLaterBinding) {
  TMyForm form;
  LoadOptions o = Options();
  o.handlers = HandlerBinding::RecordOnly;
  LoadForm(form, ParseForm("MyForm : TMyForm { B : TWidget { OnClick = @NotYetWritten } }"), "r.form", o);
  auto* b = dynamic_cast<TWidget*>(form.FindComponent("B"));
  EXPECT_FALSE(b->onClick.Assigned());
  EXPECT_EQ(b->onClick.HandlerName(), "NotYetWritten");
}

TEST(FormLoader, PictureFilesResolveFromTheFormFolderThenTheSearchPath) {
  namespace fs = std::filesystem;
  const plat::testing::TempDir temp;
  const fs::path& dir = temp.path();
  fs::create_directories(dir / "forms");
  fs::create_directories(dir / "pics");
  std::ofstream(dir / "forms" / "near.png", std::ios::binary) << "NEAR";
  std::ofstream(dir / "pics" / "far.png", std::ios::binary) << "FAR";
  const std::string formFile = (dir / "forms" / "f.form").string();
  std::ofstream(formFile) << "MyForm : TMyForm {\n  A : TWidget { Bitmap = file(\"near.png\") }\n"
                             "  B : TWidget { Bitmap = file(\"far.png\") }\n}\n";
  TMyForm form;
  LoadOptions o = Options();
  o.pictureDirs = {(dir / "pics").string()};
  LoadFormFile(form, formFile, o);
  EXPECT_EQ(dynamic_cast<TWidget*>(form.FindComponent("A"))->bitmap,
            (std::vector<uint8_t>{'N', 'E', 'A', 'R'}));
  EXPECT_EQ(dynamic_cast<TWidget*>(form.FindComponent("B"))->bitmap, (std::vector<uint8_t>{'F', 'A', 'R'}));
}

struct BadLoad {
  const char* body;  // inside "MyForm : TMyForm {\n" ... "\n}"
  int line;
  const char* message;
};

TEST(FormLoader, ErrorsNameTheFileAndLineAndLeaveNothingBehind) {
  const BadLoad cases[] = {
      {"  X : TNoSuchClass {}", 2, "unknown class TNoSuchClass of component X"},
      {"  X : TWidget {\n    Colour = 1\n  }", 3, "X (TWidget) has no property 'Colour'"},
      {"  X : TWidget { Width = wide }", 2, "cannot set Width of X (TWidget) to 'wide'"},
      {"  X : TWidget { Width = 99999999999 }", 2, "cannot set Width"},
      {"  X : TWidget { Visible = Maybe }", 2, "not a valid boolean"},
      {"  X : TWidget { Font.Weight = 3 }", 2, "has no property 'Weight'"},
      {"  X : TWidget { Shape.Size = 3 }", 2, "Shape"},
      {"  X : TWidget { Shape { Size = 3 } }", 2, "has no object property 'Shape'"},
      {"  X : TWidget { Font = 3 }", 2, "is an object"},
      {"  X : TWidget { Font [ {} ] }", 2, "is not a collection"},
      {"  X : TWidget { Items [ { Colour = 1 } ] }", 2, "has no property 'Colour'"},
      {"  X : TWidget { Font { Y : TWidget {} } }", 2, "cannot be placed inside an object"},
      {"  X : TWidget { OnClick = @Missing }", 2,
       "does not publish a handler 'Missing' for event 'OnClick' of X"},
      {"  X : TWidget { OnClick = @WrongShape }", 2, "handler 'WrongShape' does not fit event 'OnClick'"},
      {"  X : TWidget { OnClick = \"ButtonClick\" }", 2, "takes a handler name written @Name"},
      {"  X : TWidget { Caption = @ButtonClick }", 2, "has no event 'Caption'"},
      {"  X : TWidget { Bitmap = file(\"/nonexistent/p.png\") }", 2,
       "picture file '/nonexistent/p.png' not found"},
      {"  X : TWidget { Bitmap = png(\"AA==\") }", 2, "not a picture"},
      {"  X : TWidget { Caption = png(\"AAEC\") }", 2, "has no picture property 'Caption'"},
      {"  X : TWidget {}\n  x : TWidget {}", 3, "already exists"},
      {"  X : TThrows {}", 2, "cannot make one"},
      {"  A : TCounted {\n    B : TCounted {}\n  }\n  C : TCounted { Width = x }", 5, "cannot set Width"},
  };
  for (const BadLoad& c : cases) {
    TMyForm form;
    gDestroyed = 0;
    const std::string text = std::string("MyForm : TMyForm {\n") + c.body + "\n}";
    try {
      LoadForm(form, ParseForm(text, "bad.form"), "bad.form", Options());
      ADD_FAILURE() << "accepted: " << c.body;
    } catch (const EFormError& e) {
      EXPECT_EQ(e.FileName(), "bad.form");
      EXPECT_EQ(e.Pos().line, c.line) << c.body << " -> " << e.what();
      EXPECT_NE(e.Detail().find(c.message), std::string::npos) << c.body << " -> " << e.what();
    }
    EXPECT_EQ(form.ComponentCount(), 0) << c.body;
  }
  EXPECT_EQ(gDestroyed, 3);  // the last case built A, B and C and took all three down
}

TEST(FormLoader, RootClassMustMatchUnlessAnyIsAccepted) {
  TMyForm form;
  EXPECT_THROW(LoadForm(form, ParseForm("F : TOther { Title = \"x\" }"), "o.form", Options()), EFormError);
  LoadOptions o = Options();
  o.anyRootClass = true;
  LoadForm(form, ParseForm("F : TOther { Title = \"x\" }"), "o.form", o);
  EXPECT_EQ(form.title, "x");
}

TEST(FormLoader, LoadedHookRunsForEveryComponentThenTheForm) {
  TMyForm form;
  LoadOptions o = Options();
  std::vector<std::string> seen;
  o.loaded = [&](rt::TComponent& c) {
    seen.push_back(c.Name() + ":" + c.GetPropertyText(c.HasProperty("Caption") ? "Caption" : "Title"));
  };
  LoadForm(form, ParseForm(kForm), "my.form", o);
  EXPECT_EQ(seen, (std::vector<std::string>{"Panel:", "Button:OK", "Other:", "MyForm:Main"}));
}

}  // namespace
}  // namespace tk::forms

namespace tk::forms {
namespace {

TEST(FormLoader, ReferencesToComponentsMayPointForward) {
  TMyForm form;
  LoadForm(
      form,
      ParseForm("MyForm : TMyForm {\n  A : TWidget { Target = Later Mode = Fast }\n  Later : TWidget {}\n}"),
      "ref.form", Options());
  auto* a = dynamic_cast<TWidget*>(form.FindComponent("A"));
  EXPECT_EQ(a->target, form.FindComponent("Later"));
  EXPECT_EQ(a->mode, "Fast");  // a plain name that is no component is set at once
}

TEST(FormLoader, PlaceholdersKeepUnknownComponentsForTools) {
  TMyForm form;
  LoadOptions o = Options();
  o.placeholders = true;
  LoadForm(form,
           ParseForm("MyForm : TMyForm {\n  Hook : TSomethingElse { OnRecord = @Missing Commands [ {} ] }\n"
                     "  B : TWidget {}\n}"),
           "p.form", o);
  auto* hook = dynamic_cast<TPlaceholderComponent*>(form.FindComponent("Hook"));
  ASSERT_NE(hook, nullptr);
  EXPECT_EQ(hook->ClassName(), "TSomethingElse");
  EXPECT_EQ(hook->members.size(), 2u);
  EXPECT_NE(dynamic_cast<TWidget*>(form.FindComponent("B")), nullptr);
}

}  // namespace
}  // namespace tk::forms

namespace tk::forms {
namespace {

SaveOptions SaveOpts() {
  SaveOptions s;
  s.children = [](const rt::TComponent& form, const rt::TComponent& parent) {
    std::vector<rt::TComponent*> out;
    for (rt::TComponent* c : form.ComponentList()) {
      auto* w = dynamic_cast<TWidget*>(c);
      if (w && w->parent == &parent) out.push_back(c);
    }
    return out;
  };
  s.makeDefault = [](const rt::TComponent& c) -> rt::TComponent* {
    if (c.ClassName() == "TWidget") return new TWidget(nullptr);
    if (c.ClassName() == "TMyForm") return new TMyForm();
    return nullptr;
  };
  s.picture = [](const rt::TPersistent&, std::vector<uint8_t>&) { return false; };
  return s;
}

TEST(FormSaver, SavedFormLoadsBackToTheSameDescription) {
  TMyForm form;
  LoadForm(form, ParseForm(kForm), "my.form", Options());
  const FormDocument saved = SaveForm(form, SaveOpts());
  const std::string text = WriteForm(saved);
  // Defaults are left out; what was set is there.
  EXPECT_EQ(text.find("Visible = True"), std::string::npos);
  EXPECT_NE(text.find("Visible = False"), std::string::npos);
  EXPECT_NE(text.find("OnClick = @ButtonClick"), std::string::npos);
  EXPECT_NE(text.find("Width = 300"), std::string::npos);
  EXPECT_NE(text.find("Family = \"Sans\""), std::string::npos);

  TMyForm again;
  LoadForm(again, ParseForm(text, "saved.form"), "saved.form", Options());
  EXPECT_EQ(WriteForm(SaveForm(again, SaveOpts())), text);
  auto* panel = dynamic_cast<TWidget*>(again.FindComponent("Panel"));
  ASSERT_NE(panel, nullptr);
  EXPECT_EQ(panel->items.Count(), 2);
  EXPECT_EQ(panel->font.size, 13);
  EXPECT_EQ(dynamic_cast<TWidget*>(again.FindComponent("Button"))->parent, panel);
}

TEST(FormSaver, ValueKindsFollowTheText) {
  TMyForm form;
  auto* w = new TWidget(&form);
  w->SetName("W");
  w->parent = &form;
  w->caption = "#FF00AA11";
  w->mode = "12.5";
  form.title = "say \"hi\"\n";
  const FormDocument doc = SaveForm(form, SaveOpts());
  EXPECT_EQ(doc.root.FindProperty("Title")->value.kind, ValueKind::String);
  const FormNode& wn = doc.root.FindComponent("W")->nodes.front();
  EXPECT_EQ(wn.FindProperty("Caption")->value.kind, ValueKind::Color);
  EXPECT_EQ(wn.FindProperty("Mode")->value.kind, ValueKind::Number);
  TMyForm back;
  LoadForm(back, ParseForm(WriteForm(doc)), "x.form", Options());
  EXPECT_EQ(back.title, "say \"hi\"\n");
  EXPECT_EQ(dynamic_cast<TWidget*>(back.FindComponent("W"))->caption, "#FF00AA11");
}

}  // namespace
}  // namespace tk::forms

namespace tk::forms {
namespace {

TEST(FormLoader, AFailedLoadPutsTheFormsOwnStateBack) {
  TMyForm form;
  form.SetName("Before");
  form.title = "old title";
  EXPECT_THROW(
      LoadForm(
          form,
          ParseForm("MyForm : TMyForm {\n  Title = \"new title\"\n  X : TWidget {}\n  Y : TNoSuchClass {}\n}",
                    "bad.form"),
          "bad.form", Options()),
      EFormError);
  EXPECT_EQ(form.title, "old title");
  EXPECT_EQ(form.Name(), "Before");
  EXPECT_EQ(form.ComponentCount(), 0);
}

}  // namespace
}  // namespace tk::forms
