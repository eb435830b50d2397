// A window built from its stored description.
#pragma once

#include <string>

#include "toolkit/forms/toolkit_forms.h"
#include "toolkit/scene.h"

namespace tk {

// Published: OnCreate (besides the window's own properties and events).
class TForm : public TWindow {
 public:
  explicit TForm(rt::TComponent* owner);
  std::string ClassName() const override { return "TForm"; }

  // Builds the components from the description (a name inside the forms folder, or a path),
  // then runs OnCreate. A faulty description raises forms::EFormError; an error of the
  // creation handler goes to the standard error display and the form stays usable.
  // A derived form publishes its handlers before it calls this.
  void LoadDescription(const std::string& fileName,
                       forms::HandlerBinding handlers = forms::HandlerBinding::Bind);
  const std::string& DescriptionFile() const { return descriptionFile_; }

  TNotifyEvent OnCreate;

 private:
  std::string descriptionFile_;
};

}  // namespace tk
