// What the tests of the stored windows share: stand-ins with the program's class names, the
// loader, and the main window's hover highlight as the program wires it.
#pragma once

#include <string>

#include "toolkit/app/form.h"
#include "toolkit/controls.h"
#include "toolkit/forms/form_loader.h"
#include "toolkit/forms/toolkit_forms.h"

namespace vrnke::test {

// Stand-ins with the program's class names, so the description's class is checked.
struct TTestMain : tk::TForm {
  using tk::TForm::TForm;
  std::string ClassName() const override { return "TVRNKECFGMAIN"; }
};
struct TTestSingle : tk::TForm {
  using tk::TForm::TForm;
  std::string ClassName() const override { return "TFrmSingleKey"; }
};
struct TTestCombo : tk::TForm {
  using tk::TForm::TForm;
  std::string ClassName() const override { return "TFrmCombo"; }
};

// Loads a stored window from the program folder; the program's own non-visual components
// become placeholders and handlers are recorded, not bound.
inline void LoadProgramForm(tk::TForm& form, const std::string& formsDir, const std::string& file) {
  tk::forms::LoadOptions o = tk::forms::ToolkitLoadOptions(tk::forms::HandlerBinding::RecordOnly);
  o.placeholders = true;
  o.pictureDirs = {formsDir};
  tk::forms::LoadFormFile(form, formsDir + "/" + file, o);
}

// Binds the function key buttons' enter and leave events the way the main window does: the
// key under the pointer is lit on the keyboard picture (its picture button pressed, its
// picture the highlighted one) and put back when the pointer leaves.
inline void WireKeyHighlight(tk::TForm& form) {
  for (int n = 1; n <= 8; ++n) {
    auto* button = dynamic_cast<tk::TvgBitmapStateButton*>(form.FindComponent("FUNCBTN" + std::to_string(n)));
    auto* key = dynamic_cast<tk::TvgBitmapStateButton*>(form.FindComponent("BSF" + std::to_string(n)));
    auto* store = dynamic_cast<tk::TvgBitmapStateButton*>(form.FindComponent("BSIMGF" + std::to_string(n)));
    auto* image = dynamic_cast<tk::TvgImage*>(form.FindComponent("ImageCustom2"));
    if (!button || !key || !store) continue;
    const auto light = [key, store, image, n](bool on) {
      key->SetIsPressed(on);
      const tk::TBitmap& picture = on ? store->BitmapDown() : store->Bitmap();
      if (picture.IsEmpty()) return;
      if (n == 8 && image)
        image->SetBitmap(picture);
      else
        key->SetBitmap(picture);
    };
    button->OnMouseEnter = [light](rt::TComponent*) { light(true); };
    button->OnMouseLeave = [light](rt::TComponent*) { light(false); };
  }
}

}  // namespace vrnke::test
