// The windows the two canvases are compared on: each is built from the stored forms and the
// translations of a POSIX build, rendered, and its layout written down as text (every visible
// object's class, name and absolute bounds), so the Cairo and the GDI+ build can be set side
// by side. The reference images test builds its windows with the same calls. vrnke_render_scenes writes the
// Cairo side; canvas_compare_tests (Windows, under Wine) renders the same scenes with GDI+ and compares.
#pragma once

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "lang/lang_file.h"
#include "menu/qvMenuBox.h"
#include "menu/qvMenuEx.h"
#include "menu_forms.h"
#include "program_forms.h"
#include "toolkit/app/application.h"
#include "toolkit/headless.h"
#include "toolkit/translate.h"

namespace vrnke::test {

struct TRenderedScene {
  std::string name;
  tk::TBitmap picture;
  std::string layout;  // one line an object: depth, class, name, left, top, right, bottom
};

inline void DumpLayout(const tk::TVisualObject& o, int depth, std::string& out) {
  if (!o.Visible()) return;
  const tk::TRectF r = o.AbsoluteRect();
  char line[512];
  std::snprintf(line, sizeof line, "%d %s %s %.2f %.2f %.2f %.2f\n", depth, o.ClassName().c_str(),
                o.Name().empty() ? "-" : o.Name().c_str(), double(r.left), double(r.top), double(r.right),
                double(r.bottom));
  out += line;
  for (const tk::TVisualObject* c : o.Children()) DumpLayout(*c, depth + 1, out);
}

inline std::string WindowLayout(tk::TWindow& w) {
  std::string out;
  char head[128];
  std::snprintf(head, sizeof head, "window %d %d %d %d\n", w.Left(), w.Top(), w.ClientWidth(),
                w.ClientHeight());
  out += head;
  if (w.Scene() && w.Scene()->Root()) DumpLayout(*w.Scene()->Root(), 0, out);
  return out;
}

// Translates every text as the language component does once `id` is chosen.
inline void UseLanguage(const vrnke::TLanguageData& languages, const std::string& id) {
  const tk::TTranslationTable* table = nullptr;
  for (const vrnke::TLanguage& l : languages.languages)
    if (l.name == id) table = &l.table;
  if (!table) throw rt::Exception("No language " + id + " in the translations");
  tk::SetTranslateFunction([table](const std::string& text) {
    const std::string* v = table->Value(text);
    return v && !v->empty() ? *v : text;
  });
}

// The function menu opened at function key 3, "Applications" open with the pointer on its
// third row: both pop-up windows side by side on a plain ground, and their layouts. The
// headless backend must be chosen by the caller.
inline TRenderedScene RenderMenuCascade(const std::string& formsDir, const vrnke::TLanguageData& languages,
                                        const std::string& id) {
  auto& backend = dynamic_cast<tk::THeadlessBackend&>(tk::Backend());
  TTestMain form(nullptr);
  UseLanguage(languages, id);
  LoadProgramFormWithMenu(form, formsDir, "SettingMain.form");
  form.Scene()->Retranslate();
  form.Show();
  auto* menu = dynamic_cast<TqvMenuEx*>(form.FindComponent("qvMenuEx1"));
  auto* button = dynamic_cast<tk::TVisualObject*>(form.FindComponent("FUNCBTN3"));
  if (!menu || !button) throw rt::Exception("SettingMain.form has no function menu or FUNCBTN3");
  const tk::TPointF at = button->LocalToScreen({button->Width() / 2, button->Height() / 2});
  backend.MoveMouse(at.x, at.y);
  menu->ShowMainMenu(5, button, tk::TvgPlacement::vgPlacementMouse);
  TqvMenuItemsEx& top = menu->Items();
  TqvMenuItemsEx& apps = top[10]->SubItems();
  const auto hover = [&](TqvMenuItemsEx& level, int row) {
    tk::TVisualObject* r = level.Row(row);
    const tk::TPointF p = r->LocalToScreen({r->Width() / 2, r->Height() / 2});
    backend.MoveMouse(p.x, p.y);
  };
  hover(top, 10);
  if (!apps.Popup() || !apps.Popup()->IsOpen()) throw rt::Exception("The Applications menu did not open");
  hover(apps, 2);
  TRenderedScene scene{"FunctionMenu_" + id, {}, {}};
  tk::TRectF area;
  std::vector<tk::TWindow*> windows;
  for (tk::TvgPopup* p :
       {static_cast<tk::TvgPopup*>(top.Popup()), static_cast<tk::TvgPopup*>(apps.Popup())}) {
    tk::TWindow* w = p->PopupWindow();
    windows.push_back(w);
    scene.layout += WindowLayout(*w);
    area = area.Union(tk::TRectF::FromSize(float(w->Left()), float(w->Top()), float(w->ClientWidth()),
                                           float(w->ClientHeight())));
  }
  area = area.Inflate(8, 8);
  scene.picture.SetSize(int(area.Width()), int(area.Height()));
  scene.picture.Clear(0xFF6F7378);
  {
    auto canvas = scene.picture.CreateCanvas();
    for (tk::TWindow* w : windows) {
      const tk::TBitmap shot = w->Render();
      const float x = float(w->Left()) - area.left, y = float(w->Top()) - area.top;
      canvas->DrawBitmap(shot, {0, 0, float(shot.Width()), float(shot.Height())},
                         tk::TRectF::FromSize(x, y, float(shot.Width()), float(shot.Height())), 1);
    }
  }
  top.ClosePopups();
  return scene;
}

// Builds and renders every scene; the headless backend must be chosen by the caller. The
// language pop-up lists fixed names: locale names come from the platform, which is not what
// is compared here.
class TSceneRenderer {
 public:
  TSceneRenderer(std::string formsDir, const std::string& qvLocal)
      : formsDir_(std::move(formsDir)), languages_(vrnke::ReadLanguageFile(qvLocal)) {}
  ~TSceneRenderer() { tk::SetTranslateFunction({}); }

