#include "toolkit/forms/toolkit_forms.h"

#include <unistd.h>

#include <filesystem>

#include "toolkit/canvas.h"
#include "toolkit/object.h"
#include "toolkit/scene.h"

namespace tk::forms {

namespace {
std::string& FormsFolderOverride() {
  static std::string folder;
  return folder;
}
}  // namespace

LoadOptions ToolkitLoadOptions(HandlerBinding handlers) {
  LoadOptions o;
  o.handlers = handlers;
  o.factory = [](const std::string& className, rt::TComponent& owner,
                 rt::TComponent& parent) -> rt::TComponent* {
    rt::TComponent* c = CreateByClassName(className, &owner);
    if (!c) return nullptr;
    if (auto* visual = dynamic_cast<TVisualObject*>(c)) {
      TVisualObject* into = nullptr;
      if (auto* window = dynamic_cast<TWindow*>(&parent)) {
        into = window->Root();
      } else {
        into = dynamic_cast<TVisualObject*>(&parent);
      }
      if (into) {
        visual->SetParent(into);
      } else if (&parent != &owner) {
        // A visual object inside a non-visual component has no place in the scene.
        const std::string parentName = parent.Name();
        delete c;
        throw rt::Exception(className + " cannot be placed inside " + parentName + " (" + parent.ClassName() +
                            ")");
      }
    }
    return c;
  };
  o.setPicture = [](rt::TPersistent& target, const std::string& property, const std::vector<uint8_t>& png) {
    auto* bitmap = dynamic_cast<TBitmap*>(target.FindObjectProperty(property));
    if (!bitmap) return false;
    bitmap->LoadFromPngData(png);
    return true;
  };
  o.pictureDirs = {FormsFolder()};
  return o;
}

SaveOptions ToolkitSaveOptions() {
  SaveOptions s;
  s.children = [](const rt::TComponent& form, const rt::TComponent& parent) {
    std::vector<rt::TComponent*> out;
    const auto* window = dynamic_cast<const TWindow*>(&form);
    const TVisualObject* under = nullptr;
    if (&parent == &form) {
      under = window ? window->Root() : nullptr;
    } else {
      under = dynamic_cast<const TVisualObject*>(&parent);
    }
    if (under) {
      for (TVisualObject* child : under->Children())
        if (child->Owner() == &form && child->Stored()) out.push_back(child);
    }
    if (&parent == &form) {
      for (rt::TComponent* c : form.ComponentList())
        if (!dynamic_cast<TVisualObject*>(c) && !(window && c == window->Scene())) out.push_back(c);
    }
    return out;
  };
  s.makeDefault = [](const rt::TComponent& c) -> rt::TComponent* {
    if (rt::TComponent* fresh = CreateByClassName(c.ClassName(), nullptr)) return fresh;
    if (dynamic_cast<const TWindow*>(&c)) return new TWindow(nullptr);
    return nullptr;
  };
  s.picture = [](const rt::TPersistent& object, std::vector<uint8_t>& png) {
    const auto* bitmap = dynamic_cast<const TBitmap*>(&object);
    if (!bitmap) return false;
    png = bitmap->IsEmpty() ? std::vector<uint8_t>{} : bitmap->SavePngData();
    return true;
  };
  return s;
}

std::string ProgramFolder() {
  std::error_code ec;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return std::filesystem::current_path().string();
  return exe.parent_path().string();
}

std::string FormsFolder() {
  if (!FormsFolderOverride().empty()) return FormsFolderOverride();
  return (std::filesystem::path(ProgramFolder()) / "forms").string();
}

void SetFormsFolder(const std::string& folder) { FormsFolderOverride() = folder; }

std::string FormFilePath(const std::string& fileName) {
  const std::filesystem::path p(fileName);
  if (p.is_absolute()) return fileName;
  return (std::filesystem::path(FormsFolder()) / p).string();
}

}  // namespace tk::forms
