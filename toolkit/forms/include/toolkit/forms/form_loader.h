// Builds a form's components from its stored description. Every component is created owned
// by the form, in the order written; published properties are set by name through the
// component runtime; events are bound to the form's published handlers by name.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "runtime/component.h"
#include "toolkit/forms/form_text.h"

namespace tk::forms {

// Creates a component of the named class, owned by `owner` and placed under `parent` (the
// component whose block encloses it; the form itself at the top). nullptr: unknown class.
using ComponentFactory = std::function<rt::TComponent*(const std::string& className, rt::TComponent& owner,
                                                       rt::TComponent& parent)>;

// Gives a picture (PNG bytes) to a picture property of `target`; false when `property` is not
// a picture property. Errors in the picture itself are raised as rt::Exception.
using PictureSetter = std::function<bool(rt::TPersistent& target, const std::string& property,
                                         const std::vector<uint8_t>& png)>;

enum class HandlerBinding {
  Bind,        // a handler the form does not publish is an error
  RecordOnly,  // keep the handler's name on the event without binding it (tools, forms whose code comes
               // later)
};

struct LoadOptions {
  ComponentFactory factory;
  PictureSetter setPicture;
  // Folders searched for file("...") pictures after the form file's own folder.
  std::vector<std::string> pictureDirs;
  HandlerBinding handlers = HandlerBinding::Bind;
  // Accept a description of another form class (the render tool shows any form in a generic one).
  bool anyRootClass = false;
  // Runs for every created component, then for the form, once all properties are set.
  std::function<void(rt::TComponent&)> loaded;
  // Tools only: a class the factory does not know becomes a TPlaceholderComponent that keeps
  // its description, instead of being an error.
  bool placeholders = false;
};

// Stands in for a component of a class this program does not have (tools that show any form).
class TPlaceholderComponent : public rt::TComponent {
 public:
  TPlaceholderComponent(rt::TComponent* owner, std::string className)
      : rt::TComponent(owner), className_(std::move(className)) {}
  std::string ClassName() const override { return className_; }
  // The description's members for this component, as written.
  std::vector<FormMember> members;

 private:
  std::string className_;
};

// Loads `doc` into `form`. A name value (Identifier) that names a component of the
// description is set after every component exists, so references may point forward.
// On any error (EFormError naming the file and line) the components
// created by this call are destroyed again and the form's own properties and event bindings are
// put back, so nothing is left half-built.
void LoadForm(rt::TComponent& form, const FormDocument& doc, const std::string& fileName,
              const LoadOptions& options);
void LoadFormFile(rt::TComponent& form, const std::string& fileName, const LoadOptions& options);

// Saving a live form back into a description.
struct SaveOptions {
  // The components written inside `parent`'s block, in order (for the form: its top level).
  std::function<std::vector<rt::TComponent*>(const rt::TComponent& form, const rt::TComponent& parent)>
      children;
  // A fresh object of the component's class to compare with: only what differs is written.
  // nullptr: every property is written. The saver deletes it.
  std::function<rt::TComponent*(const rt::TComponent& component)> makeDefault;
  // Fills `png` when the object property is a picture (written embedded); false otherwise.
  std::function<bool(const rt::TPersistent& object, std::vector<uint8_t>& png)> picture;
};

// Describes `form` and its components. Properties are replayed onto a fresh object of each
// class and written only where they still differ, so defaults and aliases ("Caption" for
// "Text") are left out and every written value is one the property takes back.
FormDocument SaveForm(const rt::TComponent& form, const SaveOptions& options);

// Sets the property at a dotted path ("Font.Size") from its text.
void SetPropertyPath(rt::TPersistent& target, const std::string& path, const std::string& text);
// Reads the property at a dotted path as text; EPropertyError when absent.
std::string GetPropertyPath(const rt::TPersistent& target, const std::string& path);

// Reads a whole file into bytes; false when it cannot be read.
bool ReadFileBytes(const std::string& fileName, std::vector<uint8_t>& out);

}  // namespace tk::forms