  std::vector<TRenderedScene> RenderAll() {
    std::vector<TRenderedScene> out;
    for (const char* id : {"0409", "0804"}) {
      TTestMain form(nullptr);
      LoadMain(form, id);
      out.push_back({std::string("SettingMain_") + id, form.Render(), WindowLayout(form)});
    }
    const std::pair<const char*, std::function<tk::TForm*()>> dialogs[] = {
        {"SingleKeyfrm", [] { return new TTestSingle(nullptr); }},
        {"combofrm", [] { return new TTestCombo(nullptr); }}};
    for (const auto& [file, make] : dialogs)
      for (const char* id : {"0409", "0804"}) {
        UseLanguage(languages_, id);
        std::unique_ptr<tk::TForm> form(make());
        LoadProgramForm(*form, formsDir_, std::string(file) + ".form");
        form->Scene()->Retranslate();
        out.push_back({std::string(file) + "_" + id, form->Render(), WindowLayout(*form)});
      }
    out.push_back(RenderMenuCascade(formsDir_, languages_, "0804"));
    return out;
  }

 private:
  void LoadMain(TTestMain& form, const std::string& id) {
    UseLanguage(languages_, id);
    LoadProgramForm(form, formsDir_, "SettingMain.form");
    auto* popup = dynamic_cast<tk::TvgPopupBox*>(form.FindComponent("PopupBoxLanguage"));
    if (!popup) throw rt::Exception("SettingMain.form has no PopupBoxLanguage");
    popup->AddItem("English");
    popup->AddItem("中文(简体)");
    popup->AddItem("中文(繁體)");
    popup->SetItemIndex(id == "0409" ? 0 : 1);
    form.Scene()->Retranslate();
    form.Show();
  }

  std::string formsDir_;
  vrnke::TLanguageData languages_;
};

}  // namespace vrnke::test
