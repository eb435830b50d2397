// Loading a stored window with the real function menu and skin streams in it, without putting
// their classes in the program-wide class registry (other tests of this program expect
// placeholders for them).
#pragma once

#include <string>

#include "menu/qvMenuEx.h"
#include "menu/qvstream.h"
#include "program_forms.h"

namespace vrnke::test {

inline tk::forms::LoadOptions MenuLoadOptions(const std::string& formsDir) {
  tk::forms::LoadOptions o = tk::forms::ToolkitLoadOptions(tk::forms::HandlerBinding::RecordOnly);
  o.placeholders = true;
  o.pictureDirs = {formsDir};
  const tk::forms::ComponentFactory toolkit = o.factory;
  o.factory = [toolkit](const std::string& className, rt::TComponent& owner,
                        rt::TComponent& parent) -> rt::TComponent* {
    if (className == "TqvMenuEx") return new TqvMenuEx(&owner);
    if (className == "TQVStream") return new TQVStream(&owner);
    return toolkit(className, owner, parent);
  };
  return o;
}

// Saving compares with fresh objects of each class, the menu's included.
inline tk::forms::SaveOptions MenuSaveOptions() {
  tk::forms::SaveOptions o = tk::forms::ToolkitSaveOptions();
  const auto toolkit = o.makeDefault;
  o.makeDefault = [toolkit](const rt::TComponent& c) -> rt::TComponent* {
    if (c.ClassName() == "TqvMenuEx") return new TqvMenuEx(nullptr);
    if (c.ClassName() == "TQVStream") return new TQVStream(nullptr);
    return toolkit(c);
  };
  return o;
}

inline void LoadProgramFormWithMenu(tk::TForm& form, const std::string& formsDir, const std::string& file) {
  tk::forms::LoadFormFile(form, formsDir + "/" + file, MenuLoadOptions(formsDir));
}

}  // namespace vrnke::test
